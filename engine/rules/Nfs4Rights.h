#pragma once
// What one principal may do with an item whose NFSv4 ACL decides, as an
// NFSv4 server evaluates the ACL (RFC 7530, 6.2.1):
// - the ACEs are taken in order; audit and alarm ACEs (U, L) and
//   inherit-only ones (flag i) allow and deny nothing;
// - an ACE counts when its who is the principal: OWNER@ the item's owner,
//   GROUP@ a member of its owning group, EVERYONE@ anyone, a named user the
//   user it maps to, a named group (flag g) a member of the group it maps to;
// - for each access bit asked, the first counting ALLOW (A) or DENY (D) ACE
//   that names it decides; a bit that no such ACE names is denied.
//
// A named who maps to a local id as a Linux client maps it: a who of digits
// alone is that id (as the client reads it with id mapping off); otherwise
// the part before the last "@" is a local user's name (a group's with flag
// g), whatever the domain after it: names map at all only where the client
// and the server share the id mapping domain. "anyone" (the other class) is
// named in no ACE, and a member of one group in no named user's ACE.
//
// The answer is unknown where an ACE that names a bit still undecided might
// count but cannot be matched: its who maps to no local user or group, or is
// a special who other than the three above (INTERACTIVE@, NETWORK@ ...), or
// it has flag bits without a letter, or it does not read as an ACE. An ACE
// after every asked bit is decided never matters.

#include "platform/AclListing.h"
#include "platform/Permissions.h"
#include "platform/UserGroups.h"

#include <cstdint>
#include <string>

namespace gw {

// The access mask bits asked for (RFC 7530, 6.2.1.3.1), as nfs4_getfacl
// writes them: r (read data, list a folder), w (write data, add a file), a
// (append data, add a folder), x (execute, search).
inline constexpr std::uint32_t kNfs4Read = 0x1, kNfs4Write = 0x2, kNfs4Append = 0x4, kNfs4Execute = 0x20;

// Whether the item's NFSv4 ACL is what decides on it: it carries one, with
// ACEs or without.
bool nfs4AclDecides(const Permissions& p);

struct Nfs4Answer {
    std::uint32_t allowed = 0; // the bits asked that the ACL allows
    // The ACEs that decide, as listed, in the ACL's order and ", " between
    // them, then "no ACE names " and the bits none names, if any: "D::EVERYONE@:w,
    // A::EVERYONE@:rwax", "A::OWNER@:rx, no ACE names wa".
    std::string via;
    std::string unknown; // when not empty, why the answer cannot be known; `allowed` and `via` are then empty
};

// The answer of `p`'s NFSv4 ACL for `who` on the bits `asked`.
Nfs4Answer nfs4Access(const Permissions& p, const Principal& who, std::uint32_t asked, PrincipalNames& names);

} // namespace gw
