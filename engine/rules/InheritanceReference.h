#pragma once
// The inheritance check's reference: what an item should carry is what its
// own folder gives a new item (InheritanceRules), and where it differs, why,
// in the words an administrator knows.

#include "engine/rules/InheritanceRules.h"

#include <optional>
#include <string>
#include <vector>

namespace gw {

enum class InheritanceReason : std::uint8_t {
    AclNotInherited, // the entries are not the inherited ones
    RightsNarrowed, // the inherited entries, cut as a narrower creation mode cuts them
    DefaultAclNotInherited, // the default ACL is not the folder's
    ExtendedAclAdded, // named entries or a mask where the folder gives none
    SetgidLost, // the folder is setgid, the subfolder is not
    GroupNotInherited, // the folder is setgid, the item's group is not the folder's
    ModeDiffers, // without a default ACL, the mode bits are not what the umask gives
    NtAclNotInherited, // the Windows ACL lacks the ACEs its folder's gives it (WindowsInheritance.h)
};

// A mode as four octal digits ("0700").
std::string modeText(std::uint32_t mode);

// The key of a reason in JSON ("acl_not_inherited" ...), and its words.
const char* reasonKey(InheritanceReason reason);
std::string reasonText(InheritanceReason reason, std::uint32_t narrowedMode);
// The same in Russian, for the window (reports and JSON keep the English).
std::string reasonTextRussian(InheritanceReason reason, std::uint32_t narrowedMode);

struct InheritanceFinding {
    std::vector<InheritanceReason> reasons; // empty: the item carries what it was given
    std::uint32_t narrowedMode = 0; // the creation mode, with RightsNarrowed
    // What the item should carry: what the folder gives, for the creation mode
    // that fits it best (a file with an execute bit: 0777; else 0666). What
    // the folder does not decide (the owner; the group without setgid; the
    // mode bits without a default ACL or an umask) is the item's own.
    Permissions expected;
};

// What one folder gives the new items of one kind, worked out once for the
// many items in it.
bool windowsAclInvolved(const Permissions& folder, const Permissions& item);

class FolderGift {
public:
    // Without `compareGroup` (--ignore group) the owning group is not compared.
    FolderGift(const Permissions& folder, ItemKind kind, std::optional<std::uint32_t> umask = std::nullopt,
               bool compareGroup = true);
    // True when `item` carries what it was given; nothing is allocated.
    bool carries(const Permissions& item) const;
    // True when an item's extended access ACL (and the other ACL models
    // beside it) settle whether it carries what it was given: a file in a
    // folder whose default ACL gives it an extended ACL (named entries or a
    // mask), whose owning group is not compared. Its owner, group and special
    // bits then play no part.
    bool settledByAccessAcl() const;
    // False when the item or the folder carries an NFSv4 ACL, or a Windows
    // ACL whose inheritance this check cannot follow (notComparedReason).
    bool comparable(const Permissions& item) const;
    // True when the item or the folder carries a Windows ACL: its inheritance
    // is compared, which setfacl cannot set.
    bool windowsAcl(const Permissions& item) const { return windowsAclInvolved(folder_, item); }
    InheritanceFinding finding(const Permissions& item) const;

private:
    const InheritedPermissions& givenTo(const Permissions& item) const;
    // Adds the reasons `item` differs to `out` (when given); returns 0 when
    // none, the narrowing creation mode with RightsNarrowed, else 1.
    std::uint32_t reasons(const Permissions& item, std::vector<InheritanceReason>* out) const;
    std::uint32_t reasons(const Permissions& item, const InheritedPermissions& given,
                          std::vector<InheritanceReason>* out) const;

    Permissions folder_;
    ItemKind kind_;
    std::optional<std::uint32_t> umask_;
    bool compareGroup_;
    InheritedPermissions forFile_; // creation mode 0666
    InheritedPermissions forExecutable_; // 0777: a folder, or an executable file
};

// False when the item or its folder carries an NFSv4 ACL, whose inheritance
// follows rules this check does not apply, or a Windows ACL that cannot be
// compared with its folder's (WindowsInheritance.h): such an item is not
// compared (and said so: notComparedReason), never taken for the same.
// Where the item or its folder carries a Windows ACL that can, its
// inheritance is what is compared, and the POSIX permissions are not: Samba
// sets them from the Windows ACL.
bool inheritanceApplies(const Permissions& folder, const Permissions& item);
std::string notComparedReason(const Permissions& folder, const Permissions& item);
// True when the item or its folder carries a Windows ACL.
bool windowsAclInvolved(const Permissions& folder, const Permissions& item);

InheritanceFinding inheritanceFinding(const Permissions& parent, const Permissions& item, ItemKind kind,
                                      std::optional<std::uint32_t> umask = std::nullopt, bool compareGroup = true);

} // namespace gw
