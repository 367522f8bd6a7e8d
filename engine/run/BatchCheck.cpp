#include "engine/run/BatchCheck.h"

#include "engine/checks/baseline/BaselineRecorder.h"
#include "engine/checks/baseline/DriftCheck.h"
#include "engine/checks/folder/FolderCheck.h"
#include "engine/checks/inheritance/InheritanceCheck.h"
#include "engine/checks/who/WhoCheck.h"
#include "platform/PrintableText.h"

#include "engine/reports/LanguageText.h"
#include "engine/reports/LeftOutText.h"
#include "engine/reports/ReportSpool.h"
#include "engine/reports/ScanText.h"
#include "engine/rules/CheckAnalysis.h"
#include "engine/rules/ItemFindings.h"
#include "engine/rules/ListingCount.h"
#include "engine/rules/MismatchAnalysis.h"
#include "engine/walk/ListingReader.h"
#include "platform/AclListing.h"
#include "platform/DirectoryOpen.h"
#include "platform/FolderTree.h"
#include "platform/PrintablePath.h"
#include "platform/RestoreFile.h"
#include "platform/WorkingFile.h"
#include "platform/WorkingFolder.h"

#include <QHash>
#include <QScopeGuard>
#include <QSet>

#include <algorithm>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <thread>
#include <unistd.h>

namespace gw {
namespace {

// The checks the options ask for, the check against the checked folder
// first: its analysis runs in every walk.
struct Checks {
    FolderCheck* folder = nullptr;
    InheritanceCheck* inheritance = nullptr;
    DriftCheck* drift = nullptr;
    std::vector<WhoCheck*> who;
    std::vector<std::unique_ptr<CheckPart>> all;

