#include "platform/Nfs4Acl.h"

#include "platform/PrintablePath.h"

#include <cstdint>
#include <cstdio>

namespace gw {
namespace {

struct Letter {
    std::uint32_t bit;
    char letter;
};

constexpr Letter kFlags[] = {{0x1, 'f'},  {0x2, 'd'},  {0x4, 'n'},  {0x8, 'i'},
                             {0x10, 'S'}, {0x20, 'F'}, {0x40, 'g'}, {0x80, 'O'}};

constexpr Letter kMask[] = {{0x1, 'r'},     {0x2, 'w'},     {0x4, 'a'},     {0x40, 'D'},    {0x10000, 'd'},
                            {0x20, 'x'},    {0x80, 't'},    {0x100, 'T'},   {0x8, 'n'},     {0x10, 'N'},
                            {0x20000, 'c'}, {0x40000, 'C'}, {0x80000, 'o'}, {0x100000, 'y'}};

// The letters of the bits set in `bits`, and "+0x..." for those without one.
template <std::size_t N> void appendBits(std::string& out, std::uint32_t bits, const Letter (&letters)[N])
{
    for (const Letter& l : letters) {
        if (bits & l.bit) {
            out.push_back(l.letter);
            bits &= ~l.bit;
        }
    }
    if (bits) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "+0x%x", bits);
        out += hex;
    }
}

std::string number(std::size_t n)
{
    return std::to_string(n);
}

} // namespace

std::string decodeNfs4Acl(const unsigned char* data, std::size_t size, std::vector<std::string>& aces)
{
    aces.clear();
    std::size_t at = 0;
    const auto left = [&] { return size - at; };
    const auto word = [&] {
        const std::uint32_t w = static_cast<std::uint32_t>(data[at]) << 24
            | static_cast<std::uint32_t>(data[at + 1]) << 16 | static_cast<std::uint32_t>(data[at + 2]) << 8
            | static_cast<std::uint32_t>(data[at + 3]);
        at += 4;
        return w;
    };
    if (size < 4)
        return "it is " + number(size) + " bytes long, too short for its count of entries";
    const std::uint32_t count = word();
    // An ACE takes four words at least: type, flags, mask, and the who's length.
    if (count > left() / 16)
        return "its count says " + std::to_string(count) + " entries, but its " + number(left())
            + " bytes hold at most " + number(left() / 16);
    aces.reserve(count);
    for (std::uint32_t k = 1; k <= count; ++k) {
        const std::string which = "entry " + std::to_string(k);
        if (left() < 16)
            return which + " is cut short";
        const std::uint32_t type = word(), flags = word(), mask = word(), length = word();
        if (length > left())
            return which + " names a who of " + std::to_string(length) + " bytes, more than the " + number(left())
                + " bytes left";
        if (length == 0)
            return which + " names no one (its who is empty)";
        const std::size_t padded = (static_cast<std::size_t>(length) + 3) / 4 * 4;
        if (padded > left())
            return which + " is cut short in the padding of its who";
        for (std::size_t p = length; p < padded; ++p) {
            if (data[at + p] != 0)
                return which + " has padding after its who that is not zero";
        }
        static const char kTypes[] = "ADUL";
        if (type > 3)
            return which + " has type " + std::to_string(type) + ", none of allow, deny, audit and alarm";
        std::string ace(1, kTypes[type]);
        ace.push_back(':');
        appendBits(ace, flags, kFlags);
        // The who follows a ":", and a "(" there is escaped as anywhere else
        // after one; a blank is written \040 as in every name.
        const std::string who(reinterpret_cast<const char*>(data + at), length);
        ace += printableWord(":" + who);
        ace.push_back(':');
        appendBits(ace, mask, kMask);
        aces.push_back(std::move(ace));
        at += padded;
    }
    if (left() != 0)
        return number(left()) + " bytes are left after the last entry";
    return {};
}

} // namespace gw
