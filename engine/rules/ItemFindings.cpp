#include "engine/rules/ItemFindings.h"

namespace gw {
namespace {

QByteArray kindWord(ItemKind kind)
{
    return kind == ItemKind::Folder ? QByteArrayLiteral("folder ") : QByteArrayLiteral("file ");
}

} // namespace

void ItemFindings::add(ItemDifference d)
{
    ++(d.kind == ItemKind::Folder ? foldersDiffering : filesDiffering);
    if (keepItems)
        items.append(std::move(d));
}

QByteArray itemLines(const ItemDifference& d, bool reasons)
{
    QByteArray text = kindWord(d.kind) + d.path + "\n";
    if (reasons) {
        for (const InheritanceReason r : d.finding.reasons)
            text += QByteArray("    ") + reasonKey(r) + ": "
                + QByteArray::fromStdString(reasonText(r, d.finding.narrowedMode)) + "\n";
    }
    for (const EntryChange& c : d.changes) {
        switch (c.kind) {
        case EntryChange::Added: text += "    + " + c.to + "\n"; break;
        case EntryChange::Removed: text += "    - " + c.from + "\n"; break;
        case EntryChange::Changed: text += "    ~ " + c.from + " -> " + c.to + "\n"; break;
        }
    }
    return text;
}

} // namespace gw
