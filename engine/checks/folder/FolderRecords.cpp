#include "engine/checks/folder/FolderRecords.h"

#include "platform/PrintableText.h"

#include <QHash>

namespace gw {

void folderRecords(const Analysis& analysis, const FolderTree& tree, const FolderLine& line)
{
    const ReportInputs& in = analysis.inputs;
    QHash<QByteArray, const FolderDifference*> differing;
    for (const FolderDifference& d : analysis.differences)
        differing.insert(d.path, &d);
    QHash<QByteArray, QByteArray> notRead; // with why, when known
    for (qsizetype i = 0; i < in.notReadPaths.size(); ++i)
        notRead.insert(in.notReadPaths[i], i < in.notReadReasons.size() ? in.notReadReasons[i] : QByteArray());
    const int folders = tree.count();
    for (int i = 0; i < folders && (!differing.isEmpty() || in.notRead > 0 || in.notListed > 0); ++i) {
        const FolderTree::NodeId id = tree.node(i);
        const QByteArray path = byteArray(tree.printablePathOf(id));
        if (const auto it = differing.constFind(path); it != differing.constEnd())
            line(path, tree.pathOf(id), "differs", *it, {});
        if (const auto it = notRead.constFind(path); it != notRead.constEnd())
            line(path, tree.pathOf(id), "not_read", nullptr, *it);
        if (tree.isUnlisted(id))
            line(path, tree.pathOf(id), "not_listed", nullptr, {});
    }
}

} // namespace gw
