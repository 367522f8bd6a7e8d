#include "engine/rules/InheritanceReference.h"

#include "engine/rules/Nfs4Rights.h"
#include "engine/rules/WindowsInheritance.h"

#include <cstdio>

namespace gw {
namespace {

bool hasExtendedEntries(const Acl& acl)
{
    for (const AclEntry& e : acl) {
        if (e.tag == AclTag::User || e.tag == AclTag::Group || e.tag == AclTag::Mask)
            return true;
    }
    return false;
}

} // namespace

std::string modeText(std::uint32_t mode)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04o", mode & 07777);
    return text;
}

const char* reasonKey(InheritanceReason reason)
{
    switch (reason) {
    case InheritanceReason::AclNotInherited: return "acl_not_inherited";
    case InheritanceReason::RightsNarrowed: return "rights_narrowed";
    case InheritanceReason::DefaultAclNotInherited: return "default_acl_not_inherited";
    case InheritanceReason::ExtendedAclAdded: return "extended_acl_added";
    case InheritanceReason::SetgidLost: return "setgid_lost";
    case InheritanceReason::GroupNotInherited: return "group_not_inherited";
    case InheritanceReason::ModeDiffers: return "mode_differs";
    case InheritanceReason::NtAclNotInherited: return "ntacl_not_inherited";
    }
    return "";
}

std::string reasonText(InheritanceReason reason, std::uint32_t narrowedMode)
{
    switch (reason) {
    case InheritanceReason::AclNotInherited: return "the entries are not the ones its folder gives";
    case InheritanceReason::RightsNarrowed:
        return "the entries are its folder's, but the rights are cut as creation mode " + modeText(narrowedMode)
            + " cuts them (copied in, or made private)";
    case InheritanceReason::DefaultAclNotInherited: return "the default ACL is not its folder's";
    case InheritanceReason::ExtendedAclAdded: return "it has entries its folder does not give";
    case InheritanceReason::SetgidLost: return "setgid is lost: its folder is setgid, it is not";
    case InheritanceReason::GroupNotInherited: return "its group is not the group of its setgid folder";
    case InheritanceReason::ModeDiffers: return "the mode bits are not what the umask gives";
    case InheritanceReason::NtAclNotInherited:
        return "its Windows ACL does not carry the inherited ACEs (ID) its folder's gives it";
    }
    return "";
}

std::string reasonTextRussian(InheritanceReason reason, std::uint32_t narrowedMode)
{
    switch (reason) {
    case InheritanceReason::AclNotInherited: return "записи не те, что даёт его папка";
    case InheritanceReason::RightsNarrowed:
        return "записи его папки, но права урезаны так, как их урезает режим создания " + modeText(narrowedMode)
            + " (скопирован или сделан личным)";
    case InheritanceReason::DefaultAclNotInherited: return "ACL по умолчанию не тот, что у его папки";
    case InheritanceReason::ExtendedAclAdded: return "у него есть записи, которых его папка не даёт";
    case InheritanceReason::SetgidLost: return "setgid потерян: его папка с setgid, а он нет";
    case InheritanceReason::GroupNotInherited: return "его группа — не группа его папки с setgid";
    case InheritanceReason::ModeDiffers: return "биты режима не те, что даёт umask";
    case InheritanceReason::NtAclNotInherited:
        return "его Windows ACL не несёт унаследованных ACE (ID), которые даёт ACL его папки";
    }
    return "";
}

FolderGift::FolderGift(const Permissions& folder, ItemKind kind, std::optional<std::uint32_t> umask, bool compareGroup)
    : folder_(folder)
    , kind_(kind)
    , umask_(umask)
    , compareGroup_(compareGroup)
    , forFile_(inheritedFrom(folder, kind, 0666, umask))
    , forExecutable_(inheritedFrom(folder, kind, 0777, umask))
{
}

const InheritedPermissions& FolderGift::givenTo(const Permissions& item) const
{
    // A folder is made with 0777; a file with 0666, or with 0777 when it
    // matches that, or is executable by its owner or others (with an ACL the
    // group bits are the mask, which says nothing of that).
    if (kind_ == ItemKind::Folder)
        return forExecutable_;
    if (reasons(item, forFile_, nullptr) == 0)
        return forFile_;
    if (reasons(item, forExecutable_, nullptr) == 0)
        return forExecutable_;
    return (item.mode & 0101) ? forExecutable_ : forFile_;
}

bool windowsAclInvolved(const Permissions& folder, const Permissions& item)
{
    return carriesWindowsAcl(folder) || carriesWindowsAcl(item);
}

std::string notComparedReason(const Permissions& folder, const Permissions& item)
{
    if (nfs4AclDecides(folder) || nfs4AclDecides(item))
        return "it or its folder carries an NFSv4 ACL, whose inheritance this check does not follow";
    if (!windowsAclInvolved(folder, item))
        return {};
    const WindowsInheritance w = windowsInheritance(folder, item, ItemKind::Folder);
    return w.comparable ? std::string() : "it carries a Windows ACL whose inheritance cannot be followed: " + w.note;
}

