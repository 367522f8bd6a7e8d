// File > Who has access… driven as a person would: the principal chosen in
// its dialog, the inventory run, and its window compared with what
// grantwise-check --who lists for the same tree and principal.

#include "PrincipalDialog.h"
#include "ReportOpener.h"
#include "TForm1.h"
#include "TempTree.h"
#include "WhoWindow.h"
#include "WindowDriving.h"
#include "platform/KnownPrincipals.h"

#include <QClipboard>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool exists(const QByteArray& path)
{
    struct stat st { };
    return ::lstat(path.constData(), &st) == 0;
}

void makeFile(const std::string& path, mode_t mode)
{
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, mode);
    QVERIFY(fd >= 0);
    ::fchmod(fd, mode);
    ::close(fd);
}

// The sign a cell of the window starts with, for a JSON right: true, false,
// "own" (a sticky folder) or null (unknown).
QString signFor(const QJsonValue& v)
{
    if (v.isNull())
        return QStringLiteral("?");
    if (v.isString())
        return QStringLiteral("~");
    return v.toBool() ? QStringLiteral("✓") : QStringLiteral("✗");
}

// A listed place as the window shows it, and as the JSON says it, in the same words.
struct Shown {
    QString path, read, write, enter, via, reachable;
    qint64 sameBelow = 0;
    bool operator==(const Shown&) const = default;
};

QString describe(const QList<Shown>& rows)
{
    QStringList lines;
    for (const Shown& r : rows)
        lines << QStringList {r.path, r.read, r.write, r.enter, r.via, r.reachable, QString::number(r.sameBelow)}.join(
            QLatin1Char('|'));
    return lines.join(QLatin1Char('\n'));
}

QList<Shown> shownInWindow(WhoModel& model)
{
    QList<Shown> rows;
    for (int row = 0; row < model.rowCount(); ++row) {
        const auto cell = [&](int column) { return model.index(row, column).data().toString(); };
        Shown s {cell(WhoModel::Place),         cell(WhoModel::Read).left(1), cell(WhoModel::Write).left(1),
                 cell(WhoModel::Enter).left(1), cell(WhoModel::Via),          cell(WhoModel::Reachable)};
        if (!s.reachable.startsWith(QStringLiteral("✗")))
            s.reachable = s.reachable.left(1);
        const QModelIndex place = model.index(row, 0);
        static const QRegularExpression sameBelow(QStringLiteral("^(?:the same below|то же ниже): (\\d+)"));
        for (int line = 0; line < model.rowCount(place); ++line) {
            const QRegularExpressionMatch m = sameBelow.match(model.index(line, 0, place).data().toString());
            if (m.hasMatch())
                s.sameBelow = m.captured(1).toLongLong();
        }
        rows << s;
    }
    return rows;
}

QList<Shown> listedInJson(const std::string& out, bool russian)
{
    QList<Shown> rows;
    for (const QByteArray& line : QByteArray::fromStdString(out).split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.value("type").toString() != "who")
            continue;
        const bool folder = o.value("kind").toString() == "folder";
        Shown s {o.value("path").toString(),
                 signFor(o.value("read")),
                 signFor(o.value("write")),
                 signFor(o.value(folder ? "enter" : "execute")),
                 o.value("via").isNull() ? QStringLiteral("—") : o.value("via").toString(),
                 signFor(o.value("reachable")),
                 o.value("same_below").toInteger()};
        if (o.value("reachable") == QJsonValue(false))
            s.reachable = (russian ? QStringLiteral("✗ остановлен в ") : QStringLiteral("✗ stopped at "))
                + o.value("stopped_at").toString();
        rows << s;
    }
    return rows;
}

} // namespace

class WhoWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<gwtest::TempTree> work, tree;
    std::unique_ptr<TForm1> form;
    std::vector<QUrl> opened;

    void chooseFolder(const std::string& path) { gwtest::chooseFolder(*form, path); }

    // Works the principal dialog when it opens, as a person would: `choose`
    // types and clicks in it; then Check is clicked unless it closed.
    void whenTheDialogOpens(const std::function<void(PrincipalDialog&)>& choose, bool cancel = false)
    {
        QTimer::singleShot(0, this, [choose, cancel] {
            auto* dialog = qobject_cast<PrincipalDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            choose(*dialog);
            if (dialog->isVisible())
                QTest::mouseClick(dialog->ui.buttons->button(cancel ? QDialogButtonBox::Cancel : QDialogButtonBox::Ok),
                                  Qt::LeftButton);
        });
    }

    static void clickRow(PrincipalDialog& dialog, const QString& startsWith)
    {
        QListWidget* list = dialog.ui.principals;
        for (int row = 0; row < list->count(); ++row) {
            QListWidgetItem* item = list->item(row);
            if (!item->isHidden() && item->text().startsWith(startsWith)) {
                list->scrollToItem(item);
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
                return;
            }
        }
        QFAIL(qPrintable("no row " + startsWith));
    }

    // The tree every principal is asked about: a folder the principal may
    // not enter, named entries, one cut by the mask, a sticky folder, files.
    void makeTree()
    {
        ::chmod(tree->root().c_str(), 0755);
        tree->mkdir("open/deep/deeper");
        makeFile(tree->path("open/note.txt"), 0644);
        tree->mkdir("closed/inner");
        makeFile(tree->path("closed/inner/secret"), 0644);
        ::chmod(tree->path("closed").c_str(), 0700);
        tree->mkdir("shared/sub");
        makeFile(tree->path("shared/run.sh"), 0755);
        gwtest::setfacl({"-m", "u:nobody:rwx,g:nogroup:rwx", tree->path("shared")});
        tree->mkdir("masked");
        gwtest::setfacl({"-m", "u:nobody:rwx,m::r-x", tree->path("masked")});
        tree->mkdir("sticky");
        ::chmod(tree->path("sticky").c_str(), 01777);
    }

