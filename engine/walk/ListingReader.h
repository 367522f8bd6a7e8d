#pragma once
// Reading the folders' permissions on the walk's threads.
//
// Each folder the walk reaches is read (its permissions, and its files when
// they are asked for) on the walker thread that reached it, from the
// folder's own descriptor; every listing is handed, in tree order, to one
// consumer on the walk's own thread, so it needs no locking of its own and
// its results never depend on the timing.

#include "platform/AclListing.h"
#include "platform/FolderFiles.h"
#include "platform/FolderTree.h"
#include "platform/FolderWalk.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace gw {

// One folder's permissions, read from a descriptor of its own. Listings are
// filled again for other folders (ListingPool): a field added here is
// emptied there too.
struct Listing : FolderReading {
    FolderTree::NodeId id = 0;
    FolderTree::NodeId parent = FolderTree::kNoNode;
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

class ListingPool;

class ListingReader {
public:
    using Take = std::function<void(Listing&)>;

    // Reads with `jobs` walker threads (0: as many as suit the machine).
    ListingReader(int jobs, Take take, FileCheck fileCheck = {});
    ~ListingReader();
    ListingReader(const ListingReader&) = delete;
    ListingReader& operator=(const ListingReader&) = delete;

    // The walk's hooks that read each folder and hand its listing on; the
    // progress is the caller's to add.
    WalkHooks hooks();

    int completed() const; // listings read so far

private:
    std::unique_ptr<FolderReading> read(const ReachedFolder& folder);
    void readFiles(Listing& l, int fd, std::string_view relative, const FolderEntries* entries,
                   std::optional<bool> namesListAcls, bool notEntered) const;

    Take take_;
    FileCheck fileCheck_;
    int jobs_;
    // What each reading thread (ReachedFolder::worker) keeps for itself, on
    // cache lines of its own: threads that wrote beside each other would
    // take the lines from each other for every folder.
    struct alignas(64) Room {
        PrincipalNames names;
        AttributeListTrust trust;
        // The listing text this thread wrote last, with the permissions it
        // shows: the next folder that carries the same (most do, as they
        // inherit them) takes the text as it is.
        Permissions permissions;
        std::string entries;
        bool valid = false;
        std::atomic<int> completed {0}; // listings read
    };
    std::vector<Room> rooms_;
    std::unique_ptr<ListingPool> pool_; // listings handed on, to be filled again
};

} // namespace gw
