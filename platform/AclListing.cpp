#include "platform/AclListing.h"

#include "platform/DirectoryOpen.h"
#include "platform/PrintablePath.h"

#include <acl/libacl.h>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <grp.h>
#include <pwd.h>
#include <sys/acl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace gw {
namespace {

struct Entry {
    acl_tag_t tag;
    unsigned id;
    bool read, write, execute;
};

// Where the tag stands in a listing: owner, users, owning group, groups, mask, other.
int tagRank(acl_tag_t tag)
{
    switch (tag) {
    case ACL_USER_OBJ: return 0;
    case ACL_USER: return 1;
    case ACL_GROUP_OBJ: return 2;
    case ACL_GROUP: return 3;
    case ACL_MASK: return 4;
    default: return 5;
    }
}

// Puts entries in listing order: by kind, then by id.
void sortEntries(std::vector<Entry>& entries)
{
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        const int ra = tagRank(a.tag), rb = tagRank(b.tag);
        return ra != rb ? ra < rb : a.id < b.id;
    });
}

// The entries of an ACL as the kernel keeps it in its extended attribute: a
// version (2), then a tag, the rights and an id for each entry, little-endian.
// False when it is malformed.
bool parseAclAttribute(const unsigned char* data, std::size_t size, std::vector<Entry>& entries)
{
    constexpr std::uint32_t kVersion = 2;
    const auto u16 = [data](std::size_t at) { return static_cast<unsigned>(data[at] | data[at + 1] << 8); };
    const auto u32 = [data](std::size_t at) {
        return static_cast<std::uint32_t>(data[at]) | static_cast<std::uint32_t>(data[at + 1]) << 8
            | static_cast<std::uint32_t>(data[at + 2]) << 16 | static_cast<std::uint32_t>(data[at + 3]) << 24;
    };
    if (size < 4 || (size - 4) % 8 != 0 || u32(0) != kVersion)
        return false;
    for (std::size_t at = 4; at < size; at += 8) {
        Entry e {};
        e.tag = static_cast<acl_tag_t>(u16(at));
        const unsigned perm = u16(at + 2);
        switch (e.tag) {
        case ACL_USER:
        case ACL_GROUP: e.id = u32(at + 4); break;
        case ACL_USER_OBJ:
        case ACL_GROUP_OBJ:
        case ACL_MASK:
        case ACL_OTHER: break;
        default: return false;
        }
        e.read = (perm & ACL_READ) != 0;
        e.write = (perm & ACL_WRITE) != 0;
        e.execute = (perm & ACL_EXECUTE) != 0;
        entries.push_back(e);
    }
    sortEntries(entries);
    return true;
}

// The three entries the mode bits stand for.
void modeEntries(mode_t mode, std::vector<Entry>& entries)
{
    const auto entry = [](acl_tag_t tag, unsigned bits) {
        return Entry {tag, 0, (bits & 4) != 0, (bits & 2) != 0, (bits & 1) != 0};
    };
    entries.push_back(entry(ACL_USER_OBJ, (mode >> 6) & 7));
    entries.push_back(entry(ACL_GROUP_OBJ, (mode >> 3) & 7));
    entries.push_back(entry(ACL_OTHER, mode & 7));
}

// The open folder named through /proc/self/fd, which works at any depth and
// for a descriptor opened with O_PATH.
std::string procPath(int dirFd)
{
    return "/proc/self/fd/" + std::to_string(dirFd);
}

// Reads the extended attribute `name` of the open folder into `value`: from
// the descriptor or, for one opened with O_PATH (a folder that may be reached
// but not read), through /proc. The buffer serves nearly every ACL in one
// call. Returns 0 or an errno value.
int readAttribute(int dirFd, const char* name, std::vector<unsigned char>& value)
{
    value.resize(std::max<std::size_t>(value.capacity(), 256));
    std::string path; // only for an O_PATH descriptor
    for (;;) {
        ssize_t n = path.empty() ? ::fgetxattr(dirFd, name, value.data(), value.size()) : -1;
        if (path.empty() && n < 0 && errno == EBADF)
            path = procPath(dirFd);
        if (!path.empty())
            n = ::getxattr(path.c_str(), name, value.data(), value.size());
        if (n >= 0) {
            value.resize(static_cast<std::size_t>(n));
            return 0;
        }
        if (errno != ERANGE)
            return errno;
        // Larger than the buffer: ask for the size, then read again.
        const ssize_t size = path.empty() ? ::fgetxattr(dirFd, name, nullptr, 0)
                                          : ::getxattr(path.c_str(), name, nullptr, 0);
        if (size < 0)
            return errno;
        value.resize(static_cast<std::size_t>(size) + 64);
    }
}

