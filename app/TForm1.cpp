#include "TForm1.h"
#include "QtTranslations.h"
#include "engine/reports/CountText.h"
#include "engine/reports/MessageText.h"
#include "platform/PrintableText.h"

#include "DesktopOpener.h"
#include "DifferencesWindow.h"
#include "ExitSignals.h"
#include "LanguageTable.h"
#include "PrincipalDialog.h"
#include "ScopeDialog.h"
#include "TForm2.h"
#include "TForm4.h"
#include "WhoWindow.h"
#include "platform/PrintablePath.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLayout>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QShortcut>
#include <QWindow>

#include <functional>

TForm1::SaveFileDialog& TForm1::saveFileDialog()
{
    static SaveFileDialog dialog = [](QWidget* parent, const QString& caption, const QString& suggested) {
        // Qt's own dialog, so that its labels and questions follow the
        // window's language (see QtTranslations).
        QFileDialog box(parent, caption, QFileInfo(suggested).absolutePath());
        box.setAcceptMode(QFileDialog::AcceptSave);
        box.setOption(QFileDialog::DontUseNativeDialog);
        box.selectFile(suggested);
        return box.exec() == QDialog::Accepted && !box.selectedFiles().isEmpty() ? box.selectedFiles().constFirst()
                                                                                 : QString();
    };
    return dialog;
}

TForm1::SaveFileDialog& TForm1::openFileDialog()
{
    static SaveFileDialog dialog = [](QWidget* parent, const QString& caption, const QString& suggested) {
        // A folder suggested opens the dialog in it, with no file chosen.
        const QFileInfo info(suggested);
        QFileDialog box(parent, caption, info.isDir() ? info.absoluteFilePath() : info.absolutePath());
        box.setAcceptMode(QFileDialog::AcceptOpen);
        box.setFileMode(QFileDialog::ExistingFile);
        box.setOption(QFileDialog::DontUseNativeDialog);
        if (!info.isDir())
            box.selectFile(suggested);
        return box.exec() == QDialog::Accepted && !box.selectedFiles().isEmpty() ? box.selectedFiles().constFirst()
                                                                                 : QString();
    };
    return dialog;
}

