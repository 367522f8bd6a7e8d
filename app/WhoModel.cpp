#include "WhoModel.h"
#include "engine/reports/CountText.h"

#include <QApplication>
#include <QColor>
#include <QStyle>

namespace {

const QColor kYes(0, 128, 0), kNo(192, 0, 0), kPartly(176, 112, 0), kUnknown(112, 112, 112);

} // namespace

WhoModel::WhoModel(QList<gw::WhoPlace> places, bool russian, QObject* parent)
    : PlaceTreeModel(parent)
    , places_(std::move(places))
    , russian_(russian)
{
    showAll();
}

int WhoModel::columnCount(const QModelIndex&) const
{
    return ColumnCount;
}

QVariant WhoModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const kHeaders[ColumnCount][2] = {
        {"Place", "Место"},
        {"Read", "Чтение"},
        {"Write", "Запись"},
        {"Enter / execute", "Вход / запуск"},
        {"Via (the deciding entry)", "Решающая запись"},
        {"Reachable from /", "Доступно от /"},
    };
    return section >= 0 && section < ColumnCount ? QString::fromUtf8(kHeaders[section][russian_ ? 1 : 0]) : QVariant();
}

// Where a place's rights are unknown, every right is "?": never guessed.
WhoModel::Cell WhoModel::cell(const gw::WhoPlace& p, int column) const
{
    const auto word = [this](const char* en, const char* ru) { return QString::fromUtf8(russian_ ? ru : en); };
    const Cell unknown {word("? unknown", "? неизвестно"), kUnknown};
    const auto right = [&](bool yes, const char* en, const char* ru) {
        if (!p.known)
            return unknown;
        return yes ? Cell {QStringLiteral("✓ ") + word(en, ru), kYes} : Cell {QStringLiteral("✗"), kNo};
    };
    const bool folder = p.kind == gw::ItemKind::Folder;
    switch (column) {
    case Place: return {QString::fromUtf8(p.path), {}};
    case Read: return right(p.rights.read, "read", "чтение");
    case Write:
        if (p.known && p.rights.write == gw::WriteRight::OwnEntries)
            return {word("~ own entries only", "~ только свои записи"), kPartly};
        return right(p.rights.write == gw::WriteRight::Yes, "write", "запись");
    case Enter: return folder ? right(p.rights.enter, "enter", "вход") : right(p.rights.enter, "execute", "запуск");
    case Via: return {p.known && p.reach == gw::Reach::Yes ? QString::fromUtf8(p.via) : QStringLiteral("—"), {}};
    case Reachable:
        switch (p.reach) {
        case gw::Reach::Yes: return {word("✓ yes", "✓ да"), kYes};
        case gw::Reach::No: return {word("✗ stopped at ", "✗ остановлен в ") + QString::fromUtf8(p.stoppedAt), kNo};
        case gw::Reach::Unknown: return unknown;
        }
    }
    return {};
}

int WhoModel::lineCount(int place) const
{
    const gw::WhoPlace& p = places_[place];
    return (p.reason.isEmpty() ? 0 : 1) + (p.sameBelow > 0 ? 1 : 0);
}

QString WhoModel::lineText(const gw::WhoPlace& p, int line) const
{
    if (line == 0 && !p.reason.isEmpty())
        return (russian_ ? QStringLiteral("не прочитано: ") : QStringLiteral("not read: "))
            + QString::fromUtf8(p.reason);
    return russian_ ? QStringLiteral("то же ниже: %1").arg(gw::countedRussian(p.sameBelow, "место", "места", "мест"))
                    : QStringLiteral("the same below: %1").arg(gw::countedText(p.sameBelow, "place", "places"));
}

QVariant WhoModel::data(const QModelIndex& index, int role) const
{
    if (const gw::WhoPlace* p = placeOf(index)) {
        if (role == Qt::DisplayRole || role == Qt::ForegroundRole) {
            const Cell c = cell(*p, index.column());
            return role == Qt::DisplayRole ? QVariant(c.text) : c.colour.isValid() ? QVariant(c.colour) : QVariant();
        }
        if (role == Qt::DecorationRole && index.column() == Place)
            return QApplication::style()->standardIcon(p->kind == gw::ItemKind::Folder ? QStyle::SP_DirIcon
                                                                                       : QStyle::SP_FileIcon);
        if (role == Qt::ToolTipRole && index.column() == Place)
            return (p->kind == gw::ItemKind::Folder ? (russian_ ? QStringLiteral("папка ") : QStringLiteral("folder "))
                                                    : (russian_ ? QStringLiteral("файл ") : QStringLiteral("file ")))
                + QString::fromUtf8(p->path);
        return {};
    }
    const int owner = lineOwner(index);
    if (owner < 0 || index.column() != Place || role != Qt::DisplayRole)
        return {};
    return lineText(places_[owner], index.row());
}

const gw::WhoPlace* WhoModel::placeOf(const QModelIndex& index) const
{
    const int at = placeAt(index);
    return at < 0 ? nullptr : &places_[at];
}

QString WhoModel::rowLine(const QModelIndex& index) const
{
    const gw::WhoPlace* p = placeOf(index);
    if (!p)
        return data(index.siblingAtColumn(Place)).toString();
    QStringList cells;
    for (int column = 0; column < ColumnCount; ++column)
        cells << cell(*p, column).text;
    return cells.join(QLatin1Char('\t'));
}

bool WhoModel::matches(int place, const QString& text) const
{
    const gw::WhoPlace& p = places_[place];
    for (const QByteArray* field : {&p.path, &p.via, &p.stoppedAt, &p.reason}) {
        if (QString::fromUtf8(*field).contains(text, Qt::CaseInsensitive))
            return true;
    }
    return false;
}
