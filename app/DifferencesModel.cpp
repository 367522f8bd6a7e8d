#include "DifferencesModel.h"
#include "engine/reports/CountText.h"

#include <QColor>

namespace {

// A top row's internal id is 0; a line's is its place's index plus one.
constexpr quintptr kPlaceRow = 0;

} // namespace

DifferencesModel::DifferencesModel(std::vector<DifferencePlace> places, bool russian, QObject* parent)
    : QAbstractItemModel(parent)
    , places_(std::move(places))
    , russian_(russian)
{
    setFilter(QString());
}

QModelIndex DifferencesModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || row < 0)
        return {};
    if (!parent.isValid())
        return row < static_cast<int>(shown_.size()) ? createIndex(row, 0, kPlaceRow) : QModelIndex();
    if (parent.internalId() != kPlaceRow)
        return {};
    const int place = shown_[static_cast<std::size_t>(parent.row())];
    return row < lineCount(places_[static_cast<std::size_t>(place)])
        ? createIndex(row, 0, static_cast<quintptr>(place) + 1)
        : QModelIndex();
}

QModelIndex DifferencesModel::parent(const QModelIndex& child) const
{
    if (!child.isValid() || child.internalId() == kPlaceRow)
        return {};
    const int place = static_cast<int>(child.internalId() - 1);
    const auto it = std::lower_bound(shown_.begin(), shown_.end(), place);
    if (it == shown_.end() || *it != place)
        return {};
    return createIndex(static_cast<int>(it - shown_.begin()), 0, kPlaceRow);
}

int DifferencesModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return static_cast<int>(shown_.size());
    if (parent.internalId() != kPlaceRow)
        return 0;
    return lineCount(places_[static_cast<std::size_t>(shown_[static_cast<std::size_t>(parent.row())])]);
}

int DifferencesModel::columnCount(const QModelIndex&) const
{
    return 1;
}

int DifferencesModel::lineCount(const DifferencePlace& place) const
{
    return static_cast<int>(place.reasons.size() + place.changes.size());
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
    if (!index.isValid())
        return {};
    if (index.internalId() == kPlaceRow) {
        const DifferencePlace& place = places_[static_cast<std::size_t>(shown_[static_cast<std::size_t>(index.row())])];
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
    const DifferencePlace& place = places_[static_cast<std::size_t>(index.internalId() - 1)];
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

void DifferencesModel::setFilter(const QString& text)
{
    beginResetModel();
    shown_.clear();
    const QByteArray wanted = text.toUtf8();
    const auto holds = [&wanted](QByteArrayView v) {
        return QByteArrayView(v).toByteArray().toLower().contains(wanted.toLower());
    };
    for (std::size_t i = 0; i < places_.size(); ++i) {
        const DifferencePlace& p = places_[i];
        bool keep = wanted.isEmpty() || holds(p.path) || p.kind.contains(text, Qt::CaseInsensitive);
        for (int k = 0; !keep && k < p.reasons.size(); ++k)
            keep = p.reasons[k].contains(text, Qt::CaseInsensitive);
        for (const gw::EntryChange& c : p.changes) {
            if (keep)
                break;
            keep = holds(c.from) || holds(c.to);
        }
        if (keep)
            shown_.push_back(static_cast<int>(i));
    }
    endResetModel();
}

QByteArray DifferencesModel::placePath(const QModelIndex& index) const
{
    if (!index.isValid() || index.internalId() != kPlaceRow)
        return {};
    return places_[static_cast<std::size_t>(shown_[static_cast<std::size_t>(index.row())])].path;
}
