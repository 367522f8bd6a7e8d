#pragma once
// Listings handed on go back to the walker threads to be filled again: their
// strings and lists keep their room, so that reading a folder costs no
// allocation once the walk is under way. A walker takes listings from a
// batch of its own, the consumer gives them back in batches: the lock
// between them is taken once for many folders.

#include "engine/walk/ListingReader.h"

#include <memory>
#include <mutex>
#include <vector>

namespace gw {

class ListingPool {
public:
    explicit ListingPool(int workers);

    // An empty listing, for walker thread `worker` (0 .. workers - 1).
    std::unique_ptr<Listing> take(int worker);
    // A listing handed on and done with; on the consumer's thread only.
    void giveBack(std::unique_ptr<Listing> listing);

private:
    std::mutex mutex_;
    std::vector<std::unique_ptr<Listing>> shared_; // guarded by mutex_
    // Each walker's, on a cache line of its own.
    struct alignas(64) Own {
        std::vector<std::unique_ptr<Listing>> listings;
    };
    std::vector<Own> own_;
    std::vector<std::unique_ptr<Listing>> returned_; // the consumer's
};

} // namespace gw
