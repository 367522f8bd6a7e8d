#include "platform/AclListing.h"

#include "platform/DirectoryOpen.h"
#include "platform/Nfs4Acl.h"
#include "platform/NtAcl.h"
#include "platform/Permissions.h"
#include "platform/PrintablePath.h"
#include "platform/Sddl.h"

#include <acl/libacl.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/acl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace gw {
namespace {

// The entries of an ACL as the kernel keeps it in its extended attribute: a
// version (2), then a tag, the rights and an id for each entry, little-endian.
// Returns an empty text, or why it does not decode.
std::string parseAclAttribute(const unsigned char* data, std::size_t size, Acl& entries)
{
    constexpr std::uint32_t kVersion = 2;
    const auto u16 = [data](std::size_t at) { return static_cast<unsigned>(data[at] | data[at + 1] << 8); };
    const auto u32 = [data](std::size_t at) {
        return static_cast<std::uint32_t>(data[at]) | static_cast<std::uint32_t>(data[at + 1]) << 8
            | static_cast<std::uint32_t>(data[at + 2]) << 16 | static_cast<std::uint32_t>(data[at + 3]) << 24;
    };
    if (size < 4)
        return "it is " + std::to_string(size) + " bytes long, too short for its version";
    if (u32(0) != kVersion)
        return "it has version " + std::to_string(u32(0)) + ", which this program does not know";
    if ((size - 4) % 8 != 0)
        return "its " + std::to_string(size - 4) + " bytes of entries are not whole entries of 8 bytes";
    entries.reserve(entries.size() + (size - 4) / 8);
    for (std::size_t at = 4; at < size; at += 8) {
        AclEntry e {AclTag::Other, 0, 0};
        const unsigned tag = u16(at);
        switch (tag) {
        case ACL_USER_OBJ: e.tag = AclTag::UserObj; break;
        case ACL_USER: e.tag = AclTag::User; break;
        case ACL_GROUP_OBJ: e.tag = AclTag::GroupObj; break;
        case ACL_GROUP: e.tag = AclTag::Group; break;
        case ACL_MASK: e.tag = AclTag::Mask; break;
        case ACL_OTHER: e.tag = AclTag::Other; break;
        default: return "an entry has tag " + std::to_string(tag) + ", which this program does not know";
        }
        if (e.tag == AclTag::User || e.tag == AclTag::Group)
            e.id = u32(at + 4);
        e.perm = static_cast<std::uint8_t>(u16(at + 2) & 7);
        entries.push_back(e);
    }
    sortAcl(entries);
    return {};
}

// The open folder named through /proc/self/fd, which works at any depth and
// for a descriptor opened with O_PATH.
std::string procPath(int dirFd)
{
    return "/proc/self/fd/" + std::to_string(dirFd);
}

// An item whose permissions are read: an open folder (`name` null), or the
// entry `name` of the open folder `dirFd`, read without opening it.
struct Item {
    int dirFd;
    const char* name = nullptr;
};

// The system calls that read an extended attribute, or the list of their
// names, relative to a folder's descriptor (Linux 6.13 and later); ENOSYS
// where the kernel has none, and the item is then named through /proc.
struct XattrArgs {
    std::uint64_t value;
    std::uint32_t size;
    std::uint32_t flags;
};
constexpr long kGetxattrat = 464;
constexpr long kListxattrat = 465;
std::atomic<bool> xattratMissing {false};

ssize_t getxattrat(int dirFd, const char* name, const char* attribute, void* data, std::size_t size)
{
    XattrArgs args {reinterpret_cast<std::uintptr_t>(data), static_cast<std::uint32_t>(size), 0};
    return static_cast<ssize_t>(
        ::syscall(kGetxattrat, dirFd, name, AT_SYMLINK_NOFOLLOW, attribute, &args, sizeof args));
}

ssize_t listxattrat(int dirFd, const char* name, char* list, std::size_t size)
{
    return static_cast<ssize_t>(::syscall(kListxattrat, dirFd, name, AT_SYMLINK_NOFOLLOW, list, size));
}

// Calls `call(fd)` on an open folder, `at(dirFd, name)` for an entry of one
// where the kernel can, or else `byPath(path)` with its path under /proc:
// for a folder opened with O_PATH (one that may be reached but not read),
// whose descriptor the *xattr calls refuse with EBADF, and for an entry of a
// folder on an older kernel (never through a link: the byPath calls are the
// l* ones for entries).
template <class ByFd, class At, class ByPath>
ssize_t onItem(const Item& item, std::string& path, ByFd call, At at, ByPath byPath)
{
    if (path.empty()) {
        if (!item.name) {
            const ssize_t n = call(item.dirFd);
            if (n >= 0 || errno != EBADF)
                return n;
            path = procPath(item.dirFd);
        } else {
            if (!xattratMissing.load(std::memory_order_relaxed)) {
                const ssize_t n = at(item.dirFd, item.name);
                if (n >= 0 || errno != ENOSYS)
                    return n;
                xattratMissing = true;
            }
            path = procPath(item.dirFd) + '/' + item.name;
        }
    }
    return byPath(path.c_str());
}

// Reads into `value` what `get(buffer, size)` gives, an extended attribute's
// value or the list of their names, asking again with a larger buffer while
// it does not fit. The buffer serves nearly every folder in one call. A value
// that grows again between asking its size and reading it is asked for a few
// times, no more: a file system may give another size on every call.
// Returns 0 or an errno value (ERANGE when it never fitted).
template <class Get> int readGrowing(std::vector<unsigned char>& value, Get get)
{
    constexpr int kTries = 5;
    value.resize(std::max<std::size_t>(value.capacity(), 256));
    for (int tries = 1;; ++tries) {
        const ssize_t n = get(value.data(), value.size());
        if (n >= 0) {
            value.resize(static_cast<std::size_t>(n));
            return 0;
        }
        if (errno != ERANGE || tries == kTries)
            return errno;
        // Larger than the buffer: ask for the size, then read again.
        const ssize_t size = get(nullptr, 0);
        if (size < 0)
            return errno;
        value.resize(static_cast<std::size_t>(size) + 64);
    }
}

// The reason for a value that never fitted the buffer made for its size.
int changingSize(const std::string& what, std::string& why)
{
    why = "its " + what + " kept changing size while it was read";
    return EINVAL;
}

// Reads the extended attribute `name` of the item into `value`.
// Returns 0 or an errno value (EINVAL with `why` when its value kept
// changing size).
int readAttribute(const Item& item, const char* name, std::vector<unsigned char>& value, std::string& why)
{
    std::string path; // only where the item is named through /proc
    const int error = readGrowing(value, [&](unsigned char* data, std::size_t size) {
        return onItem(
            item, path, [&](int fd) { return ::fgetxattr(fd, name, data, size); },
            [&](int dirFd, const char* entry) { return getxattrat(dirFd, entry, name, data, size); },
            [&](const char* p) {
                return item.name ? ::lgetxattr(p, name, data, size) : ::getxattr(p, name, data, size);
            });
    });
    return error == ERANGE ? changingSize(std::string(name) + " value", why) : error;
}

// The names of the item's extended attributes, each ended by a NUL; empty
// where the file system keeps none. Returns 0 or an errno value (EINVAL with
// `why` when the list kept changing size).
int readAttributeNames(const Item& item, std::vector<unsigned char>& names, std::string& why)
{
    std::string path;
    const int error = readGrowing(names, [&](unsigned char* data, std::size_t size) {
        char* list = reinterpret_cast<char*>(data);
        return onItem(
            item, path, [&](int fd) { return ::flistxattr(fd, list, size); },
            [&](int dirFd, const char* entry) { return listxattrat(dirFd, entry, list, size); },
            [&](const char* p) { return item.name ? ::llistxattr(p, list, size) : ::listxattr(p, list, size); });
    });
    if (error == ENOTSUP || error == EOPNOTSUPP) {
        names.clear();
        return 0;
    }
    return error == ERANGE ? changingSize("list of extended attributes", why) : error;
}

bool hasName(const std::vector<unsigned char>& names, std::string_view name)
{
    const std::string_view list(reinterpret_cast<const char*>(names.data()), names.size());
    for (std::size_t at = 0; at < list.size();) {
        std::size_t end = list.find('\0', at);
        if (end == std::string_view::npos)
            end = list.size();
        if (list.substr(at, end - at) == name)
            return true;
        at = end + 1;
    }
    return false;
}

// What an item's attribute names say, looked through once: its POSIX ACLs,
// and whether any other attribute is there (another ACL model may be).
struct NamedAttributes {
    bool access = false;
    bool defaults = false;
    bool others = false;
};

NamedAttributes namedAttributes(const std::vector<unsigned char>& names)
{
    NamedAttributes named;
    const std::string_view list(reinterpret_cast<const char*>(names.data()), names.size());
    for (std::size_t at = 0; at < list.size();) {
        std::size_t end = list.find('\0', at);
        if (end == std::string_view::npos)
            end = list.size();
        const std::string_view name = list.substr(at, end - at);
        if (name == "system.posix_acl_access")
            named.access = true;
        else if (name == "system.posix_acl_default")
            named.defaults = true;
        else
            named.others = true;
        at = end + 1;
    }
    return named;
}

// The entries of the open folder's ACL kept as `name`. On a file system
// without POSIX ACLs the mode bits stand for the access ACL, as they do for a
// folder without an extended one, and `unsupported` is set; a folder without
// a default ACL has no default entries. Returns 0, or an errno value (EINVAL
// with `why` when the value does not decode).
int aclEntries(const Item& item, const char* name, bool access, mode_t mode, std::vector<unsigned char>& buffer,
               Acl& entries, bool& unsupported, std::string& why)
{
    const int error = readAttribute(item, name, buffer, why);
    unsupported = error == ENOTSUP || error == EOPNOTSUPP;
    if (error == ENODATA || unsupported) {
        if (access)
            setMinimalAcl(entries, mode);
        return 0;
    }
    if (error)
        return error;
    if (std::string problem = parseAclAttribute(buffer.data(), buffer.size(), entries); !problem.empty()) {
        why = std::string("its POSIX ACL (") + name + ") does not decode: " + problem;
        return EINVAL;
    }
    return 0;
}

std::string nameOrNumber(const char* name, unsigned id)
{
    if (name && *name)
        return printableName(name);
    return std::to_string(id);
}

} // namespace