TForm1::TForm1(QWidget* parent)
    : QMainWindow(parent,
                  Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                      | Qt::WindowCloseButtonHint)
    , engine_(*this)
{
    ui.setupUi(this);
    setObjectName(QStringLiteral("Form1"));
    layout()->setSizeConstraint(QLayout::SetFixedSize); // client area fixed at 817 x 518 below the menu

    // Memos and text boxes keep their text close to the edge, as the
    // platform's own controls do, so the layout's lines fit their boxes.
    // Tab leaves them for the next control, so the keyboard never gets stuck.
    for (QPlainTextEdit* memo : findChildren<QPlainTextEdit*>()) {
        memo->document()->setDocumentMargin(1);
        memo->setTabChangesFocus(true);
    }
    for (QLabel* label : findChildren<QLabel*>()) {
        if (label != ui.Label7)
            label->adjustSize(); // labels size themselves to their text
    }
    Timer1.setInterval(500);
    Timer2.setInterval(500);
    Timer3.setInterval(1000);
    Timer4.setInterval(1000);

    connect(&Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    connect(&Timer2, &QTimer::timeout, this, &TForm1::Timer2Timer);
    connect(&Timer3, &QTimer::timeout, this, &TForm1::Timer3Timer);
    connect(&Timer4, &QTimer::timeout, this, &TForm1::Timer4Timer);
    connect(ui.Button7, &QPushButton::clicked, this, &TForm1::Button7Click);
    connect(ui.Button5, &QPushButton::clicked, this, &TForm1::Button5Click);
    connect(ui.Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
    connect(ui.Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
    connect(ui.Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(ui.Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
    connect(ui.ButtonStop, &QPushButton::clicked, this, &TForm1::ButtonStopClick);
    // Esc stops a check as the button does; elsewhere it does nothing.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] {
        if (engine_.checking())
            ButtonStopClick();
    });
    connect(ui.TrackBar1, &QSlider::valueChanged, this, &TForm1::TrackBar1Change);
    connect(ui.Menu_File_Differences, &QAction::triggered, this, &TForm1::Menu_File_DifferencesClick);
    connect(ui.Menu_File_FixFile, &QAction::triggered, this, &TForm1::Menu_File_FixFileClick);
    connect(ui.Menu_File_HtmlReport, &QAction::triggered, this, &TForm1::Menu_File_HtmlReportClick);
    connect(ui.Menu_File_SaveBaseline, &QAction::triggered, this, &TForm1::Menu_File_SaveBaselineClick);
    connect(ui.Menu_File_CompareBaseline, &QAction::triggered, this, &TForm1::Menu_File_CompareBaselineClick);
    connect(ui.Menu_File_Who, &QAction::triggered, this, &TForm1::Menu_File_WhoClick);
    // Who can do what is asked of the same folders as a baseline is compared
    // with: a chosen folder that can be checked, while no check runs.
    connect(ui.Menu_File_CompareBaseline, &QAction::enabledChanged, ui.Menu_File_Who, &QAction::setEnabled);
    // The kind of check, remembered while the window is open.
    const auto kindChanged = [this] {
        guarded([this] {
            engine_.setItemCheck(ui.Menu_File_Inheritance->isChecked(), ui.Menu_File_Files->isChecked());
            engine_.setFullSpeed(ui.Menu_File_FullSpeed->isChecked());
        });
    };
    connect(ui.Menu_File_Inheritance, &QAction::toggled, this, kindChanged);
    connect(ui.Menu_File_Files, &QAction::toggled, this, kindChanged);
    connect(ui.Menu_File_FullSpeed, &QAction::toggled, this, kindChanged);
    connect(ui.Menu_File_Scope, &QAction::triggered, this, &TForm1::Menu_File_ScopeClick);
    connect(ui.ResultsButton, &QPushButton::clicked, this, &TForm1::ResultsButtonClick);
    connect(ui.Menu_File_Close, &QAction::triggered, this, &TForm1::Menu_File_CloseClick);
    connect(ui.Menu_Language_RU, &QAction::triggered, this, &TForm1::Menu_Language_RUClick);
    connect(ui.Menu_Language_EN, &QAction::triggered, this, &TForm1::Menu_Language_ENClick);
    connect(ui.Menu_Help, &QAction::triggered, this, &TForm1::Menu_HelpClick);
    connect(ui.Menu_About, &QAction::triggered, this, &TForm1::Menu_AboutClick);
    connect(ui.ShellTreeView1, &QWidget::customContextMenuRequested, this, &TForm1::treeContextMenu);

    setLight(gw::Light::Red); // the layout's colour, until the first show
    ui.ShellTreeView1->setModel(&model_);
    connect(ui.ShellTreeView1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TForm1::ShellTreeView1Change);
    // "/" is selected as the window is created, which already runs the
    // selection handler, before the first show.
    ui.ShellTreeView1->setCurrentIndex(model_.index(0, 0));
    ui.ShellTreeView1->expand(model_.index(0, 0));
}

void TForm1::setSmallWindows(TForm2* help, TForm4* about)
{
    Form2 = help;
    Form4 = about;
}

void TForm1::guarded(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const std::exception& e) {
        showError(gw::handlerErrorText(QString::fromUtf8(e.what()), engine_.state().Lang));
    } catch (...) {
        showError(gw::unknownErrorText(engine_.state().Lang));
    }
}

void TForm1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (shown_) // shown again after being minimised: not a new start
        return;
    shown_ = true;
    FormShow();
    if (const QScreen* s = screen())
        move(s->availableVirtualGeometry().center() - frameGeometry().center() + pos());
}

void TForm1::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
}

void TForm1::FormShow()
{
    guarded([this] { engine_.FormShow(); });
    gw::useQtTranslations(gw::isRussian(engine_.state().Lang));
    removeAtExit(engine_.state().WinDir);
}

