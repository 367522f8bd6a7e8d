#pragma once
// Whose rights are asked: a user with the groups the system gives them
// (primary and supplementary, by getgrouplist, so groups from LDAP or sssd
// count), a member of one group and no other, or anyone at all (the "other"
// class: a user named in no entry and in no named group).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace gw {

struct Principal {
    enum class Kind : std::uint8_t {
        User,
        GroupMember,
        Anyone,
    };
    Kind kind = Kind::Anyone;
    std::string name; // as the reports name it: "alice", "uid 5001", "a member of devs", "anyone"
    std::optional<std::uint32_t> uid; // a user's
    std::vector<std::uint32_t> groups; // sorted, without repeats
    bool root() const { return uid && *uid == 0; }
    bool inGroup(std::uint32_t gid) const;
};

// The principal `who` names: "anyone", "group:GROUP" (a name or number), or
// a user's name or number. Returns false, with `error` in words, when there
// is no such user or group.
bool lookUpPrincipal(const std::string& who, Principal& out, std::string& error);

} // namespace gw
