#pragma once
// A Windows security descriptor as listing entries, in SDDL, the text form
// Windows administrators know (icacls /save, Get-Acl's Sddl, samba-tool
// ntacl get --as-sddl):
//
//     O:S-1-5-21-1-2-3-500                 the owner
//     G:S-1-5-21-1-2-3-513                 the owning group
//     D:PAI                                the DACL's control flags
//     (A;OICI;0x1301bf;;;S-1-5-21-1-2-3-1104)   one entry an ACE, in the DACL's order
//     (OA;;0x100;guid;guid;S-1-1-0)        an object ACE with its GUIDs
//     S:AI                                 the SACL's control flags, where there is a SACL
//     S(AU;SA;0x1f01ff;;;S-1-1-0)          one entry an ACE of the SACL, in its order
//                                          (no ":(", which listings keep for default entries)
//
// - Control flags: P (protected), AR (auto-inherit required), AI
//   (auto-inherited), in that order; "NO_ACCESS_CONTROL" follows them for a
//   null ACL; a descriptor without a DACL has "D:not present".
// - ACE types: A, D, AU, AL, OA, OD, OU, OL, ML.
// - ACE flags: OI, CI, NP, IO, ID, SA, FA, in that order; a bit without a
//   letter follows them as "+0x" and its value in hexadecimal.
// - Access masks always in hexadecimal ("0x1301bf"), never as letters
//   (FA, GR ...): one mask, one text.
// - SIDs always as SID strings ("S-1-1-0", never its alias WD): one SID, one
//   text, whatever the domain; names are for the reports to show beside.
// - GUIDs in the usual lower-case form, 8-4-4-4-12 hexadecimal digits.
// A descriptor with none of owner, group and DACL still has its "D:" entry.

#include "platform/NtAcl.h"

#include <string>
#include <string_view>
#include <vector>

namespace gw {

// The entries of `sd`, in the order above.
std::vector<std::string> sddlEntries(const SecurityDescriptor& sd);

// One ACE as written above, with its parentheses.
std::string sddlAce(const NtAce& ace);

// Reads back an ACE entry: "(A;...)" for the DACL's, "S(AU;...)" for the
// SACL's (`inSacl` then true). False when `entry` is not an ACE entry as
// sddlAce writes it.
bool readSddlAce(std::string_view entry, NtAce& ace, bool& inSacl);

} // namespace gw
