#pragma once
// What one principal may do through Samba with an item whose Windows ACL
// decides, as Windows evaluates a DACL: the ACEs in their order; inherit-only
// ACEs (IO), audit ACEs and object ACEs for an object type allow and deny
// nothing; for each access bit asked, the first allow (A, OA) or deny (D, OD)
// ACE that names it and whose SID is the principal's decides; a bit no such
// ACE names is denied. A null or missing DACL allows everything.
//
// A SID is the principal's when it is Everyone (S-1-1-0) or Authenticated
// Users (S-1-5-11), which every user's token holds, or when winbind maps it
// (WinbindIds.h) to the principal's uid, or to a group the principal is in.
// Any other SID that names an undecided bit makes the answer unknown: without
// winbind, Samba's mapping of SIDs to users is not known here. root's
// rights are unknown too: they depend on Samba's configuration ("admin
// users").

#include "engine/rules/WindowsAcl.h"
#include "platform/UserGroups.h"
#include "platform/WinbindIds.h"

#include <cstdint>
#include <string>

namespace gw {

// File and folder access bits asked for: read data (list a folder), write
// data (add a file), append data (add a subfolder), execute (search a folder).
inline constexpr std::uint32_t kNtRead = 0x1, kNtWrite = 0x2, kNtAppend = 0x4, kNtExecute = 0x20;

struct WindowsAnswer {
    std::uint32_t allowed = 0; // the bits asked that the DACL allows
    // The ACEs that decide, as listed, ", " between them, then "no ACE names "
    // and the bits none names ("read, write"), if any.
    std::string via;
    std::string unknown; // when not empty, why the answer cannot be known; `allowed` and `via` are then empty
};

WindowsAnswer windowsAccess(const WindowsAcl& acl, const Principal& who, std::uint32_t asked, SidLookup& sids);

} // namespace gw
