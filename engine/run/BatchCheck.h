#pragma once
// The whole check in one call, for the command line: the same folder tree,
// scan, verification count, analysis and report texts as the window, with
// every folder's permissions read in-process, without pacing. Each listing
// is analysed as it is read and its text goes straight to the reports
// folder, so memory does not grow with the reports.

#include "engine/checks/CheckPart.h"
#include "engine/checks/baseline/BaselineDrift.h"
#include "engine/checks/baseline/BaselineFile.h"
#include "engine/checks/who/WhoInventory.h"
#include "engine/reports/Reports.h"
#include "engine/reports/TimeText.h"
#include "engine/rules/CheckAnalysis.h"
#include "engine/rules/ItemFindings.h"
#include "platform/FolderTree.h"
#include "platform/ReportsFolder.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace gw {

struct BatchProgress {
    enum Phase {
        Scan,
        Read
    } phase;
    int done; // folders scanned, or listings read
    int total; // folders to read; 0 while scanning
};

struct BatchOptions {
    QByteArray folder; // the chosen folder, raw
    ReportsFolder* reports = nullptr; // open and locked: acl.txt and acl_def.txt go there
    std::vector<ExcludedFolder> excluded; // the program's own folders, never checked
    FolderScope scope; // what else is left out of the tree
    IgnoredParts ignored; // what is not compared
    // The inheritance check: every folder (and file) against what its own
    // folder gives a new item, instead of the checked folder's permissions.
    bool inheritance = false;
    bool files = false; // regular files are checked too
    std::optional<std::uint32_t> umask; // the creators' umask, where no default ACL decides the mode bits
    bool inheritanceFix = false; // with inheritance: make the fix file's text
    // Items that differ from what their folder gives them are kept in the
    // result (for a window that shows them); otherwise each goes to
    // `itemLine`, when given, as it is found, in tree order, and is not held.
    bool keepItems = false;
    std::function<void(const ItemDifference&)> itemLine;
    // Baselines: every item read is recorded in `saveBaseline`, in the walk's
    // order; with `drift`, every item is compared with its record in a
    // baseline instead of with the checked folder, and the drift report
    // and verdict are the check's.
    BaselineWriter* saveBaseline = nullptr;
    BaselineDrift* drift = nullptr;

    QString lang = QStringLiteral("EN");
    // Who can do what: the rights of this principal on every folder (and
    // file, with `files`), written to acl_who.txt.
    std::optional<Principal> who;
    std::vector<Principal> moreWho; // and these, each in one more inventory of the same walk
    std::function<void(const WhoPlace&)> whoPlaces; // when given, called for every place, listed or not
    int jobs = 0; // walker threads; 0: as many as suit the machine
    std::function<void(const BatchProgress&)> progress;
    // When given and set, the walk ends at its next step and the run writes
    // nothing (the window closed, or its check was stopped).
    const std::atomic<bool>* stop = nullptr;
    // When given, called for every folder that differs ("differs"), was not
    // read ("not_read", with why when known) or was not listed
    // ("not_listed"), in tree order.
    std::function<void(const QByteArray& printablePath, const QByteArray& rawPath, const char* status,
                       const FolderDifference* difference, const QByteArray& reason)>
        folderLines;
};

// One check's verdict, in a run of several.
struct CheckVerdict {
    const char* kind; // "folder", "inheritance", "drift", "who"
    QString text; // in the chosen language
    bool complete = false;
    bool green = false;
};

struct BatchResult {
    QString reportHeader; // the scan summary, in the chosen language
    // The verdict of each check the run gave one: the check against the
    // checked folder when no other kind was asked, else each of those.
    std::vector<CheckVerdict> verdicts;
    QString verdict; // the results page's verdict, with the detail sentence; one line a check
    QString processingTime; // label and time of the whole check
    // The same three texts in each language, for a window whose language
    // may change once the check is over.
    struct PageTexts {
        QString reportHeader, verdict, processingTime;
        QString notCheckedLine; // as notCheckedLine below
    };
    PageTexts russian, english;
    const PageTexts& pageTexts(const QString& lang) const { return lang == QLatin1String("RU") ? russian : english; }
    double seconds = 0; // the same time, in seconds
    QByteArray fullReportPath;
    QByteArray mismatchReportPath;
    QByteArray differencesReportPath;
    // Mismatches, listings not read, folders not listed, differences. The
    // mismatching blocks themselves went to the mismatch report as they came:
    // analysis.mismatchText is left empty.
    Analysis analysis;
    // Hidden folders left out (with all below them) when they were not asked for.
    int hiddenLeftOut = 0;
    long long hiddenFilesLeftOut = 0;
    int filesNotRead = 0; // with files: files whose permissions were not read (not those not compared)
    int filesNotListed = 0; // with files: folders whose files could not be listed, beyond those not listed // with
                            // files: hidden files left out, when not asked for
    // What --exclude, --max-depth and --one-file-system left out, as one line
    // in the chosen language ("Not checked: other file systems"); empty when
    // they left nothing out.
    QString notCheckedLine;
    // Items compared with what a folder gives them: every folder and file in
    // the inheritance check, the files in the check against the checked folder.
    ItemFindings items;
    QByteArray inheritanceReportPath; // in the inheritance check
    QByteArray driftReportPath; // in the drift check, when its baseline was read whole
    // With inheritanceFix: the whole fix file, for setfacl --restore, and the
    // number of items it gives their inherited permissions.
    QByteArray fixRecords;
    int fixRecordCount = 0;
    // With options.who: what the principal can do where.
    std::optional<WhoFindings> who;
    std::vector<WhoFindings> moreWho; // those of options.moreWho, in their order
    QByteArray whoReportPath;
    bool complete = false; // every item was read and listed, for every check
    bool green = false; // every check's verdict: complete, and nothing differs
    int writeError = 0; // errno of a report that could not be written; then no report is left
    // The run was stopped (`stop` set) before its reports were written: it
    // has no verdict, and wrote nothing; an earlier run's reports are as
    // they were. (Stopped while they are written, it writes them whole.)
    bool stopped = false;
    QByteArray failedPath; // the report that could not be written
};

// Throws FolderTreeError when the folder cannot be a root.
// The kinds of check a run of `options` makes, for judging items alone
// outside a walk (the watch): every part, and those whose verdicts the run
// gives. `options.reports` must stay open while they live.
struct Judges {
    std::vector<std::unique_ptr<CheckPart>> all;
    std::vector<const CheckPart*> judged;
};
Judges makeJudges(const BatchOptions& options);

BatchResult runBatchCheck(const BatchOptions& options, const TimeFormat& format = TimeFormat::system());

} // namespace gw
