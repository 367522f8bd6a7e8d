#include "engine/paced/CheckEngine.h"
#include "engine/reports/MessageText.h"

#include "engine/paced/Countdown.h"
#include "engine/paced/Estimates.h"
#include "platform/PrintableText.h"
#include "platform/WorkingFolder.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace gw {

CheckEngine::CheckEngine(CheckView& view, const TimeFormat& timeFormat)
    : view_(view)
    , timeFormat_(timeFormat)
    , listingProgram_(besideOwnExecutable("grantwise-acl"))
{
}

void CheckEngine::setWaitLimits(std::chrono::milliseconds sentinel, std::chrono::milliseconds reference)
{
    sentinelWait_ = sentinel;
    referenceWait_ = reference;
}

QByteArray CheckEngine::dumpPath() const
{
    return WorkingFolder::fullReportFile(state_.WinDir);
}
QByteArray CheckEngine::referencePath() const
{
    return WorkingFolder::referenceFile(state_.WinDir);
}
QByteArray CheckEngine::mismatchPath() const
{
    return WorkingFolder::mismatchFile(state_.WinDir);
}
QByteArray CheckEngine::differencesPath() const
{
    return WorkingFolder::differencesFile(state_.WinDir);
}
QByteArray CheckEngine::inheritancePath() const
{
    return WorkingFolder::inheritanceFile(state_.WinDir);
}

bool CheckEngine::ensureWorkingFolder()
{
    if (state_.WinDir.isEmpty()) {
        state_.WinDir = WorkingFolder::create();
        if (state_.WinDir.isEmpty()) {
            view_.showError(workingFolderErrorText(WorkingFolder::base(), errno, state_.Lang));
            return false;
        }
    }
    // The working folder is never part of what is checked, even when the
    // chosen folder holds it.
    const int fd = ::open(state_.WinDir.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    const std::optional<ExcludedFolder> excluded = fd >= 0 ? excludedFolder(fd) : std::nullopt;
    if (fd >= 0)
        ::close(fd);
    if (excluded)
        tree_.setExcluded({*excluded});
    return true;
}

void CheckEngine::FormShow()
{
    FormShowDefaults(state_);
    if (!state_.WinDir.isEmpty())
        (void)ensureWorkingFolder(); // only records the folder to leave out; a failure is said at the scan
    view_.setTimerInterval(Timer::Timer1, pumpInterval(state_.SpeedFactor));
    view_.setText(Control::RichEdit1, QString());
    scanLines_ = 0;
    for (Control button : {Control::Button7, Control::Button2, Control::Button1, Control::Button4,
                           Control::Menu_File_Differences, Control::Menu_File_FixFile, Control::Menu_File_HtmlReport,
                           Control::Menu_File_SaveBaseline, Control::Menu_File_CompareBaseline})
        view_.setEnabled(button, false);
    view_.setLight(Light::Off);
    showKindTexts();
    view_.focusFolderTree();
}

void CheckEngine::FormClose()
{
    closed_ = true; // a phase still running ends quietly
    gw::FormClose(state_);
}

int CheckEngine::setBar(Bar bar, long double value)
{
    const int shown = view_.setProgress(bar, progressValue(value));
    const Control label = bar == Bar::ProgressBar1 ? Control::Label13
        : bar == Bar::ProgressBar2                 ? Control::Label15
                                                   : Control::Label17;
    view_.setText(label, QString::number(shown) + QLatin1Char('%'));
    return shown;
}

void CheckEngine::processEventsNow()
{
    lastEvents_ = std::chrono::steady_clock::now();
    view_.processEvents();
}

void CheckEngine::processEventsWhenDue()
{
    if (progressDue())
        processEventsNow();
}

void CheckEngine::Timer4Timer()
{
    if (const auto text = gw::Timer4Timer(state_, timeFormat_))
        view_.setText(Control::Label14, *text);
}

void CheckEngine::TrackBar1Change()
{
    state_.SpeedFactor = speedFactorForPosition(view_.sliderPosition(), state_.SpeedFactor);
    view_.setTimerInterval(Timer::Timer1, pumpInterval(state_.SpeedFactor));
    Calc_Time();
}

void CheckEngine::setItemCheck(bool inheritance, bool files)
{
    inheritance_ = inheritance;
    files_ = files;
    if (scanned_)
        Calc_Time(); // the speed page shows this kind's estimate
}

void CheckEngine::setFullSpeed(bool fullSpeed)
{
    fullSpeed_ = fullSpeed;
    if (scanned_)
        Calc_Time();
}

void CheckEngine::Calc_Time()
{
    const long long fullSpeedSeconds = FullSpeedEstimate::seconds(fullSpeedRate_, tree_, files_);
    const bool inProcess = readsInProcess();
    view_.setEnabled(Control::TrackBar1, !inProcess);
    if (!inProcess) {
        view_.setText(Control::Label20,
                      gw::Calc_Time(state_, tree_.count(), pumpInterval(state_.SpeedFactor), timeFormat_));
        view_.setText(Control::Label21, fullSpeedLine(state_.Lang, fullSpeedSeconds, timeFormat_));
        return;
    }
    // Read in-process: the time measured on this machine, not the pacing's.
    state_.EstRead = static_cast<int>(fullSpeedSeconds);
    state_.EstCheck = state_.EstAnalysis = 0;
    state_.EstTotal = state_.EstRead;
    view_.setText(Control::Label20, expectedTimeText(state_.Lang, state_.EstTotal, timeFormat_));
    view_.setText(Control::Label21, sliderIdleLine(state_.Lang, fullSpeed_));
}

} // namespace gw
