#pragma once
// Reading the folders' permissions while the walk goes on.
//
// The walk adds each folder it reaches, with a descriptor of the folder's own
// and its printable name; the reader reads the folder's permissions (on worker
// threads, or at once on the walk's thread) and hands every listing, in the
// order the folders were added, to one consumer. The consumer runs on one
// thread at a time, so it needs no locking of its own, and its results never
// depend on the timing.

#include "platform/AclListing.h"
#include "platform/FolderFiles.h"
#include "platform/FolderTree.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace gw {

// One folder's permissions, read from a descriptor of its own.
struct Listing {
    FolderTree::NodeId id = 0;
    FolderTree::NodeId parent = FolderTree::kNoNode;
    int fd = -1; // closed once read
    std::string name; // the folder's printable name (the root's: its printable path)
    std::string relative; // its raw path relative to the checked folder, when files are matched by path
    bool read = false; // false when the permissions could not be read
    std::string reason; // why not, in words (English), when they were not read; empty when not known
    std::string entries; // the listing without its path: " user ...\n    ...\n\n"
    Permissions permissions; // the same, as entries; when read
    FolderFiles files; // its files, when they are asked for
};

// What is asked of each folder's files: nothing, or that they be read
// (within `scope`) and compared with what their folder gives a new file,
// their own folder (`inheritance`) or `top`; only those that differ, or
// every one with `keepAll`, are handed on with their folder.
struct FileCheck {
    bool files = false;
    FileScope scope;
    bool inheritance = false;
    std::optional<Permissions> top; // the checked folder's, when read
    std::optional<std::uint32_t> umask;
    bool compareGroup = true; // false with --ignore group
    bool keepAll = false;
};

class ListingReader {
public:
    using Take = std::function<void(Listing&)>;

    // With no workers, each listing is read and taken when it is added.
    ListingReader(int workers, Take take, FileCheck fileCheck = {});
    ~ListingReader(); // finishes
    ListingReader(const ListingReader&) = delete;
    ListingReader& operator=(const ListingReader&) = delete;

    // Takes over `fd`, a descriptor of the folder's own (or -1: not read).
    void add(FolderTree::NodeId id, FolderTree::NodeId parent, int fd, std::string name, std::string relative = {});

    // Waits until every listing was read and taken; `waiting`, when given, is
    // called now and then meanwhile.
    void finish(const std::function<void()>& waiting = {});

    int completed() const { return completed_.load(); } // listings read so far

private:
    struct Batch {
        std::vector<Listing> listings;
        bool done = false; // read; guarded by mutex_
    };
    void handOverBatch();
    void read(Listing& l, PrincipalNames& names);
    void readFiles(Listing& l) const;
    void work();
    void takeReady();

    Take take_;
    FileCheck fileCheck_;
    std::vector<std::thread> workers_;
    std::unique_ptr<Batch> current_; // being filled by the walk
    std::mutex mutex_; // guards what follows
    std::condition_variable wake_, room_, taken_;
    std::deque<std::shared_ptr<Batch>> order_; // handed over, not yet taken, in the order added
    std::deque<std::shared_ptr<Batch>> queue_; // handed over, not yet being read
    std::size_t added_ = 0, takenCount_ = 0;
    bool done_ = false;
    std::mutex takeMutex_; // one consumer at a time, in order
    std::atomic<int> completed_ {0};
    PrincipalNames names_; // for reading on the walk's thread
};

} // namespace gw
