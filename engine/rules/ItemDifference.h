#pragma once
// One comparison for every item whose reference is what a folder gives a new
// item: each folder and file in the inheritance check (the folder is its own
// parent), and each file in the check against the checked folder (the folder
// is the checked one). The item's entries are compared with the entries of
// what it should carry, rendered by the one listing renderer, so the changes
// read as the differences report's do.

#include "engine/rules/Differences.h"
#include "engine/rules/InheritanceReference.h"
#include "engine/rules/ItemStatus.h"
#include "platform/AclListing.h"

#include <QByteArray>
#include <QList>

#include <optional>

namespace gw {

struct ItemDifference {
    QByteArray path; // printable
    QByteArray rawPath;
    ItemKind kind = ItemKind::Folder;
    InheritanceFinding finding;
    QList<EntryChange> changes; // from what it should carry to what it carries
    std::optional<ItemStatus> status {}; // as it was read; none where it was not (an item gone)
};

// The entries of `p` as a listing gives them, one a text.
QList<QByteArray> permissionEntries(const Permissions& p, PrincipalNames& names);

// How `item` differs from what `folder` gives a new item of `kind`, with its
// status; nothing when it carries just that.
std::optional<ItemDifference> differenceFromGiven(const Permissions& folder, const Permissions& item, ItemKind kind,
                                                  std::optional<std::uint32_t> umask, PrincipalNames& names,
                                                  bool compareGroup = true);

} // namespace gw