namespace {

// Looks a name up once: `lookup` fills the entry with the name, or with the
// number when the id has none.
template <class Map, class Lookup> const std::string& cachedName(Map& names, unsigned id, const Lookup& lookup)
{
    auto it = names.find(id);
    if (it == names.end()) {
        std::vector<char> buffer(16384);
        it = names.emplace(id, nameOrNumber(lookup(buffer), id)).first;
    }
    return it->second;
}

} // namespace

namespace {

// Calls `lookup(buffer, size)`, a getpwuid_r-like call that returns an errno
// value, again with a larger buffer while the entry does not fit: a group of
// thousands of members has a long entry. Returns what the last call did.
template <class Lookup> int withRoom(std::vector<char>& buffer, Lookup lookup)
{
    constexpr std::size_t kLargest = std::size_t {1} << 26;
    for (;;) {
        const int rc = lookup(buffer.data(), buffer.size());
        if (rc != ERANGE || buffer.size() >= kLargest)
            return rc;
        buffer.resize(buffer.size() * 2);
    }
}

// The name of `id` looked up with `byId` (getpwuid_r or getgrgid_r), or null
// when it has none or the name does not lead back to it through `byName`
// (getpwnam_r or getgrnam_r): two ids that share a name (a local user and a
// directory one, say) are listed by their numbers, so their entries never
// read as the same.
template <class Entry, class Id, class ById, class ByName, class NameOf, class IdOf>
const char* uniqueName(Id id, std::vector<char>& buffer, ById byId, ByName byName, NameOf nameOf, IdOf idOf)
{
    Entry entry {};
    Entry* found = nullptr;
    if (withRoom(buffer, [&](char* room, std::size_t size) { return byId(id, &entry, room, size, &found); }) != 0
        || !found)
        return nullptr;
    std::vector<char> back(buffer.size());
    Entry again {};
    Entry* named = nullptr;
    const int rc = withRoom(
        back, [&](char* room, std::size_t size) { return byName(nameOf(*found), &again, room, size, &named); });
    return rc == 0 && named && idOf(*named) == id ? nameOf(*found) : nullptr;
}

} // namespace