bool inheritanceApplies(const Permissions& folder, const Permissions& item)
{
    if (item.otherModels.empty() && folder.otherModels.empty())
        return true;
    return notComparedReason(folder, item).empty();
}

bool FolderGift::comparable(const Permissions& item) const
{
    return inheritanceApplies(folder_, item);
}

std::uint32_t FolderGift::reasons(const Permissions& item, std::vector<InheritanceReason>* out) const
{
    return reasons(item, givenTo(item), out);
}

std::uint32_t FolderGift::reasons(const Permissions& item, const InheritedPermissions& given,
                                  std::vector<InheritanceReason>* out) const
{
    if (windowsAclInvolved(folder_, item)) { // its inheritance, and not the POSIX permissions
        if (windowsInheritance(folder_, item, kind_).carries)
            return 0;
        if (out)
            out->push_back(InheritanceReason::NtAclNotInherited);
        return 1;
    }
    std::uint32_t narrowedMode = 0;
    bool any = false;
    const auto add = [&](InheritanceReason r) {
        any = true;
        if (out)
            out->push_back(r);
    };
    if (!folder_.defaults.empty()) {
        if (item.access != given.expected.access) {
            if (!out)
                return 1; // which reason is not asked
            // Cut by a narrower creation mode: the one whose bits the item shows.
            const InheritedPermissions narrowed = inheritedFrom(folder_, kind_, item.mode & 0777, umask_);
            if (narrowed.expected.access == item.access) {
                add(InheritanceReason::RightsNarrowed);
                narrowedMode = item.mode & 0777;
            } else {
                add(InheritanceReason::AclNotInherited);
            }
        }
    } else if (hasExtendedEntries(item.access)) {
        add(InheritanceReason::ExtendedAclAdded);
    } else if (given.modeKnown && (item.mode & 0777) != (given.expected.mode & 0777)) {
        add(InheritanceReason::ModeDiffers);
    }
    if (kind_ == ItemKind::Folder && item.defaults != given.expected.defaults)
        add(InheritanceReason::DefaultAclNotInherited);
    if (kind_ == ItemKind::Folder && (folder_.mode & 02000) && !(item.mode & 02000))
        add(InheritanceReason::SetgidLost);
    if (compareGroup_ && given.groupKnown && item.group != given.expected.group)
        add(InheritanceReason::GroupNotInherited);
    return any ? (narrowedMode ? narrowedMode : 1u) : 0u;
}

bool FolderGift::carries(const Permissions& item) const
{
    if (!comparable(item))
        return false;
    if (kind_ == ItemKind::Folder)
        return reasons(item, forExecutable_, nullptr) == 0;
    return reasons(item, forFile_, nullptr) == 0 || reasons(item, forExecutable_, nullptr) == 0;
}

bool FolderGift::settledByAccessAcl() const
{
    // A default ACL of the owner, group and other entries alone gives a new
    // file no extended ACL: such a file keeps only its mode bits, which its
    // attributes do not tell.
    return kind_ == ItemKind::File && !folder_.defaults.empty() && folder_.otherModels.empty()
        && hasExtendedEntries(forFile_.expected.access) && !(compareGroup_ && forFile_.groupKnown);
}

InheritanceFinding FolderGift::finding(const Permissions& item) const
{
    InheritanceFinding f;
    const std::uint32_t found = reasons(item, &f.reasons);
    f.narrowedMode = found > 1 ? found : 0;
    const InheritedPermissions& given = givenTo(item);
    Permissions& expected = f.expected;
    expected = given.expected;
    expected.owner = item.owner;
    expected.otherModels = item.otherModels; // NFSv4 ACLs have rules of their own
    if (windowsAclInvolved(folder_, item)) {
        // The Windows ACL as it should be; the rest as it is.
        expected = item;
        WindowsInheritance w = windowsInheritance(folder_, item, kind_);
        if (!w.carries)
            expected.otherModels = std::move(w.expected);
        return f;
    }
    // Bits the folder does not give (setuid, sticky, setgid where the folder
    // is not setgid) are the item's own: the check does not ask for them.
    expected.mode |= item.mode & 07000u;
    if (!given.groupKnown || !compareGroup_)
        expected.group = item.group;
    if (!given.modeKnown) {
        // Without a default ACL the folder gives no entries: the item's mode
        // bits stand, its named entries and mask should not be there.
        expected.access.clear();
        for (const AclEntry& e : item.access) {
            if (e.tag == AclTag::UserObj || e.tag == AclTag::GroupObj || e.tag == AclTag::Other)
                expected.access.push_back(e);
        }
        expected.mode = (expected.mode & ~0777u) | permissionBits(expected.access);
    }
    return f;
}

InheritanceFinding inheritanceFinding(const Permissions& parent, const Permissions& item, ItemKind kind,
                                      std::optional<std::uint32_t> umask, bool compareGroup)
{
    return FolderGift(parent, kind, umask, compareGroup).finding(item);
}

} // namespace gw
