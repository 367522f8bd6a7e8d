#include "engine/rules/Nfs4Rights.h"

#include "platform/Nfs4Acl.h"
#include "platform/PrintablePath.h"

#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

namespace gw {
namespace {

constexpr std::string_view kPrefix = "nfs4 ";
constexpr std::uint32_t kInheritOnly = 0x8, kGroupWho = 0x40;
// The flag letters in the order of their bits, 0x1 up (Nfs4Acl.h).
constexpr char kFlagLetters[] = "fdniSFgO";
constexpr char kMaskLetters[] = "rwaDdxtTnNcCoy";

// An ACE as Nfs4Acl.h writes it: TYPE:FLAGS:WHO:MASK.
struct Ace {
    char type = 0;
    std::uint32_t flags = 0;
    bool unlettered = false; // flag bits without a letter ("+0x...")
    std::string who; // raw bytes
    std::uint32_t mask = 0; // of r, w, a and x only
};

// Reads an ACE's text; false when it is not one. A who may hold ":": the
// flags end at the second ":", the mask begins after the last.
bool readAce(std::string_view text, Ace& ace)
{
    const std::size_t second = text.size() > 2 && text[1] == ':' ? text.find(':', 2) : std::string_view::npos;
    const std::size_t last = text.rfind(':');
    if (second == std::string_view::npos || last <= second + 1 || std::strchr("ADUL", text[0]) == nullptr)
        return false;
    ace = Ace {};
    ace.type = text[0];
    std::string_view flags = text.substr(2, second - 2);
    if (const std::size_t plus = flags.find('+'); plus != std::string_view::npos) {
        ace.unlettered = true;
        flags = flags.substr(0, plus);
    }
    for (const char c : flags) {
        const char* at = c ? std::strchr(kFlagLetters, c) : nullptr;
        if (!at)
            return false;
        ace.flags |= 1u << (at - kFlagLetters);
    }
    std::string_view mask = text.substr(last + 1);
    mask = mask.substr(0, mask.find('+')); // bits without a letter: none of r, w, a and x
    for (const char c : mask) {
        if (!c || !std::strchr(kMaskLetters, c))
            return false;
        ace.mask |= c == 'r' ? kNfs4Read : c == 'w' ? kNfs4Write : c == 'a' ? kNfs4Append : c == 'x' ? kNfs4Execute : 0;
    }
    ace.who = rawFromPrintable(text.substr(second + 1, last - second - 1));
    return !ace.who.empty();
}

// The local id a named who maps to (see Nfs4Rights.h).
std::optional<std::uint32_t> localId(const std::string& who, bool group, PrincipalNames& names)
{
    if (who.size() <= 10 && who.find_first_not_of("0123456789") == std::string::npos) {
        const unsigned long long n = std::stoull(who);
        if (n < 0xffffffffULL) // (uid_t)-1 is no one
            return static_cast<std::uint32_t>(n);
        return std::nullopt;
    }
    const std::size_t at = who.rfind('@');
    const std::string name = at == std::string::npos ? who : who.substr(0, at);
    if (group)
        return names.groupId(name);
    return names.userId(name);
}

enum class Match : std::uint8_t {
    No,
    Yes,
    Unknown
};

// Whether the ACE's who is the principal; the reason when that cannot be known.
Match whoMatches(const Ace& ace, const Permissions& p, const Principal& who, PrincipalNames& names, std::string& why)
{
    if (ace.who == "OWNER@")
        return who.uid && *who.uid == p.owner ? Match::Yes : Match::No;
    if (ace.who == "GROUP@")
        return who.inGroup(p.group) ? Match::Yes : Match::No;
    if (ace.who == "EVERYONE@")
        return Match::Yes;
    if (ace.who.back() == '@') {
        why = "names a who that no local user can be matched to";
        return Match::Unknown;
    }
    const bool group = ace.flags & kGroupWho;
    if (who.kind == Principal::Kind::Anyone || (!group && !who.uid))
        return Match::No;
    const std::optional<std::uint32_t> id = localId(ace.who, group, names);
    if (!id) {
        why = group ? "names a group without a local id" : "names a user without a local id";
        return Match::Unknown;
    }
    if (group)
        return who.inGroup(*id) ? Match::Yes : Match::No;
    return *id == *who.uid ? Match::Yes : Match::No;
}

std::string bitLetters(std::uint32_t bits)
{
    std::string letters;
    for (const auto& [bit, letter] : {std::pair {kNfs4Read, 'r'}, std::pair {kNfs4Write, 'w'},
                                      std::pair {kNfs4Append, 'a'}, std::pair {kNfs4Execute, 'x'}}) {
        if (bits & bit)
            letters.push_back(letter);
    }
    return letters;
}

} // namespace

bool nfs4AclDecides(const Permissions& p)
{
    for (const std::string& entry : p.otherModels) {
        if (entry.compare(0, kPrefix.size(), kPrefix) == 0)
            return true;
    }
    return false;
}

Nfs4Answer nfs4Access(const Permissions& p, const Principal& who, std::uint32_t asked, PrincipalNames& names)
{
    Nfs4Answer answer;
    std::uint32_t undecided = asked;
    std::vector<std::string_view> deciders;
    Ace ace;
    for (const std::string& entry : p.otherModels) {
        if (undecided == 0)
            break;
        if (entry.compare(0, kPrefix.size(), kPrefix) != 0 || entry == kNoNfs4Aces)
            continue;
        const std::string_view text = std::string_view(entry).substr(kPrefix.size());
        std::string why;
        Match match = Match::Unknown;
        if (!readAce(text, ace))
            why = "does not read as an ACE";
        else if ((ace.type != 'A' && ace.type != 'D') || (ace.flags & kInheritOnly) || !(ace.mask & undecided))
            continue;
        else if (ace.unlettered)
            why = "has flag bits this program does not know";
        else
            match = whoMatches(ace, p, who, names, why);
        if (match == Match::No)
            continue;
        if (match == Match::Unknown) {
            answer.unknown = "its NFSv4 ACE " + std::string(text) + " " + why + ": whether it applies cannot be told";
            return answer;
        }
        if (ace.type == 'A')
            answer.allowed |= ace.mask & undecided;
        undecided &= ~ace.mask;
        deciders.push_back(text);
    }
    for (const std::string_view decider : deciders)
        answer.via.append(answer.via.empty() ? "" : ", ").append(decider);
    if (undecided)
        answer.via += (answer.via.empty() ? "no ACE names " : ", no ACE names ") + bitLetters(undecided);
    return answer;
}

} // namespace gw
