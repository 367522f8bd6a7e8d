#pragma once
// What a folder gives a new item made in it, by the rules the kernel applies
// when it creates one (mkdir, open with O_CREAT):
// - with a default ACL, the new item's access ACL is the default ACL with its
//   owner, group-class (the mask, or the owning group's entry when there is
//   no mask) and other rights cut by the creation mode, and the mode bits
//   follow; a new folder also gets the default ACL as its own; the umask
//   plays no part;
// - without one, the new item has no extended ACL and no default ACL, and
//   its mode bits are the creation mode less the creator's umask;
// - with setgid, the new item's owning group is the folder's, and a new
//   folder is setgid too; without it, the group is the creator's.

#include "platform/Permissions.h"

#include <optional>

namespace gw {

enum class ItemKind : std::uint8_t {
    Folder,
    File,
};

struct InheritedPermissions {
    Permissions expected; // the owner is never known: it is the creator's
    bool modeKnown = true; // false without a default ACL and an umask to go by
    bool groupKnown = true; // false without setgid on the folder
};

// What `parent` gives an item of `kind` made with `creationMode` (0777 for
// mkdir; 0666, or 0777, for a file), by a creator whose umask is `umask`
// when known.
InheritedPermissions inheritedFrom(const Permissions& parent, ItemKind kind, std::uint32_t creationMode,
                                   std::optional<std::uint32_t> umask = std::nullopt);

} // namespace gw
