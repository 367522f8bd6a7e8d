// The window driven as a person would: clicks, selections, menu commands.

#include "ControlText.h"
#include "DesktopOpener.h"
#include "DifferencesWindow.h"
#include "ReportOpener.h"
#include "ReportViewer.h"
#include "ScopeDialog.h"
#include "TForm1.h"
#include "TForm2.h"
#include "TForm4.h"
#include "TempTree.h"
#include "WindowDriving.h"

#include <QAbstractTextDocumentLayout>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTextBlock>
#include <QtTest>

#include <csignal>
#include <deque>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool exists(const QByteArray& path)
{
    struct stat st { };
    return ::lstat(path.constData(), &st) == 0;
}

QStringList workingFolders(const std::string& base)
{
    return QDir(QString::fromStdString(base)).entryList({"grantwise-*"}, QDir::Dirs | QDir::NoDotAndDotDot);
}

// The real program, with `environment` added to this one's.
bool startProgram(QProcess& program, const QStringList& environment)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& pair : environment)
        env.insert(pair.section('=', 0, 0), pair.section('=', 1));
    program.setProcessEnvironment(env);
    program.start(qEnvironmentVariable("GRANTWISE_APP", "grantwise"), {});
    return program.waitForStarted();
}

// A report without its first line, which holds the time and the date.
std::string body(const std::string& path)
{
    const std::string text = gwtest::readFile(path);
    return text.substr(text.find("\r\n"));
}

// grantwise-check with `options`, its reports in `reports`, on `folder`.
gwtest::ProcessResult checkOnTheCommandLine(std::vector<std::string> options, const std::string& reports,
                                            const std::string& folder)
{
    options.insert(options.begin(), {gwtest::checkProgram(), "--reports", reports});
    options.push_back(folder);
    return gwtest::run(options);
}

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<gwtest::TempTree> work, tree;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<TForm2> help;
    std::unique_ptr<TForm4> about;
    std::vector<QUrl> openedUrls;
    ReportLauncher realLauncher;
    QStringList boxes; // texts of the warning boxes answered
    std::deque<QMessageBox::StandardButton> answers;

    void click(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton); }

    // Expands the tree down to `path` and clicks on it, as a person would.
    void chooseFolder(const std::string& path) { gwtest::chooseFolder(*form, path); }

    // Answers the warning box when it comes, with the next answer.
    void answerBoxes()
    {
        auto* timer = new QTimer(form.get());
        connect(timer, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || answers.empty())
                return;
            boxes << box->windowTitle() + "|" + box->text();
            box->button(answers.front())->click();
            answers.pop_front();
        });
        timer->start(20);
    }

    bool onResultsPage() const { return form->ui.GroupBox5->isVisible(); }

    // File > What to check…, set as `set` says and accepted.
    void chooseScope(const std::function<void(ScopeDialog&)>& set)
    {
        bool shown = false;
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<ScopeDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            shown = true;
            set(*dialog);
            dialog->ui.buttons->button(QDialogButtonBox::Ok)->click();
        });
        form->ui.Menu_File_Scope->trigger();
        QVERIFY(shown);
    }

    void checkAndWait()
    {
        click(form->ui.Button7);
        click(form->ui.Button2);
        QTRY_VERIFY_WITH_TIMEOUT(onResultsPage(), 30000);
    }

