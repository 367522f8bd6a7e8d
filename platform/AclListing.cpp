#include "platform/AclListing.h"

#include "platform/DirectoryOpen.h"
#include "platform/PrintablePath.h"

#include <acl/libacl.h>
#include <algorithm>
#include <cerrno>
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

// Reads the entries of `acl`, in listing order. False on a malformed entry.
bool readEntries(acl_t acl, std::vector<Entry>& entries)
{
    acl_entry_t entry;
    for (int which = ACL_FIRST_ENTRY; acl_get_entry(acl, which, &entry) == 1; which = ACL_NEXT_ENTRY) {
        Entry e {};
        acl_permset_t perms;
        if (acl_get_tag_type(entry, &e.tag) != 0 || acl_get_permset(entry, &perms) != 0)
            return false;
        if (e.tag == ACL_USER || e.tag == ACL_GROUP) {
            void* qualifier = acl_get_qualifier(entry);
            if (!qualifier)
                return false;
            e.id = e.tag == ACL_USER ? *static_cast<uid_t*>(qualifier) : *static_cast<gid_t*>(qualifier);
            acl_free(qualifier);
        }
        e.read = acl_get_perm(perms, ACL_READ) == 1;
        e.write = acl_get_perm(perms, ACL_WRITE) == 1;
        e.execute = acl_get_perm(perms, ACL_EXECUTE) == 1;
        entries.push_back(e);
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        const int ra = tagRank(a.tag), rb = tagRank(b.tag);
        return ra != rb ? ra < rb : a.id < b.id;
    });
    return true;
}

std::string nameOrNumber(const char* name, unsigned id)
{
    if (name && *name)
        return printableName(name);
    return std::to_string(id);
}

// The open folder named through /proc/self/fd, which works at any depth and
// for a descriptor opened with O_PATH.
std::string procPath(int dirFd)
{
    return "/proc/self/fd/" + std::to_string(dirFd);
}

// The access ACL of an open folder. A descriptor opened with O_PATH (a folder
// that may be reached but not read) is named through /proc. On a file system
// without POSIX ACLs the mode bits stand for them, as they do for a folder
// without an extended ACL.
acl_t accessAcl(int dirFd, mode_t mode)
{
    acl_t acl = acl_get_fd(dirFd);
    if (!acl && errno == EBADF)
        acl = acl_get_file(procPath(dirFd).c_str(), ACL_TYPE_ACCESS);
    if (!acl && (errno == ENOTSUP || errno == EOPNOTSUPP))
        acl = acl_from_mode(mode);
    return acl;
}

// The default ACL of an open folder: libacl has no descriptor form for it.
acl_t defaultAcl(int dirFd)
{
    return acl_get_file(procPath(dirFd).c_str(), ACL_TYPE_DEFAULT);
}

bool procAvailable()
{
    static const bool available = ::access("/proc/self/fd", F_OK) == 0;
    return available;
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

// A name stands for an id only when it leads back to that id: two ids that
// share a name (a local user and a directory one, say) are listed by their
// numbers, so their entries never read as the same.
const std::string& PrincipalNames::user(uid_t uid)
{
    return cachedName(users_, uid, [uid](std::vector<char>& buffer) -> const char* {
        struct passwd pw {};
        struct passwd* found = nullptr;
        if (getpwuid_r(uid, &pw, buffer.data(), buffer.size(), &found) != 0 || !found)
            return nullptr;
        std::vector<char> back(16384);
        struct passwd byName {};
        struct passwd* named = nullptr;
        return getpwnam_r(found->pw_name, &byName, back.data(), back.size(), &named) == 0 && named
                && named->pw_uid == uid
            ? found->pw_name
            : nullptr;
    });
}

const std::string& PrincipalNames::group(gid_t gid)
{
    return cachedName(groups_, gid, [gid](std::vector<char>& buffer) -> const char* {
        struct group gr {};
        struct group* found = nullptr;
        if (getgrgid_r(gid, &gr, buffer.data(), buffer.size(), &found) != 0 || !found)
            return nullptr;
        std::vector<char> back(16384);
        struct group byName {};
        struct group* named = nullptr;
        return getgrnam_r(found->gr_name, &byName, back.data(), back.size(), &named) == 0 && named
                && named->gr_gid == gid
            ? found->gr_name
            : nullptr;
    });
}

int appendAclListing(std::string& out, int dirFd, std::string_view printablePath, PrincipalNames& names)
{
    struct stat st {};
    if (::fstat(dirFd, &st) != 0)
        return errno;

    std::vector<Entry> access, inheritable;
    // For a folder without an extended ACL libacl gives the three entries of
    // the mode bits.
    acl_t acl = accessAcl(dirFd, st.st_mode);
    if (!acl)
        return errno;
    const bool accessOk = readEntries(acl, access);
    acl_free(acl);
    if (!accessOk)
        return EINVAL;

    acl = defaultAcl(dirFd);
    if (acl) {
        const bool defaultOk = readEntries(acl, inheritable);
        acl_free(acl);
        if (!defaultOk)
            return EINVAL;
    } else if (errno == ENOENT && !procAvailable()) {
        // Without /proc the default ACL cannot be read through the descriptor.
        // A folder that has none lists as usual; one that has one fails
        // rather than list as if it had none.
        if (::fgetxattr(dirFd, "system.posix_acl_default", nullptr, 0) >= 0)
            return ENOTSUP;
        if (errno != ENODATA && errno != ENOTSUP && errno != EOPNOTSUPP)
            return errno; // an O_PATH descriptor cannot tell either
    } else if (errno != ENOTSUP && errno != EOPNOTSUPP && errno != ENODATA) {
        return errno;
    }

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

int appendAclListing(std::string& out, std::string_view rawPath, PrincipalNames& names)
{
    bool listable = true;
    const int fd = openDirectoryForPermissions(rawPath, listable);
    if (fd < 0)
        return errno;
    const int rc = appendAclListing(out, fd, printable(rawPath), names);
    ::close(fd);
    return rc;
}

} // namespace gw
