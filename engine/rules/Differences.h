#pragma once
// What differs between a folder's listing and the checked folder's, entry by
// entry, and where in the tree the differences start.
//
// Entries are compared as entries, not as text. An entry's key is its kind
// and, for named users and groups, the name: the owner's entry, the owning
// group's, mask, other, each default entry and the special bits have one key
// each. An NFSv4 ACE's key is its position among the folder's ACEs, since
// their order decides access. Of Samba's Windows ACL, the owner, the group
// and each ACL's flags have one key each; its ACEs are compared as a sequence
// (one ACE inserted is one added entry), each ACL apart. A change is an
// entry here and not in the checked folder (added), one
// there and not here (removed), or the same key with other rights or another
// owner (changed).

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <optional>

#include "engine/rules/ItemStatus.h"
#include "platform/WinbindIds.h"

namespace gw {

// What a comparison leaves out: the owner's name, the owning group's name
// (their rights are compared all the same).
struct IgnoredParts {
    bool ownerName = false;
    bool groupName = false;
    bool any() const { return ownerName || groupName; }
};

// The entry with the ignored names taken out, for comparing:
// "user alice (owner):rwx" becomes "user (owner):rwx".
QByteArray comparableEntry(QByteArrayView entry, const IgnoredParts& ignored);

// A trimmed listing (a block of the dump, or the reference text) with every
// entry made comparable as above; the path at its head stays as it is.
QByteArray comparableListing(QByteArrayView listing, const IgnoredParts& ignored);

struct EntryChange {
    enum Kind {
        Added,
        Removed,
        Changed
    } kind;
    QByteArray from; // the checked folder's entry (Removed, Changed)
    QByteArray to; // this folder's entry (Added, Changed)
    bool operator==(const EntryChange&) const = default;
};

// The entries of a trimmed listing: one a line, the path and the blank before
// the first entry taken off. `listing` is a block of the trimmed dump, or the
// reference text (which begins with the blank).
QList<QByteArray> listingEntries(QByteArrayView listing);

// The path at the head of a block of the trimmed dump: its first line up to
// the owner's entry (a name holds no blank).
QByteArray blockPath(QByteArrayView block);

// The changes from `reference` to `here`, in the listing's entry order.
QList<EntryChange> entryChanges(const QList<QByteArray>& reference, const QList<QByteArray>& here,
                                const IgnoredParts& ignored = {});

// A folder that differs, and where its differences start.
struct FolderDifference {
    QByteArray path; // printable
    QList<EntryChange> changes;
    bool startsHere = true; // false when folded into an ancestor
    int sameBelow = 0; // folders folded into this one, at any depth
    std::optional<ItemStatus> status {}; // as it was read, where it was read in-process
};

// Folds each folder whose changes equal its parent's, when the parent differs
// too, into the nearest ancestor where they start. Changes are equal when
// their entries are, as they are compared: with `ignored` names taken out,
// so that folders of other owners fold all the same. `folders` are in tree
// order; paths are printable, below `root`.
void foldDifferences(QList<FolderDifference>& folders, const QByteArray& root, const IgnoredParts& ignored = {});

// The SIDs of the Windows ACEs among the changes that winbind names
// (WinbindIds.h), one a line with the name beside it, under a heading; empty
// where it names none. Names are for reading only: entries keep the SID.
QByteArray windowsSidNames(const QList<FolderDifference>& folders, SidLookup& sids);

// The differences report (acl_diff.txt): LF line ends, UTF-8. A folder not
// read is followed by why, indented, when `notReadReasons` (parallel to
// `notReadPaths`, or empty) has a reason for it. Windows SIDs are named after
// the folders where winbind can (windowsSidNames).
QByteArray differencesReport(const QByteArray& root, const QList<FolderDifference>& folders,
                             const QList<QByteArray>& notReadPaths, const QList<QByteArray>& notListedPaths,
                             const QByteArray& notCompared = {}, const QByteArray& notChecked = {},
                             const QList<QByteArray>& notReadReasons = {});

} // namespace gw
