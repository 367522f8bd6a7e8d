#pragma once
// Samba's Windows ACL of an item, read back from its listing entries
// ("ntacl O:...", "ntacl D:PAI", "ntacl (A;OICI;0x1301bf;;;S-1-...)", see
// platform/Sddl.h): for the rules that look inside it (inheritance, who can).

#include "platform/NtAcl.h"
#include "platform/Permissions.h"

#include <string>
#include <vector>

namespace gw {

struct WindowsAcl {
    std::string owner, group; // SID strings; empty where the descriptor names none
    enum class Dacl : std::uint8_t {
        List, // the ACEs below decide
        Null, // "NO_ACCESS_CONTROL"
        Missing, // "not present"
    } dacl = Dacl::Missing;
    bool isProtected = false; // P
    bool autoInherited = false; // AI
    std::vector<NtAce> aces; // the DACL's, in order
    std::vector<std::string> entries; // the DACL's ACE entries as listed, parallel to `aces`
};

// True when the item carries a Windows ACL (any "ntacl " entry).
bool carriesWindowsAcl(const Permissions& p);

// Reads the item's Windows ACL; false when it carries none, or an entry does
// not read back (a listing of another version of this program).
bool readWindowsAcl(const Permissions& p, WindowsAcl& out);

} // namespace gw
