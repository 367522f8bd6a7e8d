#include "DifferencesModel.h"
#include "engine/reports/CountText.h"

#include <QColor>

DifferencesModel::DifferencesModel(std::vector<DifferencePlace> places, bool russian, QObject* parent)
    : PlaceTreeModel(parent)
    , places_(std::move(places))
    , russian_(russian)
{
    showAll();
}

int DifferencesModel::columnCount(const QModelIndex&) const
{
    return 1;
}

int DifferencesModel::lineCount(int place) const
{
    const DifferencePlace& p = places_[static_cast<std::size_t>(place)];
    return static_cast<int>(p.reasons.size() + p.changes.size());
}

QString DifferencesModel::lineText(const DifferencePlace& place, int line) const
{
    if (line < place.reasons.size())
        return place.reasons[line];
    const gw::EntryChange& c = place.changes[line - place.reasons.size()];
    switch (c.kind) {
    case gw::EntryChange::Added: return QStringLiteral("+ ") + QString::fromUtf8(c.to);
    case gw::EntryChange::Removed: return QStringLiteral("- ") + QString::fromUtf8(c.from);
    case gw::EntryChange::Changed:
        return QStringLiteral("~ ") + QString::fromUtf8(c.from) + QStringLiteral(" -> ") + QString::fromUtf8(c.to);
    }
    return {};
}

QVariant DifferencesModel::data(const QModelIndex& index, int role) const
{
    if (const int at = placeAt(index); at >= 0) {
        const DifferencePlace& place = places_[static_cast<std::size_t>(at)];
        if (role != Qt::DisplayRole)
            return {};
        QString text = place.kind.isEmpty() ? QString::fromUtf8(place.path)
                                            : place.kind + QLatin1Char(' ') + QString::fromUtf8(place.path);
        if (place.sameBelow > 0)
            text += russian_ ? QStringLiteral("  (и ещё папок ниже: %1)").arg(place.sameBelow)
                             : QStringLiteral("  (and %1 below it)")
                                   .arg(gw::countedText(place.sameBelow, "subfolder", "subfolders"));
        return text;
    }
    const int owner = lineOwner(index);
    if (owner < 0)
        return {};
    const DifferencePlace& place = places_[static_cast<std::size_t>(owner)];
    const int line = index.row();
    if (role == Qt::DisplayRole)
        return lineText(place, line);
    if (role == Qt::ForegroundRole && line >= place.reasons.size()) {
        switch (place.changes[line - place.reasons.size()].kind) {
        case gw::EntryChange::Added: return QColor(0, 128, 0);
        case gw::EntryChange::Removed: return QColor(192, 0, 0);
        case gw::EntryChange::Changed: return QColor(176, 112, 0);
        }
    }
    return {};
}

bool DifferencesModel::matches(int at, const QString& text) const
{
    const auto holds = [this](QByteArrayView v) { return v.toByteArray().toLower().contains(wanted_); };
    const DifferencePlace& p = places_[static_cast<std::size_t>(at)];
    if (holds(p.path) || p.kind.contains(text, Qt::CaseInsensitive))
        return true;
    for (const QString& reason : p.reasons) {
        if (reason.contains(text, Qt::CaseInsensitive))
            return true;
    }
    return std::any_of(p.changes.begin(), p.changes.end(),
                       [&holds](const gw::EntryChange& c) { return holds(c.from) || holds(c.to); });
}

QByteArray DifferencesModel::placePath(const QModelIndex& index) const
{
    const int at = placeAt(index);
    return at < 0 ? QByteArray() : places_[static_cast<std::size_t>(at)].path;
}