const std::string& PrincipalNames::user(uid_t uid)
{
    return cachedName(users_, uid, [uid](std::vector<char>& buffer) {
        return uniqueName<struct passwd>(
            uid, buffer, getpwuid_r, getpwnam_r, [](const struct passwd& p) { return p.pw_name; },
            [](const struct passwd& p) { return p.pw_uid; });
    });
}

const std::string& PrincipalNames::group(gid_t gid)
{
    return cachedName(groups_, gid, [gid](std::vector<char>& buffer) {
        return uniqueName<struct group>(
            gid, buffer, getgrgid_r, getgrnam_r, [](const struct group& g) { return g.gr_name; },
            [](const struct group& g) { return g.gr_gid; });
    });
}

namespace {

// The id `byName` (getpwnam_r or getgrnam_r) finds for `name`, looked up
// once: none where there is no such name, or it could not be looked up.
template <class Entry, class Id, class ByName, class IdOf> std::optional<Id>
cachedId(std::unordered_map<std::string, std::optional<Id>>& ids, const std::string& name, ByName byName, IdOf idOf)
{
    auto it = ids.find(name);
    if (it != ids.end())
        return it->second;
    std::optional<Id> id;
    std::vector<char> buffer(16384);
    Entry entry {};
    Entry* found = nullptr;
    if (!name.empty() && name.find('\0') == std::string::npos
        && withRoom(buffer,
                    [&](char* room, std::size_t size) { return byName(name.c_str(), &entry, room, size, &found); })
            == 0
        && found)
        id = idOf(*found);
    return ids.emplace(name, id).first->second;
}

} // namespace

