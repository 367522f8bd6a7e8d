#include "FolderTreeModel.h"
#include "DisplayName.h"
#include "platform/PrintableText.h"

#include "platform/PrintablePath.h"

#include <QApplication>
#include <QStyle>

using gw::FolderTree;

FolderTreeModel::FolderTreeModel(QObject* parent)
    : QAbstractItemModel(parent)
    , tree_(QByteArrayLiteral("/"))
    , folderIcon_(QIcon::fromTheme(QStringLiteral("folder"), QApplication::style()->standardIcon(QStyle::SP_DirIcon)))
{
    fetched_.insert(0); // re-rooting listed "/" one level deep
    findLeaves(0);
}

void FolderTreeModel::findLeaves(FolderTree::NodeId id)
{
    // A folder of a great many subfolders opens at once: those not looked
    // into by then keep their expander until they are expanded.
    constexpr std::chrono::milliseconds kLookAhead {150};
    const std::vector<bool> some = tree_.childrenWithSubfolders(id, std::chrono::steady_clock::now() + kLookAhead);
    for (int row = 0; row < static_cast<int>(some.size()); ++row) {
        if (!some[static_cast<std::size_t>(row)])
            leaves_.insert(tree_.childOf(id, row));
    }
}

FolderTree::NodeId FolderTreeModel::nodeOf(const QModelIndex& index) const
{
    return static_cast<FolderTree::NodeId>(index.internalId());
}

QModelIndex FolderTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || row < 0 || row >= rowCount(parent))
        return {};
    if (!parent.isValid())
        return createIndex(row, 0, quintptr(0));
    return createIndex(row, 0, quintptr(tree_.childOf(nodeOf(parent), row)));
}

QModelIndex FolderTreeModel::parent(const QModelIndex& child) const
{
    if (!child.isValid() || nodeOf(child) == 0)
        return {};
    const FolderTree::NodeId parent = tree_.parentOf(nodeOf(child));
    return createIndex(tree_.rowOf(parent), 0, quintptr(parent));
}

int FolderTreeModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return tree_.count() > 0 ? 1 : 0;
    const FolderTree::NodeId id = nodeOf(parent);
    return fetched_.count(id) ? tree_.childCount(id) : 0;
}

int FolderTreeModel::columnCount(const QModelIndex&) const
{
    return 1;
}

bool FolderTreeModel::hasChildren(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return true;
    const FolderTree::NodeId id = nodeOf(parent);
    return fetched_.count(id) ? tree_.childCount(id) > 0 : !leaves_.count(id);
}

bool FolderTreeModel::canFetchMore(const QModelIndex& parent) const
{
    return parent.isValid() && !fetched_.count(nodeOf(parent));
}

void FolderTreeModel::fetchMore(const QModelIndex& parent)
{
    if (!canFetchMore(parent))
        return;
    const FolderTree::NodeId id = nodeOf(parent);
    tree_.listChildren(id);
    findLeaves(id);
    leaves_.erase(id);
    const int n = tree_.childCount(id);
    if (n > 0) {
        beginInsertRows(parent, 0, n - 1);
        fetched_.insert(id);
        endInsertRows();
    } else {
        fetched_.insert(id);
        emit dataChanged(parent, parent); // no expander any more
    }
}

QVariant FolderTreeModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const FolderTree::NodeId id = nodeOf(index);
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        if (role == Qt::ToolTipRole)
            return gw::printableText(tree_.pathOf(id));
        return displayName(tree_.nameOf(id));
    }
    if (role == Qt::DecorationRole)
        return folderIcon_;
    return {};
}

QByteArray FolderTreeModel::rawPath(const QModelIndex& index) const
{
    return index.isValid() ? tree_.pathOf(nodeOf(index)) : QByteArray();
}

QModelIndex FolderTreeModel::indexForPath(const QByteArray& rawPath)
{
    if (!rawPath.startsWith('/'))
        return {};
    QModelIndex current = index(0, 0);
    for (const QByteArray& name : rawPath.split('/')) {
        if (name.isEmpty())
            continue;
        fetchMore(current);
        const FolderTree::NodeId id = nodeOf(current);
        QModelIndex found;
        for (int row = 0; row < tree_.childCount(id); ++row) {
            if (tree_.nameOf(tree_.childOf(id, row)) == name) {
                found = index(row, 0, current);
                break;
            }
        }
        if (!found.isValid())
            return {};
        current = found;
    }
    return current;
}
