#pragma once
// A folder's NFSv4 ACL as the kernel gives it in the extended attribute
// system.nfs4_acl: XDR, that is big-endian 32-bit words, with the number of
// entries (ACEs) first, then for each its type, its flags, its access mask
// and its "who", an XDR string (a length, the bytes, zeros up to a multiple
// of four).
//
// Each ACE is written in the text form nfs4_getfacl prints,
// TYPE:FLAGS:WHO:MASK, for example "A:fd:OWNER@:rwaDdxtTnNcCoy" or
// "D:g:staff@example.com:w":
// - TYPE: A (allow), D (deny), U (audit), L (alarm);
// - FLAGS: f (file inherit), d (directory inherit), n (no propagate),
//   i (inherit only), S (successful access), F (failed access),
//   g (who is a group), O (inherited), in that order;
// - WHO: OWNER@, GROUP@, EVERYONE@, name@domain or a number, in the printable
//   form of a name (every blank written \040);
// - MASK: r w a D d x t T n N c C o y, in that order.
// A flag or mask bit without a letter follows the letters as "+0x" and its
// value in hexadecimal, so that no bit is ever lost. (nfs4_getfacl shows
// neither those bits nor O.)

#include <cstddef>
#include <string>
#include <vector>

namespace gw {

// The listing entry of an NFSv4 ACL without a single ACE, which allows no
// one anything: never the same as a folder without an NFSv4 ACL.
inline constexpr char kNoNfs4Aces[] = "nfs4 (no ACEs)";

// Decodes the value of system.nfs4_acl into `aces`, one text an ACE, in the
// ACL's order. Returns an empty text, or why the value does not decode
// exactly: it is cut short, its count does not fit it, a who is longer than
// what is left or empty, padding is not zero, an ACE's type is unknown, or
// bytes are left after the last ACE.
std::string decodeNfs4Acl(const unsigned char* data, std::size_t size, std::vector<std::string>& aces);

} // namespace gw
