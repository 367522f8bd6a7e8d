#pragma once
// A folder's or file's permissions as the kernel keeps them: its owner and
// owning group, its mode bits, and its POSIX access and default ACLs as
// entries (tag, qualifier id, rights). Rules the kernel applies (masks,
// inheritance) are arithmetic on this structure, never on listing text.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace gw {

// In the order a listing gives them: owner, named users, owning group, named
// groups, mask, other.
enum class AclTag : std::uint8_t {
    UserObj,
    User,
    GroupObj,
    Group,
    Mask,
    Other,
};

struct AclEntry {
    AclTag tag;
    std::uint32_t id = 0; // the user or group, for User and Group entries; 0 otherwise
    std::uint8_t perm = 0; // read 4, write 2, execute 1
    bool operator==(const AclEntry&) const = default;
};

// Entries in listing order: by tag, then by id.
using Acl = std::vector<AclEntry>;

inline void sortAcl(Acl& acl)
{
    const auto before = [](const AclEntry& a, const AclEntry& b) {
        return a.tag != b.tag ? a.tag < b.tag : a.id < b.id;
    };
    // The kernel keeps an ACL in this order: most need no sorting, nor the
    // buffer a stable sort takes.
    if (!std::is_sorted(acl.begin(), acl.end(), before))
        std::stable_sort(acl.begin(), acl.end(), before);
}

struct Permissions {
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
    std::uint32_t mode = 0; // the permission bits and setuid, setgid, sticky (07777)
    Acl access; // always whole: an item without an extended ACL has the three entries of its mode bits
    Acl defaults; // empty: no default ACL
    // Entries of the other ACL models an item may carry, as listed: its
    // NFSv4 ACEs ("nfs4 A::OWNER@:rwaDxtTnNcCy"), Samba's Windows ACL
    // ("ntacl sha256:..."). Inheritance leaves them aside.
    std::vector<std::string> otherModels;
    bool operator==(const Permissions&) const = default;
};

// The three entries the mode bits stand for, in `acl`'s own room.
inline void setMinimalAcl(Acl& acl, std::uint32_t mode)
{
    acl.clear();
    acl.push_back({AclTag::UserObj, 0, static_cast<std::uint8_t>((mode >> 6) & 7)});
    acl.push_back({AclTag::GroupObj, 0, static_cast<std::uint8_t>((mode >> 3) & 7)});
    acl.push_back({AclTag::Other, 0, static_cast<std::uint8_t>(mode & 7)});
}
// The same, as a new list.
inline Acl minimalAcl(std::uint32_t mode)
{
    Acl acl;
    setMinimalAcl(acl, mode);
    return acl;
}

// The permission bits an access ACL stands for, as the kernel keeps them in
// step: the owner's, the group class's (the mask where there is one, else
// the owning group's) and other's.
inline std::uint32_t permissionBits(const Acl& access)
{
    std::uint32_t user = 0, owningGroup = 0, other = 0, mask = 0;
    bool hasMask = false;
    for (const AclEntry& e : access) {
        if (e.tag == AclTag::UserObj)
            user = e.perm;
        else if (e.tag == AclTag::GroupObj)
            owningGroup = e.perm;
        else if (e.tag == AclTag::Other)
            other = e.perm;
        else if (e.tag == AclTag::Mask)
            hasMask = true, mask = e.perm;
    }
    return (user << 6) | ((hasMask ? mask : owningGroup) << 3) | other;
}

} // namespace gw