void TForm1::FormClose()
{
    if (closed_)
        return;
    closed_ = true;
    // The program ends with the window: its timers are of no use any more.
    for (QTimer* t : {&Timer1, &Timer2, &Timer3, &Timer4})
        t->stop();
    guarded([this] { engine_.FormClose(); });
    removeAtExit({});
}

void TForm1::ShellTreeView1Change()
{
    if (selectingQuietly_) // a place of the results, shown: the results stay
        return;
    keepResults(false);
    guarded([this] { engine_.ShellTreeView1Change(model_.rawPath(ui.ShellTreeView1->currentIndex())); });
}

bool TForm1::startLater(void (TForm1::*start)())
{
    // A check started inside the events a stopped check's phase handles would
    // run within that phase, on its walk and its reports.
    if (eventsDepth_ == 0)
        return false;
    if (!startPending_) {
        startPending_ = true;
        QTimer::singleShot(10, this, [this, start] {
            startPending_ = false;
            if (!closed_)
                (this->*start)();
        });
    }
    return true;
}

void TForm1::Button7Click()
{
    if (startLater(&TForm1::Button7Click))
        return;
    // A place of the results shown in the tree is the folder checked next.
    if (model_.rawPath(ui.ShellTreeView1->currentIndex()) != engine_.selectedPath()) {
        ShellTreeView1Change();
        if (!ui.Button7->isEnabled())
            return;
    }
    guarded([this] { engine_.Button7Click(); });
    if (!closed_) // the scan makes it when the start could not
        removeAtExit(engine_.state().WinDir);
}

void TForm1::Button2Click()
{
    if (startLater(&TForm1::Button2Click))
        return;
    guarded([this] { engine_.Button2Click(); });
}
void TForm1::Button1Click()
{
    guarded([this] { engine_.Button1Click(); });
}
void TForm1::Button4Click()
{
    guarded([this] { engine_.Button4Click(); });
}
void TForm1::TrackBar1Change()
{
    guarded([this] { engine_.TrackBar1Change(); });
}
void TForm1::Timer1Timer()
{
    guarded([this] { engine_.Timer1Timer(); });
}
void TForm1::Timer2Timer()
{
    guarded([this] { engine_.Timer2Timer(); });
}
void TForm1::Timer3Timer()
{
    guarded([this] { engine_.Timer3Timer(); });
}
void TForm1::Timer4Timer()
{
    guarded([this] { engine_.Timer4Timer(); });
}

void TForm1::ButtonStopClick()
{
    guarded([this] { engine_.stopCheck(); });
}

void TForm1::Button5Click()
{
    ui.GroupBox4->setVisible(false);
    ui.GroupBox3->setVisible(true);
    ui.ShellTreeView1->setFocus();
}

void TForm1::Button3Click()
{
    ui.GroupBox5->setVisible(false);
    ui.GroupBox3->setVisible(true);
    ui.ShellTreeView1->setFocus();
}

