#pragma once
// What one principal may do with an item, by the kernel's access check on
// the item's permissions (acl(5), "access check algorithm"):
// - the owner gets the owner entry;
// - else a named user entry for the user, limited by the mask;
// - else the group class: the owning group's entry and the named group
//   entries that match any of the principal's groups; a right is granted
//   when one of them grants it (all the rights asked for, when several are
//   asked at once), limited by the mask; a match that grants nothing still
//   decides: other does not apply;
// - else other.
// Where an extended ACL's mask is empty, Linux does not look at the ACL at
// all: the mode bits decide, and they give the owning group nothing, so a
// named user or group gets what other gets.
// root (uid 0) reads, writes and searches everything, and executes a file
// that has an execute bit for anyone (in the mode bits).
// Worked out from the permissions the check reads, never from listing text.
//
// That is the answer where the POSIX permissions decide. Where an item
// carries an NFSv4 ACL, the ACL decides (Nfs4Rights.h), and where it carries
// a Windows ACL (security.NTACL) its DACL does (WindowsRights.h): rightsAnswer.

#include "engine/rules/InheritanceRules.h"
#include "platform/AclListing.h"
#include "platform/Permissions.h"
#include "platform/UserGroups.h"
#include "platform/WinbindIds.h"

#include <cstdint>
#include <string>

namespace gw {

enum class WriteRight : std::uint8_t {
    No,
    Yes,
    OwnEntries, // a sticky folder the principal does not own: only their own entries may be removed or renamed
};

struct Rights {
    bool read = false; // a folder: list it
    WriteRight write = WriteRight::No; // a folder: create and remove entries (write and search); a file: write it
    bool enter = false; // a folder: search it; a file: execute it
    bool operator==(const Rights&) const = default;
};

// The access check itself: may `who` have every right in `want` (read 4,
// write 2, execute or search 1) on an item of `kind` with permissions `p`?
bool permitted(const Permissions& p, ItemKind kind, const Principal& who, std::uint8_t want);

// The principal's rights on an item of `kind`, on the item alone (the
// folders on the way to it are not asked).
Rights rightsOn(const Permissions& p, ItemKind kind, const Principal& who);

// The entry that decides for `who` on `p`, in words: "owner", "user bob",
// "group devs", "group class via staff and devs", "other", "root"; with ", cut
// by the mask" when the mask takes rights from what the entries grant.
std::string decidingEntry(const Permissions& p, const Principal& who, PrincipalNames& names);

struct RightsAnswer {
    Rights rights;
    std::string via; // the entry that decides: decidingEntry's, or the NFSv4 or Windows ACEs that do
    std::string unknown; // when not empty, why the rights cannot be known; `rights` are then none and `via` empty
};

// The principal's rights on an item, by the ACL model that decides there:
// - a Windows ACL (security.NTACL), which Samba enforces for its clients:
//   the DACL's answer (WindowsRights.h), unknown unless winbind (`sids`, by
//   default winbindLookup()) maps the SIDs that decide. read is read data,
//   enter execute; write is write data for a file, and write data, append
//   data and execute at once for a folder;
// - an NFSv4 ACL: the ACL's answer (Nfs4Rights.h), never the mode bits'.
//   read is r, enter x; write is w for a file, and w, a and x at once for a
//   folder (adding a file, adding a folder, and searching it); a sticky
//   folder limits writing as above. root is unknown there: an NFS server
//   that squashes root (its default) takes it for an anonymous user, one that
//   does not lets it do everything, and the client cannot tell which;
// - else the POSIX access check: rightsOn and decidingEntry.
RightsAnswer rightsAnswer(const Permissions& p, ItemKind kind, const Principal& who, PrincipalNames& names,
                          SidLookup* sids = nullptr);

} // namespace gw
