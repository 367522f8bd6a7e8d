// Fuzzes the decoding of Samba's Windows ACL (security.NTACL): whatever the
// bytes, it gives entries or a reason, never both, never reads outside the
// value; each ACE entry reads back to the same ACE; the entries are printable
// ASCII without a line break, so that no entry can pass for another line.

#include "platform/NtAcl.h"
#include "platform/Sddl.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A copy of its own size, so that AddressSanitizer sees any read past it.
    std::vector<unsigned char> value(data, data + size);
    gw::SecurityDescriptor sd;
    const std::string why = gw::decodeNtAcl(value.data(), value.size(), sd);
    if (!why.empty())
        return 0;
    const std::vector<std::string> entries = gw::sddlEntries(sd);
    if (entries.empty())
        std::abort();
    for (const std::string& entry : entries) {
        for (const char c : entry) {
            if (c < 0x21 && !(c == ' ' && entry == "D:not present"))
                std::abort();
            if (c > 0x7E)
                std::abort();
        }
        gw::NtAce ace;
        bool inSacl = false;
        if (gw::readSddlAce(entry, ace, inSacl) && (inSacl ? "S" : "") + gw::sddlAce(ace) != entry)
            std::abort();
    }
    return 0;
}
