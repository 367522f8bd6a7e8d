#include "engine/checks/ItemComparison.h"
#include "platform/PrintableText.h"

#include "engine/rules/InheritanceReference.h"
#include "platform/PrintablePath.h"

namespace gw {
namespace {

} // namespace

ItemComparison::ItemComparison(ReportsFolder& spools, bool files, std::optional<std::uint32_t> umask, bool keepItems,
                               bool compareGroup, std::function<void(const ItemDifference&)> itemLine)
    : body_(spools)
    , compareGroup_(compareGroup)
    , itemLine_(std::move(itemLine))
{
    findings_.files = files;
    findings_.umask = umask;
    findings_.keepItems = keepItems;
}

void ItemComparison::compare(const Permissions& folder, const Permissions& item, ItemKind kind, const std::string& path)
{
    if (!inheritanceApplies(folder, item)) {
        notCompared_.append({byteArray(path), QByteArray::fromStdString(rawFromPrintable(path)), kind,
                             QByteArray::fromStdString(notComparedReason(folder, item))});
        return;
    }
    if (std::optional<ItemDifference> d = differenceFromGiven(folder, item, kind, findings_.umask, names_,
                                                              compareGroup_)) {
        d->path = byteArray(path);
        d->rawPath = QByteArray::fromStdString(rawFromPrintable(path));
        body_.append("\n" + itemLines(*d, true));
        if (itemLine_)
            itemLine_(*d);
        findings_.add(std::move(*d));
    }
}

void ItemComparison::compareFiles(const FolderFiles& files, const Permissions* folder, const std::string& folderPath)
{
    findings_.otherKinds += files.otherKinds;
    findings_.filesChecked += files.read;
    std::string filePath;
    for (const FileListing& f : files.files) {
        filePath = folderPath;
        appendChild(filePath, f.name);
        if (!f.read || !folder) {
            if (f.read)
                --findings_.filesChecked; // read, but with nothing to compare it with
            filesNotRead_.append(
                {byteArray(filePath), QByteArray::fromStdString(rawFromPrintable(filePath)), ItemKind::File,
                 byteArray(f.read ? std::string("its folder's permissions were not read") : f.reason)});
            continue;
        }
        compare(*folder, f.permissions, ItemKind::File, filePath);
    }
}

void ItemComparison::finish(const Analysis& analysis, const QList<QByteArray>& filesNotListed)
{
    // What was not read or listed, folders first.
    const ReportInputs& in = analysis.inputs;
    for (qsizetype i = 0; i < in.notReadPaths.size(); ++i)
        findings_.notRead.append({in.notReadPaths[i], rawOfPrintable(in.notReadPaths[i]), ItemKind::Folder,
                                  i < in.notReadReasons.size() ? in.notReadReasons[i] : QByteArray()});
    filesNotReadCount_ = static_cast<int>(filesNotRead_.size());
    findings_.notRead.append(filesNotRead_);
    findings_.notRead.append(notCompared_);
    findings_.notListed = in.notListedPaths;
    for (const QByteArray& path : filesNotListed) {
        if (!findings_.notListed.contains(path)) {
            findings_.notListed.append(path);
            ++filesNotListedCount_;
        }
    }
}

} // namespace gw