std::optional<uid_t> PrincipalNames::userId(const std::string& name)
{
    return cachedId<struct passwd, uid_t>(userIds_, name, getpwnam_r, [](const struct passwd& p) { return p.pw_uid; });
}

std::optional<gid_t> PrincipalNames::groupId(const std::string& name)
{
    return cachedId<struct group, gid_t>(groupIds_, name, getgrnam_r, [](const struct group& g) { return g.gr_gid; });
}

namespace {

// The ACL models kept in an extended attribute that this program does not
// read: a folder that carries one counts as not read, never as the same by
// its mode bits alone.
struct UnreadModel {
    const char* attribute;
    const char* what;
};
constexpr UnreadModel kUnreadModels[] = {
    {"system.richacl", "a richacl"},
    {"security.nfs4acl", "an NFSv4 ACL as Samba keeps it"},
    {"system.nfs4_acl_xdr", "an NFSv4 ACL as OpenZFS keeps it"},
    {"system.cifs_acl", "a Windows ACL given by the CIFS client"},
    {"system.cifs_ntsd", "a Windows security descriptor given by the CIFS client"},
    {"system.cifs_ntsd_full", "a Windows security descriptor given by the CIFS client"},
    {"system.smb3_ntsd", "a Windows security descriptor given by the SMB client"},
    {"system.smb3_ntsd_full", "a Windows security descriptor given by the SMB client"},
};

// True where the item lies on a CIFS or SMB mount, whose permissions are a
// Windows ACL on the server.
bool onWindowsShare(const Item& item)
{
    constexpr unsigned long kCifsMagic = 0xFF534D42, kSmb2Magic = 0xFE534D42;
    struct statfs fs { };
    if (::fstatfs(item.dirFd, &fs) != 0)
        return false;
    const auto type = static_cast<unsigned long>(fs.f_type) & 0xFFFFFFFFul;
    return type == kCifsMagic || type == kSmb2Magic;
}

// The other ACL models a folder may carry, each as entries after its POSIX
// permissions: its NFSv4 ACL, one entry an ACE, and Samba's Windows ACL in
// SDDL, one entry its owner, group, DACL flags and each ACE (Sddl.h). Returns 0, or an errno value (EINVAL
// with `why` when a value does not decode, or is of a model this program
// does not read).
int otherAclEntries(const Item& item, const std::vector<unsigned char>& names, bool noPosixAcls,
                    std::vector<unsigned char>& buffer, std::vector<std::string>& entries, std::string& why)
{
    for (const UnreadModel& model : kUnreadModels) {
        if (hasName(names, model.attribute)) {
            why = std::string("it carries ") + model.what + " (" + model.attribute
                + "), an ACL model this program does not read";
            return EINVAL;
        }
    }
    // An NFS client does not list system.nfs4_acl among the names; where
    // POSIX ACLs are not supported it is asked for all the same.
    if (noPosixAcls || hasName(names, "system.nfs4_acl")) {
        const int error = readAttribute(item, "system.nfs4_acl", buffer, why);
        if (error == 0) {
            std::vector<std::string> aces;
            if (std::string problem = decodeNfs4Acl(buffer.data(), buffer.size(), aces); !problem.empty()) {
                why = "its NFSv4 ACL (system.nfs4_acl) does not decode: " + problem;
                return EINVAL;
            }
            if (aces.empty())
                entries.emplace_back(kNoNfs4Aces);
            for (std::string& ace : aces)
                entries.push_back("nfs4 " + ace);
        } else if (error != ENODATA && error != ENOTSUP && error != EOPNOTSUPP) {
            return error;
        }
    }
    if (hasName(names, "security.NTACL")) {
        const int error = readAttribute(item, "security.NTACL", buffer, why);
        if (error == 0) {
            SecurityDescriptor sd;
            if (std::string problem = decodeNtAcl(buffer.data(), buffer.size(), sd); !problem.empty()) {
                why = "its Windows ACL (security.NTACL) does not decode: " + problem;
                return EINVAL;
            }
            for (std::string& entry : sddlEntries(sd))
                entries.push_back("ntacl " + std::move(entry));
        } else if (error != ENODATA) {
            return error;
        }
    }
    return 0;
}

} // namespace

