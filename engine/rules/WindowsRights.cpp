#include "engine/rules/WindowsRights.h"

#include <vector>

namespace gw {
namespace {

constexpr std::uint32_t kGenericBits = 0xF0000000;

std::uint32_t mapped(std::uint32_t mask)
{
    std::uint32_t out = mask & ~kGenericBits;
    if (mask & 0x80000000)
        out |= 0x120089; // generic read
    if (mask & 0x40000000)
        out |= 0x120116; // generic write
    if (mask & 0x20000000)
        out |= 0x1200a0; // generic execute
    if (mask & 0x10000000)
        out |= 0x1f01ff; // generic all
    return out;
}

enum class Match : std::uint8_t {
    No,
    Yes,
    Unknown,
};

Match sidMatches(const std::string& sid, const Principal& who, SidLookup& sids)
{
    if (sid == "S-1-1-0" || sid == "S-1-5-11")
        return Match::Yes;
    const SidOwner owner = sids.ownerOf(sid);
    switch (owner.kind) {
    case SidOwner::Kind::User: return who.uid && *who.uid == owner.id ? Match::Yes : Match::No;
    case SidOwner::Kind::Group: return who.inGroup(owner.id) ? Match::Yes : Match::No;
    case SidOwner::Kind::Unknown: break;
    }
    return Match::Unknown;
}

std::string bitWords(std::uint32_t bits)
{
    std::string words;
    for (const auto& [bit, word] : {std::pair {kNtRead, "read"}, std::pair {kNtWrite, "write"},
                                    std::pair {kNtAppend, "append"}, std::pair {kNtExecute, "execute"}}) {
        if (bits & bit)
            words += (words.empty() ? "" : ", ") + std::string(word);
    }
    return words;
}

} // namespace

WindowsAnswer windowsAccess(const WindowsAcl& acl, const Principal& who, std::uint32_t asked, SidLookup& sids)
{
    WindowsAnswer answer;
    if (who.root()) {
        answer.unknown = "its Windows ACL decides there through Samba, and root's rights there depend on Samba's"
                         " configuration (admin users)";
        return answer;
    }
    if (acl.dacl != WindowsAcl::Dacl::List) {
        answer.allowed = asked;
        answer.via = acl.dacl == WindowsAcl::Dacl::Null ? "ntacl D:NO_ACCESS_CONTROL" : "ntacl D:not present";
        return answer;
    }
    std::uint32_t undecided = asked;
    std::vector<const std::string*> deciders;
    for (std::size_t k = 0; k < acl.aces.size() && undecided != 0; ++k) {
        const NtAce& ace = acl.aces[k];
        const bool allow = ace.type == kAccessAllowed || ace.type == kAccessAllowedObject;
        const bool deny = ace.type == kAccessDenied || ace.type == kAccessDeniedObject;
        const std::uint32_t bits = mapped(ace.mask) & undecided;
        if ((!allow && !deny) || (ace.flags & kInheritOnly) || (ace.objectFlags & 1) || bits == 0)
            continue;
        const Match match = sidMatches(ace.sid, who, sids);
        if (match == Match::No)
            continue;
        if (match == Match::Unknown) {
            answer.unknown = "its Windows ACE " + acl.entries[k].substr(6) + " names " + ace.sid
                + ", which winbind maps to no local user or group here: whether it applies cannot be told";
            return answer;
        }
        if (allow)
            answer.allowed |= bits;
        undecided &= ~bits;
        deciders.push_back(&acl.entries[k]);
    }
    for (const std::string* decider : deciders)
        answer.via.append(answer.via.empty() ? "" : ", ").append(*decider);
    if (undecided)
        answer.via += (answer.via.empty() ? "no ACE names " : ", no ACE names ") + bitWords(undecided);
    return answer;
}

} // namespace gw
