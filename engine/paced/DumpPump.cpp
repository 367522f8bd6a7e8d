// The reading: one listing process per tick, then the sentinel line.

#include "engine/paced/CheckEngine.h"
#include "engine/paced/Estimates.h"
#include "engine/reports/MessageText.h"
#include "platform/PrintablePath.h"
#include "platform/PrintableText.h"
#include "platform/WorkingFile.h"

#include <cerrno>
#include <cstring>

namespace gw {

void CheckEngine::showProgressPage()
{
    startChecking(false);
    state_.PhaseStart = timeStamp();
    for (Control page : {Control::GroupBox3, Control::GroupBox4, Control::GroupBox5})
        view_.setVisible(page, false);
    view_.setVisible(Control::GroupBox1, true);
    view_.setVisible(Control::Panel1, true);
    view_.setEnabled(Control::Button1, false);
    view_.setEnabled(Control::Button4, false);
    for (Control item : {Control::Menu_File_Differences, Control::Menu_File_FixFile, Control::Menu_File_HtmlReport,
                         Control::Menu_File_SaveBaseline, Control::Menu_File_CompareBaseline})
        view_.setEnabled(item, false);
    view_.setText(Control::RichEdit2, QString());
    state_.SecondsLeft = state_.EstTotal;
    view_.setTimerEnabled(Timer::Timer4, true);
    view_.setEnabled(Control::Button7, false);
    view_.setEnabled(Control::Button2, false);
    view_.setProgress(Bar::ProgressBar3, 0);
    view_.setProgress(Bar::ProgressBar2, 0);
    view_.setProgress(Bar::ProgressBar1, 0);
    for (Control label : {Control::Label13, Control::Label15, Control::Label17})
        view_.setText(label, QStringLiteral("0%"));
    processEventsNow();
}

void CheckEngine::Button2Click()
{
    showProgressPage();
    if (closed())
        return;
    if (readsInProcess()) {
        runItemCheck();
        return;
    }
    itemCheckRan_ = false;
    pacedReading_ = true;
    removeFile(dumpPath());
    state_.FolderIndex = 0;
    lastListingStart_ = std::chrono::steady_clock::now();
    view_.setTimerEnabled(Timer::Timer1, true);
}

void CheckEngine::Timer1Timer()
{
    // Events are processed inside a tick; a tick that falls due meanwhile is
    // dropped, so every folder is listed exactly once, in order.
    if (pumpTickRunning_ || closed())
        return;
    pumpTickRunning_ = true;
    struct Release {
        bool& flag;
        ~Release() { flag = false; }
    } release {pumpTickRunning_};

    const int folders = tree_.count();
    if (state_.FolderIndex >= folders) {
        // The sentinel closes the last listing's block, so it must not
        // overtake a listing still being written: wait for them, within reason.
        if (processes_.reap() > 0 && std::chrono::steady_clock::now() - lastListingStart_ < sentinelWait_)
            return;
        if (const int error = appendOnce(dumpPath(), QByteArray::fromStdString(tree_.printablePath(0)) + '\n')) {
            checkFailed(fileErrorText(FileAction::Write, dumpPath(), error, state_.Lang));
            return;
        }
        setBar(Bar::ProgressBar1, 100);
        processEventsNow();
        if (closed())
            return;
        view_.setTimerEnabled(Timer::Timer1, false);
        view_.setTimerEnabled(Timer::Timer2, true);
        return;
    }
    // The path goes to the program untouched, as its one argument.
    if (processes_.startAppending(listingProgram_, listingOptions_, tree_.path(state_.FolderIndex), dumpPath()) < 0) {
        // A listing that cannot start is missed, and the verification counts
        // it; a dump that cannot be written ends the check.
        if (const int error = appendOnce(dumpPath(), QByteArray())) {
            checkFailed(fileErrorText(FileAction::Write, dumpPath(), error, state_.Lang));
            return;
        }
    }
    lastListingStart_ = std::chrono::steady_clock::now();
    view_.setProgress(Bar::ProgressBar1, progressValue(static_cast<long double>(state_.FolderIndex) / folders * 100));
    processEventsNow();
    if (closed())
        return;
    view_.setText(Control::Label13, QString::number(view_.progress(Bar::ProgressBar1)) + QLatin1Char('%'));
    state_.FolderIndex += 1;
}

} // namespace gw
