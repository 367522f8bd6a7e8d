#include "engine/rules/InheritanceRules.h"

namespace gw {
namespace {

// The default ACL cut by the creation mode, as the kernel does it: the owner
// and other entries, and the group class (the mask when there is one, else
// the owning group's entry), keep only the rights the mode grants them;
// named entries keep theirs, under the mask. Gives the new mode bits.
std::uint32_t cutByMode(Acl& acl, std::uint32_t mode)
{
    AclEntry* groupClass = nullptr;
    AclEntry* groupObj = nullptr;
    for (AclEntry& e : acl) {
        switch (e.tag) {
        case AclTag::UserObj:
            e.perm &= static_cast<std::uint8_t>((mode >> 6) & 7);
            mode = (mode & ~0700u) | (static_cast<std::uint32_t>(e.perm) << 6);
            break;
        case AclTag::Other:
            e.perm &= static_cast<std::uint8_t>(mode & 7);
            mode = (mode & ~07u) | e.perm;
            break;
        case AclTag::Mask: groupClass = &e; break;
        case AclTag::GroupObj: groupObj = &e; break;
        case AclTag::User:
        case AclTag::Group: break;
        }
    }
    if (!groupClass)
        groupClass = groupObj;
    if (groupClass) {
        groupClass->perm &= static_cast<std::uint8_t>((mode >> 3) & 7);
        mode = (mode & ~070u) | (static_cast<std::uint32_t>(groupClass->perm) << 3);
    }
    return mode & 0777;
}

} // namespace

InheritedPermissions inheritedFrom(const Permissions& parent, ItemKind kind, std::uint32_t creationMode,
                                   std::optional<std::uint32_t> umask)
{
    InheritedPermissions result;
    Permissions& p = result.expected;
    std::uint32_t mode = creationMode & 0777;
    if (!parent.defaults.empty()) {
        p.access = parent.defaults;
        mode = cutByMode(p.access, mode);
        if (kind == ItemKind::Folder)
            p.defaults = parent.defaults;
    } else {
        result.modeKnown = umask.has_value();
        mode &= ~umask.value_or(0);
        p.access = minimalAcl(mode);
    }
    p.mode = mode;
    result.groupKnown = (parent.mode & 02000) != 0;
    if (result.groupKnown) {
        p.group = parent.group;
        if (kind == ItemKind::Folder)
            p.mode |= 02000;
    }
    return result;
}

} // namespace gw
