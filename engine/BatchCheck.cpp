#include "engine/BatchCheck.h"
#include "platform/PrintableText.h"

#include "engine/CheckAnalysis.h"
#include "engine/CheckState.h"
#include "engine/FolderScan.h"
#include "engine/InheritanceReport.h"
#include "engine/ListingReader.h"
#include "engine/MismatchAnalysis.h"
#include "engine/ReadVerification.h"
#include "engine/ReportSpool.h"
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

// The bytes of a std::string, as a QByteArray.
QByteArray toByteArray(const std::string& s)
{
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

// What the options left out of the tree, in words; empty when nothing.
QByteArray notCheckedWords(const FolderScope& scope, int ownFoldersLeftOut, bool files, bool russian)
{
    QList<QByteArray> leftOut;
    if (ownFoldersLeftOut > 0) // the reports folder inside the checked one: what is below it is not seen
        leftOut << (russian ? QByteArray("папка отчётов со всем, что в ней")
                            : QByteArray("the reports folder, with all below it"));
    if (!scope.excludePatterns.empty()) {
        QByteArray patterns;
        for (const std::string& p : scope.excludePatterns)
            patterns += (patterns.isEmpty() ? "" : ", ") + QByteArray::fromStdString(printable(p));
        if (!russian)
            leftOut << (files ? "folders and files matching " : "folders matching ") + patterns;
        else
            leftOut << (files ? QByteArray("папки и файлы по ") : QByteArray("папки по "))
                    + (scope.excludePatterns.size() == 1 ? "шаблону " : "шаблонам ") + patterns;
    }
    if (scope.maxDepth >= 0) {
        const QByteArray depth = QByteArray::number(scope.maxDepth);
        leftOut << (russian ? "папки глубже уровня " + depth
                            : "folders more than " + depth + (scope.maxDepth == 1 ? " level below" : " levels below"));
    }
    if (scope.oneFileSystem)
        leftOut << (russian ? QByteArray("другие файловые системы") : QByteArray("other file systems"));
    return leftOut.join(", ");
}

} // namespace

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

    // The dump, as the listing program would have written it in folder order,
    // trimmed line by line as the analysis reads it. The walk visits folders
    // in that order, so each listing is analysed as soon as it is read, and
    // goes to the body of the full report (and, when it mismatches, of the
    // mismatch report) without being kept.
    const QByteArray root = toByteArray(tree.printablePath(0));
    AnalysisInput input;
    input.root = root;
    input.target = root;
    input.ignored = options.ignored;
    std::optional<ListingAnalyser> analyser;
    Spool fullBody(*options.reports), mismatchBody(*options.reports);
    int listingsCounted = 0; // lines of the dump that begin with the root: one a listing
    std::vector<bool> read; // by node id
    QHash<FolderTree::NodeId, QByteArray> reasons; // why a folder was not read, when known
    QByteArray block, trimmed; // the folder taken now's listing, as listed and trimmed
    // The printable path of the folder taken last, and where each of its
    // ancestors' ends in it: listings come in tree order, so a folder's
    // parent is always among them, and a deep path is never built anew.
    // Each ancestor's permissions stay with it: in the inheritance check a
    // folder is compared with what its own parent gives.
    struct Ancestor {
        FolderTree::NodeId id;
        std::size_t pathLength;
        bool read;
        Permissions permissions;
        Permissions fixed; // what the inheritance fix gives it
    };
    std::string lastPath;
    std::vector<Ancestor> ancestors;
    const Ancestor* parentOfLast = nullptr;
    const auto printablePathOf = [&](const Listing& l) -> const std::string& {
        while (!ancestors.empty() && ancestors.back().id != l.parent)
            ancestors.pop_back();
        parentOfLast = ancestors.empty() ? nullptr : &ancestors.back();
        if (ancestors.empty()) {
            lastPath = l.name; // the chosen folder
        } else {
            lastPath.resize(ancestors.back().pathLength);
            appendChild(lastPath, l.name); // a child's printable path begins with its parent's
        }
        return lastPath;
    };
    // What the options ask of the items: in the inheritance check, each folder
    // and file against what its own folder gives; in the check against the
    // checked folder, each file against what the checked folder gives.
    PrincipalNames names; // the consumer's: it runs on one thread at a time
    ItemFindings& items = result.items;
    items.files = options.files;
    items.umask = options.umask;
    items.keepItems = options.keepItems;
    // The findings' lines, for the inheritance report or the differences
    // report's files, as they are found: none is held for them.
    Spool itemBody(*options.reports);
    QList<ItemNotRead> filesNotRead;
    QList<ItemNotRead> notCompared; // items whose ACL model the check does not follow
    QList<QByteArray> filesNotListed;
    Permissions top;
    bool topRead = false;
    const auto compareItem = [&](const Permissions& folder, const Permissions& item, ItemKind kind,
                                 const std::string& itemPath) {
        if (!inheritanceApplies(folder, item)) {
            notCompared.append({toByteArray(itemPath), QByteArray::fromStdString(rawFromPrintable(itemPath)), kind,
                                "it or its folder carries an NFSv4 or Windows ACL, whose inheritance this check does "
                                "not follow"});
            return;
        }
        if (std::optional<ItemDifference> d = differenceFromGiven(folder, item, kind, options.umask, names,
                                                                  !options.ignored.groupName)) {
            d->path = toByteArray(itemPath);
            d->rawPath = QByteArray::fromStdString(rawFromPrintable(itemPath));
            itemBody.append("\n" + itemLines(*d, true));
            if (options.itemLine)
                options.itemLine(*d);
            items.add(std::move(*d));
        }
    };
    FileScope fileScope; // what the files' reading leaves out
    fileScope.includeHidden = options.scope.includeHidden;
    fileScope.excludePatterns = options.scope.excludePatterns;
    // The inheritance fix, from the top down: each item gets what its folder
    // gives once that folder is fixed, so a subfolder that would differ from
    // its fixed folder is in the file too.
    const bool fixing = options.inheritance && options.inheritanceFix;
    int fixTooLong = 0;
    Permissions fixedHere; // what the folder taken now gets from the fix
    // `fixedGift`: what the item's folder, as the fix leaves it, gives.
    const auto fixItem = [&](const FolderGift& fixedGift, const Permissions& item,
                             const std::string& itemPath) -> Permissions {
        if (!fixedGift.comparable(item))
            return item; // setfacl cannot set those ACLs: never a record
        Permissions given = fixedGift.finding(item).expected;
        if (given == item)
            return item;
        const std::string raw = rawFromPrintable(itemPath);
        if (raw.size() >= PATH_MAX) { // setfacl names a file by its whole path
            ++fixTooLong;
            return item;
        }
        ++result.fixRecordCount;
        result.fixRecords += QByteArray::fromStdString(restoreRecord(raw, restoreForm(given)));
        return given;
    };
    const auto takeItems = [&](const Listing& l, const std::string& path) {
        fixedHere = l.permissions; // unless the fix changes it
        if (l.id == 0) {
            top = l.permissions;
            topRead = l.read;
        }
        ++items.folders;
        if (options.inheritance && l.id != 0 && l.read && parentOfLast && parentOfLast->read) {
            compareItem(parentOfLast->permissions, l.permissions, ItemKind::Folder, path);
            if (fixing)
                fixedHere = fixItem(
                    FolderGift(parentOfLast->fixed, ItemKind::Folder, options.umask, !options.ignored.groupName),
                    l.permissions, path);
        }
        if (!options.files)
            return;
        if (!l.files.listed && l.read)
            filesNotListed.append(toByteArray(path));
        items.otherKinds += l.files.otherKinds;
        result.hiddenFilesLeftOut += l.files.hiddenLeftOut;
        items.filesChecked += l.files.read;
        const Permissions* folder = options.inheritance ? (l.read ? &l.permissions : nullptr)
                                                        : (topRead ? &top : nullptr);
        std::string filePath;
        const bool folderKeeps = !fixing || fixedHere == l.permissions; // the fix leaves the folder as it is
        std::optional<FolderGift> fixedGift; // worked out once for the folder's files
        if (fixing)
            fixedGift.emplace(fixedHere, ItemKind::File, options.umask, !options.ignored.groupName);
        for (const FileListing& f : l.files.files) {
            filePath = path;
            appendChild(filePath, f.name);
            if (!f.read || !folder) {
                if (f.read)
                    --items.filesChecked; // read, but with nothing to compare it with
                filesNotRead.append(
                    {toByteArray(filePath), QByteArray::fromStdString(rawFromPrintable(filePath)), ItemKind::File,
                     toByteArray(f.read ? std::string("its folder's permissions were not read") : f.reason)});
                continue;
            }
            compareItem(*folder, f.permissions, ItemKind::File, filePath);
            if (fixing && folderKeeps)
                fixItem(*fixedGift, f.permissions, filePath);
        }
        if (fixing && !folderKeeps && l.read) {
            // The fix changes this folder, and with it what its files should
            // have: they are read again, and those that would differ from it
            // then are given it. Only such folders' files are read twice.
            bool listable = true;
            const int fd = openDirectoryForPermissions(rawFromPrintable(path), listable, Links::Refuse);
            if (fd >= 0 && listable) {
                const FolderFiles again = readFolderFiles(fd, fileScope, l.relative,
                                                          [&](const Permissions& p) { return !fixedGift->carries(p); });
                for (const FileListing& f : again.files) {
                    if (!f.read)
                        continue;
                    filePath = path;
                    appendChild(filePath, f.name);
                    fixItem(*fixedGift, f.permissions, filePath);
                }
            }
            if (fd >= 0)
                ::close(fd);
        }
    };
    // Who can do what: every folder, and every file, as it is taken.
    std::optional<WhoInventory> whoInventory;
    if (options.who)
        whoInventory.emplace(*options.who, options.folder, root);
    if (whoInventory && options.whoPlaces)
        whoInventory->setEveryPlace(options.whoPlaces);
    // Baselines: each item recorded, or compared with its record, as the walk
    // reaches it; in the drift check the items are compared with nothing else.
    const auto baselineItems = [&](const Listing& l, const std::string& path) {
        const std::string raw = rawFromPrintable(path);
        if (options.saveBaseline && l.read)
            options.saveBaseline->add(raw, ItemKind::Folder, l.permissions);
        if (options.drift)
            options.drift->take(raw, path, ItemKind::Folder, l.read ? &l.permissions : nullptr, l.reason);
        if (!options.files)
            return;
        if (options.drift && !l.files.listed && l.read)
            filesNotListed.append(toByteArray(path));
        if (options.drift) // the drift check counts what the scope left out as the others do
            result.hiddenFilesLeftOut += l.files.hiddenLeftOut;
        std::string filePath, rawFile;
        for (const FileListing& f : l.files.files) {
            filePath = path;
            rawFile = raw;
            appendChild(filePath, f.name);
            appendChild(rawFile, f.rawName);
            if (options.saveBaseline && f.read)
                options.saveBaseline->add(rawFile, ItemKind::File, f.permissions);
            if (options.drift)
                options.drift->take(rawFile, filePath, ItemKind::File, f.read ? &f.permissions : nullptr, f.reason);
        }
    };
    const auto take = [&](Listing& l) {
        const std::string& path = printablePathOf(l); // every folder's, for its subfolders'
        if (options.saveBaseline || options.drift)
            baselineItems(l, path);
        if (!options.drift)
            takeItems(l, path);
        if (whoInventory)
            whoInventory->take(l.id, l.parent, path, l.read, l.permissions, l.reason,
                               options.files ? &l.files : nullptr);
        ancestors.push_back(Ancestor {l.id, path.size(), l.read, options.inheritance ? l.permissions : Permissions {},
                                      fixing ? fixedHere : Permissions {}});
        if (l.read) { // in the room the last folder's took
            block.resize(0);
            block.append(path.data(), static_cast<qsizetype>(path.size()));
            block.append(l.entries.data(), static_cast<qsizetype>(l.entries.size()));
        }
        if (l.id == 0) { // the chosen folder's listing comes first: the reference
            input.reference = l.read && isCompleteListing(block, root) ? referenceText(trimmedLines(block), root)
                                                                       : QByteArray();
            analyser.emplace(input);
        }
        if (!l.read) {
            if (!l.reason.empty())
                reasons.insert(l.id, toByteArray(l.reason));
            return;
        }
        if (read.size() <= l.id)
            read.resize(std::max<std::size_t>(l.id + 1, read.size() * 2));
        read[l.id] = true;
        trimmed.resize(0);
        appendTrimmedLines(trimmed, block);
        listingsCounted += countListings(trimmed, root);
        fullBody.append(trimmed);
        if (analyser->add(trimmed))
            mismatchBody.append(trimmed);
    };
    // Listings are read, and taken in tree order, on the workers while the
    // walk goes on; with one job, on the walk's thread as it goes.
    FileCheck fileCheck;
    fileCheck.files = options.files;
    fileCheck.scope = fileScope;
    fileCheck.inheritance = options.inheritance;
    fileCheck.umask = options.umask;
    fileCheck.compareGroup = !options.ignored.groupName;

    if (options.who)
        fileCheck.keepAll = true; // every file's rights are asked
    if (options.saveBaseline || options.drift)
        fileCheck.keepAll = true; // every file is recorded, or compared with its record
    if (options.files && !options.inheritance) {
        // Files are compared with what the checked folder gives a new file.
        bool listable = true;
        const int fd = openDirectoryForPermissions(rawView(options.folder), listable);
        Permissions p;
        if (fd >= 0 && readPermissions(fd, p) == 0)
            fileCheck.top = p;
        if (fd >= 0)
            ::close(fd);
    }
    ListingReader reader(jobs, take, std::move(fileCheck));
    WalkHooks hooks = reader.hooks();
    hooks.progress = [&](int count) {
        report(BatchProgress::Scan, count, 0);
        report(BatchProgress::Read, reader.completed(), count);
        if (options.stop && options.stop->load())
            tree.stop();
    };
    tree.walk(0, hooks);
    const int folders = tree.count();
    report(BatchProgress::Scan, folders, 0);
    report(BatchProgress::Read, folders, folders);
    if (!analyser) // not even the chosen folder was reached
        analyser.emplace(input);
    listingsCounted += countListings(root + "\r\n", root); // the sentinel line that ends the dump
    int maxLevel = 0;
    for (FolderTree::NodeId id = 0; id < static_cast<FolderTree::NodeId>(folders); ++id)
        maxLevel = std::max(maxLevel, tree.levelOf(id));

    input.maxLevel = maxLevel;
    input.listingsCounted = listingsCounted;
    input.notChecked = notCheckedWords(options.scope, tree.excludedLeftOut(), options.files,
                                       false); // the reports are English
    if (const QByteArray words = isRussian(options.lang)
            ? notCheckedWords(options.scope, tree.excludedLeftOut(), options.files, true)
            : input.notChecked;
        !words.isEmpty())
        result.notCheckedLine = QString::fromUtf8((isRussian(options.lang) ? "Не проверены: " : "Not checked: ")
                                                  + words);
    result.hiddenLeftOut = tree.hiddenLeftOut();
    result.analysis = analyser->finish(
        input, tree,
        [&](int index, const QByteArray&) {
            const FolderTree::NodeId id = tree.node(index);
            return id < read.size() && read[id];
        },
        [&](int index) { return reasons.value(tree.node(index)); });
    const ReportInputs& in = result.analysis.inputs;
    const ReportFrame frame = reportFrame(
        in, [&] { return currentTimeText(format); }, [] { return currentDateText(); });
    QByteArray differences = analysisDifferences(result.analysis);

    // What was not read or listed, folders first, for the item reports.
    for (qsizetype i = 0; i < in.notReadPaths.size(); ++i)
        items.notRead.append({in.notReadPaths[i],
                              QByteArray::fromStdString(rawFromPrintable(in.notReadPaths[i].toStdString())),
                              ItemKind::Folder, i < in.notReadReasons.size() ? in.notReadReasons[i] : QByteArray()});
    result.filesNotRead = static_cast<int>(filesNotRead.size());
    items.notRead.append(filesNotRead);
    items.notRead.append(notCompared);
    items.notListed = in.notListedPaths;
    for (const QByteArray& path : filesNotListed) {
        if (!items.notListed.contains(path)) {
            items.notListed.append(path);
            ++result.filesNotListed;
        }
    }
    if (fixing) {
        QByteArray head = "# Gives " + QByteArray::number(result.fixRecordCount)
            + " items what their folder gives them by inheritance, from the top down, below "
            + QByteArray::fromStdString(restorePath(rawFromPrintable(root.toStdString())))
            + ". Review it, then apply it with: setfacl --restore=FILE\n";
        if (!items.notRead.isEmpty() || !items.notListed.isEmpty() || fixTooLong > 0)
            head += "# Left out: " + QByteArray::number(items.notRead.size())
                + " items whose permissions were not read, and all below them; "
                + QByteArray::number(items.notListed.size()) + " folders whose entries could not be listed; "
                + QByteArray::number(fixTooLong) + " items whose paths are too long for setfacl.\n";
        if (result.fixRecordCount == 0) {
            // No record to give: the checked folder's own keeps the file one
            // that setfacl applies without an error, changing nothing.
            head += "# Nothing to give: the one record gives the checked folder its own permissions.\n";
            if (topRead)
                result.fixRecords = QByteArray::fromStdString(
                    restoreRecord(rawFromPrintable(root.toStdString()), restoreForm(top)));
        }
        result.fixRecords = head + "\n" + result.fixRecords;
    }
    QByteArray filesTail;
    if (options.files && !options.inheritance) {
        // The files of the check against the checked folder, in its differences report.
        differences += "\n" + QByteArray::number(items.filesDiffering) + " of " + QByteArray::number(items.filesChecked)
            + " files differ from what the checked folder gives a new file (" + QByteArray::number(items.otherKinds)
            + " links, devices, sockets and FIFOs counted, not compared).\n";
        for (const ItemNotRead& n : items.notRead) {
            if (n.kind == ItemKind::File)
                filesTail += n.path + "\n" + (n.reason.isEmpty() ? QByteArray() : "    " + n.reason + "\n");
        }
        if (!filesTail.isEmpty())
            filesTail = "\nFiles whose permissions were not read, or not compared:\n" + filesTail;
    }

    const QByteArray& reportsDir = options.reports->path();
    result.fullReportPath = WorkingFolder::fullReportFile(reportsDir);
    result.mismatchReportPath = WorkingFolder::mismatchFile(reportsDir);
    result.differencesReportPath = WorkingFolder::differencesFile(reportsDir);
    QByteArray failedName;
    std::vector<ReportsFolder::Report> written {
        {WorkingFolder::kFullReportName, {frame.fullHead, fullBody.lastPart()}},
        {WorkingFolder::kMismatchName, {frame.mismatchHead, mismatchBody.lastPart(), frame.mismatchTail}},
        {WorkingFolder::kDifferencesName, {differences}}};
    // The spools' descriptors are the reports' once taken: closed here when
    // the reports are never written (what follows may throw).
    bool handedOver = false;
    const auto closeSpools = qScopeGuard([&] {
        if (!handedOver)
            ReportsFolder::dispose(written);
    });
    if (options.files && !options.inheritance)
        written.back().parts = {differences, itemBody.lastPart(), filesTail};
    const QByteArray inheritanceHead = options.inheritance ? inheritanceReportHead(root, items, input.notChecked)
                                                           : QByteArray();
    const QByteArray inheritanceTail = options.inheritance ? inheritanceReportTail(items) : QByteArray();
    if (options.inheritance) {
        result.inheritanceReportPath = WorkingFolder::inheritanceFile(reportsDir);
        written.push_back({WorkingFolder::kInheritanceName, {inheritanceHead, itemBody.lastPart(), inheritanceTail}});
    }
    QByteArray whoText;
    if (whoInventory) {
        WhoFindings& who = whoInventory->findings();
        who.hiddenLeftOut = tree.hiddenLeftOut();
        for (const QByteArray& path : in.notListedPaths) {
            if (!who.notListed.contains(path))
                who.notListed.append(path);
        }
        result.whoReportPath = WorkingFolder::whoFile(reportsDir);
        whoText = whoReport(who, input.notChecked);
        written.push_back({WorkingFolder::kWhoName, {whoText}}); // a view of it: it outlives the writing
    }
    // The drift report, when the baseline was read whole on the way.
    if (options.drift) {
        options.drift->finish();
        for (const QByteArray& path : items.notListed)
            options.drift->notListed(path);
        if (!options.drift->error()) {
            result.driftReportPath = WorkingFolder::driftFile(reportsDir);
            written.push_back({WorkingFolder::kDriftName, options.drift->reportParts(input.notChecked)});
        }
    }
    handedOver = true; // replace() closes the spools' descriptors whatever happens
    result.writeError = options.reports->replace(written, failedName);
    if (!result.writeError && !options.inheritance)
        options.reports->remove(WorkingFolder::kInheritanceName); // an earlier run's: the folder holds this run's
    if (!result.writeError && !whoInventory)
        options.reports->remove(WorkingFolder::kWhoName);
    if (!result.writeError && result.driftReportPath.isEmpty())
        options.reports->remove(WorkingFolder::kDriftName);
    if (result.writeError)
        result.failedPath = reportsDir + '/' + failedName;
    if (options.folderLines) {
        // Every folder that differs, was not read or was not listed, in tree order.
        QHash<QByteArray, const FolderDifference*> differing;
        for (const FolderDifference& d : result.analysis.differences)
            differing.insert(d.path, &d);
        const QSet<QByteArray> notRead(in.notReadPaths.begin(), in.notReadPaths.end());
        for (int i = 0; i < folders && (!differing.isEmpty() || in.notRead > 0 || in.notListed > 0); ++i) {
            const FolderTree::NodeId id = tree.node(i);
            const QByteArray path = toByteArray(tree.printablePathOf(id));
            if (const auto it = differing.constFind(path); it != differing.constEnd())
                options.folderLines(path, tree.pathOf(id), "differs", *it, {});
            if (notRead.contains(path))
                options.folderLines(path, tree.pathOf(id), "not_read", nullptr, reasons.value(id));
            if (tree.isUnlisted(id))
                options.folderLines(path, tree.pathOf(id), "not_listed", nullptr, {});
        }
    }

    result.reportHeader = reportHeader(options.lang, QString::fromUtf8(root),
                                       countLine(options.lang, folders) + levelLine(options.lang, maxLevel));
    if (options.drift) {
        const DriftCounts& drift = options.drift->counts();
        result.verdict = driftVerdict(options.lang, *options.drift);
        result.complete = drift.notRead == 0;
        result.green = result.complete && drift.nothingChanged() && !options.drift->error();
    } else if (options.inheritance) {
        result.verdict = inheritanceVerdict(options.lang, items);
        result.complete = items.complete();
        result.green = result.complete && !items.anyDiffer();
    } else {
        result.verdict = screenVerdict(options.lang, in) + detailTail(options.lang);
        if (options.files)
            result.verdict += QLatin1Char(' ') + filesVerdict(options.lang, items);
        result.complete = items.complete();
        result.green = verdictLight(in) == Light::Green && items.complete() && !items.anyDiffer();
    }
    if (whoInventory) { // an inventory, not a verdict: complete when everything was read
        result.who = std::move(whoInventory->findings());
        result.verdict = whoVerdict(options.lang, *result.who);
        result.complete = result.who->complete();
        result.green = result.complete;
    }
    const double days = timeStamp() - started;
    result.seconds = days * 86400;
    result.processingTime = processingTimeLabel(options.lang) + durationText(days, format);
    return result;
}

} // namespace gw
