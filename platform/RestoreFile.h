#pragma once
// The text that `setfacl --restore` reads, as `getfacl` writes it.
//
//     # file: /srv/share/a\040b
//     # owner: 1000
//     # group: 100
//     # flags: -s-
//     user::rwx
//     user:1001:r-x
//     group::r-x
//     mask::r-x
//     other::---
//     default:user::rwx
//     ...
//     <empty line>
//
// Ids are numbers, so the text means the same on a host whose names differ.

#include "platform/Permissions.h"

#include <string>
#include <string_view>
#include <sys/types.h>

namespace gw {

// A path as getfacl writes it: a backslash, white space, control characters
// and every byte outside printable ASCII as a backslash and three octal digits.
std::string restorePath(std::string_view raw);

// The permissions of one folder, in restore form.
struct RestorePermissions {
    uid_t owner = 0;
    gid_t group = 0;
    std::string flags; // "-s-" and the like; empty when no special bit is set
    std::string entries; // the access ACL, then the default ACL, one entry a line
};

// Permissions in restore form.
RestorePermissions restoreForm(const Permissions& p);

// The whole record of the item at `rawPath`: its "# file:", "# owner:",
// "# group:" and "# flags:" lines, its entries and the empty line after them.
std::string restoreRecord(std::string_view rawPath, const RestorePermissions& p);

// Reads the permissions of the folder at `rawPath`. Returns 0 or an errno value.
[[nodiscard]] int readRestorePermissions(std::string_view rawPath, RestorePermissions& out);

} // namespace gw
