// The window's check of the inheritance kind, or with files: the whole check
// as grantwise-check runs it (runBatchCheck), on a thread of its own, with
// its reports in the working folder, so the window and the command line give
// the same reports byte for byte.

#include "engine/BatchCheck.h"
#include "engine/CheckEngine.h"
#include "engine/MessageText.h"
#include "platform/ReportsFolder.h"
#include "platform/WorkingFolder.h"

#include <atomic>
#include <sys/stat.h>
#include <thread>

namespace gw {

void CheckEngine::runItemCheck()
{
    itemCheckRan_ = true;
    lastItems_ = {};
    ReportsFolder reports;
    if (const ReportsFolder::Outcome outcome = reports.open(state_.WinDir); outcome != ReportsFolder::Outcome::Opened) {
        checkFailed(QString::fromStdString(reports.refusal(outcome, "the reports", language(state_.Lang))));
        return;
    }
    BatchOptions options;
    options.folder = selectedPath_;
    options.reports = &reports;
    options.excluded.push_back(reports.excluded()); // the working folder is never checked
    options.lang = isRussian(state_.Lang) ? QStringLiteral("RU") : QStringLiteral("EN");
    options.inheritance = inheritance_;
    options.files = files_;
    options.keepItems = true; // the differences window shows them
    std::atomic<int> scanned {0}, read {0}, total {0};
    std::atomic<bool> stop {false}, done {false};
    options.progress = [&](const BatchProgress& p) {
        (p.phase == BatchProgress::Scan ? scanned : read) = p.done;
        if (p.total > 0)
            total = p.total;
    };
    options.stop = &stop;
    BatchResult result;
    QString failure;
    std::thread worker([&] {
        try {
            result = runBatchCheck(options, timeFormat_);
        } catch (const std::exception& e) {
            failure = QString::fromUtf8(e.what());
        }
        done = true;
    });
    // The window goes on answering; the bars follow the walk and the reading.
    while (!done) {
        processEventsNow();
        if (closed())
            stop = true;
        const int t = total.load();
        setBar(Bar::ProgressBar1, t > 0 ? 100.0L * read.load() / t : 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    worker.join();
    if (closed())
        return;
    if (!failure.isEmpty()) {
        checkFailed(handlerErrorText(failure, state_.Lang));
        return;
    }
    if (result.writeError) {
        checkFailed(fileErrorText(FileAction::Write, result.failedPath, result.writeError, state_.Lang));
        return;
    }
    for (Bar bar : {Bar::ProgressBar1, Bar::ProgressBar2, Bar::ProgressBar3})
        setBar(bar, 100);
    view_.setLight(result.green ? Light::Green : Light::Red);
    view_.setText(Control::RichEdit2, result.reportHeader + QStringLiteral("\r\n") + result.processingTime);
    view_.setText(Control::RichEdit3, result.verdict);
    lastAnalysis_ = result.analysis;
    lastItems_ = result.items;
    resultsPageSwitch(true, true, true);
    view_.setEnabled(Control::Menu_File_FixFile, !inheritance_ && result.analysis.inputs.mismatchCount > 0);
}

} // namespace gw
