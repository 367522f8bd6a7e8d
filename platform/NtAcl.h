#pragma once
// Samba's Windows ACL as its acl_xattr module keeps it in the extended
// attribute security.NTACL: the NDR structure xattr_NTACL, little-endian.
//
//     uint16 version (1 to 4), uint16 version again (the union's level),
//     uint32 pointer (not 0), then by version:
//       1: the descriptor;
//       2: uint32 pointer, 16 bytes of hash, the descriptor;
//       3: uint32 pointer, uint16 hash type, 64 bytes of hash, the descriptor;
//       4: as 3, then a description ("posix_acl") ended by a NUL, an NTTIME
//          and the 64-byte hash of the POSIX ACL, then the descriptor.
//     Every uint32 and the descriptor start at a multiple of 4 bytes; the
//     padding before them is zero.
//
// The descriptor is self-relative: revision 1, a byte, the control flags,
// then the offsets of its owner SID, group SID, SACL and DACL (0: none),
// counted from the start of the whole value, not of the descriptor. Each
// part lies after the descriptor's head; together they fill the value to
// its end, none overlapping another, as Samba writes them.
//
// An ACL: revision 2 or 4, a zero byte, its size, its count of ACEs, two zero
// bytes, then the ACEs, which fill it exactly. An ACE: type, flags, size, the
// access mask, for an object ACE its object flags and the GUIDs they name,
// then the SID, which fills it exactly. A SID: revision 1, its count of
// sub-authorities (at most 15), the 48-bit authority (big-endian), then the
// sub-authorities.
//
// The hashes, the description and the time are read past: what they say is
// Samba's own bookkeeping (see docs/acls.md), never what decides access.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace gw {

// ACE types this program reads (the others are refused as not read).
enum NtAceType : std::uint8_t {
    kAccessAllowed = 0,
    kAccessDenied = 1,
    kSystemAudit = 2,
    kSystemAlarm = 3,
    kAccessAllowedObject = 5,
    kAccessDeniedObject = 6,
    kSystemAuditObject = 7,
    kSystemAlarmObject = 8,
    kSystemMandatoryLabel = 0x11,
};

// ACE flags.
inline constexpr std::uint8_t kObjectInherit = 0x01, kContainerInherit = 0x02, kNoPropagateInherit = 0x04,
                              kInheritOnly = 0x08, kInheritedAce = 0x10;

// Control flags of a descriptor.
inline constexpr std::uint16_t kDaclPresent = 0x0004, kSaclPresent = 0x0010, kDaclAutoInheritReq = 0x0100,
                               kSaclAutoInheritReq = 0x0200, kDaclAutoInherited = 0x0400, kSaclAutoInherited = 0x0800,
                               kDaclProtected = 0x1000, kSaclProtected = 0x2000;

struct NtAce {
    std::uint8_t type = kAccessAllowed;
    std::uint8_t flags = 0;
    std::uint32_t mask = 0;
    // Object ACEs: which GUIDs are there (1: the object type, 2: the
    // inherited object type), and the GUIDs in their 16 bytes as stored.
    std::uint32_t objectFlags = 0;
    std::array<std::uint8_t, 16> objectType {};
    std::array<std::uint8_t, 16> inheritedObjectType {};
    std::string sid; // "S-1-5-32-544"
    bool operator==(const NtAce&) const = default;
};

struct NtAclList {
    // Present (by the control flags) but null: the descriptor says there is
    // no ACL, which Windows takes for "no access control".
    bool null = false;
    std::vector<NtAce> aces;
    bool operator==(const NtAclList&) const = default;
};

struct SecurityDescriptor {
    std::uint16_t control = 0;
    std::optional<std::string> owner, group; // SID strings; none where the offset is 0
    std::optional<NtAclList> dacl, sacl; // none where the control flags say they are not there
    bool operator==(const SecurityDescriptor&) const = default;
};

// Decodes the value of security.NTACL into `out`. Returns an empty text, or
// why the value does not decode exactly: a length cut short, a count or an
// offset that does not fit, a version, revision or type this program does
// not know, padding that is not zero, parts that overlap or leave bytes no
// part holds, or bytes after the end.
std::string decodeNtAcl(const unsigned char* data, std::size_t size, SecurityDescriptor& out);

// The text form of a SID, as Samba and Windows write it: "S-1-5-21-1-2-3";
// an authority of 2^32 - 1 or more in hexadecimal ("S-1-0x123456789abc-1").
std::string sidText(std::uint64_t authority, const std::uint32_t* subAuthorities, std::size_t count);

} // namespace gw
