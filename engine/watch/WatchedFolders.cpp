#include "engine/watch/WatchedFolders.h"

#include <QHashFunctions>

#include <cstring>

namespace gw {

std::size_t WatchedFolders::handleHash(std::string_view handle) const
{
    return qHash(QByteArrayView(handle.data(), static_cast<qsizetype>(handle.size())), 0x9e3779b9U);
}

std::size_t WatchedFolders::placeHash(Id parent, std::string_view name) const
{
    return qHash(QByteArrayView(name.data(), static_cast<qsizetype>(name.size())), parent * 0x9e3779b97f4a7c15ULL);
}

void WatchedFolders::reset(const QByteArray& rootRaw, std::string_view rootHandle)
{
    folders_.clear();
    bytes_.clear();
    free_.clear();
    byHandle_ = {};
    byPlace_ = {};
    garbage_ = 0;
    live_ = 0;
    rootRaw_ = rootRaw;
    (void)add(kNone, {}, rootHandle);
}

std::uint32_t WatchedFolders::store(std::string_view bytes)
{
    const auto at = static_cast<std::uint32_t>(bytes_.size());
    bytes_.append(bytes);
    return at;
}

WatchedFolders::Id WatchedFolders::add(Id parent, const QByteArray& name, std::string_view handle)
{
    grow();
    Id id;
    if (!free_.empty()) {
        id = free_.back();
        free_.pop_back();
    } else {
        id = static_cast<Id>(folders_.size());
        folders_.emplace_back();
    }
    Folder& f = folders_[id];
    f = Folder {};
    f.parent = parent;
    f.nameLength = static_cast<std::uint16_t>(std::min<qsizetype>(name.size(), UINT16_MAX));
    f.nameAt = store({name.constData(), f.nameLength});
    f.handleLength = static_cast<std::uint8_t>(std::min<std::size_t>(handle.size(), UINT8_MAX));
    f.handleAt = store(handle.substr(0, f.handleLength));
    ++live_;
    if (parent != kNone) {
        f.nextSibling = folders_[parent].firstChild;
        folders_[parent].firstChild = id;
        insert(byPlace_, placeHash(parent, this->name(id)), id);
    }
    if (!handle.empty()) {
        // A handle met again is the folder moved: its newest place.
        if (const Id before = find(handle); before != kNone)
            erase(byHandle_, handleHash(handle), before);
        insert(byHandle_, handleHash(handle), id);
    }
    return id;
}

void WatchedFolders::insert(Index& index, std::size_t hash, Id id)
{
    const std::size_t mask = index.cells.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        if (index.cells[at] == kNone || index.cells[at] == kRemoved) {
            if (index.cells[at] == kNone)
                ++index.used;
            index.cells[at] = id;
            return;
        }
    }
}

void WatchedFolders::erase(Index& index, std::size_t hash, Id id)
{
    const std::size_t mask = index.cells.size() - 1;
    for (std::size_t at = hash & mask; index.cells[at] != kNone; at = (at + 1) & mask) {
        if (index.cells[at] == id) {
            index.cells[at] = kRemoved;
            return;
        }
    }
}

void WatchedFolders::grow()
{
    // At most three cells in four used (removed marks count): else every
    // live folder goes into tables twice the size it needs.
    const std::size_t size = byPlace_.cells.size();
    if (size > 0 && (byPlace_.used + 1) * 4 < size * 3 && (byHandle_.used + 1) * 4 < size * 3)
        return;
    std::size_t wanted = 16;
    while (wanted * 3 <= (live_ + 1) * 8)
        wanted *= 2;
    byHandle_ = {std::vector<Id>(wanted, kNone), 0};
    byPlace_ = {std::vector<Id>(wanted, kNone), 0};
    for (Id id = 0; id < folders_.size(); ++id) {
        const Folder& f = folders_[id];
        if (f.gone)
            continue;
        if (f.parent != kNone)
            insert(byPlace_, placeHash(f.parent, name(id)), id);
        if (f.handleLength > 0)
            insert(byHandle_, handleHash(handle(id)), id);
    }
}

