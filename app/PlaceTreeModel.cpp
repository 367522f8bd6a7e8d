#include "PlaceTreeModel.h"

#include <algorithm>

namespace {

// A top row's internal id is 0; a line's is its place's index plus one.
constexpr quintptr kPlaceRow = 0;

} // namespace

QModelIndex PlaceTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (row < 0 || column < 0 || column >= columnCount(parent))
        return {};
    if (!parent.isValid())
        return row < static_cast<int>(shown_.size()) ? createIndex(row, column, kPlaceRow) : QModelIndex();
    if (parent.internalId() != kPlaceRow || parent.column() != 0)
        return {};
    const int place = shown_[static_cast<std::size_t>(parent.row())];
    return row < lineCount(place) ? createIndex(row, column, static_cast<quintptr>(place) + 1) : QModelIndex();
}

QModelIndex PlaceTreeModel::parent(const QModelIndex& child) const
{
    if (!child.isValid() || child.internalId() == kPlaceRow)
        return {};
    const int place = static_cast<int>(child.internalId() - 1);
    const auto it = std::lower_bound(shown_.begin(), shown_.end(), place);
    if (it == shown_.end() || *it != place)
        return {};
    return createIndex(static_cast<int>(it - shown_.begin()), 0, kPlaceRow);
}

int PlaceTreeModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return static_cast<int>(shown_.size());
    if (parent.internalId() != kPlaceRow || parent.column() != 0)
        return 0;
    return lineCount(shown_[static_cast<std::size_t>(parent.row())]);
}

int PlaceTreeModel::placeAt(const QModelIndex& index) const
{
    if (!index.isValid() || index.internalId() != kPlaceRow)
        return -1;
    return shown_[static_cast<std::size_t>(index.row())];
}

int PlaceTreeModel::lineOwner(const QModelIndex& index) const
{
    if (!index.isValid() || index.internalId() == kPlaceRow)
        return -1;
    return static_cast<int>(index.internalId() - 1);
}

void PlaceTreeModel::setFilter(const QString& text)
{
    beginResetModel();
    shown_.clear();
    beginFilter(text);
    for (int i = 0, n = placeTotal(); i < n; ++i) {
        if (text.isEmpty() || matches(i, text))
            shown_.push_back(i);
    }
    endResetModel();
}
