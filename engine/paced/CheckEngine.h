#pragma once
// One check of a folder, phase by phase, without any window.
//
// The handlers keep the names of the window's events; the window's slots and
// timers call them, and tests call them one after another:
//   ShellTreeView1Change  a folder was chosen
//   Button7Click          the scan
//   TrackBar1Change       the speed slider moved
//   Button2Click          the reading starts; Timer1Timer fires one listing a tick
//   Timer2Timer           the read verification and the reference listing
//   Timer3Timer           the mismatch analysis, the reports and the verdict
//   Timer4Timer           the countdown
//   Button1Click, Button4Click  open the reports
//   stopCheck             the Stop button (or Esc) during a check
// What a phase does to a control goes through CheckView.

#include "engine/checks/baseline/BaselineDrift.h"
#include "engine/checks/inheritance/InheritanceReport.h"
#include "engine/checks/who/WhoInventory.h"
#include "engine/paced/CheckState.h"
#include "engine/paced/CheckView.h"
#include "engine/paced/FullSpeedEstimate.h"
#include "engine/paced/KindTexts.h"
#include "engine/reports/LanguageText.h"
#include "engine/reports/Reports.h"
#include "engine/reports/TimeText.h"
#include "engine/rules/CheckAnalysis.h"
#include "platform/FolderTree.h"
#include "platform/ProcessStarter.h"

#include <chrono>
#include <optional>

namespace gw {

class BaselineRun;
struct BatchResult;
class ReportsFolder;

class CheckEngine {
public:
    explicit CheckEngine(CheckView& view, const TimeFormat& timeFormat = TimeFormat::system());

    void FormShow();
    void FormClose();
    void ShellTreeView1Change(const QByteArray& selectedPath);
    void Button7Click();
    void TrackBar1Change();
    void Calc_Time();
    void Button2Click();
    void Timer1Timer();
    void Timer2Timer();
    void Timer3Timer();
    void Timer4Timer();
    void Button1Click();
    void Button4Click();
    void Menu_File_DifferencesClick();
    // Stops the check under way, whatever its kind and phase: no listing
    // process is left running, a walk's threads are joined, no report is
    // left half-written (the paced reading's reports are removed; an
    // in-process check's earlier reports stay whole), and the speed page
    // shows again with the folder still chosen (the folder page, when the
    // scan was stopped or had not run). Nothing when no check runs.
    void stopCheck();
    bool checking() const { return checking_; }
    // The window's language was switched (state().Lang): every text of the
    // page, the scan's and the results' too, is shown in it again.
    void languageChanged();
    // The kind of the last check whose results were shown.
    CheckKind lastKind() const { return lastKind_; }
    // Writes the fix file of the last check at `rawPath`; an empty text, or
    // what went wrong.
    [[nodiscard]] QString saveFixFile(const QByteArray& rawPath);
    // Writes the HTML report of the last finished check at `rawPath`, from
    // its records as grantwise-check --html writes it; an empty text, or
    // what went wrong.
    [[nodiscard]] QString saveHtmlReport(const QByteArray& rawPath);
    // The records of the last finished check (RunRecords, every record
    // naming its check); empty before one has finished.
    const QByteArray& lastRecords() const { return lastRecords_; }
    // The last finished check's analysis: its differences, for the window that shows them.
    const Analysis& lastAnalysis() const { return lastAnalysis_; }

    // The kind of check the next check runs: the inheritance check, and files
    // too. Either runs the whole check in-process, as grantwise-check does
    // (see ItemCheck.cpp), with its reports in the working folder.
    void setItemCheck(bool inheritance, bool files);
    // The plain check read at full speed, in-process, as grantwise-check
    // reads it, instead of paced; its reports are the same.
    void setFullSpeed(bool fullSpeed);
    bool fullSpeed() const { return fullSpeed_; }
    // True when the next check reads in-process, at full speed: chosen, or
    // because files or inheritance are checked.
    bool readsInProcess() const { return fullSpeed_ || inheritance_ || files_; }
    bool inheritanceChecked() const { return inheritance_; }
    // What the checks take in and compare, as grantwise-check's scope options
    // set them (hidden folders, patterns, depth, other file systems; owner
    // and group names); the program's own folders are left out whatever it
    // says. The next scan takes it up, and the reading and analysis of that
    // scan keep it; a baseline saved or compared takes it as it is then.
    void setScope(const FolderScope& scope, const IgnoredParts& ignored);
    const FolderScope& scope() const { return scope_; }
    const IgnoredParts& ignoredParts() const { return ignored_; }
    bool filesChecked() const { return files_; }
    // What the last finished check was: the inheritance check, or the drift
    // check (a comparison with a baseline); neither for the others.
    bool lastWasInheritance() const { return itemCheckRan_ && lastInheritance_; }
    bool lastWasDrift() const { return itemCheckRan_ && lastDrift_; }