namespace {

// A thread's room for attribute values and lists of names, kept from item
// to item.
struct ReadBuffers {
    std::vector<unsigned char> value, names;
};
thread_local ReadBuffers readBuffers;

// Reads the permissions of `item`, whose status is `st`. Its attribute
// names are read first: they tell the other ACL models it carries. With
// `namesListAcls` (a file system that names a POSIX ACL among them whenever
// it keeps one) an access ACL is read only when it is named there.
int readItem(const Item& item, const struct stat& st, bool namesListAcls, Permissions& p, std::string* why)
{
    p.owner = st.st_uid;
    p.group = st.st_gid;
    p.mode = st.st_mode & 07777;
    p.access.clear();
    p.defaults.clear();
    p.otherModels.clear();

    std::vector<unsigned char>& buffer = readBuffers.value;
    std::vector<unsigned char>& attributeNames = readBuffers.names;
    attributeNames.clear();
    std::string problem;
    bool noPosixAcls = false;
    const bool folder = S_ISDIR(st.st_mode);
    int error = readAttributeNames(item, attributeNames, problem);
    const NamedAttributes named = namedAttributes(attributeNames);
    if (!error && namesListAcls && !named.access)
        setMinimalAcl(p.access, st.st_mode); // no extended ACL: the mode bits stand for it
    else if (!error)
        error = aclEntries(item, "system.posix_acl_access", true, st.st_mode, buffer, p.access, noPosixAcls, problem);
    if (!error && !noPosixAcls && folder && (!namesListAcls || named.defaults)) {
        bool unsupported = false;
        error = aclEntries(item, "system.posix_acl_default", false, st.st_mode, buffer, p.defaults, unsupported,
                           problem);
    }
    // Where a CIFS or SMB mount has no POSIX ACLs, what decides access is the
    // server's Windows ACL, which is not read here.
    if (!error && noPosixAcls && onWindowsShare(item)) {
        problem = "it lies on a CIFS or SMB share without POSIX ACLs, and its Windows ACL is not read";
        error = EINVAL;
    }
    if (!error && (named.others || noPosixAcls)) // nothing else named: no other model to read
        error = otherAclEntries(item, attributeNames, noPosixAcls, buffer, p.otherModels, problem);
    if (error && why)
        *why = problem;
    return error;
}

} // namespace

int readPermissions(int dirFd, Permissions& p, std::string* why, AttributeListTrust* trust, const struct stat* status)
{
    struct stat st { };
    if (status)
        st = *status;
    else if (::fstat(dirFd, &st) != 0)
        return errno;
    return readItem(Item {dirFd}, st, trust && trust->namesListAcls(dirFd, st.st_dev), p, why);
}

bool AttributeListTrust::namesListAcls(int fd, dev_t device)
{
    for (const auto& [known, answer] : known_) {
        if (known == device)
            return answer;
    }
    const bool answer = namesListPosixAcls(fd);
    known_.emplace_back(device, answer);
    return answer;
}

int readPermissionsAt(int dirFd, const char* name, Permissions& p, bool namesListAcls, std::string* why,
                      bool* notRegular)
{
    struct stat st { };
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (notRegular)
        *notRegular = !S_ISREG(st.st_mode);
    if (!S_ISREG(st.st_mode))
        return EINVAL;
    return readItem(Item {dirFd, name}, st, namesListAcls, p, why);
}