void TForm1::Menu_File_DifferencesClick()
{
    if (engine_.lastWasWho()) {
        showWhoWindow(); // an inventory's places are where the rights change
        return;
    }
    guarded([this] {
        // The differences of the last check, in a window of the program's own.
        const gw::Analysis& analysis = engine_.lastAnalysis();
        std::vector<DifferencePlace> places;
        int folders = 0;
        const bool inheritance = engine_.lastWasInheritance();
        const bool drift = engine_.lastWasDrift();
        const bool russian = gw::isRussian(engine_.state().Lang);
        const auto kindWord = [russian](gw::ItemKind kind) {
            const bool file = kind == gw::ItemKind::File;
            return russian ? (file ? QStringLiteral("файл") : QStringLiteral("папка"))
                           : (file ? QStringLiteral("file") : QStringLiteral("folder"));
        };
        if (!inheritance && !drift) {
            for (const gw::FolderDifference& d : analysis.differences) {
                ++folders;
                if (d.startsHere)
                    places.push_back(DifferencePlace {d.path, {}, d.sameBelow, {}, d.changes});
            }
        }
        // Items compared with what their folder gives them, with their reasons.
        for (const gw::ItemDifference& d : engine_.lastItems().items) {
            if (drift)
                break;
            QStringList reasons;
            for (const gw::InheritanceReason r : d.finding.reasons)
                reasons << QString::fromLatin1(gw::reasonKey(r)) + QStringLiteral(": ")
                        + QString::fromStdString(russian ? gw::reasonTextRussian(r, d.finding.narrowedMode)
                                                         : gw::reasonText(r, d.finding.narrowedMode));
            places.push_back(DifferencePlace {d.path, kindWord(d.kind), 0, reasons, d.changes});
        }
        // Items that changed since the baseline, are new, gone or not read now.
        for (const gw::DriftItem& d : engine_.lastDriftItems()) {
            // What happened to it, and what it is: "changed folder", "новый файл".
            static const char* const kWords[][2][2] = {
                {{"changed folder", "изменена папка"}, {"changed file", "изменён файл"}},
                {{"new folder", "новая папка"}, {"new file", "новый файл"}},
                {{"gone folder", "исчезла папка"}, {"gone file", "исчез файл"}},
                {{"not read folder", "не прочитана папка"}, {"not read file", "не прочитан файл"}}};
            const QString kind = QString::fromUtf8(
                kWords[d.status][d.item.kind == gw::ItemKind::File ? 1 : 0][russian ? 1 : 0]);
            places.push_back(DifferencePlace {
                d.item.path, kind, 0, d.note.isEmpty() ? QStringList() : QStringList {QString::fromUtf8(d.note)},
                d.item.changes});
        }
        QString heading;
        if (drift) {
            heading = engine_.lastDriftVerdict();
        } else if (inheritance) {
            const QString target = QString::fromUtf8(analysis.inputs.targetPrintable);
            const gw::ItemFindings& items = engine_.lastItems();
            heading = russian
                ? QStringLiteral("Наследование в %1: не получили того, что даёт им их папка, папок — %2, файлов — %3.")
                      .arg(target)
                      .arg(items.foldersDiffering)
                      .arg(items.filesDiffering)
                : QStringLiteral("Inheritance below %1: %2 and %3 do not carry what their folder gives them.")
                      .arg(target)
                      .arg(gw::countedText(items.foldersDiffering, "folder", "folders"))
                      .arg(gw::countedText(items.filesDiffering, "file", "files"));
        } else {
            const QString target = QString::fromUtf8(analysis.inputs.targetPrintable);
            heading = russian
                ? QStringLiteral("Отличия от проверяемой папки %1: папок — %2, мест, где они начинаются, — %3.")
                      .arg(target)
                      .arg(folders)
                      .arg(places.size())
                : QStringLiteral("Differences from the checked folder %1: %2; the differences start in %3.")
                      .arg(target)
                      .arg(gw::countedText(folders, "folder differs", "folders differ"))
                      .arg(gw::countedText(static_cast<long long>(places.size()), "place", "places"));
        }
        auto* window = new DifferencesWindow(this, heading, std::move(places), russian,
                                             [this](const QByteArray& rawPath) { showFolder(rawPath); });
        window->setAttribute(Qt::WA_DeleteOnClose);
        // A window of its own, not one kept above the main window: a place
        // shown in the folder tree brings the main window to the front.
        window->setWindowFlags((window->windowFlags() & ~Qt::Dialog) | Qt::Window);
        window->show();
        if (QWindow* handle = window->windowHandle())
            handle->setTransientParent(nullptr);
    });
}

void TForm1::showFolder(const QByteArray& rawPath)
{
    // The folder tree is on the folder page: go back to it as the wizard's
    // own buttons do, the results kept; during a check the folder is not shown.
    if (ui.GroupBox5->isVisible())
        Button3Click();
    else if (ui.GroupBox4->isVisible())
        Button5Click();
    if (ui.GroupBox3->isVisible() && selectQuietly(rawPath))
        ui.ShellTreeView1->setFocus();
    // Above the differences window that asked for it.
    raise();
    activateWindow();
}

