#pragma once
// The walk: lists a subtree of the folder tree and reads every folder of it
// with several walker threads, so that a disk that answers many requests at
// once has many to answer, and hands every folder on in tree order
// (pre-order), the same whatever the number of threads.
//
// Walker threads take folders from one list kept in tree order: a folder is
// taken as early in the tree as any that waits, so what is read runs only a
// little ahead of what is handed on, and what waits to be handed on stays
// within a bounded window. Each folder is opened from its parent's
// descriptor, never through a symbolic link, listed, and read
// (WalkHooks::read) on the thread that opened it. The tree itself is changed
// only on the walk's own thread (the caller's), which adds what was listed
// and hands the folders on (WalkHooks::take).

#include "platform/FolderTree.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <sys/stat.h>

namespace gw {

// The walk could not go on: the process ran out of descriptors. Folders
// are never left out silently for want of them.
class FolderWalkError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What a walker thread read of a folder, for the one who asked.
struct FolderReading {
    virtual ~FolderReading() = default;
};

// A folder as a walker thread reaches it.
struct ReachedFolder {
    FolderTree::NodeId id = 0;
    FolderTree::NodeId parent = FolderTree::kNoNode; // none for the top
    // Its own descriptor, not to be closed: opened with O_PATH when it cannot
    // be read or is not entered (the kernel's own file systems, automount
    // points, another file system when the scope keeps to one, the
    // program's own folders met at another place).
    int fd = -1;
    std::string_view name; // raw; the top's is its path
    std::string_view relative; // its raw path below the tree's root, when WalkHooks::relative asks for it
    // Which thread reads it: a walker, 0 .. jobs - 1, or the walk's own
    // thread, jobs (with one job, 0), which walks too on a warm tree.
    int worker = 0;
    // Its other entries, as its listing found them, when WalkHooks::entries
    // asks for them and they were kept (not for a folder listed before the
    // walk, nor one of very many entries): nothing otherwise.
    const FolderEntries* entries = nullptr;
    // Its status, taken from `fd` when it was opened for reading (never
    // with O_PATH); none when not taken.
    const struct stat* status = nullptr;
    // Not gone into by the walk, on purpose (see `fd`): what it holds is no
    // part of the walk, its files no more than its subfolders.
    bool notEntered = false;
};

struct WalkHooks {
    int jobs = 0; // walker threads; 0: defaultWalkJobs(); 1: the calling thread alone
    bool relative = false; // ReachedFolder::relative is wanted
    bool entries = false; // ReachedFolder::entries is wanted
    // On a walker thread (or the walk's own), for each folder reached, in
    // any order, several at once.
    std::function<std::unique_ptr<FolderReading>(const ReachedFolder&)> read;
    // On the calling thread, for each folder reached, in tree order, with
    // what `read` made of it (nothing without `read`). A folder that could not
    // be reached at all (gone, no search permission on the way) is not taken.
    std::function<void(FolderTree::NodeId id, std::unique_ptr<FolderReading> reading)> take;
    // On the calling thread, now and then, with the tree's node count; it may
    // stop the walk (FolderTree::stop).
    std::function<void(int)> progress;
};

// The walker threads that suit this machine: many requests in flight keep a
// disk busy that answers several at once; they cost little when it is warm.
int defaultWalkJobs();

class FolderWalk {
public:
    FolderWalk(FolderTree& tree, const WalkHooks& hooks);
    ~FolderWalk();
    FolderWalk(const FolderWalk&) = delete;
    FolderWalk& operator=(const FolderWalk&) = delete;

    // Walks the subtree of `top`.
    void run(FolderTree::NodeId top);

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace gw
