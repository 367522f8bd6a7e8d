#pragma once
// The main window: the four-page wizard. Each handler is a slot that calls
// into the check engine; the window carries out what the engine asks of its
// controls (CheckView).

#include "FolderTreeModel.h"
#include "engine/paced/CheckEngine.h"
#include "ui_TForm1.h"

#include <QMainWindow>
#include <QTimer>

#include <functional>

class TForm2;
class TForm4;
class QMessageBox;

class TForm1 : public QMainWindow, public gw::CheckView {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    // The Help and About windows, created after this one.
    void setSmallWindows(TForm2* help, TForm4* about);

    Ui::TForm1 ui;
    QTimer Timer1, Timer2, Timer3, Timer4;
    gw::CheckEngine& engine() { return engine_; }
    // Asks where to save a file; the platform's save dialog, replaceable in tests.
    using SaveFileDialog = std::function<QString(QWidget* parent, const QString& caption, const QString& suggested)>;
    static SaveFileDialog& saveFileDialog();
    // Asks which file to open; the platform's open dialog, replaceable in tests.
    static SaveFileDialog& openFileDialog();
    FolderTreeModel& folderModel() { return model_; }
    // Shows the folder at `rawPath` in the folder tree, selected.
    void showFolder(const QByteArray& rawPath);
    TForm2* Form2 = nullptr;
    TForm4* Form4 = nullptr;
    // The verdict's face: the layout's size, and the least it may shrink to.
    static constexpr int kVerdictPixelSize = 16;
    static constexpr int kSmallestVerdictPixelSize = 11;

    // CheckView
    void setVisible(gw::Control control, bool visible) override;
    void setEnabled(gw::Control control, bool enabled) override;
    void setText(gw::Control control, const QString& text) override;
    QString text(gw::Control control) const override;
    void replaceLines(gw::Control control, int lines, const QString& text) override;
    int setProgress(gw::Bar bar, int value) override;
    int progress(gw::Bar bar) const override;
    void setTimerEnabled(gw::Timer timer, bool enabled) override;
    void setTimerInterval(gw::Timer timer, int milliseconds) override;
    int sliderPosition() const override;
    void setSliderPosition(int position) override;
    void setLight(gw::Light light) override;
    void focusFolderTree() override;
    void processEvents() override;
    bool askYesNo(const QString& caption, const QString& text) override;
    void showError(const QString& text) override;
    void openFile(const QByteArray& rawPath) override;

public slots:
    void FormShow();
    void FormClose();
    void ShellTreeView1Change();
    void Button7Click();
    void Button5Click();
    void Button2Click();
    void Button3Click();
    void Button1Click();
    void Button4Click();
    void TrackBar1Change();
    void Timer1Timer();
    void Timer2Timer();
    void Timer3Timer();
    void Timer4Timer();
    void ButtonStopClick();
    void Menu_File_DifferencesClick();
    void Menu_File_FixFileClick();
    void Menu_File_HtmlReportClick();
    void Menu_File_SaveBaselineClick();
    void Menu_File_CompareBaselineClick();
    void Menu_File_WhoClick();
    void Menu_File_ScopeClick();
    void ResultsButtonClick();
    void Menu_File_CloseClick();
    void Menu_Language_RUClick();
    void Menu_Language_ENClick();
    void Menu_HelpClick();
    void Menu_AboutClick();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void labelButtons(QMessageBox& box) const;
    // Asks for a baseline file with `dialog`, titled in the window's
    // language, and hands `use` its absolute path.
    // `existing`: the file is to be read, so only one that exists is suggested.
    void withBaselineFile(const SaveFileDialog& dialog, bool existing, const QString& english, const QString& russian,
                          const std::function<void(const QByteArray&)>& use);
    // The results of the last check stay until another check is chosen: the
    // folder page then offers the way back to them.
    void keepResults(bool kept);
    // Selects `rawPath`'s folder (or a file's) in the folder tree; while
    // results are kept, without choosing it for a check. False when the
    // tree has no such folder.
    bool selectQuietly(const QByteArray& rawPath);
    // Every handler runs through this: an error is shown in a box and the
    // window goes on; nothing passes into Qt's event loop.
    void guarded(const std::function<void()>& handler);
    void switchLanguage(bool english);
    void treeContextMenu(const QPoint& pos);
    // The last inventory of who can do what, in a window of the program's own.
    void showWhoWindow();
    QWidget* widget(gw::Control control) const;
    QProgressBar* bar(gw::Bar bar) const;
    QTimer& timer(gw::Timer timer);
    // True when a check is asked for while a stopped one's phase still ends
    // in the events it handles: `start` is then called again once it has.
    bool startLater(void (TForm1::*start)());

    FolderTreeModel model_;
    gw::CheckEngine engine_;
    bool shown_ = false;
    bool closed_ = false;
    bool resultsKept_ = false;
    bool selectingQuietly_ = false;
    // How deep a check's phase is in handling the window's events: a stopped
    // check's phase ends only once these calls return.
    int eventsDepth_ = 0;
    bool startPending_ = false;
    QString lastBaseline_; // saved or compared with last, while the window is open
};
