#pragma once
// An item's owner, owning group and mode, as its permissions were read, for
// its records: the owner and group named as the listings name them (by name
// where the system names them, else by number), the mode in octal with its
// special bits ("2775"). Taken from the permissions already read: never a
// read of its own.

#include "platform/Permissions.h"

#include <QByteArray>

#include <cstdint>

namespace gw {

class PrincipalNames;

struct ItemStatus {
    QByteArray owner, group; // printable
    std::uint32_t mode = 0; // the permission bits and setuid, setgid, sticky
    bool operator==(const ItemStatus&) const = default;
};

ItemStatus itemStatus(const Permissions& p, PrincipalNames& names);

} // namespace gw