private slots:
    void init()
    {
        work = std::make_unique<gwtest::TempTree>();
        tree = std::make_unique<gwtest::TempTree>();
        ::setenv("TMPDIR", work->root().c_str(), 1);
        opened.clear();
        reportLauncher() = [this](const QUrl& url, const std::function<void(int)>& done) {
            opened.push_back(url);
            done(0);
        };
        form = std::make_unique<TForm1>();
        form->engine().setListingProgram(QByteArray::fromStdString(gwtest::aclProgram()));
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }

    void cleanup()
    {
        form->close();
        form.reset();
        ::unsetenv("TMPDIR");
    }

    // The window lists exactly what grantwise-check --who --json lists, its
    // verdict is the command line's, and its report is byte for byte the
    // command line's acl_who.txt.
    void listsWhatTheCommandLineLists_data()
    {
        QTest::addColumn<QString>("who"); // as grantwise-check takes it
        QTest::addColumn<QString>("typed"); // into the dialog's name box
        QTest::addColumn<QString>("row"); // the dialog's row to click then; none: what was typed is asked about
        QTest::addColumn<bool>("english");
        QTest::addColumn<bool>("files");
        QTest::newRow("a user from the filtered list") << "nobody"
                                                       << "nob"
                                                       << "user nobody" << true << true;
        QTest::newRow("anyone, in Russian") << "anyone"
                                            << ""
                                            << "любой" << false << true;
        QTest::newRow("a user by the keyboard") << "nobody"
                                                << "(uid 65534"
                                                << "<Down>" << false << false;
        QTest::newRow("a group, typed") << "group:nogroup"
                                        << "group:nogroup"
                                        << "" << false << false;
        QTest::newRow("a user's number, typed") << "65534"
                                                << "65534"
                                                << "" << true << false;
    }

    void listsWhatTheCommandLineLists()
    {
        QFETCH(QString, who);
        QFETCH(QString, typed);
        QFETCH(QString, row);
        QFETCH(bool, english);
        QFETCH(bool, files);
        if (!::getpwnam("nobody") || !::getgrnam("nogroup"))
            QSKIP("needs the user nobody and the group nogroup");
        if (::geteuid() != 0)
            QSKIP("needs root: the tree gives named entries to nobody and takes a folder from it");
        makeTree();
        if (english)
            form->ui.Menu_Language_EN->trigger();
        form->ui.Menu_File_Files->setChecked(files);
        QVERIFY(!form->ui.Menu_File_Who->isEnabled()); // nothing chosen yet
        chooseFolder(tree->root());
        QVERIFY(form->ui.Menu_File_Who->isEnabled());
        QCOMPARE(form->ui.Menu_File_Who->text(), english ? QString("Who has access…") : QString("Кто имеет доступ…"));

        // While the inventory runs the window answers, and no other check starts.
        bool seenRunning = false, disabledWhileRunning = true;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            if (!form->ui.GroupBox1->isVisible())
                return;
            seenRunning = true;
            disabledWhileRunning = disabledWhileRunning && !form->ui.Menu_File_Who->isEnabled()
                && !form->ui.Menu_File_CompareBaseline->isEnabled();
        });
        watch.start(0);
        whenTheDialogOpens([&](PrincipalDialog& dialog) {
            QCOMPARE(dialog.windowTitle(), english ? QString("Who has access…") : QString("Кто имеет доступ…"));
            QTest::keyClicks(dialog.ui.name, typed);
            if (row == "<Down>") { // from the box to the first row shown, and Enter
                QTest::keyClick(dialog.ui.name, Qt::Key_Down);
                QTest::keyClick(dialog.ui.principals, Qt::Key_Return);
                QVERIFY(!dialog.isVisible());
            } else if (!row.isEmpty()) {
                clickRow(dialog, row);
            }
        });
        form->ui.Menu_File_Who->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(form->ui.GroupBox5->isVisible(), 30000);
        watch.stop();
        QVERIFY(seenRunning && disabledWhileRunning);
        QVERIFY(form->ui.Menu_File_Who->isEnabled());
        auto* window = form->findChild<WhoWindow*>();
        QVERIFY(window && window->isVisible());

        const std::string reports = work->path("cli-reports");
        std::vector<std::string> argv {
            gwtest::checkProgram(), "--who", who.toStdString(), "--json", "--reports", reports};
        if (files)
            argv.push_back("--files");
        argv.push_back(tree->root());
        const gwtest::ProcessResult json = gwtest::run(argv);
        QCOMPARE(json.status, 0);
        const QList<Shown> expected = listedInJson(json.out, !english);
        QVERIFY(expected.size() >= 5);
        const QList<Shown> shown = shownInWindow(window->model());
        QVERIFY2(shown == expected,
                 qPrintable("window:\n" + describe(shown) + "\ncommand line:\n" + describe(expected)));

        // The same report, and the same verdict.
        QCOMPARE(QString::fromStdString(gwtest::readFile(form->engine().whoPath().toStdString())),
                 QString::fromStdString(gwtest::readFile(reports + "/acl_who.txt")));
        argv.erase(argv.begin() + 3); // --json
        argv.insert(argv.begin() + 1, {"--lang", english ? "en" : "ru"});
        const gwtest::ProcessResult text = gwtest::run(argv);
        QVERIFY2(QString::fromStdString(text.out).contains(form->ui.RichEdit3->toPlainText()),
                 qPrintable(form->ui.RichEdit3->toPlainText() + "\n---\n" + QString::fromStdString(text.out)));
        QCOMPARE(form->ui.Label7->palette().color(QPalette::Window), QColor(0, 255, 0)); // everything was read

        // The report button, named for it, and the window's own, open the rights report.
        QCOMPARE(form->ui.Button4->text(), english ? QString("RIGHTS REPORT") : QString("ОТЧЕТ О ПРАВАХ"));
        const QUrl report = QUrl::fromLocalFile(QString::fromUtf8(form->engine().whoPath()));
        QTest::mouseClick(form->ui.Button4, Qt::LeftButton);
        QCOMPARE(opened.back(), report);
        opened.clear();
        QTest::mouseClick(window->ui.openReport, Qt::LeftButton);
        QCOMPARE(opened, std::vector<QUrl>({report}));
        window->close();
        // Reopened from the differences menu: the same places.
        form->ui.Menu_File_Differences->trigger();
        QTRY_VERIFY((window = form->findChild<WhoWindow*>()) != nullptr && window->isVisible());
        QCOMPARE(shownInWindow(window->model()), expected);
    }

    // The window's filter, copying and signs, in a tree whose rights for
    // nobody are known.
    void filtersCopiesAndSaysRightsInSigns()
    {
        if (::geteuid() != 0 || !::getpwnam("nobody"))
            QSKIP("needs root and the user nobody");
        makeTree();
        form->ui.Menu_Language_EN->trigger();
        chooseFolder(tree->root());
        whenTheDialogOpens([](PrincipalDialog& dialog) { QTest::keyClicks(dialog.ui.name, "nobody"); });
        form->ui.Menu_File_Who->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(form->ui.GroupBox5->isVisible(), 30000);
        auto* window = form->findChild<WhoWindow*>();
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), QString("Who has access: nobody"));
        WhoModel& model = window->model();
        const auto rowOf = [&](const std::string& relative) {
            for (int row = 0; row < model.rowCount(); ++row) {
                if (model.index(row, 0).data().toString() == QString::fromStdString(tree->path(relative)))
                    return row;
            }
            return -1;
        };
        const int closed = rowOf("closed/inner"), masked = rowOf("masked"), sticky = rowOf("sticky");
        QVERIFY(closed >= 0 && masked >= 0 && sticky >= 0);
        QCOMPARE(model.index(closed, WhoModel::Read).data().toString(), QString("✗"));
        QCOMPARE(model.index(closed, WhoModel::Reachable).data().toString(),
                 "✗ stopped at " + QString::fromStdString(tree->path("closed")));
        QCOMPARE(model.index(closed, WhoModel::Via).data().toString(), QString("—"));
        QCOMPARE(model.index(masked, WhoModel::Write).data().toString(), QString("✗"));
        QCOMPARE(model.index(masked, WhoModel::Read).data().toString(), QString("✓ read"));
        QCOMPARE(model.index(masked, WhoModel::Read).data(Qt::ForegroundRole).value<QColor>(), QColor(0, 128, 0));
        QVERIFY(model.index(masked, WhoModel::Via).data().toString().contains("cut by the mask"));
        QCOMPARE(model.index(sticky, WhoModel::Write).data().toString(), QString("~ own entries only"));
        QCOMPARE(model.headerData(WhoModel::Via, Qt::Horizontal).toString(), QString("Via (the deciding entry)"));

        // Copying a place copies its path; its line has every column.
        window->ui.places->setCurrentIndex(model.index(closed, WhoModel::Write));
        window->copyCurrent();
        QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromStdString(tree->path("closed/inner")));
        window->copyCurrentLine();
        QCOMPARE(QGuiApplication::clipboard()->text().split('\t'),
                 QStringList({QString::fromStdString(tree->path("closed/inner")), "✗", "✗", "✗", "—",
                              "✗ stopped at " + QString::fromStdString(tree->path("closed"))}));
        // The filter keeps what holds its text: a path, an entry, the folder that stops.
        QTest::keyClicks(window->ui.filter, "MASK");
        QTRY_COMPARE(model.rowCount(), 1);
        QCOMPARE(model.index(0, 0).data().toString(), QString::fromStdString(tree->path("masked")));
        window->ui.filter->clear();
        QTest::keyClicks(window->ui.filter, "closed");
        QTRY_COMPARE(model.rowCount(), 2); // closed, which nobody may not enter, and closed/inner, stopped there
        window->ui.filter->clear();
        QTRY_VERIFY(model.rowCount() > 3);
    }

    // A name that is no user or group is said in the dialog, which stays
    // open; Cancel starts nothing.
    void unknownNamesAreSaidAndCancelStartsNothing()
    {
        tree->mkdir("a");
        chooseFolder(tree->root());
        QVERIFY(!QFile::exists(QString::fromUtf8(form->engine().whoPath())));
        QString problem;
        bool stayedOpen = false;
        whenTheDialogOpens(
            [&](PrincipalDialog& dialog) {
                QTest::keyClicks(dialog.ui.name, "no-such-user-here");
                QCOMPARE(dialog.ui.principals->currentItem(), nullptr);
                QTest::keyClick(dialog.ui.name, Qt::Key_Return);
                problem = dialog.ui.problem->text();
                dialog.ui.name->clear();
                QTest::keyClicks(dialog.ui.name, "group:no-such-group-here");
                QTest::mouseClick(dialog.ui.buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
                problem += "|" + dialog.ui.problem->text();
                stayedOpen = dialog.isVisible();
            },
            true);
        form->ui.Menu_File_Who->trigger();
        QCOMPARE(problem,
                 QString("✗ Нет такого пользователя: no-such-user-here|✗ Нет такой группы: no-such-group-here"));
        QVERIFY(stayedOpen);
        QVERIFY(form->ui.GroupBox3->isVisible() && !form->ui.GroupBox5->isVisible());
        QVERIFY(!exists(form->engine().whoPath()));
        QVERIFY(!form->engine().lastWasWho());
    }

    // An inventory that cannot run leaves neither the last one's window nor its report.
    void aFailedInventoryLeavesNothingOfTheLastOne()
    {
        const std::string folder = tree->mkdir("gone");
        chooseFolder(folder);
        whenTheDialogOpens([](PrincipalDialog& dialog) { QTest::keyClicks(dialog.ui.name, "anyone"); });
        form->ui.Menu_File_Who->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(form->ui.GroupBox5->isVisible(), 30000);
        QVERIFY(exists(form->engine().whoPath()));
        delete form->findChild<WhoWindow*>();

        QVERIFY(::rmdir(folder.c_str()) == 0);
        QString said;
        QTimer answer; // the box that says why
        connect(&answer, &QTimer::timeout, this, [&said] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                said = box->text();
                box->accept();
            }
        });
        answer.start(20);
        whenTheDialogOpens([](PrincipalDialog& dialog) { QTest::keyClicks(dialog.ui.name, "anyone"); });
        form->ui.Menu_File_Who->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(form->ui.GroupBox5->isVisible(), 30000);
        QVERIFY2(said.contains(QString::fromStdString(folder)), qPrintable(said));
        QCOMPARE(form->findChild<WhoWindow*>(), nullptr);
        QVERIFY(!exists(form->engine().whoPath()));
        QVERIFY(!form->engine().lastWasWho());
        QCOMPARE(form->ui.Label7->palette().color(QPalette::Window), QColor(255, 0, 0));
    }

    // Every user and group the dialog lists is looked up as itself, even
    // where its name would be read as something else.
    void listedPrincipalsLookUpAsThemselves()
    {
        for (const gw::KnownPrincipal& p : gw::knownPrincipals()) {
            gw::Principal found;
            std::string error;
            const bool user = p.kind == gw::Principal::Kind::User;
            if (!gw::lookUpPrincipal(p.lookup, found, error)) {
                // Gone since it was listed (other tests add and remove their own)?
                const bool gone = user ? !::getpwnam(p.name.c_str()) : !::getgrnam(p.name.c_str());
                QVERIFY2(gone, error.c_str());
                continue;
            }
            if (user)
                QCOMPARE(found.uid, std::optional<std::uint32_t>(p.id));
            else
                QCOMPARE(found.groups, std::vector<std::uint32_t>({p.id}));
        }
        QCOMPARE(gw::userLookup("anyone", 4242), std::string("4242"));
        QCOMPARE(gw::userLookup("group:x", 4242), std::string("4242"));
        QCOMPARE(gw::userLookup("alice", 4242), std::string("alice"));
        QCOMPARE(gw::groupLookup("", 77), std::string("group:77"));
    }
};

QTEST_MAIN(WhoWindowTest)
#include "who_window_test.moc"
