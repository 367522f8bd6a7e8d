#include "engine/rules/WindowsInheritance.h"

#include "platform/Sddl.h"

#include <algorithm>
#include <cstddef>

namespace gw {
namespace {

constexpr char kCreatorOwner[] = "S-1-3-0", kCreatorGroup[] = "S-1-3-1";
constexpr std::uint32_t kGenericAll = 0x10000000, kGenericExecute = 0x20000000, kGenericWrite = 0x40000000,
                        kGenericRead = 0x80000000, kGenericBits = 0xF0000000;

// The generic rights as the file rights they stand for.
std::uint32_t mapped(std::uint32_t mask)
{
    std::uint32_t out = mask & ~kGenericBits;
    if (mask & kGenericRead)
        out |= 0x120089;
    if (mask & kGenericWrite)
        out |= 0x120116;
    if (mask & kGenericExecute)
        out |= 0x1200a0;
    if (mask & kGenericAll)
        out |= 0x1f01ff;
    return out;
}

} // namespace

std::vector<NtAce> inheritedAces(const std::vector<NtAce>& folder, ItemKind kind, const std::string& owner,
                                 const std::string& group, InheritanceForm form)
{
    const bool windows = form == InheritanceForm::Windows;
    std::vector<NtAce> out;
    for (const NtAce& ace : folder) {
        const bool oi = ace.flags & kObjectInherit, ci = ace.flags & kContainerInherit,
                   np = ace.flags & kNoPropagateInherit;
        const bool creator = ace.sid == kCreatorOwner || ace.sid == kCreatorGroup;
        const std::string& stand = ace.sid == kCreatorOwner ? owner : group;
        NtAce effective = ace;
        effective.flags = kInheritedAce;
        if (creator)
            effective.sid = stand;
        if (windows)
            effective.mask = mapped(ace.mask);
        if (kind == ItemKind::File) {
            if (oi)
                out.push_back(effective);
            continue;
        }
        if (ci && np) {
            out.push_back(effective);
        } else if (ci) {
            NtAce passedOn = ace;
            passedOn.flags = static_cast<std::uint8_t>((ace.flags & (kObjectInherit | kContainerInherit))
                                                       | kInheritedAce);
            if (creator || (windows && (ace.mask & kGenericBits))) {
                out.push_back(effective);
                passedOn.flags |= kInheritOnly;
            }
            out.push_back(passedOn);
        } else if (oi && !np) {
            NtAce passedOn = ace;
            passedOn.flags = kObjectInherit | kInheritOnly | kInheritedAce;
            if (creator && !windows)
                passedOn.sid = stand; // smbd names the creator only in an ACE passed on to subfolders
            out.push_back(passedOn);
        }
    }
    return out;
}

WindowsInheritance windowsInheritance(const Permissions& folder, const Permissions& item, ItemKind kind)
{
    WindowsInheritance w;
    WindowsAcl parent, own;
    if (!readWindowsAcl(folder, parent) || parent.dacl != WindowsAcl::Dacl::List) {
        w.note = "its folder carries no Windows ACL with a DACL to inherit from";
        return w;
    }
    const bool ownAcl = carriesWindowsAcl(item);
    if (ownAcl && (!readWindowsAcl(item, own) || own.dacl != WindowsAcl::Dacl::List)) {
        w.note = "its Windows ACL has no DACL (null or missing)";
        return w;
    }
    w.comparable = true;
    if (own.isProtected)
        return w; // protected: it inherits nothing
    std::vector<std::string> inherited; // the item's ACEs with ID, in order
    for (std::size_t k = 0; k < own.aces.size(); ++k) {
        if (own.aces[k].flags & kInheritedAce)
            inherited.push_back(own.entries[k]);
    }
    // Without an owner or group SID of its own, CREATOR OWNER or GROUP stays.
    const std::string owner = own.owner.empty() ? kCreatorOwner : own.owner,
                      group = own.group.empty() ? kCreatorGroup : own.group;
    std::vector<std::string> given[2];
    for (const InheritanceForm form : {InheritanceForm::Samba, InheritanceForm::Windows}) {
        for (const NtAce& ace : inheritedAces(parent.aces, kind, owner, group, form))
            given[form == InheritanceForm::Windows].push_back("ntacl " + sddlAce(ace));
    }
    if (inherited == given[0] || inherited == given[1])
        return w;
    // smbd under a folder whose DACL is not auto-inherited: the ACEs given
    // without ID, last.
    std::vector<std::string> withoutId;
    if (!parent.autoInherited) {
        for (NtAce ace : inheritedAces(parent.aces, kind, owner, group, InheritanceForm::Samba)) {
            ace.flags = static_cast<std::uint8_t>(ace.flags & ~kInheritedAce);
            withoutId.push_back("ntacl " + sddlAce(ace));
        }
        const auto n = static_cast<std::ptrdiff_t>(withoutId.size());
        if (inherited.empty() && withoutId.size() <= own.entries.size()
            && std::equal(withoutId.begin(), withoutId.end(), own.entries.end() - n))
            return w;
        given[0] = withoutId;
    }
    // As it should be: its own entries and ACEs, then the ACEs given (as smbd
    // gives them), then its SACL's entries.
    w.carries = false;
    bool placed = false;
    const auto placeGiven = [&] {
        if (!placed)
            w.expected.insert(w.expected.end(), given[0].begin(), given[0].end());
        placed = true;
    };
    for (const std::string& entry : item.otherModels) {
        NtAce ace;
        bool inSacl = false;
        if (entry.compare(0, 6, "ntacl ") == 0 && readSddlAce(std::string_view(entry).substr(6), ace, inSacl) && !inSacl
            && ((ace.flags & kInheritedAce) || std::find(withoutId.begin(), withoutId.end(), entry) != withoutId.end()))
            continue;
        if (entry.compare(0, 8, "ntacl S:") == 0)
            placeGiven();
        w.expected.push_back(entry);
    }
    placeGiven();
    return w;
}

} // namespace gw