bool TForm1::selectQuietly(const QByteArray& rawPath)
{
    QModelIndex index = model_.indexForPath(rawPath);
    if (!index.isValid() && rawPath.lastIndexOf('/') > 0) // a file: its folder
        index = model_.indexForPath(rawPath.left(rawPath.lastIndexOf('/')));
    if (!index.isValid())
        return false;
    selectingQuietly_ = resultsKept_; // without results to keep, the folder is chosen as a click chooses it
    ui.ShellTreeView1->setCurrentIndex(index);
    selectingQuietly_ = false;
    ui.ShellTreeView1->scrollTo(index);
    return true;
}

void TForm1::keepResults(bool kept)
{
    resultsKept_ = kept;
    ui.ResultsButton->setVisible(kept); // on the folder page
}

void TForm1::ResultsButtonClick()
{
    // Back to the results, their folder selected again in the tree.
    (void)selectQuietly(engine_.selectedPath());
    ui.GroupBox3->setVisible(false);
    ui.GroupBox5->setVisible(true);
    ui.Button3->setFocus();
}

void TForm1::Menu_File_ScopeClick()
{
    bool accepted = false;
    guarded([this, &accepted] {
        ScopeDialog dialog(this, gw::isRussian(engine_.state().Lang), engine_.scope(), engine_.ignoredParts());
        accepted = dialog.exec() == QDialog::Accepted;
        if (accepted)
            engine_.setScope(dialog.scope(), dialog.ignored());
    });
    // The speed page says what the next reading takes in: scanned again.
    if (accepted && ui.GroupBox4->isVisible())
        Button7Click();
}

void TForm1::Menu_File_FixFileClick()
{
    guarded([this] {
        const bool english = gw::isEnglish(engine_.state().Lang);
        const QString path = saveFileDialog()(
            this, english ? QStringLiteral("Save fix file") : QStringLiteral("Сохранить файл исправления"),
            QDir::homePath() + QStringLiteral("/grantwise-fix.acl"));
        if (path.isEmpty())
            return;
        if (const QString problem = engine_.saveFixFile(QFile::encodeName(path)); !problem.isEmpty())
            showError(problem);
        else if (resultsKept_ && ui.GroupBox3->isVisible())
            ResultsButtonClick(); // where it says the file was saved
    });
}

void TForm1::Menu_File_HtmlReportClick()
{
    guarded([this] {
        const bool english = gw::isEnglish(engine_.state().Lang);
        const QString path = saveFileDialog()(
            this, english ? QStringLiteral("Save HTML report") : QStringLiteral("Сохранить отчёт HTML"),
            QDir::homePath() + QStringLiteral("/grantwise-report.html"));
        if (path.isEmpty())
            return;
        if (const QString problem = engine_.saveHtmlReport(QFile::encodeName(path)); !problem.isEmpty())
            showError(problem);
        else if (resultsKept_ && ui.GroupBox3->isVisible())
            ResultsButtonClick(); // where it says the report was saved
    });
}

void TForm1::Menu_File_SaveBaselineClick()
{
    if (startLater(&TForm1::Menu_File_SaveBaselineClick))
        return;
    withBaselineFile(saveFileDialog(), false, QStringLiteral("Save baseline"), QStringLiteral("Сохранить снимок"),
                     [this](const QByteArray& file) { engine_.saveBaseline(file); });
}

void TForm1::Menu_File_CompareBaselineClick()
{
    if (startLater(&TForm1::Menu_File_CompareBaselineClick))
        return;
    withBaselineFile(openFileDialog(), true, QStringLiteral("Compare with baseline"),
                     QStringLiteral("Сравнить со снимком"),
                     [this](const QByteArray& file) { engine_.compareWithBaseline(file); });
}

