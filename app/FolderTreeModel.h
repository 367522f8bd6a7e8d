#pragma once
// The item model of the visible folder tree: "/" as its single top node,
// children listed when the user expands a folder, each shown with an
// expander only when it has a subfolder. It shares the folder
// tree's order, its rule for hidden folders and links, and its raw paths.

#include "platform/FolderTree.h"

#include <QAbstractItemModel>
#include <QIcon>

#include <unordered_set>

class FolderTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit FolderTreeModel(QObject* parent = nullptr);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    // The raw path of the folder at `index`; empty for an invalid index.
    QByteArray rawPath(const QModelIndex& index) const;
    // The index of the folder at `rawPath`, listing the folders on the way;
    // invalid when there is no such folder in the tree.
    QModelIndex indexForPath(const QByteArray& rawPath);

private:
    gw::FolderTree::NodeId nodeOf(const QModelIndex& index) const;
    // Looks one level ahead of a listing: which of the node's children have
    // no subfolder, and so no expander.
    void findLeaves(gw::FolderTree::NodeId id);
    gw::FolderTree tree_;
    std::unordered_set<gw::FolderTree::NodeId> fetched_; // nodes whose children the view knows
    std::unordered_set<gw::FolderTree::NodeId> leaves_; // nodes not listed yet, known to have no subfolder
    QIcon folderIcon_;
};
