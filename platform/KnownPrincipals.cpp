#include "platform/KnownPrincipals.h"

#include <algorithm>
#include <grp.h>
#include <pwd.h>

namespace gw {

std::string userLookup(const std::string& name, std::uint32_t uid)
{
    const bool plain = !name.empty() && name != "anyone" && name.rfind("group:", 0) != 0;
    return plain ? name : std::to_string(uid);
}

std::string groupLookup(const std::string& name, std::uint32_t gid)
{
    return "group:" + (name.empty() ? std::to_string(gid) : name);
}

std::vector<KnownPrincipal> knownPrincipals()
{
    // The enumeration is the C library's own state: asked from the window's
    // thread only, from start to end each time.
    std::vector<KnownPrincipal> users, groups;
    ::setpwent();
    while (const struct passwd* p = ::getpwent()) {
        const std::string name = p->pw_name ? p->pw_name : "";
        users.push_back({Principal::Kind::User, name, p->pw_uid, userLookup(name, p->pw_uid)});
    }
    ::endpwent();
    ::setgrent();
    while (const struct group* g = ::getgrent()) {
        const std::string name = g->gr_name ? g->gr_name : "";
        groups.push_back({Principal::Kind::GroupMember, name, g->gr_gid, groupLookup(name, g->gr_gid)});
    }
    ::endgrent();
    for (std::vector<KnownPrincipal>* list : {&users, &groups}) {
        // The same name from two sources (files and LDAP) is one principal: the first one found decides.
        std::stable_sort(list->begin(), list->end(),
                         [](const KnownPrincipal& a, const KnownPrincipal& b) { return a.name < b.name; });
        list->erase(std::unique(list->begin(), list->end(),
                                [](const KnownPrincipal& a, const KnownPrincipal& b) { return a.name == b.name; }),
                    list->end());
    }
    users.insert(users.end(), groups.begin(), groups.end());
    return users;
}

} // namespace gw
