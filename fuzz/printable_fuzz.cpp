// Fuzzes the one printable form: whatever the bytes of a name, the text is
// valid UTF-8 without a line break or a hidden control, reads back to the
// same bytes, and a principal's name in it holds no blank.

#include "platform/PrintablePath.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// Well-formed UTF-8 (RFC 3629), without C0/C1 controls, DEL, line separators
// or bidirectional controls.
bool cleanUtf8(std::string_view s)
{
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            if (b < 0x20 || b == 0x7F)
                return false;
            ++i;
            continue;
        }
        std::size_t n = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 ? 2 : 0;
        if (n == 0 || b > 0xF4 || i + n > s.size())
            return false;
        std::uint32_t cp = b & (0xFF >> (n + 1));
        for (std::size_t k = 1; k < n; ++k) {
            const auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < least[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) || (cp >= 0x80 && cp <= 0x9F)
            || (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069) || cp == 0x2028 || cp == 0x2029
            || cp == 0x200E || cp == 0x200F || cp == 0x061C)
            return false;
        i += n;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view raw(reinterpret_cast<const char*>(data), size);
    const std::string text = gw::printable(raw);
    if (!cleanUtf8(text) || gw::rawFromPrintable(text) != raw)
        std::abort();
    if (!text.empty() && text.back() == ' ')
        std::abort(); // a name never ends with a blank
    if (text.find(" /") != std::string::npos || text.find(":(") != std::string::npos)
        std::abort();
    const std::string name = gw::printableName(raw);
    if (!cleanUtf8(name) || name.find(' ') != std::string::npos || gw::rawFromPrintable(name) != raw)
        std::abort();
    if (!name.empty() && name.find_first_not_of("0123456789") == std::string::npos)
        std::abort(); // never reads as an id without a name
    return 0;
}
