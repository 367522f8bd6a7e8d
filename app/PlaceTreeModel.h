#pragma once
// Places, each with lines below it, as a two-level tree whose rows are made
// when they are shown, and a filter that keeps the places it matches: the
// differences window's and the who-can window's. A subclass says how many
// places and lines there are, what a row shows, and what the filter keeps.

#include <QAbstractItemModel>

#include <vector>

class PlaceTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    using QAbstractItemModel::QAbstractItemModel;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;

    // Keeps the places that match `text`; all when it is empty.
    void setFilter(const QString& text);
    // The place a top row shows; -1 for a line or no row.
    int placeAt(const QModelIndex& index) const;

protected:
    virtual int placeTotal() const = 0;
    virtual int lineCount(int place) const = 0;
    virtual bool matches(int place, const QString& text) const = 0;
    // Called once before `matches` is asked about every place with a new text.
    virtual void beginFilter(const QString& text) { Q_UNUSED(text) }
    // The place a line belongs to, and its line number; -1 for a top row.
    int lineOwner(const QModelIndex& index) const;
    // Call once the places are there: all are shown.
    void showAll() { setFilter(QString()); }

private:
    std::vector<int> shown_; // the places the filter keeps, in order
};
