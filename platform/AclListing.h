#pragma once
// The permission listing of one folder, as grantwise-acl prints it.
//
//     <printable path> user alice (owner):rwx
//         user bob:r-x
//         group staff (owner):r-x
//         mask:rwx
//         other:---
//         creator owner:(default)rwx
//         ...
//         special:setgid,sticky
//     <empty line>
//
// The access ACL comes first (owner, named users by uid, owning group, named
// groups by gid, mask, other), then the default ACL with each entry flagged
// "(default)", then the special mode bits when one is set. A folder with an
// NFSv4 ACL (system.nfs4_acl) has one entry for each of its ACEs after these,
// in the ACL's order ("nfs4 A:fd:OWNER@:rwaDdxtTnNcCoy", see Nfs4Acl.h); one
// with Samba's Windows ACL (security.NTACL, NtAcl.h) has its descriptor in
// SDDL last, one entry its owner, its group, its DACL's flags and each ACE
// ("ntacl O:S-1-5-32-544", "ntacl (A;OICI;0x1301bf;;;S-1-1-0)", see Sddl.h). An NFSv4 ACL without ACEs has the one
// entry "nfs4 (no ACEs)". Equal permissions give byte-identical entries; nothing in them depends on the folder's name.

#include "platform/DirectoryOpen.h"
#include "platform/Permissions.h"

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

namespace gw {

// Names of users and groups, and the ids of names, looked up once each.
class PrincipalNames {
public:
    const std::string& user(uid_t uid);
    const std::string& group(gid_t gid);
    // The id of the local user or group named `name` (raw bytes), if there is one.
    std::optional<uid_t> userId(const std::string& name);
    std::optional<gid_t> groupId(const std::string& name);

private:
    std::unordered_map<uid_t, std::string> users_;
    std::unordered_map<gid_t, std::string> groups_;
    std::unordered_map<std::string, std::optional<uid_t>> userIds_;
    std::unordered_map<std::string, std::optional<gid_t>> groupIds_;
};

// Reads the permissions of the open folder `dirFd` (a descriptor of its
// own, or one opened with O_PATH) into `p`. Returns 0, or an errno value
// when they could not be read; when they are there but not in a form this
// program reads exactly (a value that does not decode or keeps changing
// size, an ACL model it does not know), the errno value is EINVAL and `why`,
// when given, says so in words.
//
// With `trust`, a folder's ACLs are read only when its attribute names name
// them, on the file systems where they always do (see namesListPosixAcls).
class AttributeListTrust;
//
// `status`, when given, is dirFd's own, taken from it (fstat) a moment ago.
[[nodiscard]] int readPermissions(int dirFd, Permissions& p, std::string* why = nullptr,
                                  AttributeListTrust* trust = nullptr, const struct stat* status = nullptr);

// Reads the permissions of `name`, a regular file in the open folder
// `dirFd`, without opening it and never through a link: EINVAL, with
// `notRegular` set, for anything but a regular file. Its attribute names
// are read first, so other ACL models it carries are never missed; with
// `namesListAcls` (see namesListPosixAcls) its access ACL is read only when
// they name one.
[[nodiscard]] int readPermissionsAt(int dirFd, const char* name, Permissions& p, bool namesListAcls,
                                    std::string* why = nullptr, bool* notRegular = nullptr);

// Reads no more of `name`, an entry of the open folder `dirFd` on a file
// system where namesListPosixAcls holds, than its attributes (never through a
// link): when they name an extended access ACL, that ACL, the permission bits
// it stands for, and the other ACL models named beside it. The status (owner,
// group, setuid, setgid, sticky) is not read and is left 0: for a verdict
// that needs none of it. False when there is no extended ACL or anything
// failed: then the entry is read whole (readPermissionsAt), which also says
// why.
[[nodiscard]] bool readAccessAclOnlyAt(int dirFd, const char* name, Permissions& p);

// True when the file system of the open folder names a POSIX ACL among an
// item's attributes whenever it keeps one (ext4, XFS, btrfs, tmpfs).
bool namesListPosixAcls(int dirFd);

// The same, learned once for each device, by one thread during one walk
// (a device number may later be another file system's).
class AttributeListTrust {
public:
    bool namesListAcls(int fd, dev_t device);

private:
    std::vector<std::pair<dev_t, bool>> known_;
};

// Appends the listing of `p` to `out`, headed by `printablePath`: the one
// place permissions become listing text. Returns 0, or EINVAL for
// permissions without a single entry (then `out` is unchanged).
[[nodiscard]] int appendListing(std::string& out, std::string_view printablePath, const Permissions& p,
                                PrincipalNames& names);

// Appends the listing of the open folder `dirFd` to `out`, headed by
// `printablePath`. Returns 0, or an errno value when the folder's permissions
// could not be read (then `out` is unchanged). When they are there but not in
// a form this program reads exactly (a value that does not decode, an ACL
// model it does not know), the errno value is EINVAL and `why`, when given,
// says so in words; otherwise `why` is left empty.
[[nodiscard]] int appendAclListing(std::string& out, int dirFd, std::string_view printablePath, PrincipalNames& names,
                                   std::string* why = nullptr);

// The same for a folder given by its raw path (any length). With
// Links::Refuse a path that leads through a symbolic link gives ELOOP.
[[nodiscard]] int appendAclListing(std::string& out, std::string_view rawPath, PrincipalNames& names,
                                   Links links = Links::Follow, std::string* why = nullptr);

} // namespace gw