void TForm1::Menu_File_WhoClick()
{
    if (startLater(&TForm1::Menu_File_WhoClick))
        return;
    bool ran = false;
    guarded([this, &ran] {
        PrincipalDialog dialog(this, gw::isRussian(engine_.state().Lang), gw::knownPrincipals());
        if (dialog.exec() == QDialog::Accepted)
            ran = engine_.whoHasAccess(dialog.principal());
    });
    if (closed_)
        return;
    removeAtExit(engine_.state().WinDir); // the check makes the working folder when the start could not
    if (ran)
        showWhoWindow();
}

void TForm1::showWhoWindow()
{
    guarded([this] {
        const std::optional<gw::WhoFindings>& who = engine_.lastWho();
        if (!who)
            return;
        const QString lang = engine_.state().Lang;
        auto* window = new WhoWindow(
            this, *who, gw::whoVerdict(gw::isRussian(lang) ? QStringLiteral("RU") : QStringLiteral("EN"), *who),
            gw::isRussian(lang), [this] { openFile(engine_.whoPath()); },
            [this](const QByteArray& rawPath) { showFolder(rawPath); });
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
    });
}

void TForm1::withBaselineFile(const SaveFileDialog& dialog, bool existing, const QString& english,
                              const QString& russian, const std::function<void(const QByteArray&)>& use)
{
    guarded([&] {
        // The baseline saved or compared with last, while it is there; else
        // a name for a new one, or the home folder to find one in.
        QString suggested = existing ? QDir::homePath()
                                     : QDir::homePath() + QStringLiteral("/grantwise-baseline.acl.gz");
        if (!lastBaseline_.isEmpty() && QFileInfo(lastBaseline_).isFile())
            suggested = lastBaseline_;
        const QString path = dialog(this, gw::isEnglish(engine_.state().Lang) ? english : russian, suggested);
        if (path.isEmpty())
            return;
        lastBaseline_ = QFileInfo(path).absoluteFilePath();
        use(QFile::encodeName(lastBaseline_));
    });
    if (!closed_) // the check makes the working folder when the start could not
        removeAtExit(engine_.state().WinDir);
}

void TForm1::Menu_File_CloseClick()
{
    close();
}

void TForm1::Menu_HelpClick()
{
    if (Form2)
        Form2->exec();
}

void TForm1::Menu_AboutClick()
{
    if (Form4)
        Form4->exec();
}

void TForm1::Menu_Language_RUClick()
{
    guarded([this] { switchLanguage(false); });
}
void TForm1::Menu_Language_ENClick()
{
    guarded([this] { switchLanguage(true); });
}

void TForm1::switchLanguage(bool english)
{
    applyLanguage(english,
                  {{QStringLiteral("Form1"), this}, {QStringLiteral("Form2"), Form2}, {QStringLiteral("Form4"), Form4}},
                  engine_.state(), gw::printableText(engine_.selectedPath()));
    gw::useQtTranslations(!english);
    engine_.languageChanged();
    // The Language menu marks the language in use.
    ui.Menu_Language_EN->setChecked(english);
    ui.Menu_Language_RU->setChecked(!english);
}

void TForm1::treeContextMenu(const QPoint& pos)
{
    const QModelIndex index = ui.ShellTreeView1->indexAt(pos);
    if (!index.isValid())
        return;
    ui.ShellTreeView1->setCurrentIndex(index); // a right click selects the folder
    const QByteArray path = model_.rawPath(index);
    QMenu menu(this);
    const bool english = gw::isEnglish(engine_.state().Lang);
    menu.addAction(english ? QStringLiteral("Copy path") : QStringLiteral("Копировать путь"),
                   [path] { QGuiApplication::clipboard()->setText(gw::printableText(path)); });
    menu.addAction(english ? QStringLiteral("Open in file manager") : QStringLiteral("Открыть в файловом менеджере"),
                   [path] { desktopOpener()(fileUrl(path)); });
    menu.exec(ui.ShellTreeView1->viewport()->mapToGlobal(pos));
}