    template <typename Part, typename... Args> Part* add(Args&&... args)
    {
        all.push_back(std::make_unique<Part>(std::forward<Args>(args)...));
        return static_cast<Part*>(all.back().get());
    }
    // Those whose verdicts the run gives: the check against the checked
    // folder only when no other kind is asked.
    std::vector<const CheckPart*> judged() const
    {
        std::vector<const CheckPart*> out;
        for (const auto& check : all) {
            if (check->hasVerdict() && (check.get() != folder || onlyRecorded()))
                out.push_back(check.get());
        }
        return out;
    }
    bool onlyRecorded() const { return !inheritance && !drift && who.empty(); }
};

Checks makeChecks(const BatchOptions& options, const QByteArray& root, const TimeFormat& format)
{
    Checks c;
    ReportsFolder& spools = *options.reports;
    const bool compareGroup = !options.ignored.groupName;
    const auto comparison = [&] {
        return std::make_unique<ItemComparison>(spools, options.files, options.umask, options.keepItems, compareGroup,
                                                options.itemLine);
    };
    // Items are compared by one check only: the inheritance check, or the
    // check against the checked folder when no other kind takes the items.
    const bool folderCompares = !options.inheritance && !options.drift;
    c.folder = c.add<FolderCheck>(
        spools, root, options.ignored,
        folderCompares
            ? comparison()
            : std::make_unique<ItemComparison>(spools, options.files, options.umask, false, compareGroup, nullptr),
        folderCompares, format);
    c.folder->setFolderLines(options.folderLines);
    c.folder->setFilesInReport(options.files && !options.inheritance);
    if (options.files && !options.inheritance) {
        // Files are compared with what the checked folder gives a new file.
        bool listable = true;
        const int fd = openDirectoryForPermissions(rawView(options.folder), listable);
        Permissions p;
        if (fd >= 0 && readPermissions(fd, p) == 0)
            c.folder->setTop(p);
        if (fd >= 0)
            ::close(fd);
    }
    if (options.inheritance) {
        FileScope fileScope;
        fileScope.includeHidden = options.scope.includeHidden;
        fileScope.excludePatterns = options.scope.excludePatterns;
        c.inheritance = c.add<InheritanceCheck>(comparison(), std::move(fileScope), options.inheritanceFix,
                                                compareGroup);
    }
    if (options.drift)
        c.drift = c.add<DriftCheck>(*options.drift, options.files);
    std::vector<Principal> principals = options.moreWho;
    if (options.who)
        principals.insert(principals.begin(), *options.who);
    for (const Principal& who : principals)
        c.who.push_back(c.add<WhoCheck>(who, options.folder, root, options.files));
    if (!c.who.empty() && options.whoPlaces)
        c.who.front()->inventory().setEveryPlace(options.whoPlaces);
    if (options.saveBaseline)
        c.add<BaselineRecorder>(*options.saveBaseline, options.files);
    return c;
}

// The printable path of the folder taken last, and where each of its
// ancestors' ends in it: listings come in tree order, so a folder's parent
// is always among them, and a deep path is never built anew. Each
// ancestor's permissions stay with it where a check asks for them.
class WalkPath {
public:
    explicit WalkPath(bool keepPermissions)
        : keep_(keepPermissions)
    {
    }
    // The folder's printable path; `parent` its holding folder's permissions
    // (null for the top, for a folder not read, or when not kept).
    const std::string& enter(const Listing& l, const Permissions*& parent)
    {
        while (!ancestors_.empty() && ancestors_.back().id != l.parent)
            ancestors_.pop_back();
        parent = ancestors_.empty() || !ancestors_.back().read || !keep_ ? nullptr : &ancestors_.back().permissions;
        if (ancestors_.empty()) {
            path_ = l.name; // the chosen folder
        } else {
            path_.resize(ancestors_.back().pathLength);
            appendChild(path_, l.name); // a child's printable path begins with its parent's
        }
        return path_;
    }
    // Once every check took it: it may be a parent now.
    void keep(const Listing& l)
    {
        ancestors_.push_back(Ancestor {l.id, path_.size(), l.read, keep_ ? l.permissions : Permissions {}});
    }

private:
    struct Ancestor {
        FolderTree::NodeId id;
        std::size_t pathLength;
        bool read;
        Permissions permissions;
    };
    bool keep_;
    std::string path_;
    std::vector<Ancestor> ancestors_;
};

// What the walk asks of each folder's files: what every check asks.
FileCheck fileCheckFor(const BatchOptions& options, const Checks& checks)
{
    FileCheck files;
    files.files = options.files;
    files.scope.includeHidden = options.scope.includeHidden;
    files.scope.excludePatterns = options.scope.excludePatterns;
    files.umask = options.umask;
    files.compareGroup = !options.ignored.groupName;
    for (const auto& check : checks.all)
        check->askFiles(files);
    return files;
}

// Adds `report` to `written`; one of a name given already (several
// inventories of who can do what) goes on after it, past an empty line.
void addReport(std::vector<ReportsFolder::Report>& written, ReportsFolder::Report report)
{
    for (ReportsFolder::Report& r : written) {
        if (r.name == report.name) {
            r.parts.push_back(QByteArrayView("\n"));
            r.parts.insert(r.parts.end(), report.parts.begin(), report.parts.end());
            return;
        }
    }
    written.push_back(std::move(report));
}

// Writes every check's reports in one replacement, and removes an earlier
// run's reports that this run does not write.
void writeReports(const BatchOptions& options, Checks& checks, const WalkEnd& end, BatchResult& result)
{
    std::vector<ReportsFolder::Report> written;
    // The spools' descriptors are the reports' once taken: closed here when
    // the reports are never written (what follows may throw).
    bool handedOver = false;
    const auto closeSpools = qScopeGuard([&] {
        if (!handedOver)
            ReportsFolder::dispose(written);
    });
    for (const auto& check : checks.all) {
        std::vector<ReportsFolder::Report> own;
        check->addReports(own, end);
        for (ReportsFolder::Report& report : own)
            addReport(written, std::move(report));
    }
    handedOver = true; // replace() closes the spools' descriptors whatever happens
    QByteArray failedName;
    result.writeError = options.reports->replace(written, failedName);
    if (result.writeError) {
        result.failedPath = end.reportsDir + '/' + failedName;
        return;
    }
    for (const char* name : WorkingFolder::kReportNames) {
        const bool thisRun = std::any_of(written.begin(), written.end(),
                                         [name](const ReportsFolder::Report& r) { return r.name == name; });
        if (!thisRun && name != std::string_view(WorkingFolder::kReferenceName))
            options.reports->remove(name); // an earlier run's: the folder holds this run's
    }
}

// The run's result, from its checks: the verdict is the primary check's.
void fillResult(const BatchOptions& options, Checks& checks, BatchResult& result, int folders, int maxLevel)
{
    result.complete = result.green = true;
    for (BatchResult::PageTexts* page : {&result.russian, &result.english}) {
        const QString lang = page == &result.russian ? QStringLiteral("RU") : QStringLiteral("EN");
        for (const CheckPart* check : checks.judged())
            page->verdict += (page->verdict.isEmpty() ? QString() : QStringLiteral("\n")) + check->verdict(lang);
    }
    for (const CheckPart* check : checks.judged()) {
        result.verdicts.push_back({check->kind(), check->verdict(options.lang), check->complete(), check->green()});
        result.verdict += (result.verdict.isEmpty() ? QString() : QStringLiteral("\n")) + result.verdicts.back().text;
        result.complete = result.complete && check->complete();
        result.green = result.green && check->green();
    }
    const QByteArray& reportsDir = options.reports->path();
    result.analysis = std::move(checks.folder->analysis());
    const ReportInputs& in = result.analysis.inputs;
    result.reportHeader = reportHeader(options.lang, QString::fromUtf8(in.targetPrintable),
                                       countLine(options.lang, folders) + levelLine(options.lang, maxLevel));
    for (const QString& lang : {QStringLiteral("RU"), QStringLiteral("EN")})
        (isRussian(lang) ? result.russian : result.english).reportHeader = reportHeader(
            lang, QString::fromUtf8(in.targetPrintable), countLine(lang, folders) + levelLine(lang, maxLevel));
    result.fullReportPath = WorkingFolder::fullReportFile(reportsDir);
    result.mismatchReportPath = WorkingFolder::mismatchFile(reportsDir);
    result.differencesReportPath = WorkingFolder::differencesFile(reportsDir);
    ItemComparison& items = checks.inheritance ? checks.inheritance->items() : checks.folder->items();
    result.items = items.findings();
    result.filesNotListed = items.filesNotListed();
    if (checks.inheritance) {
        result.inheritanceReportPath = WorkingFolder::inheritanceFile(reportsDir);
        result.fixRecords = checks.inheritance->fixRecords();
        result.fixRecordCount = checks.inheritance->fixRecordCount();
    }
    if (checks.drift && checks.drift->wroteReport())
        result.driftReportPath = WorkingFolder::driftFile(reportsDir);
    if (!checks.who.empty()) {
        result.whoReportPath = WorkingFolder::whoFile(reportsDir);
        result.who = std::move(checks.who.front()->inventory().findings());
        for (std::size_t i = 1; i < checks.who.size(); ++i)
            result.moreWho.push_back(std::move(checks.who[i]->inventory().findings()));
    }
}

} // namespace

Judges makeJudges(const BatchOptions& options)
{
    Checks checks = makeChecks(options, printableUtf8(options.folder), TimeFormat::system());
    Judges out;
    out.judged = checks.judged();
    out.all = std::move(checks.all);
    return out;
}

BatchResult runBatchCheck(const BatchOptions& options, const TimeFormat& format)
{
    const double started = timeStamp();
    BatchResult result;
    const auto report = [&](BatchProgress::Phase phase, int done, int total) {
        if (options.progress)
            options.progress(BatchProgress {phase, done, total});
    };

    FolderScope scope = options.scope;
    scope.excluded.insert(scope.excluded.end(), options.excluded.begin(), options.excluded.end());
    FolderTree tree(options.folder, std::move(scope)); // throws when the folder cannot be a root
    const int jobs = options.jobs > 0 ? options.jobs : defaultWalkJobs();
    const QByteArray root = byteArray(tree.printablePath(0));
    Checks checks = makeChecks(options, root, format);

    // Listings are read, and handed to every check in tree order, on the
    // workers while the walk goes on; with one job, on the walk's thread.
    const bool parents = std::any_of(checks.all.begin(), checks.all.end(),
                                     [](const auto& check) { return check->needsParent(); });
    WalkPath walkPath(parents);
    Permissions top;
    bool topRead = false;
    QList<QByteArray> filesNotListed;
    std::vector<bool> taken; // by node id
    int takenCount = 0;
    const auto take = [&](Listing& l) {
        if (taken.size() <= l.id)
            taken.resize(std::max<std::size_t>(l.id + 1, taken.size() * 2));
        taken[l.id] = true;
        ++takenCount;
        const Permissions* parent = nullptr;
        const std::string& path = walkPath.enter(l, parent);
        if (l.id == 0 && l.read) {
            top = l.permissions;
            topRead = true;
        }
        if (options.files) {
            if (!l.files.listed && l.read)
                filesNotListed.append(byteArray(path));
            result.hiddenFilesLeftOut += l.files.hiddenLeftOut;
            for (const FileListing& f : l.files.files)
                result.filesNotRead += f.read ? 0 : 1;
        }
        const WalkedFolder folder {l, path, parent, topRead ? &top : nullptr};
        for (const auto& check : checks.all)
            check->take(folder);
        walkPath.keep(l);
    };
    ListingReader reader(jobs, take, fileCheckFor(options, checks));
    WalkHooks hooks = reader.hooks();
    hooks.progress = [&](int count) {
        report(BatchProgress::Scan, count, 0);
        report(BatchProgress::Read, reader.completed(), count);
        if (options.stop && options.stop->load())
            tree.stop();
    };
    tree.walk(0, hooks);
    if (options.stop && options.stop->load()) {
        result.stopped = true; // half a walk gives no report
        return result;
    }
    const int folders = tree.count();
    report(BatchProgress::Scan, folders, 0);
    report(BatchProgress::Read, folders, folders);
    int maxLevel = 0;
    for (FolderTree::NodeId id = 0; id < static_cast<FolderTree::NodeId>(folders); ++id)
        maxLevel = std::max(maxLevel, tree.levelOf(id));

    const QByteArray notChecked = notCheckedWords(options.scope, tree.excludedLeftOut(), options.files,
                                                  false); // the reports are English
    result.notCheckedLine = notCheckedLine(options.scope, tree.excludedLeftOut(), options.files, options.lang);
    for (BatchResult::PageTexts* page : {&result.russian, &result.english})
        page->notCheckedLine = notCheckedLine(options.scope, tree.excludedLeftOut(), options.files,
                                              page == &result.russian ? QStringLiteral("RU") : QStringLiteral("EN"));
    result.hiddenLeftOut = tree.hiddenLeftOut();
    const Analysis& analysis = checks.folder->analyse(tree, maxLevel, notChecked);
    const QByteArray& reportsDir = options.reports->path();
    QList<QByteArray> notEntered;
    // Where every folder was taken, none is looked for (nor the tree's
    // order made, which a tree of a million folders holds in 4 MB).
    for (int i = 0; i < folders && takenCount < folders; ++i) {
        const FolderTree::NodeId id = tree.node(i);
        if (id >= taken.size() || !taken[id])
            notEntered.append(byteArray(tree.printablePathOf(id)));
    }
    const WalkEnd end {tree, analysis, root, notChecked, reportsDir, filesNotListed, notEntered};
    for (const auto& check : checks.all)
        check->finish(end);
    if (options.stop && options.stop->load()) {
        result.stopped = true; // stopped while the analysis ran: still nothing written
        return result;
    }
    writeReports(options, checks, end, result);
    fillResult(options, checks, result, folders, maxLevel);
    const double days = timeStamp() - started;
    result.seconds = days * 86400;
    result.processingTime = processingTimeLabel(options.lang) + durationText(days, format);
    result.russian.processingTime = processingTimeLabel(QStringLiteral("RU")) + durationText(days, format);
    result.english.processingTime = processingTimeLabel(QStringLiteral("EN")) + durationText(days, format);
    return result;
}

} // namespace gw
