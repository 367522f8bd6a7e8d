// The analysis phase of the window's check, on its timer.

#include "engine/paced/CheckEngine.h"
#include "engine/paced/Estimates.h"
#include "engine/reports/LeftOutText.h"
#include "engine/reports/MessageText.h"
#include "engine/reports/Reports.h"
#include "engine/rules/MismatchAnalysis.h"
#include "platform/PrintablePath.h"
#include "platform/PrintableText.h"
#include "platform/WorkingFile.h"
#include <algorithm>
#include <cstring>
#include <thread>

namespace gw {

void CheckEngine::Timer3Timer()
{
    view_.setTimerEnabled(Timer::Timer3, false);
    state_.MismatchCount = 0;
    int base = 0;
    QByteArray reference;
    const QByteArray root = QByteArray::fromStdString(tree_.printablePath(0));
    const QByteArray chosen = gw::printableUtf8(selectedPath_);
    const auto cannotRead = [this](const QByteArray& path, int error) {
        checkFailed(fileErrorText(FileAction::Read, path, error, state_.Lang));
    };

    // The reference listing was started a moment ago: wait for it to end, so a
    // late or failed one is never taken for an empty reference.
    const auto waitStart = std::chrono::steady_clock::now();
    while (referencePid_ > 0 && processes_.isRunning(referencePid_)
           && std::chrono::steady_clock::now() - waitStart < referenceWait_) {
        view_.processEvents();
        if (closed())
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const bool referenceEnded = referencePid_ > 0 && processes_.exitStatus(referencePid_) == 0;

    if (fileExists(referencePath())) {
        QByteArray file;
        if (const int error = readWholeFile(referencePath(), file)) {
            cannotRead(referencePath(), error);
            return;
        }
        if (referenceEnded && isCompleteListing(file, chosen)) {
            const QByteArray loaded = trimmedLines(file, [&](qsizetype k) {
                if (progressDue()) {
                    setBar(Bar::ProgressBar2, static_cast<long double>(k) / 30);
                    processEventsNow();
                }
            });
            base = setBar(Bar::ProgressBar2, static_cast<long double>(loaded.count('\n')) / 30);
            reference = referenceText(loaded, chosen);
        }
    }
    processEventsNow();
    if (closed())
        return;

    QByteArray file;
    if (const int error = readWholeFile(dumpPath(), file)) {
        cannotRead(dumpPath(), error);
        return;
    }
    const long double lines = static_cast<long double>(scanLines_);
    QByteArray dumpText = trimmedLines(file, [&](qsizetype k) {
        if (progressDue()) {
            setBar(Bar::ProgressBar2, static_cast<long double>(k) / ((lines - 1) * 15) * 90 + base);
            processEventsNow();
        }
    });
    base = setBar(Bar::ProgressBar2, static_cast<long double>(dumpText.count('\n')) / ((lines - 1) * 15) * 90 + base);
    file.clear();
    processEventsNow();
    if (closed())
        return;

    const int folders = tree_.count();
    const auto blockStep = [&](int k) {
        setBar(Bar::ProgressBar2, static_cast<long double>(k) / (lines - 1) * 9 + base);
        processEventsNow();
    };
    AnalysisInput input;
    input.root = root;
    input.target = chosen;
    input.reference = reference;
    input.maxLevel = state_.MaxLevel;
    input.listingsCounted = listingsRead_;
    // As grantwise-check with the same scope: the reports say it in English.
    input.ignored = scannedIgnored_;
    input.notChecked = notCheckedWords(tree_.scope(), tree_.excludedLeftOut(), false, false);
    const Analysis analysis = analyseDump(dumpText, input, tree_, [&](int k) {
        if (k == folders + 1 || progressDue())
            blockStep(k);
    });
    if (closed())
        return;
    state_.MismatchCount = analysis.inputs.mismatchCount;
    lastIgnored_ = scannedIgnored_;
    // The dump is not needed any more: it becomes the body of the full report.
    writeResults(analysis, withoutSentinel(std::move(dumpText), root));
}

} // namespace gw
