#include "engine/rules/ItemStatus.h"

#include "platform/AclListing.h"

namespace gw {

ItemStatus itemStatus(const Permissions& p, PrincipalNames& names)
{
    return ItemStatus {QByteArray::fromStdString(names.user(p.owner)), QByteArray::fromStdString(names.group(p.group)),
                       p.mode & 07777};
}

} // namespace gw
