#include "engine/checks/folder/FolderCheck.h"
#include "engine/checks/folder/FolderRecords.h"
#include "platform/PrintableText.h"

#include "engine/reports/LanguageText.h"
#include "engine/rules/ListingCount.h"
#include "engine/rules/MismatchAnalysis.h"
#include "platform/PrintablePath.h"
#include "platform/WorkingFolder.h"

#include <QSet>

#include <algorithm>

namespace gw {
namespace {

// The sentence the check against the checked folder adds about its files.
QString filesVerdict(const QString& lang, const ItemFindings& f)
{
    const bool ru = isRussian(lang);
    const QString checked = QString::number(f.filesChecked), differing = QString::number(f.filesDiffering);
    if (ru)
        return QStringLiteral("Проверено файлов: ") + checked
            + QStringLiteral(", из них не такие, какими их создала бы проверяемая папка: ") + differing
            + (f.filesDiffering ? QStringLiteral(" (подробности — в отчёте о различиях).") : QStringLiteral("."));
    return QStringLiteral("Files checked: ") + checked
        + QStringLiteral(", of which differ from what the checked folder gives a new file: ") + differing
        + (f.filesDiffering ? QStringLiteral(" (the details are in the differences report).") : QStringLiteral("."));
}

} // namespace

FolderCheck::FolderCheck(ReportsFolder& spools, const QByteArray& root, const IgnoredParts& ignored,
                         std::unique_ptr<ItemComparison> items, bool compareItems, const TimeFormat& format)
    : fullBody_(spools)
    , mismatchBody_(spools)
    , files_(std::move(items))
    , compareItems_(compareItems)
    , format_(format)
{
    input_.root = root;
    input_.target = root;
    input_.ignored = ignored;
}

void FolderCheck::askFiles(FileCheck& files) const
{
    if (comparesFiles() && top_)
        files.top = top_;
}

void FolderCheck::take(const WalkedFolder& folder)
{
    // The dump, as the listing program would have written it in folder
    // order, trimmed line by line as the analysis reads it: each listing is
    // analysed as soon as it is taken, and goes to the body of the full
    // report (and, when it mismatches, of the mismatch report) without
    // being kept.
    const Listing& l = folder.listing;
    if (compareItems_) {
        files_->countFolder();
        if (files_->findings().files)
            files_->compareFiles(l.files, top_ ? &*top_ : nullptr, folder.path);
    }
    const auto fillBlock = [&] { // in the room the last folder's took
        block_.resize(0);
        block_.append(folder.path.data(), static_cast<qsizetype>(folder.path.size()));
        block_.append(l.entries.data(), static_cast<qsizetype>(l.entries.size()));
    };
    if (l.id == 0) { // the chosen folder's listing comes first: the reference
        if (l.read)
            fillBlock();
        input_.reference = l.read && isCompleteListing(block_, input_.root)
            ? referenceText(trimmedLines(block_), input_.root)
            : QByteArray();
        analyser_.emplace(input_);
    }
    if (!l.read) {
        if (!l.reason.empty())
            reasons_.insert(l.id, byteArray(l.reason));
        return;
    }
    if (read_.size() <= l.id)
        read_.resize(std::max<std::size_t>(l.id + 1, read_.size() * 2));
    read_[l.id] = true;
    trimListing(folder);
    fullBody_.append(trimmed_);
    if (analyser_->add(trimmed_)) {
        mismatchBody_.append(trimmed_);
        // Its owner, group and mode, for its record once the analysis has
        // found where its differences start: from the permissions read.
        if (folderLines_)
            statuses_.insert(byteArray(folder.path), itemStatus(l.permissions, statusNames_));
    }
}

void FolderCheck::trimListing(const WalkedFolder& folder)
{
    // A path that begins and ends with a character beyond the blank and
    // holds no line end leaves the lines of the entries after it as they
    // are: its own line, trimmed, is itself and the first entry. Printable
    // paths are such paths.
    const std::string& path = folder.path;
    const std::string& entries = folder.listing.entries;
    const QByteArray& root = input_.root;
    const bool plainPath = !path.empty() && static_cast<unsigned char>(path.front()) > 0x20
        && static_cast<unsigned char>(path.back()) > 0x20 && path.find('\n') == std::string::npos;
    trimmed_.resize(0);
    if (!plainPath || folder.listing.id == 0) {
        block_.resize(0);
        block_.append(path.data(), static_cast<qsizetype>(path.size()));
        block_.append(entries.data(), static_cast<qsizetype>(entries.size()));
        appendTrimmedLines(trimmed_, block_);
        listingsCounted_ += countListings(trimmed_, root);
        return;
    }
    TrimmedEntries& last = lastEntries_;
    if (!last.valid || last.entries != entries) {
        // Trimmed after one character that stands for the path.
        QByteArray afterPath("x");
        afterPath.append(entries.data(), static_cast<qsizetype>(entries.size()));
        last.trimmed = trimmedLines(afterPath).sliced(1);
        const qsizetype firstEnd = last.trimmed.indexOf('\n');
        last.listings = firstEnd < 0 ? 0 : countListings(last.trimmed.sliced(firstEnd + 1), root);
        last.entries = entries;
        last.valid = true;
    }
    trimmed_.append(path.data(), static_cast<qsizetype>(path.size()));
    trimmed_.append(last.trimmed);
    listingsCounted_ += last.listings + (QByteArrayView(trimmed_).startsWith(root) ? 1 : 0);
}

Judgement FolderCheck::judge(const ItemAlone& item) const
{
    Judgement j;
    if (!item.permissions || !item.top) {
        j.note = item.permissions ? "the checked folder's permissions were not read" : "not read";
        return j;
    }
    j.judged = true;
    std::optional<ItemDifference> d;
    if (item.kind == ItemKind::File) {
        // A file carries what the checked folder gives a new file.
        d = differenceFromGiven(*item.top, *item.permissions, ItemKind::File, files_->findings().umask, names_,
                                !input_.ignored.groupName);
    } else {
        // A folder carries the checked folder's own permissions, entry by entry.
        const QList<EntryChange> changes = entryChanges(permissionEntries(*item.top, names_),
                                                        permissionEntries(*item.permissions, names_), input_.ignored);
        if (!changes.isEmpty()) {
            d.emplace();
            d->changes = changes;
        }
    }
    if (d) {
        j.green = false;
        j.difference = std::move(*d);
        j.difference.kind = item.kind;
        j.difference.path = item.path;
        j.difference.rawPath = rawOfPrintable(item.path);
        j.difference.status = itemStatus(*item.permissions, names_);
    }
    return j;
}

const Analysis& FolderCheck::analyse(const FolderTree& tree, int maxLevel, const QByteArray& notChecked)
{
    if (!analyser_) // not even the chosen folder was reached
        analyser_.emplace(input_);
    listingsCounted_ += countListings(input_.root + "\r\n", input_.root); // the sentinel line that ends the dump
    input_.maxLevel = maxLevel;
    input_.listingsCounted = listingsCounted_;
    input_.notChecked = notChecked;
    analysis_ = analyser_->finish(
        input_, tree,
        [&](int index, const QByteArray&) {
            const FolderTree::NodeId id = tree.node(index);
            return id < read_.size() && read_[id];
        },
        [&](int index) { return reasons_.value(tree.node(index)); });
    for (FolderDifference& d : analysis_.differences) {
        if (const auto it = statuses_.constFind(d.path); it != statuses_.constEnd())
            d.status = *it;
    }
    statuses_.clear();
    return analysis_;
}

void FolderCheck::finish(const WalkEnd& end)
{
    files_->finish(analysis_, end.filesNotListed);
    if (folderLines_)
        folderRecords(analysis_, end.tree, folderLines_);
}

void FolderCheck::addReports(std::vector<ReportsFolder::Report>& out, const WalkEnd&)
{
    frame_ = reportFrame(
        analysis_.inputs, [&] { return currentTimeText(format_); }, [] { return currentDateText(); });
    differences_ = analysisDifferences(analysis_);
    out.push_back({WorkingFolder::kFullReportName, {frame_.fullHead, fullBody_.lastPart()}});
    out.push_back({WorkingFolder::kMismatchName, {frame_.mismatchHead, mismatchBody_.lastPart(), frame_.mismatchTail}});
    if (!filesInReport_) {
        out.push_back({WorkingFolder::kDifferencesName, {differences_}});
        return;
    }
    // The files, in its differences report.
    const ItemFindings& items = files_->findings();
    differences_ += "\n" + QByteArray::number(items.filesDiffering) + " of " + QByteArray::number(items.filesChecked)
        + " files differ from what the checked folder gives a new file (" + QByteArray::number(items.otherKinds)
        + " links, devices, sockets and FIFOs counted, not compared).\n";
    for (const ItemNotRead& n : items.notRead) {
        if (n.kind == ItemKind::File)
            filesTail_ += n.path + "\n" + (n.reason.isEmpty() ? QByteArray() : "    " + n.reason + "\n");
    }
    if (!filesTail_.isEmpty())
        filesTail_ = "\nFiles whose permissions were not read, or not compared:\n" + filesTail_;
    out.push_back({WorkingFolder::kDifferencesName, {differences_, files_->body().lastPart(), filesTail_}});
}

bool FolderCheck::comparesFiles() const
{
    return compareItems_ && files_->findings().files;
}

std::vector<const char*> FolderCheck::reportNames() const
{
    return {WorkingFolder::kFullReportName, WorkingFolder::kMismatchName, WorkingFolder::kDifferencesName};
}

QString FolderCheck::verdict(const QString& lang) const
{
    QString text = screenVerdict(lang, analysis_.inputs) + detailTail(lang);
    if (files_->findings().files)
        text += QLatin1Char(' ') + filesVerdict(lang, files_->findings());
    return text;
}

bool FolderCheck::complete() const
{
    return files_->findings().complete();
}

bool FolderCheck::green() const
{
    return verdictLight(analysis_.inputs) == Light::Green && complete() && !files_->findings().anyDiffer();
}

} // namespace gw
