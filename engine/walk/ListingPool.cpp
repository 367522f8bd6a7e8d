#include "engine/walk/ListingPool.h"

namespace gw {

namespace {

// Listings moved at once between a thread and the pool.
constexpr std::size_t kBatch = 32;
// Listings the pool keeps at most: more than the walk holds at once (up to
// some 2,048 read ahead of the hand-over, and each walker's batch) is memory
// only, fewer is an allocation for every folder whenever the walk runs
// further ahead again.
constexpr std::size_t kKept = 4096;

// A listing that took much room (a folder of many files, or of a long ACL)
// is let go of rather than kept.
bool worthKeeping(const Listing& l)
{
    return l.entries.capacity() <= 4096 && l.files.files.capacity() <= 64 && l.permissions.access.capacity() <= 64
        && l.permissions.defaults.capacity() <= 64;
}

// Empties `l`, keeping the room of its strings and lists.
void empty(Listing& l)
{
    l.id = 0;
    l.parent = FolderTree::kNoNode;
    l.name.clear();
    l.relative.clear();
    l.read = false;
    l.reason.clear();
    l.entries.clear();
    Permissions& p = l.permissions;
    p.owner = p.group = p.mode = 0;
    p.access.clear();
    p.defaults.clear();
    p.otherModels.clear();
    std::vector<FileListing> files = std::move(l.files.files);
    files.clear();
    l.files = FolderFiles();
    l.files.files = std::move(files);
}

} // namespace

ListingPool::ListingPool(int workers)
    : own_(static_cast<std::size_t>(workers > 0 ? workers : 1))
{
}

std::unique_ptr<Listing> ListingPool::take(int worker)
{
    std::vector<std::unique_ptr<Listing>>& own = own_[static_cast<std::size_t>(worker)].listings;
    if (own.empty()) {
        std::lock_guard lock(mutex_);
        const std::size_t n = std::min(kBatch, shared_.size());
        own.insert(own.end(), std::make_move_iterator(shared_.end() - static_cast<std::ptrdiff_t>(n)),
                   std::make_move_iterator(shared_.end()));
        shared_.resize(shared_.size() - n);
    }
    if (own.empty())
        return std::make_unique<Listing>();
    std::unique_ptr<Listing> l = std::move(own.back());
    own.pop_back();
    return l;
}

void ListingPool::giveBack(std::unique_ptr<Listing> listing)
{
    if (!worthKeeping(*listing))
        return;
    empty(*listing);
    returned_.push_back(std::move(listing));
    if (returned_.size() < kBatch)
        return;
    {
        std::lock_guard lock(mutex_);
        if (shared_.size() < kKept) // else the pool is full: these go
            shared_.insert(shared_.end(), std::make_move_iterator(returned_.begin()),
                           std::make_move_iterator(returned_.end()));
    }
    returned_.clear();
}

} // namespace gw
