#pragma once
// What the phases of a check do to the window.
//
// The main window implements this; tests implement it with a recorder. The
// engine never touches a widget: it names the control and says what to do.

#include "engine/reports/VerdictLight.h"
#include <QByteArray>
#include <QString>

namespace gw {

enum class Control {
    GroupBox1, // progress page
    GroupBox3, // folder page
    GroupBox4, // speed page
    GroupBox5, // results page
    Panel1, // the progress page's bars
    Button1, // full detail report
    Button2, // next, on the speed page
    Button4, // mismatch report
    Button7, // next, on the folder page
    ButtonStop, // stop, on the progress page
    RichEdit1, // scan summary
    RichEdit2, // processing summary
    RichEdit3, // verdict
    Label13, // reading percentage
    Label15, // analysis percentage
    Label17, // verification percentage
    Label14, // remaining time
    Label20, // expected time
    Label21, // the speed page's line on full speed
    Memo3, // the results page's help
    TrackBar1, // the speed slider
    Menu_File_Differences, // File menu: the differences report
    Menu_File_FixFile, // File menu: save the fix file
    Menu_File_HtmlReport, // File menu: save the HTML report
    Menu_File_SaveBaseline, // File menu: save a baseline of the checked folder
    Menu_File_CompareBaseline, // File menu: compare the chosen folder with a baseline
};

enum class Bar {
    ProgressBar1,
    ProgressBar2,
    ProgressBar3
};
enum class Timer {
    Timer1,
    Timer2,
    Timer3,
    Timer4
};

class CheckView {
public:
    virtual ~CheckView() = default;

    virtual void setVisible(Control control, bool visible) = 0;
    virtual void setEnabled(Control control, bool enabled) = 0;
    // The text of a memo or label, or the caption of a group box.
    virtual void setText(Control control, const QString& text) = 0;
    virtual QString text(Control control) const = 0;
    // Replaces the first `lines` lines of a memo with `text`, the rest kept.
    virtual void replaceLines(Control control, int lines, const QString& text) = 0;
    // Sets a bar (range 0..100) and returns the position it shows.
    virtual int setProgress(Bar bar, int value) = 0;
    virtual int progress(Bar bar) const = 0;
    // Enabling a running timer, or setting the interval it has, changes nothing.
    virtual void setTimerEnabled(Timer timer, bool enabled) = 0;
    virtual void setTimerInterval(Timer timer, int milliseconds) = 0;
    virtual int sliderPosition() const = 0;
    // Moves the speed slider; its change handler runs before this returns.
    virtual void setSliderPosition(int position) = 0;
    virtual void setLight(Light light) = 0;
    virtual void focusFolderTree() = 0;
    // Handles pending window events (repaint, countdown, menu commands).
    virtual void processEvents() = 0;
    // The modal Yes/No box of the missing-data warning; true for Yes.
    virtual bool askYesNo(const QString& caption, const QString& text) = 0;
    virtual void showError(const QString& text) = 0;
    // Opens a file in the desktop's viewer, without waiting.
    virtual void openFile(const QByteArray& rawPath) = 0;
};

} // namespace gw
