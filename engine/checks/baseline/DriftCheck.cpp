#include "engine/checks/baseline/DriftCheck.h"
#include "platform/PrintableText.h"

#include "platform/PrintablePath.h"
#include "platform/WorkingFolder.h"

namespace gw {

DriftCheck::DriftCheck(BaselineDrift& drift, bool files)
    : drift_(drift)
    , files_(files)
{
}

void DriftCheck::askFiles(FileCheck& files) const
{
    files.keepAll = true; // every file is compared with its record
}

void DriftCheck::take(const WalkedFolder& folder)
{
    const Listing& l = folder.listing;
    raw_ = rawFromPrintable(folder.path);
    drift_.take(raw_, folder.path, ItemKind::Folder, l.read ? &l.permissions : nullptr, l.reason);
    if (!files_)
        return;
    for (const FileListing& f : l.files.files) {
        filePath_ = folder.path;
        rawFile_ = raw_;
        appendChild(filePath_, f.name);
        appendChild(rawFile_, f.rawName);
        drift_.take(rawFile_, filePath_, ItemKind::File, f.read ? &f.permissions : nullptr, f.reason);
    }
}

Judgement DriftCheck::judge(const ItemAlone& item) const
{
    Judgement j;
    j.judged = true;
    j.difference.kind = item.kind;
    j.difference.path = item.path;
    j.difference.rawPath = rawOfPrintable(item.path);
    if (item.permissions)
        j.difference.status = itemStatus(*item.permissions, names_);
    if (!item.permissions && !item.recorded) {
        j.judged = false;
        j.note = "neither there nor recorded";
    } else if (!item.permissions) {
        j.green = false;
        j.note = "gone";
    } else if (!item.recorded) {
        j.green = false;
        j.note = "new";
        for (const QByteArray& entry : permissionEntries(*item.permissions, names_))
            j.difference.changes.append(EntryChange {EntryChange::Added, {}, entry});
    } else if (!(*item.permissions == *item.recorded)) {
        j.green = false;
        j.note = "changed";
        j.difference.changes = entryChanges(permissionEntries(*item.recorded, names_),
                                            permissionEntries(*item.permissions, names_));
    }
    return j;
}

void DriftCheck::finish(const WalkEnd& end)
{
    drift_.finish();
    QList<QByteArray> notListed = end.analysis.inputs.notListedPaths;
    for (const QByteArray& path : end.filesNotListed) {
        if (!notListed.contains(path))
            notListed.append(path);
    }
    for (const QByteArray& path : notListed)
        drift_.notListed(path);
    for (const QByteArray& path : end.notEntered)
        drift_.notListed(path, "it was found, but could not be entered: it and what is below it were not compared");
}

void DriftCheck::addReports(std::vector<ReportsFolder::Report>& out, const WalkEnd& end)
{
    // Only when the baseline was read whole on the way.
    if (drift_.error())
        return;
    wrote_ = true;
    out.push_back({WorkingFolder::kDriftName, drift_.reportParts(end.notChecked)});
}

std::vector<const char*> DriftCheck::reportNames() const
{
    if (!wrote_)
        return {};
    return {WorkingFolder::kDriftName};
}

QString DriftCheck::verdict(const QString& lang) const
{
    return driftVerdict(lang, drift_);
}

bool DriftCheck::complete() const
{
    return drift_.counts().notRead == 0;
}

bool DriftCheck::green() const
{
    return complete() && drift_.counts().nothingChanged() && !drift_.error();
}

} // namespace gw
