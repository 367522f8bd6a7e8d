#pragma once
// The users and groups the system can list (getpwent, getgrent: the local
// files, and LDAP or sssd where they enumerate), to choose whose rights to
// ask about. Each carries the text lookUpPrincipal takes for it, so that a
// principal chosen from the list and one typed are looked up alike.

#include "platform/UserGroups.h"

#include <cstdint>
#include <string>
#include <vector>

namespace gw {

struct KnownPrincipal {
    Principal::Kind kind = Principal::Kind::User; // User or GroupMember
    std::string name; // raw, as the system gives it
    std::uint32_t id = 0; // uid or gid
    std::string lookup; // for lookUpPrincipal: "alice", "group:devs"
};

// Users first, then groups, each by name, each name once.
std::vector<KnownPrincipal> knownPrincipals();

// The text lookUpPrincipal takes for a user or a group: the name, or the
// number where the name would be read as something else ("anyone",
// "group:…", none).
std::string userLookup(const std::string& name, std::uint32_t uid);
std::string groupLookup(const std::string& name, std::uint32_t gid);

} // namespace gw
