#include "engine/rules/WindowsAcl.h"

#include "platform/Sddl.h"

#include <string_view>

namespace gw {

namespace {
constexpr std::string_view kPrefix = "ntacl ";
}

bool carriesWindowsAcl(const Permissions& p)
{
    for (const std::string& entry : p.otherModels) {
        if (entry.compare(0, kPrefix.size(), kPrefix) == 0)
            return true;
    }
    return false;
}

bool readWindowsAcl(const Permissions& p, WindowsAcl& out)
{
    out = WindowsAcl {};
    bool any = false, daclSeen = false;
    for (const std::string& entry : p.otherModels) {
        if (entry.compare(0, kPrefix.size(), kPrefix) != 0)
            continue;
        any = true;
        const std::string_view text = std::string_view(entry).substr(kPrefix.size());
        NtAce ace;
        bool inSacl = false;
        if (text.substr(0, 2) == "O:") {
            out.owner = text.substr(2);
        } else if (text.substr(0, 2) == "G:") {
            out.group = text.substr(2);
        } else if (text == "D:not present") {
            daclSeen = true;
        } else if (text.substr(0, 2) == "D:") {
            daclSeen = true;
            std::string_view flags = text.substr(2);
            out.dacl = WindowsAcl::Dacl::List;
            if (flags.size() >= 17 && flags.substr(flags.size() - 17) == "NO_ACCESS_CONTROL") {
                out.dacl = WindowsAcl::Dacl::Null;
                flags.remove_suffix(17);
            }
            out.isProtected = flags.substr(0, 1) == "P";
            out.autoInherited = flags.size() >= 2 && flags.substr(flags.size() - 2) == "AI";
        } else if (readSddlAce(text, ace, inSacl)) {
            if (!inSacl) {
                out.aces.push_back(std::move(ace));
                out.entries.push_back(entry);
            }
        } else if (text.substr(0, 2) != "S:") {
            return false;
        }
    }
    return any && daclSeen;
}

} // namespace gw
