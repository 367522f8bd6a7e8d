#pragma once
// What a Windows ACL gives a new item by inheritance: the ACEs of its folder's
// DACL that carry OI (to files, and as inherit-only ACEs to subfolders, to be
// passed on) or CI (to subfolders), copied with the ID flag after the item's
// own ACEs:
// - a file gets each OI ACE as an ACE of its own (flags ID alone);
// - a subfolder gets each CI ACE with its OI and CI (effective and passed on),
//   or with NP, effective only (ID alone); an OI ACE without CI and NP passes
//   on as inherit-only (IO, OI and ID);
// - CREATOR OWNER (S-1-3-0) and CREATOR GROUP (S-1-3-1) become the item's
//   owner and group where the ACE is effective; where it is passed on too, a
//   second, inherit-only ACE keeps them.
// Samba (smbd) makes the ACEs so when a client creates an item (where the
// folder's DACL is not auto-inherited, AI, it leaves ID out: the item's DACL
// then ends with the ACEs given, without ID, and has none with it); Windows
// clients that set the ACLs of a tree themselves (Explorer, icacls) also map
// the generic rights (GENERIC_ALL ...) to the file rights in effective ACEs,
// and split any ACE with generic rights into an effective and an
// inherit-only one. Either form counts as inherited.
// A DACL that is protected (P) inherits nothing, and is not compared.

#include "engine/rules/InheritanceRules.h"
#include "engine/rules/WindowsAcl.h"

#include <string>
#include <vector>

namespace gw {

enum class InheritanceForm : std::uint8_t {
    Samba,
    Windows,
};

// The ACEs `folder` (its DACL's, in order) gives a new item of `kind` whose
// owner and group SIDs are `owner` and `group`, in `form`.
std::vector<NtAce> inheritedAces(const std::vector<NtAce>& folder, ItemKind kind, const std::string& owner,
                                 const std::string& group, InheritanceForm form);

struct WindowsInheritance {
    bool comparable = false; // false: the rules do not apply (and `note` says why)
    bool carries = true; // the item carries the inherited ACEs its folder gives it
    std::vector<std::string> expected; // its Windows ACL's entries as they should be, when it does not
    std::string note;
};

// Whether `item` carries, after its own ACEs, the ACEs its folder gives it
// (in either form). An item without a Windows ACL in a folder whose DACL gives
// it ACEs does not; one whose folder carries no Windows ACL, or whose DACL
// or its folder's is null or missing, is not compared.
WindowsInheritance windowsInheritance(const Permissions& folder, const Permissions& item, ItemKind kind);

} // namespace gw