bool readAccessAclOnlyAt(int dirFd, const char* name, Permissions& p)
{
    const Item item {dirFd, name};
    std::string problem;
    std::vector<unsigned char>& names = readBuffers.names;
    names.clear();
    if (readAttributeNames(item, names, problem) != 0)
        return false;
    const NamedAttributes named = namedAttributes(names);
    if (!named.access || named.defaults)
        return false;
    p.owner = 0;
    p.group = 0;
    p.access.clear();
    p.defaults.clear();
    p.otherModels.clear();
    if (readAttribute(item, "system.posix_acl_access", readBuffers.value, problem) != 0
        || !parseAclAttribute(readBuffers.value.data(), readBuffers.value.size(), p.access).empty())
        return false;
    p.mode = permissionBits(p.access);
    // Another ACL model among the names is read as the whole reading reads
    // it; any trouble with it is the whole reading's to tell.
    return !named.others || otherAclEntries(item, names, false, readBuffers.value, p.otherModels, problem) == 0;
}

bool namesListPosixAcls(int dirFd)
{
    // Local file systems whose attribute lists name system.posix_acl_access
    // whenever an item keeps one; on others (FUSE, network file systems) the
    // list is not taken for an answer.
    struct statfs fs { };
    if (::fstatfs(dirFd, &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0xEF53: // ext2, ext3, ext4
    case 0x58465342: // XFS
    case 0x9123683E: // btrfs
    case 0x01021994: // tmpfs
        return true;
    default: return false;
    }
}

int appendListing(std::string& out, std::string_view printablePath, const Permissions& p, PrincipalNames& names)
{
    const std::size_t start = out.size();
    out.reserve(start + printablePath.size() + 48 * (p.access.size() + p.defaults.size()) + 64);
    out.append(printablePath);
    bool first = true;
    // One line: "<kind><principal><suffix>:rwx", the principal's name as it is.
    const auto line = [&](std::string_view kind, std::string_view principal, std::string_view suffix, const AclEntry& e,
                          bool isDefault) {
        out.append(first ? " " : "    ");
        first = false;
        out.append(kind);
        out.append(principal);
        out.append(suffix);
        out.append(isDefault ? ":(default)" : ":");
        out.push_back((e.perm & 4) ? 'r' : '-');
        out.push_back((e.perm & 2) ? 'w' : '-');
        out.push_back((e.perm & 1) ? 'x' : '-');
        out.push_back('\n');
    };
    for (const AclEntry& e : p.access) {
        switch (e.tag) {
        case AclTag::UserObj: line("user ", names.user(p.owner), " (owner)", e, false); break;
        case AclTag::User: line("user ", names.user(e.id), {}, e, false); break;
        case AclTag::GroupObj: line("group ", names.group(p.group), " (owner)", e, false); break;
        case AclTag::Group: line("group ", names.group(e.id), {}, e, false); break;
        case AclTag::Mask: line("mask", {}, {}, e, false); break;
        case AclTag::Other: line("other", {}, {}, e, false); break;
        }
    }
    for (const AclEntry& e : p.defaults) {
        switch (e.tag) {
        case AclTag::UserObj: line("creator owner", {}, {}, e, true); break;
        case AclTag::User: line("user ", names.user(e.id), {}, e, true); break;
        case AclTag::GroupObj: line("creator group", {}, {}, e, true); break;
        case AclTag::Group: line("group ", names.group(e.id), {}, e, true); break;
        case AclTag::Mask: line("mask", {}, {}, e, true); break;
        case AclTag::Other: line("other", {}, {}, e, true); break;
        }
    }
    std::string special;
    if (p.mode & S_ISUID)
        special += "setuid,";
    if (p.mode & S_ISGID)
        special += "setgid,";
    if (p.mode & S_ISVTX)
        special += "sticky,";
    if (!special.empty()) {
        special.pop_back();
        out.append(first ? " " : "    ");
        out.append("special:" + special + "\n");
        first = false;
    }
    for (const std::string& entry : p.otherModels) {
        out.append(first ? " " : "    ");
        first = false;
        out.append(entry);
        out.push_back('\n');
    }
    if (first) { // an ACL without entries cannot be listed in this form
        out.resize(start);
        return EINVAL;
    }
    out.push_back('\n');
    return 0;
}

int appendAclListing(std::string& out, int dirFd, std::string_view printablePath, PrincipalNames& names,
                     std::string* why)
{
    Permissions p;
    if (const int error = readPermissions(dirFd, p, why))
        return error;
    return appendListing(out, printablePath, p, names);
}

int appendAclListing(std::string& out, std::string_view rawPath, PrincipalNames& names, Links links, std::string* why)
{
    bool listable = true;
    const int fd = openDirectoryForPermissions(rawPath, listable, links);
    if (fd < 0)
        return errno;
    const int rc = appendAclListing(out, fd, printable(rawPath), names, why);
    ::close(fd);
    return rc;
}

} // namespace gw
