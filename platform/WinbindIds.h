#pragma once
// What a Windows SID stands for on this system, as winbind's idmap says
// (wbinfo --sid-to-uid, --sid-to-gid, --sid-to-name): asked only where
// wbinfo is installed and winbindd answers (wbinfo --ping), each SID once.
// Without winbind, no SID stands for anyone: what depends on it stays unknown.

#include <cstdint>
#include <string>

namespace gw {

struct SidOwner {
    enum class Kind : std::uint8_t {
        Unknown, // winbind cannot say (not there, or it maps the SID to no one)
        User,
        Group,
    } kind = Kind::Unknown;
    std::uint32_t id = 0; // the uid or gid
};

class SidLookup {
public:
    virtual ~SidLookup() = default;
    virtual SidOwner ownerOf(const std::string& sid) = 0;
    // "DOMAIN\name", or empty where it cannot be named.
    virtual std::string nameOf(const std::string& sid) = 0;
};

// winbind's, for the whole program; safe to ask from any thread.
SidLookup& winbindLookup();

} // namespace gw
