#include "engine/paced/ReadVerification.h"

#include "engine/paced/CheckEngine.h"
#include "engine/paced/Estimates.h"
#include "platform/WorkingFile.h"

namespace gw {

int missingPercentage(int folders, int counted)
{
    const int missing = folders - (counted - 1);
    return progressValue(static_cast<long double>(missing) / folders * 100);
}

QString warningText(const CheckState& state, int percentage)
{
    return state.WarnFound + QString::number(percentage) + state.WarnMissed + QStringLiteral("\r\n") + state.WarnRetry
        + QStringLiteral("\r\n") + state.WarnAnalyse;
}

void CheckEngine::Timer2Timer()
{
    view_.setTimerEnabled(Timer::Timer2, false);
    state_.ReadEnd = timeStamp();
    state_.ReadTime = state_.ReadEnd - state_.PhaseStart;
    view_.setProgress(Bar::ProgressBar1, 110);
    processEventsNow();
    if (closed())
        return;
    const int folders = tree_.count();
    const QByteArray root = QByteArray::fromStdString(tree_.printablePath(0));
    bool retry = false;
    listingsRead_ = 0;

    if (fileExists(dumpPath())) {
        // Reading stage: an error ends it silently; what was read is counted.
        QByteArray dump;
        // An error ends the reading silently: what was read is counted, and
        // the analysis reads the file again and says why if it cannot.
        (void)readWholeFile(dumpPath(), dump);
        qsizetype lines = 0;
        qsizetype pos = 0;
        do { // at least one line, possibly empty
            qsizetype end = dump.indexOf('\n', pos);
            if (end < 0)
                end = dump.size();
            ++lines;
            pos = end + 1;
            if (pos >= dump.size() || progressDue()) {
                setBar(Bar::ProgressBar3, static_cast<long double>(lines) / folders * 80 * 0.07L);
                processEventsNow();
                if (closed())
                    return;
            }
        } while (pos < dump.size());
        const int base = view_.progress(Bar::ProgressBar3);

        // Counting stage.
        const auto show = [&](int n) {
            setBar(Bar::ProgressBar3, static_cast<long double>(n) / folders * 20 * 0.9L + base);
        };
        listingsRead_ = countListings(dump, root, [&](int n) {
            if (progressDue()) {
                show(n);
                processEventsNow();
            }
        });
        show(listingsRead_);
        processEventsNow();
        if (closed())
            return;

        if (listingsRead_ - 1 < folders && view_.sliderPosition() < kSliderMax) {
            // The texts are read now, so a language switch made meanwhile shows.
            retry = view_.askYesNo(state_.WarnCaption, warningText(state_, missingPercentage(folders, listingsRead_)));
            if (closed())
                return;
        }
    }
    if (retry) {
        view_.setSliderPosition(view_.sliderPosition() + 1);
        processEventsNow();
        if (closed())
            return;
        Button2Click();
        return;
    }
    state_.CheckEnd = timeStamp();
    state_.CheckTime = state_.CheckEnd - state_.ReadEnd;
    removeFile(referencePath());
    referencePid_ = processes_.startAppending(listingProgram_, listingOptions_, selectedPath_, referencePath());
    view_.setTimerEnabled(Timer::Timer3, true);
    setBar(Bar::ProgressBar3, 100);
    processEventsNow();
}

} // namespace gw
