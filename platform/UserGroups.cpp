#include "platform/UserGroups.h"

#include "platform/PrintablePath.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace gw {
namespace {

// A whole decimal number that fits an id.
std::optional<std::uint32_t> idNumber(const std::string& text)
{
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const unsigned long long n = std::strtoull(text.c_str(), nullptr, 10);
    if (n >= 0xffffffffULL) // (uid_t)-1 is no user
        return std::nullopt;
    return static_cast<std::uint32_t>(n);
}

// A lookup buffer large enough for the entry (groups may have thousands of members).
template <typename Entry, typename Lookup> bool lookUp(Lookup lookup, Entry& entry, std::vector<char>& buffer)
{
    buffer.resize(16384);
    for (;;) {
        Entry* found = nullptr;
        const int error = lookup(&entry, buffer.data(), buffer.size(), &found);
        if (error == ERANGE && buffer.size() < (1u << 26)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        return error == 0 && found;
    }
}

} // namespace

bool Principal::inGroup(std::uint32_t gid) const
{
    return std::binary_search(groups.begin(), groups.end(), gid);
}

bool lookUpPrincipal(const std::string& who, Principal& out, std::string& error)
{
    out = Principal {};
    std::vector<char> buffer;
    if (who == "anyone") {
        out.name = "anyone";
        return true;
    }
    if (who.rfind("group:", 0) == 0) {
        const std::string group = who.substr(6);
        struct group entry { };
        bool found = !group.empty()
            && lookUp([&](struct group* e, char* b, std::size_t n,
                          struct group** f) { return ::getgrnam_r(group.c_str(), e, b, n, f); },
                      entry, buffer);
        std::uint32_t gid = 0;
        if (found) {
            gid = entry.gr_gid;
        } else if (const std::optional<std::uint32_t> n = idNumber(group)) {
            gid = *n;
            found = lookUp([&](struct group* e, char* b, std::size_t size,
                               struct group** f) { return ::getgrgid_r(gid, e, b, size, f); },
                           entry, buffer);
            if (!found) { // a group number without a name still names entries
                out.kind = Principal::Kind::GroupMember;
                out.name = "a member of group " + group;
                out.groups = {gid};
                return true;
            }
        }
        if (!found) {
            error = "no such group: " + printable(group);
            return false;
        }
        out.kind = Principal::Kind::GroupMember;
        out.name = "a member of " + printable(std::string(entry.gr_name));
        out.groups = {gid};
        return true;
    }
    struct passwd entry { };
    bool found = !who.empty()
        && lookUp([&](struct passwd* e, char* b, std::size_t n,
                      struct passwd** f) { return ::getpwnam_r(who.c_str(), e, b, n, f); },
                  entry, buffer);
    const std::optional<std::uint32_t> number = found ? std::nullopt : idNumber(who);
    if (!found && number)
        found = lookUp([&](struct passwd* e, char* b, std::size_t n,
                           struct passwd** f) { return ::getpwuid_r(*number, e, b, n, f); },
                       entry, buffer);
    out.kind = Principal::Kind::User;
    if (!found) {
        if (!number) {
            error = "no such user: " + printable(who);
            return false;
        }
        // A user number without an account owns files still; it has no groups.
        out.uid = *number;
        out.name = "uid " + std::to_string(*number);
        return true;
    }
    out.uid = entry.pw_uid;
    out.name = printable(std::string(entry.pw_name));
    const std::string name = entry.pw_name;
    const gid_t primary = entry.pw_gid;
    std::vector<gid_t> groups(64);
    for (;;) {
        int count = static_cast<int>(groups.size());
        if (::getgrouplist(name.c_str(), primary, groups.data(), &count) >= 0) {
            groups.resize(static_cast<std::size_t>(count));
            break;
        }
        if (count <= static_cast<int>(groups.size()))
            count = static_cast<int>(groups.size()) * 2;
        groups.resize(static_cast<std::size_t>(count));
    }
    out.groups.assign(groups.begin(), groups.end());
    std::sort(out.groups.begin(), out.groups.end());
    out.groups.erase(std::unique(out.groups.begin(), out.groups.end()), out.groups.end());
    return true;
}

} // namespace gw
