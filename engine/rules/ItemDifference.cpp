#include "engine/rules/ItemDifference.h"

namespace gw {

QList<QByteArray> permissionEntries(const Permissions& p, PrincipalNames& names)
{
    std::string listing;
    if (appendListing(listing, std::string_view(), p, names) != 0)
        return {};
    QList<QByteArray> entries;
    std::size_t start = 0;
    while (start < listing.size()) {
        const std::size_t end = listing.find('\n', start);
        std::string_view line(listing.data() + start, (end == std::string::npos ? listing.size() : end) - start);
        start = end == std::string::npos ? listing.size() : end + 1;
        while (!line.empty() && line.front() == ' ')
            line.remove_prefix(1); // the blank before the first entry, the indent of the others
        if (line.empty())
            break; // the empty line that ends the listing
        entries.append(QByteArray(line.data(), static_cast<qsizetype>(line.size())));
    }
    return entries;
}

std::optional<ItemDifference> differenceFromGiven(const Permissions& folder, const Permissions& item, ItemKind kind,
                                                  std::optional<std::uint32_t> umask, PrincipalNames& names,
                                                  bool compareGroup)
{
    InheritanceFinding finding = inheritanceFinding(folder, item, kind, umask, compareGroup);
    if (finding.reasons.empty())
        return std::nullopt;
    ItemDifference d;
    d.kind = kind;
    d.changes = entryChanges(permissionEntries(finding.expected, names), permissionEntries(item, names));
    d.finding = std::move(finding);
    d.status = itemStatus(item, names);
    return d;
}

} // namespace gw
