#pragma once
// What one principal can do where, as a tree: each place where the rights
// change, with read, write and enter (execute, for a file) in columns of
// their own, each a sign and a word ("✓ read", "✗", "~ own entries",
// "? unknown"), coloured as well but never by colour alone; the entry that
// decides; whether it can be reached from "/", or the folder that stops it;
// and below it, the places counted in it and why its rights are unknown.
// A filter keeps the places whose path, entry, stopping folder or reason
// hold a text.

#include "PlaceTreeModel.h"
#include "engine/checks/who/WhoInventory.h"

#include <QColor>

class WhoModel : public PlaceTreeModel {
    Q_OBJECT
public:
    enum Column {
        Place,
        Read,
        Write,
        Enter,
        Via,
        Reachable,
        ColumnCount
    };
    WhoModel(QList<gw::WhoPlace> places, bool russian, QObject* parent = nullptr);

    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    int placeCount() const { return static_cast<int>(places_.size()); }
    // The place at a top row; null for a line.
    const gw::WhoPlace* placeOf(const QModelIndex& index) const;
    // A row as one line: a place's columns, tab-separated, or the line's text.
    QString rowLine(const QModelIndex& index) const;

protected:
    int placeTotal() const override { return placeCount(); }
    int lineCount(int place) const override;
    bool matches(int place, const QString& text) const override;

private:
    struct Cell {
        QString text;
        QColor colour;
    };
    Cell cell(const gw::WhoPlace& place, int column) const;
    QString lineText(const gw::WhoPlace& place, int line) const;
    QList<gw::WhoPlace> places_;
    bool russian_;
};
