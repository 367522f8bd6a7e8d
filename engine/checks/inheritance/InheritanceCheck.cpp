#include "engine/checks/inheritance/InheritanceCheck.h"
#include "platform/PrintableText.h"

#include "engine/checks/inheritance/InheritanceReport.h"
#include "engine/reports/CountText.h"

#include "platform/DirectoryOpen.h"
#include "platform/PrintablePath.h"
#include "platform/RestoreFile.h"
#include "platform/WorkingFolder.h"

#include <climits>
#include <unistd.h>

namespace gw {

InheritanceCheck::InheritanceCheck(std::unique_ptr<ItemComparison> items, FileScope fileScope, bool fix,
                                   bool compareGroup)
    : items_(std::move(items))
    , fileScope_(std::move(fileScope))
    , fix_(fix)
    , compareGroup_(compareGroup)
{
}

void InheritanceCheck::askFiles(FileCheck& files) const
{
    files.inheritance = true;
}

// What the fix gives the folder that holds `l`; null when it holds nothing
// the fix knows of (the top, or a folder not read).
const Permissions* InheritanceCheck::fixedParent(const Listing& l)
{
    while (!fixed_.empty() && fixed_.back().id != l.parent)
        fixed_.pop_back();
    return fixed_.empty() ? nullptr : &fixed_.back().permissions;
}

// `fixedGift`: what the item's folder, as the fix leaves it, gives.
Permissions InheritanceCheck::fixItem(const FolderGift& fixedGift, const Permissions& item, const std::string& path)
{
    if (!fixedGift.comparable(item) || fixedGift.windowsAcl(item))
        return item; // setfacl cannot set those ACLs: never a record
    Permissions given = fixedGift.finding(item).expected;
    if (given == item)
        return item;
    const std::string raw = rawFromPrintable(path);
    if (raw.size() >= PATH_MAX) { // setfacl names a file by its whole path
        ++fixTooLong_;
        return item;
    }
    ++fixRecordCount_;
    fixRecords_ += QByteArray::fromStdString(restoreRecord(raw, restoreForm(given)));
    return given;
}

void InheritanceCheck::take(const WalkedFolder& folder)
{
    const Listing& l = folder.listing;
    if (l.id == 0 && l.read)
        top_ = l.permissions;
    const Permissions* fixedAbove = fix_ ? fixedParent(l) : nullptr;
    Permissions fixedHere = l.permissions; // unless the fix changes it
    items_->countFolder();
    if (l.id != 0 && l.read && folder.parent) {
        items_->compare(*folder.parent, l.permissions, ItemKind::Folder, folder.path);
        if (fix_ && fixedAbove)
            fixedHere = fixItem(FolderGift(*fixedAbove, ItemKind::Folder, items_->findings().umask, compareGroup_),
                                l.permissions, folder.path);
    }
    if (fix_)
        fixed_.push_back({l.id, fixedHere});
    if (!items_->findings().files)
        return;
    items_->compareFiles(l.files, l.read ? &l.permissions : nullptr, folder.path);
    if (fix_ && l.read)
        fixFiles(folder, fixedHere);
}

// The files of a folder, given what their folder gives once it is fixed.
void InheritanceCheck::fixFiles(const WalkedFolder& folder, const Permissions& fixedHere)
{
    const Listing& l = folder.listing;
    const FolderGift fixedGift(fixedHere, ItemKind::File, items_->findings().umask, compareGroup_);
    std::string filePath;
    if (fixedHere == l.permissions) { // the fix leaves the folder as it is
        for (const FileListing& f : l.files.files) {
            if (!f.read)
                continue;
            filePath = folder.path;
            appendChild(filePath, f.name);
            fixItem(fixedGift, f.permissions, filePath);
        }
        return;
    }
    // The fix changes this folder, and with it what its files should have:
    // they are read again, and those that would differ from it then are
    // given it. Only such folders' files are read twice.
    bool listable = true;
    const int fd = openDirectoryForPermissions(rawFromPrintable(folder.path), listable, Links::Refuse);
    if (fd >= 0 && listable) {
        const FolderFiles again = readFolderFiles(fd, fileScope_, l.relative,
                                                  [&](const Permissions& p) { return !fixedGift.carries(p); });
        for (const FileListing& f : again.files) {
            if (!f.read)
                continue;
            filePath = folder.path;
            appendChild(filePath, f.name);
            fixItem(fixedGift, f.permissions, filePath);
        }
    }
    if (fd >= 0)
        ::close(fd);
}

Judgement InheritanceCheck::judge(const ItemAlone& item) const
{
    Judgement j;
    if (!item.permissions || !item.folder) {
        j.note = item.permissions ? "its folder's permissions were not read (or it is the checked folder)" : "not read";
        return j;
    }
    if (!inheritanceApplies(*item.folder, *item.permissions)) {
        j.note = QByteArray::fromStdString(notComparedReason(*item.folder, *item.permissions));
        return j;
    }
    j.judged = true;
    if (std::optional<ItemDifference> d = differenceFromGiven(*item.folder, *item.permissions, item.kind,
                                                              items_->findings().umask, names_, compareGroup_)) {
        j.green = false;
        j.difference = std::move(*d);
        j.difference.path = item.path;
        j.difference.rawPath = rawOfPrintable(item.path);
    }
    return j;
}

void InheritanceCheck::finish(const WalkEnd& end)
{
    items_->finish(end.analysis, end.filesNotListed);
    if (!fix_)
        return;
    const ItemFindings& items = items_->findings();
    QByteArray head = "# Gives " + counted(fixRecordCount_, "item", "items")
        + (fixRecordCount_ == 1 ? " what its folder gives it" : " what their folder gives them")
        + " by inheritance, from the top down, below "
        + QByteArray::fromStdString(restorePath(rawFromPrintable(end.root.toStdString())))
        + ". Review it, then apply it with: setfacl --restore=FILE\n";
    if (!items.notRead.isEmpty() || !items.notListed.isEmpty() || fixTooLong_ > 0)
        head += "# Left out: " + counted(items.notRead.size(), "item", "items")
            + " whose permissions were not read, and all below them; "
            + counted(items.notListed.size(), "folder", "folders") + " whose entries could not be listed; "
            + counted(fixTooLong_, "item", "items") + " whose paths are too long for setfacl.\n";
    if (fixRecordCount_ == 0) {
        // No record to give: the checked folder's own keeps the file one
        // that setfacl applies without an error, changing nothing.
        head += "# Nothing to give: the one record gives the checked folder its own permissions.\n";
        if (top_)
            fixRecords_ = QByteArray::fromStdString(
                restoreRecord(rawFromPrintable(end.root.toStdString()), restoreForm(*top_)));
    }
    fixRecords_ = head + "\n" + fixRecords_;
}

void InheritanceCheck::addReports(std::vector<ReportsFolder::Report>& out, const WalkEnd& end)
{
    head_ = inheritanceReportHead(end.root, items_->findings(), end.notChecked);
    tail_ = inheritanceReportTail(items_->findings());
    out.push_back({WorkingFolder::kInheritanceName, {head_, items_->body().lastPart(), tail_}});
}

std::vector<const char*> InheritanceCheck::reportNames() const
{
    return {WorkingFolder::kInheritanceName};
}

QString InheritanceCheck::verdict(const QString& lang) const
{
    return inheritanceVerdict(lang, items_->findings());
}

bool InheritanceCheck::complete() const
{
    return items_->findings().complete();
}

bool InheritanceCheck::green() const
{
    return complete() && !items_->findings().anyDiffer();
}

} // namespace gw
