#include "engine/watch/RecordedItems.h"

#include <QHash>

#include <algorithm>
#include <unordered_map>

namespace gw {

namespace {

std::size_t hashOf(const Acl& acl, std::size_t seed)
{
    for (const AclEntry& e : acl)
        seed = qHashMulti(seed, static_cast<int>(e.tag), e.id, e.perm);
    return seed;
}

std::size_t hashOf(const Permissions& p)
{
    std::size_t h = qHashMulti(0, p.owner, p.group, p.mode);
    h = hashOf(p.defaults, hashOf(p.access, h));
    for (const std::string& entry : p.otherModels)
        h = qHashMulti(h, QByteArrayView(entry.data(), static_cast<qsizetype>(entry.size())));
    return h;
}

} // namespace

void RecordedItems::clear()
{
    items_.clear();
    paths_.clear();
    distinct_.clear();
    seen_.clear();
}

std::string RecordedItems::load(const QByteArray& file)
{
    clear();
    std::unordered_multimap<std::size_t, std::uint32_t> known; // hash: index in distinct_
    try {
        BaselineReader reader(file);
        BaselineRecord record;
        while (reader.next(record)) {
            const std::size_t h = hashOf(record.permissions);
            std::uint32_t at = UINT32_MAX;
            for (auto [it, end] = known.equal_range(h); it != end; ++it) {
                if (distinct_[it->second] == record.permissions)
                    at = it->second;
            }
            if (at == UINT32_MAX) {
                at = static_cast<std::uint32_t>(distinct_.size());
                distinct_.push_back(record.permissions);
                known.emplace(h, at);
            }
            items_.push_back({paths_.size(), static_cast<std::uint32_t>(record.rawPath.size()), at, record.kind});
            paths_ += record.rawPath;
        }
    } catch (const BaselineError& e) {
        clear();
        return e.what();
    }
    std::sort(items_.begin(), items_.end(), [this](const Item& a, const Item& b) { return path(a) < path(b); });
    items_.shrink_to_fit();
    return {};
}

RecordedItems::Index RecordedItems::find(std::string_view raw) const
{
    const auto it = std::lower_bound(items_.begin(), items_.end(), raw,
                                     [this](const Item& item, std::string_view p) { return path(item) < p; });
    return it != items_.end() && path(*it) == raw ? static_cast<Index>(it - items_.begin()) : kNone;
}

std::pair<RecordedItems::Index, RecordedItems::Index> RecordedItems::runBelow(std::string_view raw) const
{
    // Every path that begins with the folder's and a slash is one run.
    const std::string prefix = raw.ends_with('/') ? std::string(raw) : std::string(raw) + '/';
    const auto less = [this](const Item& item, std::string_view p) { return path(item) < p; };
    const auto from = std::lower_bound(items_.begin(), items_.end(), std::string_view(prefix), less);
    auto to = from;
    while (to != items_.end() && path(*to).starts_with(prefix))
        ++to;
    return {static_cast<Index>(from - items_.begin()), static_cast<Index>(to - items_.begin())};
}

QByteArray RecordedItems::rawPath(Index i) const
{
    const std::string_view p = path(items_[i]);
    return {p.data(), static_cast<qsizetype>(p.size())};
}

} // namespace gw