private slots:
    void init()
    {
        work = std::make_unique<gwtest::TempTree>();
        tree = std::make_unique<gwtest::TempTree>();
        ::setenv("TMPDIR", work->root().c_str(), 1);
        openedUrls.clear();
        desktopOpener() = [this](const QUrl& url) { openedUrls.push_back(url); };
        static const ReportLauncher xdgOpen = reportLauncher(); // the real one, for the test that wants it
        realLauncher = xdgOpen;
        reportLauncher() = [this](const QUrl& url, const std::function<void(int)>& done) {
            openedUrls.push_back(url);
            done(0);
        };
        form = std::make_unique<TForm1>();
        help = std::make_unique<TForm2>(form.get());
        about = std::make_unique<TForm4>(form.get());
        form->setSmallWindows(help.get(), about.get());
        form->engine().setListingProgram(QByteArray::fromStdString(gwtest::aclProgram()));
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        boxes.clear();
        answers.clear();
        answerBoxes();
    }

    void cleanup()
    {
        form->close();
        about.reset();
        help.reset();
        form.reset();
        ::unsetenv("TMPDIR");
    }

    void startsOnTheFolderPageWithRootSelected()
    {
        QVERIFY(form->ui.GroupBox3->isVisible());
        QVERIFY(!form->ui.GroupBox4->isVisible() && !form->ui.GroupBox1->isVisible()
                && !form->ui.GroupBox5->isVisible());
        QCOMPARE(form->folderModel().rawPath(form->ui.ShellTreeView1->currentIndex()), QByteArray("/"));
        QCOMPARE(form->ui.GroupBox3->title(), QString(" Проверяемая папка : /"));
        QCOMPARE(form->ui.GroupBox1->title(), form->ui.GroupBox3->title());
        QVERIFY(!form->ui.Button7->isEnabled());
        QCOMPARE(form->windowTitle(), QString("Grantwise"));
        QCOMPARE(form->centralWidget()->size(), QSize(817, 518));
        QCOMPARE(form->engine().state().Lang, QString("RU"));
        QCOMPARE(form->Timer1.interval(), 200);

        // Shown again after being minimised: no new start.
        const QByteArray winDir = form->engine().state().WinDir;
        form->showMinimized();
        form->showNormal();
        QCOMPARE(form->engine().state().WinDir, winDir);
    }

    void scanSpeedPageBackAndNext()
    {
        tree->mkdir("A/A1");
        tree->mkdir("B");
        chooseFolder(tree->root());
        QVERIFY(form->ui.Button7->isEnabled());
        QVERIFY(!form->ui.Button2->isEnabled() && !form->ui.Button1->isEnabled());

        bool waitingTextsShown = false;
        QTimer::singleShot(0, this, [&] {
            waitingTextsShown = form->ui.GroupBox1->isVisible() && form->ui.Label1->isVisible()
                && form->ui.Label3->isVisible() && !form->ui.Panel1->isVisible();
        });
        click(form->ui.Button7);
        QVERIFY(waitingTextsShown);
        QVERIFY(form->ui.GroupBox4->isVisible() && !form->ui.GroupBox1->isVisible());
        const QString r = QString::fromStdString(tree->root());
        QCOMPARE(form->ui.RichEdit1->toPlainText(),
                 "Проверяемая папка " + r
                     + "\n\nСодержит 3 подпапок\nМаксимальный уровень вложения - 2\n"
                       "Время, затраченное на сбор информации - 00:00:00\n\n"
                     + r + "\n     " + r + "/A\n          " + r + "/A/A1\n     " + r + "/B");
        QCOMPARE(form->ui.Label20->text(), QString("Предполагаемое время выполнения : 00:00:01"));

        // The slider changes the pacing and the estimate; a click in its groove moves two stops.
        form->ui.TrackBar1->setFocus();
        QTest::keyClick(form->ui.TrackBar1, Qt::Key_PageUp);
        QCOMPARE(form->ui.TrackBar1->value(), 5);
        QCOMPARE(form->Timer1.interval(), 800);
        QCOMPARE(form->ui.Label20->text(), QString("Предполагаемое время выполнения : 00:00:06"));
        form->ui.TrackBar1->setValue(10);
        form->ui.TrackBar1->setValue(11);
        QCOMPARE(form->Timer1.interval(), 77675);
        form->ui.TrackBar1->setValue(3);

        click(form->ui.Button5);
        QVERIFY(form->ui.GroupBox3->isVisible() && !form->ui.GroupBox4->isVisible());
        QVERIFY(form->ui.Button7->isEnabled() && form->ui.Button2->isEnabled());
        click(form->ui.Button7);
        QVERIFY(form->ui.GroupBox4->isVisible());
        QCOMPARE(form->engine().ShellTreeView2().count(), 4);
    }

    void wholeChecksRedThenGreen()
    {
        tree->mkdir("same");
        tree->mkdir("other");
        gwtest::setfacl({"-m", "u:12345:rwx", tree->path("other")});
        chooseFolder(tree->root());
        click(form->ui.Button7);
        form->ui.TrackBar1->setValue(1);
        click(form->ui.Button2);
        QVERIFY(form->ui.GroupBox1->isVisible() && form->ui.Panel1->isVisible());
        QVERIFY(!form->ui.Button7->isEnabled() && !form->ui.Button2->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(onResultsPage(), 30000);
        QCOMPARE(form->ui.Label7->palette().color(QPalette::Window), QColor(255, 0, 0));
        QCOMPARE(form->ui.RichEdit3->toPlainText(),
                 QString("Обнаружены несоответствия POSIX разрешений вложенных папок разрешениям проверяемой папки. "
                         "Количество несоответствий: 1. Подробности смотрите в отчете."));
        QVERIFY(exists(form->engine().dumpPath()) && exists(form->engine().mismatchPath()));
        QVERIFY(!form->Timer4.isActive());
        QVERIFY(boxes.isEmpty());

        click(form->ui.Button4);
        QCOMPARE(openedUrls.back(), QUrl::fromLocalFile(QString::fromUtf8(form->engine().mismatchPath())));

        // File > Differences report: the program's own window of the places.
        form->ui.Menu_File_Differences->trigger();
        auto* differences = form->findChild<DifferencesWindow*>();
        QVERIFY(differences && differences->isVisible());
        QCOMPARE(differences->windowTitle(), QString("Различия"));
        DifferencesModel& model = differences->model();
        QCOMPARE(model.rowCount(), 1);
        const QModelIndex place = model.index(0, 0);
        QCOMPARE(model.data(place).toString(), QString::fromStdString(tree->path("other")));
        QCOMPARE(model.rowCount(place), 2); // the named user and the mask
        const QModelIndex added = model.index(0, 0, place);
        QCOMPARE(model.data(added).toString(), QString("+ user 12345:rwx"));
        QCOMPARE(model.data(added, Qt::ForegroundRole).value<QColor>(), QColor(0, 128, 0));
        model.setFilter("12345");
        QCOMPARE(model.rowCount(), 1);
        model.setFilter("nothing like it");
        QCOMPARE(model.rowCount(), 0);
        model.setFilter("");
        // Copying a place copies its path; a double-click shows it in the folder tree.
        differences->ui.places->setCurrentIndex(model.index(0, 0));
        differences->copyCurrent();
        QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromStdString(tree->path("other")));

        click(form->ui.Button3);
        QVERIFY(form->ui.GroupBox3->isVisible());
        for (QPushButton* b : {form->ui.Button7, form->ui.Button2, form->ui.Button1, form->ui.Button4})
            QVERIFY(b->isEnabled());
        // From the results page, a double-click goes back to the folder page.
        click(form->ui.Button7);
        click(form->ui.Button2);
        QTRY_VERIFY_WITH_TIMEOUT(onResultsPage(), 30000);
        emit differences->ui.places->doubleClicked(model.index(0, 0));
        QVERIFY(form->ui.GroupBox3->isVisible() && !form->ui.GroupBox5->isVisible());
        QCOMPARE(form->folderModel().rawPath(form->ui.ShellTreeView1->currentIndex()),
                 QByteArray::fromStdString(tree->path("other")));
        differences->close();

        ::rmdir(tree->path("other").c_str());
        chooseFolder(tree->path("same"));
        chooseFolder(tree->root()); // listed afresh
        click(form->ui.Button7);
        click(form->ui.Button2);
        QTRY_VERIFY_WITH_TIMEOUT(onResultsPage(), 30000);
        QCOMPARE(form->ui.Label7->palette().color(QPalette::Window), QColor(0, 255, 0));
    }

    // The Stop button and Esc end a check under way, of either reading,
    // and bring back the speed page with the folder still chosen.
    void stopByButtonAndByEscape()
    {
        for (int i = 0; i < 20; ++i)
            tree->mkdir("d" + std::to_string(i));
        chooseFolder(tree->root());
        click(form->ui.Button7);
        form->engine().setListingProgram(QByteArray::fromStdString(gwtest::slowListingProgram()));
        form->ui.TrackBar1->setValue(0);
        click(form->ui.Button2);
        QTRY_VERIFY(gwtest::runningChildren() >= 2);
        QVERIFY(form->ui.ButtonStop->isVisible() && form->ui.ButtonStop->isEnabled());
        QCOMPARE(form->ui.ButtonStop->text(), QString("Остановить"));
        click(form->ui.ButtonStop);
        QCOMPARE(gwtest::runningChildren(), 0);
        QVERIFY(form->ui.GroupBox4->isVisible() && !form->ui.GroupBox1->isVisible());
        QVERIFY(form->ui.Button2->isEnabled() && !form->Timer1.isActive() && !form->Timer4.isActive());

        // Esc, in a check of files run in-process; in English.
        form->engine().setListingProgram(QByteArray::fromStdString(gwtest::aclProgram()));
        form->ui.Menu_Language_EN->trigger();
        QCOMPARE(form->ui.ButtonStop->text(), QString("Stop"));
        form->ui.Menu_File_Files->setChecked(true);
        form->activateWindow(); // a shortcut is the active window's
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QTimer::singleShot(0, this, [this] { QTest::keyClick(form.get(), Qt::Key_Escape); });
        click(form->ui.Button2);
        QVERIFY(form->ui.GroupBox4->isVisible() && !form->ui.GroupBox5->isVisible());
        QVERIFY(!form->engine().checking());
        // Esc with no check under way changes nothing.
        QTest::keyClick(form.get(), Qt::Key_Escape);
        QVERIFY(form->ui.GroupBox4->isVisible());
        click(form->ui.Button2);
        QTRY_VERIFY_WITH_TIMEOUT(onResultsPage(), 30000);
        form->ui.Menu_File_Files->setChecked(false);
    }

    // A stop and the next press of NEXT come in one breath: the stopped
    // check ends there and then, and only the check started after it shows
    // its results; the scan started after a stopped scan lists the tree once.
    void nextRightAfterStopStartsAfresh()
    {
        for (int i = 0; i < 40; ++i)
            for (int j = 0; j < 40; ++j)
                tree->mkdir("d" + std::to_string(i) + "/e" + std::to_string(j));
        chooseFolder(tree->root());
        const int folders = 1 + 40 + 40 * 40;

        // Stop and NEXT pressed together while each kind of check runs:
        // the scan, then a plain check read at full speed, stopped and
        // followed by an inheritance check.
        const auto stopAndGoOnWhen = [this](const std::function<bool()>& underWay, const std::function<void()>& goOn) {
            auto* poll = new QTimer(form.get());
            connect(poll, &QTimer::timeout, this, [this, poll, underWay, goOn] {
                if (!form->engine().checking() || !underWay())
                    return;
                poll->deleteLater();
                poll->stop();
                click(form->ui.ButtonStop);
                goOn();
            });
            poll->start(1);
        };
        stopAndGoOnWhen([this] { return form->engine().ShellTreeView2().count() > 100; },
                        [this] {
                            chooseFolder(tree->path("d1"));
                            click(form->ui.Button7);
                        });
        click(form->ui.Button7);
        QTRY_VERIFY_WITH_TIMEOUT(form->ui.GroupBox4->isVisible() && !form->engine().checking(), 30000);
        QCOMPARE(form->engine().ShellTreeView2().count(), 41);
        chooseFolder(tree->root());
        click(form->ui.Button7);
        QCOMPARE(form->engine().ShellTreeView2().count(), folders);
        QVERIFY(form->ui.RichEdit1->toPlainText().contains(QString("Содержит %1 подпапок").arg(folders - 1)));

        form->ui.Menu_File_FullSpeed->setChecked(true);
        stopAndGoOnWhen([this] { return form->ui.GroupBox1->isVisible(); },
                        [this] {
                            form->ui.Menu_File_Inheritance->setChecked(true);
                            click(form->ui.Button2);
                        });
        click(form->ui.Button2);
        QTRY_VERIFY_WITH_TIMEOUT(onResultsPage() && !form->engine().checking(), 30000);
        QTest::qWait(200);
        QCOMPARE(form->ui.Button4->text(), QString("ОТЧЕТ О НАСЛЕДОВАНИИ"));
        QCOMPARE(form->ui.RichEdit3->toPlainText(), QString("Все папки получили то, что даёт им их папка."));
        form->ui.Menu_File_Inheritance->setChecked(false);
        form->ui.Menu_File_FullSpeed->setChecked(false);
    }

    // The results page names the report its button opens, for the kind of
    // check shown; a language switch puts every text of the page in the new
    // language, the differences' reasons too; the menu marks the language.
    void textsFollowTheKindOfCheckAndTheLanguage()
    {
        QVERIFY(form->ui.Menu_Language_RU->isChecked() && !form->ui.Menu_Language_EN->isChecked());
        QCOMPARE(form->ui.Button4->text(), QString("ОТЧЕТ О СООТВЕТСВИЯХ"));
        QCOMPARE(form->ui.Memo3->toPlainText(),
                 QString("Перед Вами результаты проверки.\n"
                         "Если Вы хотите посмотреть отчет о подпапках, списки доступа которых отличаются от списков "
                         "доступа проверяемой папки, нажмите кнопку \"ОТЧЕТ О СООТВЕТСВИЯХ\".\n"
                         "Для просмотра подробного отчета о всех подпапках проверяемой папки, нажмите кнопку \" "
                         "ПОЛНЫЙ ПОДРОБНЫЙ ОТЧЕТ\".\n"
                         "Для того, что выбрать новую папку для проверки, нажмите кнопку \"<< ПРОВЕРИТЬ ЕЩЕ\"."));
        gwtest::setfacl({"-d", "-m", "u:12345:rwx", tree->root()});
        tree->mkdir("given");
        tree->mkdir("bare");
        gwtest::setfacl({"-b", tree->path("bare")});
        form->ui.Menu_File_Inheritance->setChecked(true);
        chooseFolder(tree->root());
        click(form->ui.Button7);
        click(form->ui.Button2);
        QTRY_VERIFY_WITH_TIMEOUT(onResultsPage(), 30000);
        QCOMPARE(form->ui.Button4->text(), QString("ОТЧЕТ О НАСЛЕДОВАНИИ"));
        QVERIFY(form->ui.Memo3->toPlainText().contains("не получили того, что даёт им их папка"));
        click(form->ui.Button4);
        QCOMPARE(openedUrls.back(), QUrl::fromLocalFile(QString::fromUtf8(form->engine().inheritancePath())));
        form->ui.Menu_File_Differences->trigger();
        auto* differences = form->findChild<DifferencesWindow*>();
        QVERIFY(differences);
        DifferencesModel& model = differences->model();
        QStringList lines;
        for (int row = 0; row < model.rowCount(); ++row) {
            for (int i = 0; i < model.rowCount(model.index(row, 0)); ++i)
                lines << model.data(model.index(i, 0, model.index(row, 0))).toString();
        }
        QVERIFY2(lines.contains("acl_not_inherited: записи не те, что даёт его папка"), qPrintable(lines.join('|')));
        differences->close();

        form->ui.Menu_Language_EN->trigger();
        QVERIFY(form->ui.Menu_Language_EN->isChecked() && !form->ui.Menu_Language_RU->isChecked());
        QCOMPARE(form->ui.Button4->text(), QString("INHERITANCE REPORT"));
        QVERIFY(form->ui.Memo3->toPlainText().contains("“ INHERITANCE REPORT ”"));
        QVERIFY(form->ui.RichEdit2->toPlainText().startsWith("The checked folder is "));
        QVERIFY2(form->ui.RichEdit3->toPlainText().contains(" do not carry what their folder gives them."),
                 qPrintable(form->ui.RichEdit3->toPlainText()));
        // Nothing differs and everything was read: said plainly.
        gwtest::setfacl({"-k", tree->path("given")});
        ::rmdir(tree->path("bare").c_str());
        ::rmdir(tree->path("given").c_str());
        click(form->ui.Button3);
        chooseFolder(tree->root());
        click(form->ui.Button7);
        click(form->ui.Button2);
        QTRY_VERIFY_WITH_TIMEOUT(onResultsPage(), 30000);
        QCOMPARE(form->ui.RichEdit3->toPlainText(), QString("Every folder carries what its folder gives it."));
        form->ui.Menu_Language_RU->trigger();
        QCOMPARE(form->ui.RichEdit3->toPlainText(), QString("Все папки получили то, что даёт им их папка."));
        form->ui.Menu_File_Inheritance->setChecked(false);
    }

    // File > Save baseline… after a check, and Compare with baseline…: the
    // drift check's verdict, its report behind the report button, and what
    // changed in the differences window.
    void baselinesFromTheFileMenu()
    {
        tree->mkdir("kept");
        tree->mkdir("gone");
        QVERIFY(!form->ui.Menu_File_SaveBaseline->isEnabled());
        chooseFolder(tree->root());
        QVERIFY(form->ui.Menu_File_CompareBaseline->isEnabled() && !form->ui.Menu_File_SaveBaseline->isEnabled());
        click(form->ui.Button7);
        click(form->ui.Button2);
        QTRY_VERIFY_WITH_TIMEOUT(onResultsPage(), 30000);
        QVERIFY(form->ui.Menu_File_SaveBaseline->isEnabled());

        const QString baseline = QString::fromStdString(work->mkdir("baselines") + "/share.acl");
        const TForm1::SaveFileDialog saveDialog = TForm1::saveFileDialog(), openDialog = TForm1::openFileDialog();
        TForm1::saveFileDialog() = [&](QWidget*, const QString&, const QString&) { return baseline; };
        TForm1::openFileDialog() = [&](QWidget*, const QString&, const QString&) { return baseline; };
        form->ui.Menu_File_SaveBaseline->trigger();
        QVERIFY(exists(QFile::encodeName(baseline)));
        QVERIFY(onResultsPage());
        QVERIFY(form->ui.RichEdit2->toPlainText().endsWith("Базовый снимок сохранён: " + baseline));

        gwtest::setfacl({"-m", "u:12345:rwx", tree->path("kept")});
        ::rmdir(tree->path("gone").c_str());
        click(form->ui.Button3); // from the folder page too
        form->ui.Menu_File_CompareBaseline->trigger();
        TForm1::saveFileDialog() = saveDialog;
        TForm1::openFileDialog() = openDialog;
        QVERIFY(onResultsPage() && boxes.isEmpty());
        QCOMPARE(form->ui.Label7->palette().color(QPalette::Window), QColor(255, 0, 0));
        QVERIFY2(form->ui.RichEdit3->toPlainText().startsWith("Изменения с базового снимка"),
                 qPrintable(form->ui.RichEdit3->toPlainText()));
        QVERIFY(!form->ui.Menu_File_FixFile->isEnabled());
        click(form->ui.Button4);
        QCOMPARE(openedUrls.back(), QUrl::fromLocalFile(QString::fromUtf8(form->engine().driftPath())));

        form->ui.Menu_File_Differences->trigger();
        auto* differences = form->findChild<DifferencesWindow*>();
        QVERIFY(differences && differences->isVisible());
        DifferencesModel& model = differences->model();
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.data(model.index(0, 0)).toString(),
                 "изменена папка " + QString::fromStdString(tree->path("kept")));
        QCOMPARE(model.data(model.index(1, 0)).toString(),
                 "исчезла папка " + QString::fromStdString(tree->path("gone")));
        QCOMPARE(model.data(model.index(0, 0, model.index(0, 0))).toString(), QString("+ user 12345:rwx"));
        model.setFilter("исчезла");
        QCOMPARE(model.rowCount(), 1);
        differences->close();
    }

    // File > What to check…: the paced reading and an in-process kind check
    // what grantwise-check checks with the same options, their reports are
    // its reports, and the pages say what was left out as it does.
    void whatToCheckGivesTheCommandLinesReports()
    {
        for (const char* d : {".hidden/inner", "a/b/c", "skip/x"})
            gwtest::setfacl({"-m", "u:12345:rwx", tree->mkdir(d)});
        const std::string team = tree->mkdir("team"); // differs only in its names
        if (::geteuid() == 0)
            QCOMPARE(::chown(team.c_str(), 65534, 65534), 0);
        chooseScope([](ScopeDialog& dialog) { // in the window's language
            QCOMPARE(dialog.windowTitle(), QString("Что проверять"));
            dialog.ui.excludePatterns->setPlainText("skip\n\nnothing*");
        });
        form->ui.Menu_Language_EN->trigger();
        QCOMPARE(form->ui.Menu_File_Scope->text(), QString("What to check…"));
        chooseScope([](ScopeDialog& dialog) {
            QCOMPARE(dialog.windowTitle(), QString("What to check"));
            QCOMPARE(dialog.ui.excludePatterns->toPlainText(), QString("skip\nnothing*")); // remembered
            dialog.ui.includeHidden->setChecked(true);
            dialog.ui.limitDepth->setChecked(true);
            dialog.ui.maxDepth->setValue(2);
            dialog.ui.ignoreOwner->setChecked(true);
            dialog.ui.ignoreGroup->setChecked(true);
        });
        const std::vector<std::string> options {"--include-hidden", "--exclude", "skip",     "--exclude",  "nothing*",
                                                "--max-depth",      "2",         "--ignore", "owner,group"};
        const QString said = "Not checked: folders matching skip, nothing*, folders more than 2 levels below";
        chooseFolder(tree->root());
        click(form->ui.Button7);
        QVERIFY2(form->ui.RichEdit1->toPlainText().contains("\n" + said + "\n"),
                 qPrintable(form->ui.RichEdit1->toPlainText()));
        QCOMPARE(form->engine().ShellTreeView2().count(), 6); // no skip, x or c
        click(form->ui.Button2);
        QTRY_VERIFY_WITH_TIMEOUT(onResultsPage(), 30000);
        QVERIFY(form->ui.RichEdit2->toPlainText().contains("\n" + said + "\n"));
        QCOMPARE(form->engine().state().MismatchCount, 1); // .hidden/inner
        const std::string paced = work->path("paced");
        QCOMPARE(checkOnTheCommandLine(options, paced, tree->root()).status, 1);
        QCOMPARE(body(paced + "/acl.txt"), body(form->engine().dumpPath().toStdString()));
        QCOMPARE(body(paced + "/acl_def.txt"), body(form->engine().mismatchPath().toStdString()));
        QCOMPARE(gwtest::readFile(paced + "/acl_diff.txt"),
                 gwtest::readFile(form->engine().differencesPath().toStdString()));

        // The inheritance check, in-process, without the hidden folders: said too.
        click(form->ui.Button3);
        form->ui.Menu_File_Inheritance->setChecked(true);
        chooseScope([](ScopeDialog& dialog) { dialog.ui.includeHidden->setChecked(false); });
        form->ui.Menu_Language_RU->trigger();
        click(form->ui.Button7);
        const QString hidden = "\nСкрытые папки не проверены (со всем, что в них): 1 (проверяет Файл > Что проверять…)";
        const QString ru = "Не проверены: папки по шаблонам skip, nothing*, папки глубже уровня 2";
        QVERIFY2(form->ui.RichEdit1->toPlainText().contains("\n" + ru + hidden + "\n"),
                 qPrintable(form->ui.RichEdit1->toPlainText()));
        click(form->ui.Button2);
        QTRY_VERIFY_WITH_TIMEOUT(onResultsPage(), 30000);
        QVERIFY2(form->ui.RichEdit2->toPlainText().contains("\n" + ru + hidden + "\n"),
                 qPrintable(form->ui.RichEdit2->toPlainText()));
        std::vector<std::string> inheritance(options.begin() + 1, options.end());
        inheritance.insert(inheritance.begin(), {"--inheritance", "--lang", "ru"});
        const std::string inProcess = work->path("in-process");
        const gwtest::ProcessResult r = checkOnTheCommandLine(inheritance, inProcess, tree->root());
        QVERIFY2(r.out.find("\n" + ru.toStdString() + "\n") != std::string::npos, r.out.c_str());
        for (const char* report : {"/acl_inherit.txt", "/acl_diff.txt"})
            QCOMPARE(gwtest::readFile(inProcess + report),
                     gwtest::readFile(form->engine().state().WinDir.toStdString() + report));
        QCOMPARE(body(inProcess + "/acl.txt"), body(form->engine().dumpPath().toStdString()));
        // The pages follow the language, what was left out too.
        form->ui.Menu_Language_EN->trigger();
        const QString english = "\n" + said
            + "\nHidden folders not checked, with all below them: 1 (File > What to check… checks them)\n";
        QVERIFY2(form->ui.RichEdit2->toPlainText().contains(english), qPrintable(form->ui.RichEdit2->toPlainText()));
        QVERIFY2(form->ui.RichEdit1->toPlainText().contains(english), qPrintable(form->ui.RichEdit1->toPlainText()));
    }

    // A double-click on a place shows it in the folder tree and keeps the
    // results: the menu reaches them, and one click goes back to them, until
    // another folder is chosen.
    void doubleClickOnAPlaceKeepsTheResults()
    {
        tree->mkdir("same");
        gwtest::setfacl({"-m", "u:12345:rwx", tree->mkdir("other")});
        chooseFolder(tree->root());
        QVERIFY(!form->ui.ResultsButton->isVisible());
        checkAndWait();
        form->ui.Menu_File_Differences->trigger();
        auto* differences = form->findChild<DifferencesWindow*>();
        QVERIFY(differences);
        const QModelIndex place = differences->model().index(0, 0);
        const auto current = [this] { return form->folderModel().rawPath(form->ui.ShellTreeView1->currentIndex()); };
        const auto resultsKept = [this] {
            return form->ui.Menu_File_Differences->isEnabled() && form->ui.Menu_File_FixFile->isEnabled()
                && form->ui.Menu_File_SaveBaseline->isEnabled() && form->ui.Button1->isEnabled();
        };
        const QString caption = form->ui.GroupBox3->title();

        emit differences->ui.places->doubleClicked(place);
        QVERIFY(form->ui.GroupBox3->isVisible() && form->ui.ResultsButton->isVisible());
        QCOMPARE(current(), QByteArray::fromStdString(tree->path("other")));
        QVERIFY(resultsKept());
        QCOMPARE(form->ui.GroupBox3->title(), caption); // of the folder checked
        // The fix file is still the checked folder's, and said on its results.
        const QString fix = QString::fromStdString(work->path("other.fix"));
        const TForm1::SaveFileDialog saveDialog = TForm1::saveFileDialog();
        TForm1::saveFileDialog() = [&](QWidget*, const QString&, const QString&) { return fix; };
        form->ui.Menu_File_FixFile->trigger();
        TForm1::saveFileDialog() = saveDialog;
        QVERIFY(onResultsPage() && boxes.isEmpty());
        QVERIFY(form->ui.RichEdit2->toPlainText().endsWith("\nФайл исправления сохранён: " + fix));
        QCOMPARE(current(), QByteArray::fromStdString(tree->root()));
        QVERIFY(gwtest::readFile(fix.toStdString()).find("# file: " + tree->path("other") + "\n") != std::string::npos);

        emit differences->ui.places->doubleClicked(place);
        click(form->ui.ResultsButton);
        QVERIFY(onResultsPage() && resultsKept());
        QCOMPARE(current(), QByteArray::fromStdString(tree->root()));
        form->ui.Menu_Language_EN->trigger(); // the caption stays the checked folder's
        QCOMPARE(form->ui.GroupBox5->title(), " Checked folder : " + QString::fromStdString(tree->root()));
        QVERIFY(form->ui.RichEdit2->toPlainText().endsWith("\nFix file saved: " + fix));

        // NEXT checks the place shown: choosing another check ends the results.
        emit differences->ui.places->doubleClicked(place);
        click(form->ui.Button7);
        QVERIFY(form->ui.GroupBox4->isVisible());
        QVERIFY(form->ui.RichEdit1->toPlainText().startsWith("The checked folder is "
                                                             + QString::fromStdString(tree->path("other")) + "\n"));
        click(form->ui.Button5);
        QVERIFY(!form->ui.ResultsButton->isVisible() && !form->ui.Menu_File_Differences->isEnabled());
        // Without results to keep, a place shown is chosen as a click chooses it.
        chooseFolder(tree->path("same"));
        emit differences->ui.places->doubleClicked(place);
        QCOMPARE(form->engine().selectedPath(), QByteArray::fromStdString(tree->path("other")));
        differences->close();
    }

    // After an inheritance check the window saves the fix file
    // grantwise-check --inheritance --fix-file writes.
    void inheritanceFixFileIsTheCommandLines()
    {
        gwtest::setfacl({"-d", "-m", "u::rwx,g::r-x,u:12345:rwx,m::rwx,o::---", tree->root()});
        ::mkdir(tree->path("made").c_str(), 0777); // inherits
        ::mkdir(tree->path("narrow").c_str(), 0700);
        gwtest::setfacl({"-m", "u:54321:r-x", tree->path("made")});
        form->ui.Menu_File_Inheritance->setChecked(true);
        chooseFolder(tree->root());
        checkAndWait();
        QVERIFY(form->ui.Menu_File_FixFile->isEnabled());
        const QString saved = QString::fromStdString(work->path("window.fix"));
        const TForm1::SaveFileDialog saveDialog = TForm1::saveFileDialog();
        TForm1::saveFileDialog() = [&](QWidget*, const QString&, const QString&) { return saved; };
        form->ui.Menu_File_FixFile->trigger();
        TForm1::saveFileDialog() = saveDialog;
        QVERIFY(boxes.isEmpty());
        QVERIFY(form->ui.RichEdit2->toPlainText().endsWith("\nФайл исправления сохранён: " + saved));
        const std::string cli = work->path("cli.fix");
        QCOMPARE(checkOnTheCommandLine({"--inheritance", "--fix-file", cli}, work->path("r"), tree->root()).status, 1);
        const std::string fix = gwtest::readFile(saved.toStdString());
        QCOMPARE(fix, gwtest::readFile(cli));
        for (const char* item : {"made", "narrow"})
            QVERIFY2(fix.find("# file: " + tree->path(item) + "\n") != std::string::npos, fix.c_str());
    }

    // Compare with baseline… suggests the baseline saved or compared with
    // last while it is there, else the home folder to look in.
    void theSuggestedBaselineIsOneThatExists()
    {
        tree->mkdir("a");
        QString suggested, answer;
        const TForm1::SaveFileDialog saveDialog = TForm1::saveFileDialog(), openDialog = TForm1::openFileDialog();
        TForm1::saveFileDialog() = TForm1::openFileDialog() = [&](QWidget*, const QString&, const QString& s) {
            suggested = s;
            return answer;
        };
        chooseFolder(tree->root());
        form->ui.Menu_File_CompareBaseline->trigger();
        QCOMPARE(suggested, QDir::homePath());
        checkAndWait();
        const QString baseline = QString::fromStdString(work->mkdir("baselines") + "/share.acl");
        answer = baseline;
        form->ui.Menu_File_SaveBaseline->trigger();
        QCOMPARE(suggested, QDir::homePath() + "/grantwise-baseline.acl.gz"); // a name for a new one
        QVERIFY(exists(QFile::encodeName(baseline)));
        answer.clear();
        form->ui.Menu_File_CompareBaseline->trigger();
        QCOMPARE(suggested, baseline);
        form->ui.Menu_File_SaveBaseline->trigger();
        QCOMPARE(suggested, baseline);
        QCOMPARE(::unlink(QFile::encodeName(baseline).constData()), 0);
        form->ui.Menu_File_CompareBaseline->trigger();
        QCOMPARE(suggested, QDir::homePath());
        TForm1::saveFileDialog() = saveDialog;
        TForm1::openFileDialog() = openDialog;
    }

    void retryPromptInTheLanguageSwitchedDuringTheCheck()
    {
        for (const char* d : {"a", "b", "gone"})
            tree->mkdir(d);
        chooseFolder(tree->root());
        click(form->ui.Button7);
        form->ui.TrackBar1->setValue(1);
        ::rmdir(tree->path("gone").c_str());
        answers = {QMessageBox::Yes, QMessageBox::No};
        click(form->ui.Button2);
        form->ui.Menu_Language_EN->trigger(); // during the reading
        QCOMPARE(form->ui.GroupBox1->title(), " Checked folder : " + QString::fromStdString(tree->root()));
        QCOMPARE(form->ui.Label9->text(), QString("Reading folders POSIX permissions"));
        QTRY_VERIFY_WITH_TIMEOUT(onResultsPage(), 30000);
        QCOMPARE(boxes.size(), 2);
        QVERIFY(boxes[0].startsWith("WARNING.|It is found out during the handling:  25% of data HES BEEN MISSED. \n"));
        QCOMPARE(form->ui.TrackBar1->value(), 2);
        QCOMPARE(form->ui.Label7->palette().color(QPalette::Window), QColor(255, 0, 0));
        QVERIFY(form->ui.RichEdit3->toPlainText().endsWith(
            "The permissions of 1 folder were not read and not compared. The details are in the report."));
        QCOMPARE(form->ui.Button3->text(), QString("<< CHECK AGAIN"));
    }

    void languageSwitchOnEveryWindow()
    {
        form->ui.Menu_Language_EN->trigger();
        QCOMPARE(form->ui.Menu_Language->title(), QString("Язык"));
        QCOMPARE(form->ui.Menu_About->text(), QString("About.."));
        QCOMPARE(form->ui.GroupBox5->title(), QString(" Checked folder : /"));
        QCOMPARE(form->ui.Label2->x(), 144);
        QCOMPARE(form->ui.Label20->text(), QString("Expected processing time : "));
        QCOMPARE(help->windowTitle(), QString("Help"));
        QCOMPARE(about->ui.Memo1->toPlainText(), QString("Version 2.0\n10 October 2008"));
        QCOMPARE(form->engine().state().WarnCaption, QString("WARNING."));
        form->ui.Menu_Language_RU->trigger();
        QCOMPARE(form->ui.Label1->text(), QString("Ждите. Идет выполнение.")); // no trailing blank now
        QCOMPARE(form->ui.Label2->x(), 136);
        QCOMPARE(about->windowTitle(), QString("О программе"));
        QCOMPARE(form->engine().state().Lang, QString("RU"));

        // The address opens the home page and leaves the window open.
        QTimer::singleShot(0, this, [this] {
            QTest::mouseClick(help->ui.Label1, Qt::LeftButton);
            QVERIFY(help->isVisible());
            help->close();
        });
        form->ui.Menu_Help->trigger();
        QCOMPARE(openedUrls.back(), QUrl(QString::fromLatin1(kHomePage)));
    }

    // A listing too long to show at once is filled in pieces: no line is lost
    // or broken where the pieces meet, the memo opens at the top with its
    // scroll bar, and the next, short listing has none.
    void longListingsShowWholeAndShortOnesAfterThem()
    {
        const std::string name(200, 'n');
        constexpr int kFolders = 1500; // some 340,000 characters of listing
        for (int i = 0; i < kFolders; ++i)
            tree->mkdir(std::to_string(i / 100) + "/" + name + std::to_string(i % 100));
        chooseFolder(tree->root());
        click(form->ui.Button7);
        QVERIFY(form->ui.GroupBox4->isVisible());
        QPlainTextEdit* memo = form->ui.RichEdit1;
        const QStringList lines = memo->toPlainText().split('\n');
        const QString r = QString::fromStdString(tree->root());
        QStringList listed = lines.mid(lines.indexOf(r) + 1);
        QStringList expected;
        for (int i = 0; i < kFolders; ++i) {
            const QString parent = r + "/" + QString::number(i / 100);
            if (i % 100 == 0)
                expected << QString(5, ' ') + parent;
            expected << QString(10, ' ') + parent + "/" + QString::fromStdString(name) + QString::number(i % 100);
        }
        listed.sort();
        expected.sort();
        QCOMPARE(listed, expected);
        QCOMPARE(memo->textCursor().position(), 0);
        QCOMPARE(memo->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
        // The scroll bar measures every line, not blocks of them.
        QVERIFY(memo->verticalScrollBar()->maximum() > lines.size() - 40);
        QVERIFY(memo->verticalScrollBar()->isVisible());
        QCOMPARE(memo->verticalScrollBar()->value(), 0);
        // Scrolled to the end, the last lines fill the memo: none is scrolled off.
        memo->verticalScrollBar()->setValue(memo->verticalScrollBar()->maximum());
        QTextCursor end(memo->document());
        end.movePosition(QTextCursor::End);
        QVERIFY(memo->cursorRect(end).bottom() > memo->viewport()->height() - 2 * memo->fontMetrics().lineSpacing());
        // Copied, the listing has the same lines and plain line ends.
        memo->selectAll();
        memo->copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), memo->toPlainText());
        QVERIFY(!QGuiApplication::clipboard()->text().contains(QChar(QChar::LineSeparator)));

        click(form->ui.Button5);
        const std::string small = tree->mkdir("0/" + name + "0/x");
        chooseFolder(small);
        click(form->ui.Button7);
        QVERIFY(form->ui.GroupBox4->isVisible());
        QVERIFY(memo->toPlainText().endsWith(QString::fromStdString(small)));
        QTRY_VERIFY(!memo->verticalScrollBar()->isVisible());
    }

    // A text filled in piece by piece counts every line before it is laid
    // out, the lines of a block that goes on from one piece to the next too.
    void longTextsCountEveryLineBeforeTheyAreShown()
    {
        QPlainTextEdit memo;
        memo.setLineWrapMode(QPlainTextEdit::NoWrap);
        QString text;
        constexpr int kLines = 20000; // some four pieces
        for (int i = 0; i < kLines; ++i)
            text += QStringLiteral("/srv/share/folder%1 user root (owner):rwx\r\n").arg(i, 6, 10, QLatin1Char('0'));
        QVERIFY(text.size() > 3 * (1 << 18));
        setControlText(&memo, text);
        QCOMPARE(memo.document()->lineCount(), kLines + 1); // and the empty line after the last line end
        QCOMPARE(memo.toPlainText(), QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    }

    // Where the desktop cannot open a text file, the report opens in the
    // program's own viewer, which says why; the find field finds in it.
    // xdg-open that ends late, with its viewer's status, showed the file: no
    // viewer of the program's own then; one that fails at once, or cannot
    // start even late, gets it.
    void aLateEndOfTheDesktopsViewerIsNoFailure()
    {
        const std::chrono::milliseconds window = reportFailureWindow();
        reportFailureWindow() = std::chrono::milliseconds(150);
        const std::string report = work->path("late.txt");
        std::FILE* f = std::fopen(report.c_str(), "w");
        std::fputs("report\n", f);
        std::fclose(f);
        const auto endingAfter = [](int milliseconds, int status) {
            return [milliseconds, status](const QUrl&, const std::function<void(int)>& done) {
                QTimer::singleShot(milliseconds, [done, status] { done(status); });
            };
        };
        reportLauncher() = endingAfter(400, 4);
        form->openFile(QByteArray::fromStdString(report));
        QTest::qWait(600);
        QVERIFY(!form->findChild<ReportViewer*>());
        reportLauncher() = endingAfter(0, 4);
        form->openFile(QByteArray::fromStdString(report));
        QTRY_VERIFY(form->findChild<ReportViewer*>());
        delete form->findChild<ReportViewer*>();
        reportLauncher() = endingAfter(400, -1);
        form->openFile(QByteArray::fromStdString(report));
        QTRY_VERIFY(form->findChild<ReportViewer*>());
        delete form->findChild<ReportViewer*>();
        reportFailureWindow() = window;
    }

    void reportsTheDesktopCannotOpenShowInTheProgramsOwnViewer()
    {
        // No desktop, no handlers: the real xdg-open can open nothing.
        const std::string empty = work->mkdir("no-handlers");
        const QByteArray display = qgetenv("DISPLAY");
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        ::unsetenv("BROWSER");
        ::setenv("XDG_DATA_HOME", empty.c_str(), 1);
        ::setenv("XDG_DATA_DIRS", empty.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", empty.c_str(), 1);
        reportLauncher() = realLauncher;
        const std::string report = work->path("report.txt");
        {
            std::FILE* f = std::fopen(report.c_str(), "w");
            std::fputs("first line\nuser alice:rwx\nlast line\n", f);
            std::fclose(f);
        }
        form->openFile(QByteArray::fromStdString(report));
        ReportViewer* viewer = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((viewer = form->findChild<ReportViewer*>()) != nullptr, 20000);
        if (!display.isEmpty())
            ::setenv("DISPLAY", display.constData(), 1);
        QCOMPARE(viewer->windowTitle(), QString::fromStdString(report));
        QVERIFY2(viewer->reasonLine()->text().startsWith(QString("Рабочий стол не открыл отчёт (")),
                 qPrintable(viewer->reasonLine()->text()));
        QCOMPARE(viewer->text()->toPlainText(), QString("first line\nuser alice:rwx\nlast line\n"));
        QVERIFY(viewer->text()->isReadOnly());
        QVERIFY(QTest::qWaitForWindowExposed(viewer));
        viewer->activateWindow();
        QTRY_VERIFY(viewer->isActiveWindow());
        viewer->text()->setFocus();
        QTest::keySequence(viewer, QKeySequence::Find);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(viewer->findField()));
        viewer->findField()->setText("alice");
        QVERIFY(viewer->findNext());
        QCOMPARE(viewer->text()->textCursor().selectedText(), QString("alice"));
        QVERIFY(viewer->findNext()); // from the top again
        viewer->findField()->setText("nowhere");
        QVERIFY(!viewer->findNext());
        viewer->close();
    }

    void closeRemovesTheWorkingFolder()
    {
        tree->mkdir("a");
        chooseFolder(tree->root());
        click(form->ui.Button7);
        click(form->ui.Button2);
        QTRY_VERIFY_WITH_TIMEOUT(onResultsPage(), 30000);
        const QByteArray winDir = form->engine().state().WinDir;
        QVERIFY(exists(winDir + "/acl.txt"));
        form->ui.Menu_File_Close->trigger();
        QVERIFY(!form->isVisible());
        QVERIFY(!exists(winDir));
    }

    void longVerdictsShowWholeInASmallerFace()
    {
        QPlainTextEdit* verdict = form->ui.RichEdit3;
        for (const QString text :
             {"There are mismatches between POSIX permissions of the checked folder and the subfolders. The number "
              "of mismatches: 3. The permissions of 2 folders were not read and not compared. The subfolders of 1 "
              "folders could not be listed and were not checked. The details are in the report.",
              "Обнаружены несоответствия POSIX разрешений вложенных папок разрешениям проверяемой папки. Количество "
              "несоответствий: 3. Разрешения 2 папок не были прочитаны и не сравнивались. Не удалось получить "
              "список вложенных папок у 1 папки, они не проверены. Подробности смотрите в отчете.",
              "Несоответствий не обнаружено."}) {
            form->setText(gw::Control::RichEdit3, text); // as the engine does, before the page shows
            form->ui.GroupBox3->setVisible(false);
            form->ui.GroupBox5->setVisible(true);
            QCoreApplication::processEvents();
            const QTextDocument* document = verdict->document();
            qreal height = 2 * document->documentMargin();
            for (QTextBlock b = document->begin(); b.isValid(); b = b.next())
                height += document->documentLayout()->blockBoundingRect(b).height();
            QVERIFY2(height <= verdict->viewport()->height(), qPrintable(text));
            const int size = verdict->font().pixelSize();
            QVERIFY2(text.size() < 50 ? size == 16 : size >= 11 && size < 16, qPrintable(QString::number(size)));
            QCOMPARE(verdict->verticalScrollBar()->maximum(), 0);
            QVERIFY(!verdict->horizontalScrollBar()->isVisible());
        }
    }

    void tabLeavesTheMemos()
    {
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QPlainTextEdit* memo = form->ui.Memo1; // may be typed in
        const QString text = memo->toPlainText();
        memo->setFocus();
        QTest::keyClick(memo, Qt::Key_Tab);
        QVERIFY(!memo->hasFocus() && !memo->isReadOnly());
        QCOMPARE(memo->toPlainText(), text);
        help->show(); // its memo is its only control
        QTest::keyClick(help->ui.Memo1, Qt::Key_Tab);
        QVERIFY(!help->ui.Memo1->toPlainText().contains('\t'));
        help->close();
    }

    void folderTreeShowsNamesAsAFileManagerAndExpandersOnlyWhereUseful()
    {
        for (const char* d :
             {"back\\slash", "line\nbreak", "trail ", "parent/child/leaf", "hidden only/.git", "link only"})
            tree->mkdir(d);
        QVERIFY(::symlink(tree->path("parent").c_str(), tree->path("link only/to parent").c_str()) == 0);
        ::close(::open(tree->path("trail /a file").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
        chooseFolder(tree->path("line\nbreak"));
        const QModelIndex top = form->ui.ShellTreeView1->currentIndex().parent();
        QStringList shown;
        for (int row = 0; row < form->folderModel().rowCount(top); ++row)
            shown << top.model()->index(row, 0, top).data().toString();
        QCOMPARE(shown,
                 QStringList({"back\\slash", "hidden only", "line\u240Abreak", "link only", "parent", "trail\u2423"}));
        const QString printable = QString::fromStdString(tree->root()) + "/line\\012break"; // elsewhere
        QCOMPARE(form->ui.GroupBox3->title(), " Проверяемая папка : " + printable);
        QCOMPARE(form->ui.ShellTreeView1->currentIndex().data(Qt::ToolTipRole).toString(), printable);

        FolderTreeModel& model = form->folderModel();
        const auto expandable = [&](const char* path) {
            const QModelIndex index = model.indexForPath(QByteArray::fromStdString(tree->path(path)));
            return index.isValid() && model.hasChildren(index);
        };
        QVERIFY(expandable("parent") && expandable("parent/child"));
        for (const char* d : {"back\\slash", "trail ", "hidden only", "link only", "parent/child/leaf"})
            QVERIFY2(!expandable(d), d);
    }

    void helpAndAboutOpenAgainWhereTheyWereLeft()
    {
        for (QAction* opens : {form->ui.Menu_Help, form->ui.Menu_About}) {
            QList<QPoint> seen;
            for (int i = 0; i < 3; ++i) {
                QTimer::singleShot(0, this, [&] {
                    auto* window = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                    seen << window->pos();
                    if (i == 0) { // the user drags it, through the window system
                        window->windowHandle()->setFramePosition(window->pos() + QPoint(40, 30));
                        (void)QTest::qWaitFor([&] { return window->pos() != seen[0]; });
                        seen[0] = window->pos();
                    }
                    window->close();
                });
                opens->trigger();
            }
            QCOMPARE(seen, QList<QPoint>({seen[0], seen[0], seen[0]}));
        }
    }

    void signalsCloseTheWindowAsFileCloseDoes_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("ignoredAtStart"); // as nohup starts it: stays ignored
        QTest::newRow("SIGTERM") << SIGTERM << false;
        QTest::newRow("SIGHUP") << SIGHUP << false;
        QTest::newRow("SIGINT") << SIGINT << false;
        QTest::newRow("SIGHUP ignored") << SIGHUP << true;
    }

    void signalsCloseTheWindowAsFileCloseDoes()
    {
        QFETCH(int, signal);
        QFETCH(bool, ignoredAtStart);
        const gwtest::TempTree temp; // the program's own, apart from this window's
        QProcess program;
        if (ignoredAtStart)
            program.setChildProcessModifier([] { ::signal(SIGHUP, SIG_IGN); });
        QVERIFY(startProgram(program, {"TMPDIR=" + QString::fromStdString(temp.root()), "QT_QPA_PLATFORM=offscreen"}));
        QTRY_COMPARE_WITH_TIMEOUT(workingFolders(temp.root()).size(), 1, 30000);
        const std::string status = gwtest::readFile("/proc/" + std::to_string(program.processId()) + "/status");
        const std::size_t at = status.find(ignoredAtStart ? "SigIgn:\t" : "SigCgt:\t");
        QVERIFY(at != std::string::npos);
        QVERIFY(std::stoull(status.substr(at + 8, 16), nullptr, 16) & (1ULL << (signal - 1)));
        QVERIFY(::kill(static_cast<pid_t>(program.processId()), ignoredAtStart ? SIGTERM : signal) == 0);
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit); // ended by itself, not by the signal
        QCOMPARE(workingFolders(temp.root()), QStringList());
    }

    void lostDisplayStillRemovesTheWorkingFolder()
    {
        QProcess display;
        display.start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp"});
        if (!display.waitForStarted())
            QSKIP("Xvfb is not installed");
        QTRY_VERIFY_WITH_TIMEOUT(display.canReadLine(), 30000);
        const gwtest::TempTree temp;
        QProcess program;
        QVERIFY(startProgram(program,
                             {"TMPDIR=" + QString::fromStdString(temp.root()), "QT_QPA_PLATFORM=xcb",
                              "DISPLAY=:" + QString::fromLatin1(display.readLine()).trimmed()}));
        QTRY_VERIFY_WITH_TIMEOUT(workingFolders(temp.root()).size() == 1 || program.state() != QProcess::Running,
                                 30000);
        if (program.state() != QProcess::Running)
            QSKIP("the program cannot open a window on X here");
        display.terminate(); // the display goes away under the window
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(workingFolders(temp.root()), QStringList());
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
