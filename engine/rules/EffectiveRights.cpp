#include "engine/rules/EffectiveRights.h"

#include "engine/rules/Nfs4Rights.h"
#include "engine/rules/WindowsRights.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace gw {
namespace {

std::optional<std::uint8_t> maskOf(const Acl& acl)
{
    for (const AclEntry& e : acl) {
        if (e.tag == AclTag::Mask)
            return e.perm;
    }
    return std::nullopt;
}

// Whether the principal's uid is the item's owner, or is named in an entry.
bool isOwner(const Permissions& p, const Principal& who)
{
    return who.uid && *who.uid == p.owner;
}

const AclEntry* namedUser(const Permissions& p, const Principal& who)
{
    if (!who.uid)
        return nullptr;
    for (const AclEntry& e : p.access) {
        if (e.tag == AclTag::User && e.id == *who.uid)
            return &e;
    }
    return nullptr;
}

bool groupMatches(const Permissions& p, const AclEntry& e, const Principal& who)
{
    return (e.tag == AclTag::GroupObj && who.inGroup(p.group)) || (e.tag == AclTag::Group && who.inGroup(e.id));
}

std::uint8_t entryPerm(const Acl& acl, AclTag tag)
{
    for (const AclEntry& e : acl) {
        if (e.tag == tag)
            return e.perm;
    }
    return 0;
}

} // namespace

bool permitted(const Permissions& p, ItemKind kind, const Principal& who, std::uint8_t want)
{
    if (who.root()) {
        if (kind == ItemKind::Folder || !(want & 1))
            return true;
        return (p.mode & 0111) != 0; // execute needs an execute bit somewhere
    }
    const auto grants = [want](std::uint8_t perm) { return (perm & want) == want; };
    if (isOwner(p, who))
        return grants(entryPerm(p.access, AclTag::UserObj));
    const std::optional<std::uint8_t> mask = maskOf(p.access);
    if (mask && *mask == 0) // Linux looks at no ACL when the mask is empty: the mode bits decide
        return grants(who.inGroup(p.group) ? 0 : entryPerm(p.access, AclTag::Other));
    if (const AclEntry* e = namedUser(p, who))
        return grants(e->perm) && (!mask || grants(*mask));
    bool found = false;
    for (const AclEntry& e : p.access) {
        if (!groupMatches(p, e, who))
            continue;
        found = true;
        if (grants(e.perm))
            return !mask || grants(*mask);
    }
    if (found)
        return false;
    return grants(entryPerm(p.access, AclTag::Other));
}

Rights rightsOn(const Permissions& p, ItemKind kind, const Principal& who)
{
    Rights r;
    r.read = permitted(p, kind, who, 4);
    r.enter = permitted(p, kind, who, 1);
    if (kind == ItemKind::File) {
        r.write = permitted(p, kind, who, 2) ? WriteRight::Yes : WriteRight::No;
        return r;
    }
    // Creating or removing an entry asks for write and search at once.
    if (permitted(p, kind, who, 2 | 1))
        r.write = (p.mode & 01000) && !who.root() && !isOwner(p, who) ? WriteRight::OwnEntries : WriteRight::Yes;
    return r;
}

std::string decidingEntry(const Permissions& p, const Principal& who, PrincipalNames& names)
{
    if (who.root())
        return "root";
    if (isOwner(p, who))
        return "owner";
    const std::optional<std::uint8_t> mask = maskOf(p.access);
    if (mask && *mask == 0) {
        if (who.inGroup(p.group))
            return "group " + names.group(p.group) + " (the mask is empty)";
        return std::string("other (the mask is empty, so named entries do not count)");
    }
    const auto cut = [&mask](std::uint8_t granted) {
        return mask && (granted & ~*mask) != 0 ? std::string(", cut by the mask") : std::string();
    };
    if (const AclEntry* e = namedUser(p, who))
        return "user " + names.user(e->id) + cut(e->perm);
    std::vector<std::string> groups;
    std::uint8_t granted = 0;
    for (const AclEntry& e : p.access) {
        if (!groupMatches(p, e, who))
            continue;
        const std::string& name = names.group(e.tag == AclTag::GroupObj ? p.group : e.id);
        if (std::find(groups.begin(), groups.end(), name) == groups.end()) // the owning group named again: once
            groups.push_back(name);
        granted |= e.perm;
    }
    if (groups.empty())
        return "other";
    if (groups.size() == 1)
        return "group " + groups.front() + cut(granted);
    std::string list;
    for (std::size_t i = 0; i < groups.size(); ++i)
        list += (i == 0 ? "" : i + 1 == groups.size() ? " and " : ", ") + groups[i];
    return "group class via " + list + cut(granted);
}

RightsAnswer rightsAnswer(const Permissions& p, ItemKind kind, const Principal& who, PrincipalNames& names,
                          SidLookup* sids)
{
    RightsAnswer answer;
    if (carriesWindowsAcl(p)) {
        WindowsAcl acl;
        if (!readWindowsAcl(p, acl)) {
            answer.unknown = "its Windows ACL (security.NTACL) decides there, and its entries do not read back";
            return answer;
        }
        const std::uint32_t write = kind == ItemKind::Folder ? kNtWrite | kNtAppend | kNtExecute : kNtWrite;
        WindowsAnswer windows = windowsAccess(acl, who, kNtRead | kNtExecute | write, sids ? *sids : winbindLookup());
        if (!windows.unknown.empty()) {
            answer.unknown = std::move(windows.unknown);
            return answer;
        }
        answer.rights.read = windows.allowed & kNtRead;
        answer.rights.enter = windows.allowed & kNtExecute;
        answer.rights.write = (windows.allowed & write) == write ? WriteRight::Yes : WriteRight::No;
        answer.via = std::move(windows.via);
        return answer;
    }
    if (!nfs4AclDecides(p)) {
        answer.rights = rightsOn(p, kind, who);
        answer.via = decidingEntry(p, who, names);
        return answer;
    }
    if (who.root()) {
        answer.unknown = "its NFSv4 ACL decides there, and root's rights under it are the NFS server's to give"
                         " (with root_squash, its default, root is an anonymous user there)";
        return answer;
    }
    const bool folder = kind == ItemKind::Folder;
    const std::uint32_t write = folder ? kNfs4Write | kNfs4Append | kNfs4Execute : kNfs4Write;
    Nfs4Answer nfs4 = nfs4Access(p, who, kNfs4Read | kNfs4Execute | write, names);
    if (!nfs4.unknown.empty()) {
        answer.unknown = std::move(nfs4.unknown);
        return answer;
    }
    answer.rights.read = nfs4.allowed & kNfs4Read;
    answer.rights.enter = nfs4.allowed & kNfs4Execute;
    if ((nfs4.allowed & write) == write)
        answer.rights.write = folder && (p.mode & 01000) && !isOwner(p, who) ? WriteRight::OwnEntries : WriteRight::Yes;
    answer.via = std::move(nfs4.via);
    return answer;
}

} // namespace gw