// The entries of the open folder's ACL kept as `name`. On a file system
// without POSIX ACLs the mode bits stand for the access ACL, as they do for a
// folder without an extended one; a folder without a default ACL has no
// default entries. Returns 0, or an errno value.
int aclEntries(int dirFd, const char* name, bool access, mode_t mode, std::vector<unsigned char>& buffer,
               std::vector<Entry>& entries)
{
    const int error = readAttribute(dirFd, name, buffer);
    if (error == ENODATA || error == ENOTSUP || error == EOPNOTSUPP) {
        if (access)
            modeEntries(mode, entries);
        return 0;
    }
    if (error)
        return error;
    return parseAclAttribute(buffer.data(), buffer.size(), entries) ? 0 : EINVAL;
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
    if (byId(id, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return nullptr;
    std::vector<char> back(16384);
    Entry again {};
    Entry* named = nullptr;
    return byName(nameOf(*found), &again, back.data(), back.size(), &named) == 0 && named && idOf(*named) == id
        ? nameOf(*found)
        : nullptr;
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

int appendAclListing(std::string& out, int dirFd, std::string_view printablePath, PrincipalNames& names)
{
    struct stat st { };
    if (::fstat(dirFd, &st) != 0)
        return errno;

    std::vector<Entry> access, inheritable;
    thread_local std::vector<unsigned char> buffer;
    if (const int error = aclEntries(dirFd, "system.posix_acl_access", true, st.st_mode, buffer, access))
        return error;
    if (const int error = aclEntries(dirFd, "system.posix_acl_default", false, st.st_mode, buffer, inheritable))
        return error;

    const std::size_t start = out.size();
    out.append(printablePath);
    bool first = true;
    const auto line = [&](const std::string& principal, const Entry& e, bool isDefault) {
        out.append(first ? " " : "    ");
        first = false;
        out.append(principal);
        out.append(isDefault ? ":(default)" : ":");
        out.push_back(e.read ? 'r' : '-');
        out.push_back(e.write ? 'w' : '-');
        out.push_back(e.execute ? 'x' : '-');
        out.push_back('\n');
    };
    for (const Entry& e : access) {
        switch (e.tag) {
        case ACL_USER_OBJ: line("user " + names.user(st.st_uid) + " (owner)", e, false); break;
        case ACL_USER: line("user " + names.user(e.id), e, false); break;
        case ACL_GROUP_OBJ: line("group " + names.group(st.st_gid) + " (owner)", e, false); break;
        case ACL_GROUP: line("group " + names.group(e.id), e, false); break;
        case ACL_MASK: line("mask", e, false); break;
        default: line("other", e, false); break;
        }
    }
    for (const Entry& e : inheritable) {
        switch (e.tag) {
        case ACL_USER_OBJ: line("creator owner", e, true); break;
        case ACL_USER: line("user " + names.user(e.id), e, true); break;
        case ACL_GROUP_OBJ: line("creator group", e, true); break;
        case ACL_GROUP: line("group " + names.group(e.id), e, true); break;
        case ACL_MASK: line("mask", e, true); break;
        default: line("other", e, true); break;
        }
    }
    std::string special;
    if (st.st_mode & S_ISUID)
        special += "setuid,";
    if (st.st_mode & S_ISGID)
        special += "setgid,";
    if (st.st_mode & S_ISVTX)
        special += "sticky,";
    if (!special.empty()) {
        special.pop_back();
        out.append(first ? " " : "    ");
        out.append("special:" + special + "\n");
        first = false;
    }
    if (first) { // an ACL without entries cannot be listed in this form
        out.resize(start);
        return EINVAL;
    }
    out.push_back('\n');
    return 0;
}

int appendAclListing(std::string& out, std::string_view rawPath, PrincipalNames& names, Links links)
{
    bool listable = true;
    const int fd = openDirectoryForPermissions(rawPath, listable, links);
    if (fd < 0)
        return errno;
    const int rc = appendAclListing(out, fd, printable(rawPath), names);
    ::close(fd);
    return rc;
}

} // namespace gw