WatchedFolders::Id WatchedFolders::find(std::string_view handle) const
{
    if (handle.empty() || byHandle_.cells.empty())
        return kNone;
    const std::size_t mask = byHandle_.cells.size() - 1;
    for (std::size_t at = handleHash(handle) & mask; byHandle_.cells[at] != kNone; at = (at + 1) & mask) {
        const Id id = byHandle_.cells[at];
        if (id != kRemoved && this->handle(id) == handle)
            return id;
    }
    return kNone;
}

WatchedFolders::Id WatchedFolders::child(Id parent, std::string_view name) const
{
    if (byPlace_.cells.empty())
        return kNone;
    const std::size_t mask = byPlace_.cells.size() - 1;
    for (std::size_t at = placeHash(parent, name) & mask; byPlace_.cells[at] != kNone; at = (at + 1) & mask) {
        const Id id = byPlace_.cells[at];
        if (id != kRemoved && folders_[id].parent == parent && this->name(id) == name)
            return id;
    }
    return kNone;
}

void WatchedFolders::remove(Id id)
{
    if (id != 0 && folders_[id].parent != kNone) {
        // Unlinked from its holder's children.
        Id* link = &folders_[folders_[id].parent].firstChild;
        while (*link != kNone && *link != id)
            link = &folders_[*link].nextSibling;
        if (*link == id)
            *link = folders_[id].nextSibling;
    }
    std::vector<Id> removed;
    forEachBelow(id, [this, &removed](Id f) {
        const Folder& folder = folders_[f];
        if (folder.parent != kNone)
            erase(byPlace_, placeHash(folder.parent, name(f)), f);
        if (folder.handleLength > 0)
            erase(byHandle_, handleHash(handle(f)), f);
        garbage_ += folder.nameLength + folder.handleLength;
        removed.push_back(f);
    });
    // Marked gone only once every folder below was reached through it.
    for (const Id f : removed)
        folders_[f] = Folder {kNone, kNone, kNone, 0, 0, 0, 0, true};
    live_ -= removed.size();
    free_.insert(free_.end(), removed.begin(), removed.end());
    if (garbage_ > 1 << 20 && garbage_ * 2 > bytes_.size())
        compact();
}

void WatchedFolders::compact()
{
    std::string kept;
    kept.reserve(bytes_.size() - garbage_);
    for (Folder& f : folders_) {
        if (f.gone)
            continue;
        const auto nameAt = static_cast<std::uint32_t>(kept.size());
        kept.append(bytes_, f.nameAt, f.nameLength);
        const auto handleAt = static_cast<std::uint32_t>(kept.size());
        kept.append(bytes_, f.handleAt, f.handleLength);
        f.nameAt = nameAt;
        f.handleAt = handleAt;
    }
    bytes_ = std::move(kept);
    garbage_ = 0;
}

std::string_view WatchedFolders::name(Id id) const
{
    return {bytes_.data() + folders_[id].nameAt, folders_[id].nameLength};
}

std::string_view WatchedFolders::handle(Id id) const
{
    return {bytes_.data() + folders_[id].handleAt, folders_[id].handleLength};
}

QByteArray WatchedFolders::rawPath(Id id) const
{
    if (id == 0)
        return rootRaw_;
    std::vector<Id> chain;
    qsizetype length = rootRaw_.size();
    for (Id f = id; f != 0; f = folders_[f].parent) {
        chain.push_back(f);
        length += 1 + folders_[f].nameLength;
    }
    QByteArray path;
    path.reserve(length);
    path = rootRaw_;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!path.endsWith('/'))
            path += '/';
        const std::string_view n = name(*it);
        path.append(n.data(), static_cast<qsizetype>(n.size()));
    }
    return path;
}

int WatchedFolders::depth(Id id) const
{
    int d = 0;
    for (; id != 0 && id != kNone; id = folders_[id].parent)
        ++d;
    return d;
}

} // namespace gw