    // Baselines, as grantwise-check takes and compares them (BaselineRun),
    // in-process like the inheritance check, with progress and results:
    // Runs the check of the chosen kind of the checked folder again, records
    // every item it reads, and writes the baseline at `rawPath` (gzip when
    // the name ends in ".gz") when the check read and listed everything.
    void saveBaseline(const QByteArray& rawPath);
    // The drift check: every item of the chosen folder (and file, with the
    // files) compared with its record in the baseline at `rawPath`; its
    // verdict on the results page, its report (acl_drift.txt) behind the
    // report button. A baseline that cannot be read or is refused, or one
    // of another folder, is said, and nothing is started.
    void compareWithBaseline(const QByteArray& rawPath);
    // The items the last drift check reported, and its verdict.
    const std::vector<DriftItem>& lastDriftItems() const { return lastDriftItems_; }
    const QString& lastDriftVerdict() const { return resultsVerdict_[isRussian(state_.Lang) ? 0 : 1]; }
    QByteArray driftPath() const;
    // The items of the last check compared with what a folder gives them.
    const ItemFindings& lastItems() const { return lastItems_; }
    // The inheritance report of the working folder.
    QByteArray inheritancePath() const;

    // Who can do what: the rights of `who` on every folder (and file, with
    // the files) of the chosen folder, as grantwise-check --who finds them,
    // in-process like the inheritance check; its verdict on the results
    // page, its report (acl_who.txt) behind the report button. True when
    // it ran to its end; false when it was refused or failed.
    bool whoHasAccess(const Principal& who);
    // What the last check found, when it was one of who can do what.
    const std::optional<WhoFindings>& lastWho() const { return lastWho_; }
    bool lastWasWho() const { return itemCheckRan_ && lastWho_.has_value(); }
    QByteArray whoPath() const;

    CheckState& state() { return state_; }
    const CheckState& state() const { return state_; }
    FolderTree& ShellTreeView2() { return tree_; }
    // The path selected in the visible tree: the chosen folder.
    const QByteArray& selectedPath() const { return selectedPath_; }

    // The listing program; by default grantwise-acl beside this executable.
    // It is given --physical, "--" and one path.
    void setListingProgram(const QByteArray& program) { listingProgram_ = program; }
    // How long the sentinel and the analysis wait for listing processes.
    void setWaitLimits(std::chrono::milliseconds sentinel, std::chrono::milliseconds reference);

