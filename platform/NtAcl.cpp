#include "platform/NtAcl.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <tuple>
#include <utility>

namespace gw {
namespace {

std::string number(std::size_t n)
{
    return std::to_string(n);
}

// Little-endian reading within [0, size): every read is checked by its caller.
struct Bytes {
    const unsigned char* data;
    std::size_t size;
    std::uint16_t u16(std::size_t at) const
    {
        return static_cast<std::uint16_t>(data[at] | static_cast<unsigned>(data[at + 1]) << 8);
    }
    std::uint32_t u32(std::size_t at) const
    {
        return static_cast<std::uint32_t>(data[at]) | static_cast<std::uint32_t>(data[at + 1]) << 8
            | static_cast<std::uint32_t>(data[at + 2]) << 16 | static_cast<std::uint32_t>(data[at + 3]) << 24;
    }
    bool fits(std::size_t at, std::size_t length) const { return at <= size && length <= size - at; }
    bool zeros(std::size_t from, std::size_t to) const
    {
        return std::all_of(data + from, data + to, [](unsigned char c) { return c == 0; });
    }
};

// Reads the SID at [at, end) into `sid`, and its length into `length`.
std::string readSid(const Bytes& b, std::size_t at, std::size_t end, std::string& sid, std::size_t& length)
{
    if (end - at < 8)
        return "is cut short (" + number(end - at) + " bytes, a SID takes 8 at least)";
    if (b.data[at] != 1)
        return "has revision " + number(b.data[at]) + ", not 1";
    const std::size_t count = b.data[at + 1];
    if (count > 15)
        return "says it has " + number(count) + " sub-authorities, more than the 15 a SID may have";
    length = 8 + 4 * count;
    if (end - at < length)
        return "has " + number(count) + " sub-authorities, which take " + number(length) + " bytes, but "
            + number(end - at) + " are left";
    std::uint64_t authority = 0;
    for (std::size_t k = 2; k < 8; ++k)
        authority = authority << 8 | b.data[at + k];
    std::uint32_t subs[15];
    for (std::size_t k = 0; k < count; ++k)
        subs[k] = b.u32(at + 8 + 4 * k);
    sid = sidText(authority, subs, count);
    return {};
}

bool objectType(std::uint8_t type)
{
    return type >= kAccessAllowedObject && type <= kSystemAlarmObject;
}

bool knownType(std::uint8_t type)
{
    return type <= kSystemAlarm || objectType(type) || type == kSystemMandatoryLabel;
}

// Reads the ACE at [at, end) into `ace`, and its size into `size`.
std::string readAce(const Bytes& b, std::size_t at, std::size_t end, NtAce& ace, std::size_t& size)
{
    if (end - at < 8)
        return "is cut short (" + number(end - at) + " bytes, an ACE takes 8 at least before its SID)";
    ace = NtAce {};
    ace.type = b.data[at];
    ace.flags = b.data[at + 1];
    size = b.u16(at + 2);
    ace.mask = b.u32(at + 4);
    if (!knownType(ace.type))
        return "has type " + number(ace.type) + ", which this program does not read";
    if (size > end - at)
        return "says it takes " + number(size) + " bytes, but " + number(end - at) + " are left in its ACL";
    std::size_t sidAt = at + 8;
    const std::size_t aceEnd = at + size;
    if (objectType(ace.type)) {
        if (aceEnd < sidAt + 4)
            return "is cut short before its object flags";
        ace.objectFlags = b.u32(sidAt);
        sidAt += 4;
        if (ace.objectFlags & ~3u)
            return "has object flags " + number(ace.objectFlags) + ", of which only 1 and 2 are known";
        for (const auto& [bit, guid] : {std::pair {1u, &ace.objectType}, std::pair {2u, &ace.inheritedObjectType}}) {
            if (!(ace.objectFlags & bit))
                continue;
            if (aceEnd - sidAt < 16)
                return "is cut short within its object GUIDs";
            std::copy(b.data + sidAt, b.data + sidAt + 16, guid->begin());
            sidAt += 16;
        }
    }
    if (sidAt > aceEnd)
        return "is cut short before its SID";
    std::size_t sidLength = 0;
    if (std::string why = readSid(b, sidAt, aceEnd, ace.sid, sidLength); !why.empty())
        return "has a SID that " + why;
    if (sidAt + sidLength != aceEnd)
        return "says it takes " + number(size) + " bytes, but holds " + number(sidAt + sidLength - at);
    return {};
}

// Reads the ACL at [at, end) into `acl`, and its size into `size`.
std::string readAcl(const Bytes& b, std::size_t at, std::size_t end, NtAclList& acl, std::size_t& size)
{
    if (end - at < 8)
        return "is cut short (" + number(end - at) + " bytes, its head takes 8)";
    const unsigned revision = b.data[at];
    if ((revision != 2 && revision != 4) || b.data[at + 1] != 0)
        return "has revision " + number(b.u16(at)) + ", neither 2 nor 4";
    size = b.u16(at + 2);
    const std::size_t count = b.u16(at + 4);
    if (b.u16(at + 6) != 0)
        return "has bytes that should be zero after its count of ACEs";
    if (size < 8 || size > end - at)
        return "says it takes " + number(size) + " bytes, but " + number(end - at) + " are left";
    if (count > (size - 8) / 16)
        return "says it has " + number(count) + " ACEs, but its " + number(size) + " bytes hold at most "
            + number((size - 8) / 16);
    acl.aces.resize(count);
    std::size_t ace = at + 8;
    for (std::size_t k = 0; k < count; ++k) {
        std::size_t aceSize = 0;
        if (std::string why = readAce(b, ace, at + size, acl.aces[k], aceSize); !why.empty())
            return "has an ACE " + number(k + 1) + " that " + why;
        ace += aceSize;
    }
    if (ace != at + size)
        return "says it takes " + number(size) + " bytes, but its ACEs take " + number(ace - at);
    return {};
}

// One part of a descriptor: where it lies in the value.
struct Part {
    std::size_t at, size;
    const char* name;
};

// The descriptor at `start`, up to the end of the value.
std::string readDescriptor(const Bytes& b, std::size_t start, SecurityDescriptor& sd)
{
    constexpr std::size_t kHead = 20;
    if (!b.fits(start, kHead))
        return "its descriptor is cut short (" + number(b.size - std::min(start, b.size)) + " bytes, its head takes "
            + number(kHead) + ")";
    if (b.data[start] != 1)
        return "its descriptor has revision " + number(b.data[start]) + ", not 1";
    sd.control = b.u16(start + 2);
    std::vector<Part> parts {{start, kHead, "head"}};
    const auto offsetAt = [&](std::size_t field, const char* name, std::size_t& at) -> std::string {
        at = b.u32(start + field);
        if (at != 0 && (at < start + kHead || at >= b.size))
            return std::string("its descriptor's ") + name + " lies at " + number(at)
                + ", outside the descriptor after its head (" + number(start + kHead) + " to " + number(b.size) + ")";
        return {};
    };
    std::size_t owner = 0, group = 0, sacl = 0, dacl = 0;
    for (const auto& [field, name, at] : {std::tuple {4u, "owner", &owner}, std::tuple {8u, "group", &group},
                                          std::tuple {12u, "SACL", &sacl}, std::tuple {16u, "DACL", &dacl}}) {
        if (std::string why = offsetAt(field, name, *at); !why.empty())
            return why;
    }
    for (const auto& [at, sid, name] :
         {std::tuple {owner, &sd.owner, "owner"}, std::tuple {group, &sd.group, "group"}}) {
        if (at == 0)
            continue;
        std::size_t length = 0;
        std::string text;
        if (std::string why = readSid(b, at, b.size, text, length); !why.empty())
            return std::string("its descriptor's ") + name + " SID " + why;
        *sid = std::move(text);
        parts.push_back({at, length, name});
    }
    for (const auto& [at, acl, present, name] :
         {std::tuple {sacl, &sd.sacl, kSaclPresent, "SACL"}, std::tuple {dacl, &sd.dacl, kDaclPresent, "DACL"}}) {
        if (!(sd.control & present)) {
            if (at != 0)
                return std::string("its descriptor holds a ") + name + " that its control flags say is not there";
            continue;
        }
        acl->emplace();
        if (at == 0) {
            (*acl)->null = true;
            continue;
        }
        std::size_t size = 0;
        if (std::string why = readAcl(b, at, b.size, **acl, size); !why.empty())
            return std::string("its descriptor's ") + name + " " + why;
        parts.push_back({at, size, name});
    }
    // The parts fill the descriptor to the end of the value, one after another.
    std::sort(parts.begin(), parts.end(), [](const Part& x, const Part& y) { return x.at < y.at; });
    std::size_t end = start;
    for (const Part& p : parts) {
        if (p.at < end)
            return std::string("its descriptor's ") + p.name + " overlaps another part";
        if (p.at > end)
            return "its descriptor has " + number(p.at - end) + " bytes before its " + p.name + " that no part holds";
        end = p.at + p.size;
    }
    if (end != b.size)
        return number(b.size - end) + " bytes are left after its descriptor's last part";
    return {};
}

} // namespace

std::string sidText(std::uint64_t authority, const std::uint32_t* subAuthorities, std::size_t count)
{
    char text[32];
    if (authority >= 0xFFFFFFFFull)
        std::snprintf(text, sizeof text, "S-1-0x%llx", static_cast<unsigned long long>(authority));
    else
        std::snprintf(text, sizeof text, "S-1-%llu", static_cast<unsigned long long>(authority));
    std::string sid = text;
    for (std::size_t k = 0; k < count; ++k)
        sid += "-" + std::to_string(subAuthorities[k]);
    return sid;
}

std::string decodeNtAcl(const unsigned char* data, std::size_t size, SecurityDescriptor& out)
{
    out = SecurityDescriptor {};
    const Bytes b {data, size};
    if (size < 8)
        return "it is " + number(size) + " bytes long, too short for its version";
    const unsigned version = b.u16(0);
    if (version < 1 || version > 4)
        return "it has version " + number(version) + ", which this program does not know";
    if (b.u16(2) != version)
        return "its version (" + number(version) + ") and the level of its contents (" + number(b.u16(2)) + ") differ";
    if (b.u32(4) == 0)
        return "it holds no descriptor";
    std::size_t at = 8;
    if (version >= 2) {
        if (!b.fits(at, 4) || b.u32(at) == 0)
            return b.fits(at, 4) ? "it holds no descriptor" : "it is cut short before its descriptor";
        at += 4;
        // Version 2: a hash of 16 bytes; 3 and 4: its type and 64 bytes.
        at += version == 2 ? 16 : 2 + 64;
        if (version == 4) {
            const unsigned char* nul = at < size
                ? static_cast<const unsigned char*>(std::memchr(data + at, 0, size - at))
                : nullptr;
            if (!nul)
                return "its description is not ended within the value";
            at = static_cast<std::size_t>(nul - data) + 1;
            const std::size_t time = (at + 3) / 4 * 4; // an NTTIME, two uint32 words
            if (!b.fits(at, time - at) || !b.zeros(at, time))
                return "the padding after its description is cut short or not zero";
            at = time + 8 + 64; // the time and the hash of the POSIX ACL
        }
        if (at > size)
            return "it is cut short within its hash";
    }
    const std::size_t start = (at + 3) / 4 * 4;
    if (start > size || !b.zeros(at, start))
        return "the padding before its descriptor is cut short or not zero";
    return readDescriptor(b, start, out);
}

} // namespace gw
