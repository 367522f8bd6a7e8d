#include "platform/Sddl.h"

#include <cstdio>
#include <tuple>

namespace gw {
namespace {

struct Named {
    std::uint32_t bits;
    std::string_view text;
};

constexpr Named kTypes[] = {{kAccessAllowed, "A"},      {kAccessDenied, "D"},         {kSystemAudit, "AU"},
                            {kSystemAlarm, "AL"},       {kAccessAllowedObject, "OA"}, {kAccessDeniedObject, "OD"},
                            {kSystemAuditObject, "OU"}, {kSystemAlarmObject, "OL"},   {kSystemMandatoryLabel, "ML"}};

constexpr Named kAceFlags[] = {{kObjectInherit, "OI"},
                               {kContainerInherit, "CI"},
                               {kNoPropagateInherit, "NP"},
                               {kInheritOnly, "IO"},
                               {kInheritedAce, "ID"},
                               {0x40, "SA"},
                               {0x80, "FA"}};

std::string hex(std::uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
}

std::string guidText(const std::array<std::uint8_t, 16>& g)
{
    char text[40];
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", g[3], g[2],
                  g[1], g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
    return text;
}

// The control flags of an ACL: those of the DACL, or (shifted by one bit)
// of the SACL.
std::string aclFlags(std::uint16_t control, bool sacl)
{
    const int shift = sacl ? 1 : 0;
    std::string flags;
    if (control & (kDaclProtected << shift))
        flags += "P";
    if (control & (kDaclAutoInheritReq << shift))
        flags += "AR";
    if (control & (kDaclAutoInherited << shift))
        flags += "AI";
    return flags;
}

std::size_t hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return static_cast<std::size_t>(c - '0');
    if (c >= 'a' && c <= 'f')
        return static_cast<std::size_t>(c - 'a' + 10);
    return 16;
}

// "0x..." in lower-case hexadecimal, as hex() writes it, up to 32 bits.
bool readHex(std::string_view text, std::uint32_t& value)
{
    if (text.size() < 3 || text.size() > 10 || text.substr(0, 2) != "0x" || (text.size() > 3 && text[2] == '0'))
        return false;
    value = 0;
    for (const char c : text.substr(2)) {
        const std::size_t v = hexValue(c);
        if (v > 15)
            return false;
        value = value << 4 | static_cast<std::uint32_t>(v);
    }
    return true;
}

bool readGuid(std::string_view text, std::array<std::uint8_t, 16>& g)
{
    if (text.size() != 36)
        return false;
    std::uint8_t bytes[16];
    std::size_t n = 0;
    for (std::size_t i = 0; i < 36; ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != '-')
                return false;
            continue;
        }
        const std::size_t high = hexValue(text[i]), low = i + 1 < 36 ? hexValue(text[i + 1]) : 16;
        if (high > 15 || low > 15)
            return false;
        bytes[n++] = static_cast<std::uint8_t>(high << 4 | low);
        ++i;
    }
    const std::uint8_t order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (std::size_t k = 0; k < 16; ++k)
        g[order[k]] = bytes[k];
    return true;
}

} // namespace

std::string sddlAce(const NtAce& ace)
{
    std::string text = "(";
    for (const Named& t : kTypes) {
        if (t.bits == ace.type)
            text += t.text;
    }
    text += ';';
    std::uint32_t flags = ace.flags;
    for (const Named& f : kAceFlags) {
        if (flags & f.bits) {
            text += f.text;
            flags &= ~f.bits;
        }
    }
    if (flags)
        text += "+" + hex(flags);
    text += ";" + hex(ace.mask) + ";";
    if (ace.objectFlags & 1)
        text += guidText(ace.objectType);
    text += ';';
    if (ace.objectFlags & 2)
        text += guidText(ace.inheritedObjectType);
    text += ";" + ace.sid + ")";
    return text;
}

std::vector<std::string> sddlEntries(const SecurityDescriptor& sd)
{
    std::vector<std::string> entries;
    if (sd.owner)
        entries.push_back("O:" + *sd.owner);
    if (sd.group)
        entries.push_back("G:" + *sd.group);
    const auto acl = [&](const NtAclList& list, bool sacl) {
        const std::string head = sacl ? "S:" : "D:";
        entries.push_back(head + aclFlags(sd.control, sacl) + (list.null ? "NO_ACCESS_CONTROL" : ""));
        for (const NtAce& ace : list.aces)
            entries.push_back((sacl ? "S" : "") + sddlAce(ace));
    };
    if (sd.dacl)
        acl(*sd.dacl, false);
    else
        entries.emplace_back("D:not present");
    if (sd.sacl)
        acl(*sd.sacl, true);
    return entries;
}

bool readSddlAce(std::string_view entry, NtAce& ace, bool& inSacl)
{
    inSacl = entry.substr(0, 2) == "S(";
    if (inSacl)
        entry.remove_prefix(1);
    if (entry.size() < 2 || entry.front() != '(' || entry.back() != ')')
        return false;
    entry = entry.substr(1, entry.size() - 2);
    std::string_view fields[6];
    for (std::size_t k = 0; k < 6; ++k) {
        const std::size_t semicolon = k < 5 ? entry.find(';') : entry.size();
        if (semicolon == std::string_view::npos)
            return false;
        fields[k] = entry.substr(0, semicolon);
        entry.remove_prefix(k < 5 ? semicolon + 1 : semicolon);
    }
    ace = NtAce {};
    bool typeKnown = false;
    for (const Named& t : kTypes) {
        if (t.text == fields[0]) {
            ace.type = static_cast<std::uint8_t>(t.bits);
            typeKnown = true;
        }
    }
    std::string_view flags = fields[1];
    if (const std::size_t plus = flags.find('+'); plus != std::string_view::npos) {
        std::uint32_t rest = 0;
        if (!readHex(flags.substr(plus + 1), rest) || rest > 0xFF)
            return false;
        ace.flags = static_cast<std::uint8_t>(rest);
        flags = flags.substr(0, plus);
    }
    for (const Named& f : kAceFlags) {
        if (flags.substr(0, 2) == f.text) {
            ace.flags = static_cast<std::uint8_t>(ace.flags | f.bits);
            flags.remove_prefix(2);
        }
    }
    if (!typeKnown || !flags.empty() || !readHex(fields[2], ace.mask))
        return false;
    for (const auto& [k, bit, guid] :
         {std::tuple {3u, 1u, &ace.objectType}, std::tuple {4u, 2u, &ace.inheritedObjectType}}) {
        if (fields[k].empty())
            continue;
        if (!readGuid(fields[k], *guid))
            return false;
        ace.objectFlags |= bit;
    }
    ace.sid = std::string(fields[5]);
    return ace.sid.size() > 4 && ace.sid.substr(0, 4) == "S-1-" && ace.sid.find_first_of("();") == std::string::npos;
}

} // namespace gw