    QByteArray dumpPath() const;
    QByteArray referencePath() const;
    QByteArray mismatchPath() const;
    QByteArray differencesPath() const;

private:
    // The bar and its percentage label; returns the position shown.
    int setBar(Bar bar, long double value);
    // Lets the window handle its pending events (repaint, menus, the
    // countdown) now, and restarts the 10 ms rhythm below.
    void processEventsNow();
    // The same, when the rhythm says it is due.
    void processEventsWhenDue();
    // True when 10 ms have passed since events were last handled: the rhythm
    // of progress updates inside long loops.
    bool progressDue() const { return std::chrono::steady_clock::now() - lastEvents_ >= kProgressInterval; }
    // True when a phase under way is to end at once, quietly: the window
    // closed, or the check was stopped.
    bool closed() const { return closed_ || stopped_; }
    // A check starts (the scan, when `scan`): the Stop button works.
    void startChecking(bool scan);
    // It ended, with results or a failure: nothing to stop any more.
    void endChecking();
    void writeResults(const Analysis& analysis, QByteArray fullDumpText);
    // Shows the results page; each report can be opened when it was written.
    void resultsPageSwitch(bool fullWritten, bool mismatchWritten, bool differencesWritten = false);
    // Ends a check that cannot go on: says why, shows the results page with
    // the light red, no report to open and a verdict that says so.
    void checkFailed(const QString& message);
    // Runs the check of the chosen kind in-process, on a thread of its own,
    // while the window keeps answering; shows its results. `reports`, when
    // given, is the working folder opened already; `baselines`, the
    // baselines the check compares with or saves.
    void runItemCheck(ReportsFolder* reports = nullptr, BaselineRun* baselines = nullptr);
    // The results page's summary and verdict of a check run in-process.
    void showItemResultTexts(const BatchResult& result, const BaselineRun* baselines);
    // Shows the progress page for a check that starts now.
    void showProgressPage();
    // A check with a baseline to compare with or to save (one of them).
    void runBaselineCheck(const QByteArray& compareWith, const QByteArray& saveTo);
    // The scan's header, and with its time line, in `lang`.
    QString scanHeader(const QString& lang) const;
    QString scanPrefix(const QString& lang) const;
    // The results page's summary and verdict in each language (Russian
    // first), shown in the window's.
    void setResultsTexts(const QString (&summary)[2], const QString (&verdict)[2]);
    void showResultsTexts();
    // The report button and the help beside it, for the last kind of check.
    void showKindTexts();
    // The records of a paced check with `analysis`, for its HTML report.
    QByteArray pacedRecords(const Analysis& analysis) const;
    // Makes the private working folder if there is none yet; false, after
    // saying why, when it cannot be made.
    [[nodiscard]] bool ensureWorkingFolder();
    // What a check left out besides what it checked, as lines for the speed
    // and results pages, each after a line end: the scope's words and the
    // hidden folders not asked for, as the console says them.
    QString leftOutLines(const QString& lang, const QString& notChecked, int hiddenLeftOut) const;

    CheckView& view_;
    TimeFormat timeFormat_;
    CheckState state_;
    FolderTree tree_;
    QByteArray selectedPath_;
    ProcessStarter processes_;
    QByteArray listingProgram_;
    // The paths come from the tree's own walk, which never follows a link: a
    // path that leads through one now was changed since, and is not read.
    const QList<QByteArray> listingOptions_ {QByteArrayLiteral("--physical")};
    pid_t referencePid_ = -1;
    std::chrono::steady_clock::time_point lastListingStart_;
    static constexpr std::chrono::milliseconds kProgressInterval {10};
    std::chrono::steady_clock::time_point lastEvents_;
    std::chrono::milliseconds sentinelWait_ {30000};
    std::chrono::milliseconds referenceWait_ {10000};
    Analysis lastAnalysis_; // of the last finished check, for its fix file
    int listingsRead_ = 0; // n of the last verification: listings that arrived, plus the sentinel
    qsizetype scanLines_ = 0; // lines of the scan text shown in RichEdit1
    bool pumpTickRunning_ = false;
    bool inheritance_ = false;
    bool files_ = false;
    bool itemCheckRan_ = false; // the last check was run in-process
    bool lastInheritance_ = false, lastDrift_ = false; // and was of this kind
    ItemFindings lastItems_;
    std::vector<DriftItem> lastDriftItems_;
    std::optional<Principal> who_; // whose rights the check that runs asks about
    std::optional<WhoFindings> lastWho_;
    FolderScope scope_; // the scope of the next check
    IgnoredParts ignored_;
    IgnoredParts scannedIgnored_; // what the last scan's check does not compare
    IgnoredParts lastIgnored_; // and the last finished check's, for its fix file
    QByteArray lastFixRecords_; // the last inheritance check's fix file
    QByteArray lastRecords_; // the last finished check's records, for its HTML report
    bool lastGreen_ = false; // and its light
    bool closed_ = false;
    bool checking_ = false; // a check (or the scan, `scanning_`) is under way
    bool scanning_ = false;
    bool stopped_ = false; // the check under way was stopped
    bool scanned_ = false; // the chosen folder was scanned: the speed page has its figures
    bool pacedReading_ = false; // the check under way is the paced reading
    bool fullSpeed_ = false;
    bool scanFiles_ = false; // the scan counted the files too
    int scanPrefixLines_ = 0; // lines of the scan text's header and time, in RichEdit1
    CheckKind lastKind_ = CheckKind::Folder;
    QString resultsSummary_[2], resultsVerdict_[2]; // Russian, English
    FullSpeedRate fullSpeedRate_; // measured after the scan
};

} // namespace gw
