// Stopping a check under way: the scan, the paced reading and its later
// phases, or a check run in-process. Nothing half-done stays behind.

#include "engine/paced/CheckEngine.h"
#include "platform/WorkingFile.h"
#include "platform/WorkingFolder.h"

namespace gw {

void CheckEngine::startChecking(bool scan)
{
    checking_ = true;
    scanning_ = scan;
    stopped_ = false;
    pacedReading_ = false;
    view_.setEnabled(Control::ButtonStop, true);
}

void CheckEngine::endChecking()
{
    checking_ = scanning_ = false;
    view_.setEnabled(Control::ButtonStop, false);
}

void CheckEngine::stopCheck()
{
    if (!checking_ || closed())
        return;
    const bool scan = scanning_;
    endChecking();
    stopped_ = true; // every phase under way ends at its next step, quietly
    for (Timer timer : {Timer::Timer1, Timer::Timer2, Timer::Timer3, Timer::Timer4})
        view_.setTimerEnabled(timer, false);
    // No listing process appends to a report once this returns.
    processes_.stopAll();
    referencePid_ = -1;
    if (pacedReading_) {
        // The paced reading appends to the full report as it goes, and the
        // other reports are an earlier check's: none of them stays, so that
        // no report stands beside one of another check. A check run
        // in-process writes its reports as a set at its end, so when
        // stopped it has written none and the earlier ones stay whole.
        for (const char* name : WorkingFolder::kReportNames)
            removeFile(state_.WinDir + '/' + name);
        pacedReading_ = false;
    }
    view_.setLight(Light::Off);
    view_.setText(Control::RichEdit3, QString());
    view_.setVisible(Control::GroupBox1, false);
    if (scan || !scanned_) {
        // Back to the folder, still chosen; the scan starts anew next time.
        view_.setVisible(Control::GroupBox3, true);
        view_.setEnabled(Control::Button7, true);
        view_.setEnabled(Control::Menu_File_CompareBaseline, !selectedPath_.isEmpty());
        view_.focusFolderTree();
        return;
    }
    view_.setVisible(Control::Panel1, true);
    view_.setVisible(Control::GroupBox4, true);
    view_.setEnabled(Control::Button7, true);
    view_.setEnabled(Control::Button2, true);
    view_.setEnabled(Control::Menu_File_CompareBaseline, true);
    Calc_Time();
}

} // namespace gw
