// The window's check of the inheritance kind, or with files: the whole check
// as grantwise-check runs it (runBatchCheck), on a thread of its own, with
// its reports in the working folder, so the window and the command line give
// the same reports byte for byte. Baselines are saved and compared with here
// too, as grantwise-check saves and compares them (BaselineRun).

#include "engine/paced/CheckEngine.h"
#include "engine/reports/MessageText.h"
#include "engine/run/BaselineRun.h"
#include "engine/run/BatchCheck.h"
#include "engine/run/RunRecords.h"
#include "platform/PrintableText.h"
#include "platform/ReportsFolder.h"
#include "platform/WorkingFolder.h"

#include <atomic>
#include <sys/stat.h>
#include <thread>

namespace gw {

QByteArray CheckEngine::driftPath() const
{
    return WorkingFolder::driftFile(state_.WinDir);
}

void CheckEngine::saveBaseline(const QByteArray& rawPath)
{
    runBaselineCheck({}, rawPath);
}

void CheckEngine::compareWithBaseline(const QByteArray& rawPath)
{
    runBaselineCheck(rawPath, {});
}

void CheckEngine::runBaselineCheck(const QByteArray& compareWith, const QByteArray& saveTo)
{
    // Whatever is refused is refused before the check: the page and the
    // reports of the last check stay as they are.
    if (selectedPath_.isEmpty() || !ensureWorkingFolder())
        return;
    BaselineRun baselines(language(state_.Lang));
    if (!compareWith.isEmpty()) {
        if (const std::string problem = baselines.compareWith(compareWith, selectedPath_); !problem.empty()) {
            view_.showError(sentence(QString::fromStdString(problem)));
            return;
        }
    }
    ReportsFolder reports;
    if (const ReportsFolder::Outcome outcome = reports.open(state_.WinDir); outcome != ReportsFolder::Outcome::Opened) {
        view_.showError(
            sentence(QString::fromStdString(reports.refusal(outcome, "the reports", language(state_.Lang)))));
        return;
    }
    if (!saveTo.isEmpty()) {
        if (const std::string problem = baselines.saveTo(saveTo, reports); !problem.empty()) {
            view_.showError(sentence(QString::fromStdString(problem)));
            return;
        }
    }
    showProgressPage();
    if (closed())
        return;
    runItemCheck(&reports, &baselines);
}

void CheckEngine::showItemResultTexts(const BatchResult& result, const BaselineRun* baselines)
{
    QString summary[2], verdict[2];
    for (int i = 0; i < 2; ++i) {
        const BatchResult::PageTexts& page = i == 0 ? result.russian : result.english;
        summary[i] = page.reportHeader
            + leftOutLines(i == 0 ? QStringLiteral("RU") : QStringLiteral("EN"), page.notCheckedLine,
                           result.hiddenLeftOut)
            + QStringLiteral("\r\n") + page.processingTime;
        if (baselines && baselines->saved())
            summary[i] += (i == 0 ? QStringLiteral("\r\nБазовый снимок сохранён: ")
                                  : QStringLiteral("\r\nBaseline saved: "))
                + printableText(baselines->savePath());
        verdict[i] = page.verdict;
    }
    setResultsTexts(summary, verdict);
}

void CheckEngine::runItemCheck(ReportsFolder* openReports, BaselineRun* baselines)
{
    itemCheckRan_ = true;
    lastItems_ = {};
    lastDriftItems_.clear();
    lastWho_.reset();
    lastRecords_.clear();
    ReportsFolder ownReports;
    ReportsFolder* reports = openReports;
    if (!reports) {
        reports = &ownReports;
        if (const ReportsFolder::Outcome outcome = reports->open(state_.WinDir);
            outcome != ReportsFolder::Outcome::Opened) {
            checkFailed(QString::fromStdString(reports->refusal(outcome, "the reports", language(state_.Lang))));
            return;
        }
    }
    BatchOptions options;
    options.folder = selectedPath_;
    options.reports = reports;
    options.excluded.push_back(reports->excluded()); // the working folder is never checked
    options.lang = isRussian(state_.Lang) ? QStringLiteral("RU") : QStringLiteral("EN");
    options.files = files_;
    options.keepItems = true; // the differences window shows them
    // A check started from the speed page checks what its scan took in; a
    // baseline saved or compared from the menu, or who has access, what the
    // scope says now.
    const bool fromMenu = baselines || who_;
    options.scope = fromMenu ? scope_ : tree_.scope();
    options.scope.excluded.clear(); // the working folder is in options.excluded
    options.ignored = fromMenu ? ignored_ : scannedIgnored_;
    if (baselines) {
        baselines->attach(options);
        if (BaselineDrift* d = baselines->drift())
            d->keepItems();
    }
    // The drift check is a check of its own: each item against its record.
    lastDrift_ = options.drift != nullptr;
    options.who = who_; // an inventory is a check of its own too
    options.inheritance = inheritance_ && !lastDrift_ && !who_;
    lastInheritance_ = options.inheritance;
    options.inheritanceFix = options.inheritance; // its fix file can be saved from the menu
    RunRecords records; // for its HTML report
    records.attach(options, options.drift);
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
    std::string baselineProblem;
    std::thread worker([&] {
        try {
            result = runBatchCheck(options, timeFormat_);
            // The baseline is written here too: a large one takes a while.
            if (baselines && !result.writeError && !stop)
                baselineProblem = baselines->finish(options, result);
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
    // A baseline that turned out malformed on the way leaves no verdict.
    if (lastDrift_ && baselines->drift()->error()) {
        checkFailed(sentence(QString::fromStdString(baselineProblem)));
        return;
    }
    for (Bar bar : {Bar::ProgressBar1, Bar::ProgressBar2, Bar::ProgressBar3})
        setBar(bar, 100);
    view_.setLight(result.green ? Light::Green : Light::Red);
    showItemResultTexts(result, baselines);
    lastAnalysis_ = result.analysis;
    lastRecords_ = records.lines(options, result, RunRecords::Naming::Always);
    lastGreen_ = result.green;
    lastItems_ = result.items;
    lastIgnored_ = options.ignored;
    lastFixRecords_ = lastInheritance_ ? result.fixRecords : QByteArray();
    if (lastDrift_)
        lastDriftItems_ = baselines->drift()->keptItems();
    lastWho_ = std::move(result.who);
    resultsPageSwitch(true, true, true);
    view_.setEnabled(Control::Menu_File_FixFile,
                     lastInheritance_ ? result.fixRecordCount > 0
                                      : !lastDrift_ && !lastWho_ && result.analysis.inputs.mismatchCount > 0);
    // The check's results stand; the baseline that could not be written is said.
    if (!baselineProblem.empty())
        view_.showError(sentence(QString::fromStdString(baselineProblem)));
    else if (baselines && !baselines->notSavedLine().isEmpty())
        view_.showError(baselines->notSavedLine());
}

} // namespace gw
