#pragma once
// The places where differences start, as a tree: each place (a folder, or a
// file) with the number of folders folded into it, and below it its reasons
// and its + / - / ~ lines, coloured (added green, removed red, changed
// amber) with the signs kept, so nothing depends on colour. Rows are made
// when they are shown, and a filter keeps the places whose path or lines
// hold a text: a report of a hundred thousand places opens at once.

#include "PlaceTreeModel.h"
#include "engine/rules/Differences.h"

#include <QStringList>

#include <vector>

struct DifferencePlace {
    QByteArray path; // printable
    QString kind; // shown before the path ("folder", "file"); empty for none
    int sameBelow = 0; // folders folded into it
    QStringList reasons; // in words, for the inheritance check
    QList<gw::EntryChange> changes;
};

class DifferencesModel : public PlaceTreeModel {
    Q_OBJECT
public:
    DifferencesModel(std::vector<DifferencePlace> places, bool russian, QObject* parent = nullptr);

    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    int placeCount() const { return static_cast<int>(places_.size()); }
    // The place at a top row: its printable path; empty for a line.
    QByteArray placePath(const QModelIndex& index) const;

protected:
    int placeTotal() const override { return placeCount(); }
    int lineCount(int place) const override;
    bool matches(int place, const QString& text) const override;
    void beginFilter(const QString& text) override { wanted_ = text.toUtf8().toLower(); }

private:
    QString lineText(const DifferencePlace& place, int line) const;
    std::vector<DifferencePlace> places_;
    QByteArray wanted_; // the filter's text, in lower case
    bool russian_;
};
