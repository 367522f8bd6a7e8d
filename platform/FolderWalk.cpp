#include "platform/FolderWalk.h"

#include "platform/AutomountHolders.h"
#include "platform/DirectoryOpen.h"
#include "platform/PrintableText.h"
#include "platform/StorageReads.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <dirent.h>
#include <exception>
#include <fcntl.h>
#include <list>
#include <mutex>
#include <optional>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace gw {

int defaultWalkJobs()
{
    // Measured on a cold tree: the disk's answers come faster up to some
    // dozens of requests in flight, and a warm walk loses nothing by them.
    return 16;
}

namespace {

using NodeId = FolderTree::NodeId;

// Folders taken by walker threads and not yet handed on: what runs ahead of
// the hand-over, and so the readings held, stays within this.
constexpr std::size_t kWindow = 2048;
// Descriptors kept for folders whose subfolders wait, at most; beyond the
// budget (less where the limit of open files is low) the ones latest in the
// tree are closed, and opened again when their turn comes.
constexpr int kMaxHeld = 256;
// Descriptors left for what the rest of the program opens while the walk
// goes on (beyond what it has open when the walk begins), and those each
// walker holds at once at most (its parent's, a copy while it opens one
// again, the folder's, the user database while it names an owner).
constexpr long kReserved = 16;
constexpr long kPerWalker = 4;

// The descriptors this process has open now.
long openDescriptors()
{
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir)
        return 32; // no /proc: a guess
    long count = -1; // the one reading it
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.')
            ++count;
    }
    ::closedir(dir);
    return count;
}

bool outOfDescriptors(int error)
{
    return error == EMFILE || error == ENFILE;
}

// The walk cannot go on without descriptors: never a folder not reached,
// which would make the count of folders silently smaller.
[[noreturn]] void throwOutOfDescriptors(int error)
{
    const char* text = ::strerrordesc_np(error);
    throw FolderWalkError(std::string("cannot walk the tree: ") + (text ? text : "out of descriptors")
                          + " (raise the limit of open files, ulimit -n)");
}

// Walkers at work on a warm tree, for each processor the process may run on:
// a few, so that one waiting for the kernel leaves the processor to another,
// and no more, as they would only take turns.
constexpr int kWarmWalkersPerProcessor = 4;

// The processors this process may run on.
int processorsAvailable()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0)
        return CPU_COUNT(&set);
    return static_cast<int>(std::thread::hardware_concurrency());
}

// Folders a walker takes at once, when there are many waiting or the tree
// is warm.
constexpr std::size_t kTakeAtOnce = 4;

// A folder whose subfolders wait to be walked, and its descriptor.
struct Holder {
    // Guards opening, closing and giving back `fd`; a walker that finds it
    // open takes it without the lock (see State::acquire).
    std::mutex mutex;
    std::atomic<int> fd {-1};
    // Subfolders not yet walked from it: at none, the descriptor is closed
    // (the holder stays while folders below it need its name).
    std::atomic<std::uint32_t> waiting {0};
    // Itself while subfolders wait (from waitFor() until the last is
    // walked): the walkers that walk them point to it without counting.
    std::shared_ptr<Holder> self;
    FolderIdentity identity {};
    std::shared_ptr<Holder> parent; // none for the top
    std::string name; // raw; the top's: its path
    std::string relative; // raw path below the tree's root, when wanted
    std::atomic<int>* held = nullptr; // the walk's count of open descriptors
    // Its `count` subfolders wait to be opened from it.
    static void waitFor(const std::shared_ptr<Holder>& h, std::uint32_t count)
    {
        h->waiting.store(count);
        h->self = h;
    }
    ~Holder()
    {
        if (fd.load() >= 0) {
            ::close(fd.load());
            held->fetch_sub(1);
        }
        // The folders above that go with it go one after the other, not
        // each within the last: a chain of 20,000 would take 20,000 frames
        // of whichever thread let the deepest go. Held by none but this
        // one, a parent cannot be taken by another thread meanwhile.
        std::shared_ptr<Holder> up = std::move(parent);
        while (up && up.use_count() == 1) {
            std::shared_ptr<Holder> next = std::move(up->parent);
            up.reset();
            up = std::move(next);
        }
    }
};

// One element of the list in tree order: a folder taken by a walker thread
// and not yet back (where its subfolders will go), or subfolders waiting.
struct Pending {
    bool placeholder = false;
    NodeId parent = FolderTree::kNoNode; // of the subfolders
    NodeId first = 0; // the placeholder's folder, or the first subfolder
    std::uint32_t count = 0; // subfolders
    std::uint32_t next = 0; // the next to take
    std::uint32_t level = 0; // the subfolders'
    std::shared_ptr<Holder> holder; // their parent
    // Their names: the walker's listing of the parent (shared with the
    // hand-over, which puts them in the tree), or, for subfolders listed
    // before the walk, `names` and `offsets`.
    std::shared_ptr<const FolderTree::ListedFolder> listing;
    std::string names; // raw, NUL-terminated, in tree order
    std::vector<std::size_t> offsets;
    // For subfolders listed before the walk: 1 listed, 2 listed without
    // subfolders; empty when none was.
    std::vector<std::uint8_t> known;

    const char* nameAt(std::uint32_t k) const
    {
        return listing ? listing->names.data() + listing->offsets[k] : names.data() + offsets[k];
    }
};

struct Task {
    NodeId id = 0;
    NodeId parent = FolderTree::kNoNode;
    Holder* holder = nullptr; // kept while its subfolders wait (Holder::self)
    std::string name;
    std::uint32_t level = 0;
    std::uint8_t known = 0;
    std::list<Pending>::iterator placeholder;
};

// What a walker thread made of a folder.
struct Done {
    NodeId id = 0;
    NodeId parent = FolderTree::kNoNode;
    enum class Outcome : std::uint8_t {
        NotReached, // gone, not a folder, or no search permission on the way
        ParentLost, // its parent could not be opened again as the walk saw it
        Skipped, // listed before, without subfolders, and nothing to read
        Stopped, // the walk was stopped while it was listed
        Reached
    } outcome = Outcome::NotReached;
    bool unlisted = false; // reached, but its subfolders could not be listed
    bool notEntered = false; // reached and read, never entered
    bool listedNow = false; // `listed` (or `shared`) is its listing
    FolderTree::ListedFolder listed;
    // Its listing, once its subfolders wait to be walked: shared with them.
    std::shared_ptr<const FolderTree::ListedFolder> shared;
    NodeId first = 0; // its subfolders' numbers, from here on
    std::uint32_t level = 0; // theirs
    std::optional<Pending> range; // its subfolders, to be walked, where its placeholder stands
    bool placed = false; // the range took the placeholder's place
    bool unplaced = false; // the placeholder is gone, nothing took its place
    std::shared_ptr<Holder> self; // its descriptor, when it is walked into
    std::unique_ptr<FolderReading> reading;
    std::list<Pending>::iterator placeholder;
};

// What the walk's thread keeps of a folder until its turn to be handed on.
struct Result {
    bool reached = false;
    bool walkedInto = false; // its subfolders were handed to the walkers
    std::unique_ptr<FolderReading> reading;
};

// What came back of folders not yet handed on, by their numbers: a table
// of open addressing whose room is kept, so that no folder costs an
// allocation. It holds about the window's folders.
class Results {
public:
    void put(NodeId id, Result r)
    {
        if ((count_ + 1) * 2 > slots_.size())
            grow();
        std::size_t at = home(id);
        while (slots_[at].id != FolderTree::kNoNode)
            at = (at + 1) & mask();
        slots_[at].id = id;
        slots_[at].result = std::move(r);
        ++count_;
    }
    // Takes the result of `id` out into `r`; false when none came back.
    bool take(NodeId id, Result& r)
    {
        if (slots_.empty())
            return false;
        std::size_t at = home(id);
        while (slots_[at].id != id) {
            if (slots_[at].id == FolderTree::kNoNode)
                return false;
            at = (at + 1) & mask();
        }
        r = std::move(slots_[at].result);
        // Those after it that would not be found past the gap move into it.
        for (std::size_t next = (at + 1) & mask(); slots_[next].id != FolderTree::kNoNode; next = (next + 1) & mask()) {
            const std::size_t wanted = home(slots_[next].id);
            if (((next - wanted) & mask()) >= ((next - at) & mask())) {
                slots_[at] = std::move(slots_[next]);
                at = next;
            }
        }
        slots_[at].id = FolderTree::kNoNode;
        slots_[at].result = Result();
        --count_;
        return true;
    }

private:
    struct Slot {
        NodeId id = FolderTree::kNoNode;
        Result result;
    };
    std::size_t mask() const { return slots_.size() - 1; }
    std::size_t home(NodeId id) const { return (std::size_t(id) * 0x9E3779B97F4A7C15ull >> 20) & mask(); }
    void grow()
    {
        std::vector<Slot> old(std::max<std::size_t>(1024, slots_.size() * 2));
        old.swap(slots_);
        count_ = 0;
        for (Slot& slot : old)
            if (slot.id != FolderTree::kNoNode)
                put(slot.id, std::move(slot.result));
    }
    std::vector<Slot> slots_; // a power of two of them, at most half full
    std::size_t count_ = 0;
};

void closeFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

bool sameFolder(int fd, FolderIdentity identity)
{
    struct stat st { };
    return ::fstat(fd, &st) == 0 && FolderIdentity {st.st_dev, st.st_ino} == identity;
}

} // namespace

struct FolderWalk::State {
    FolderTree& tree;
    WalkHooks hooks;
    int jobs = 1;
    int maxHeld = kMaxHeld;
    bool wantRelative = false;
    AutomountHolders automounts; // read when the walk begins

    // What follows changes with every folder: on cache lines apart from what
    // the walkers only read (above), and from each other where it is not
    // changed under the same lock.
    alignas(64) std::mutex mutex; // guards what follows
    std::condition_variable workReady, doneReady;
    // Walkers beyond `warmWalkers` wait here while the walk reads from
    // memory: on a warm tree more walkers than processors only take turns.
    std::condition_variable unparked;
    int warmWalkers = 1;
    std::list<Pending> pending; // in tree order
    // Elements of `pending` done with, kept for the next ones: a list's
    // element is taken from here rather than allocated for every folder.
    std::list<Pending> spare;
    std::list<Pending>::iterator first; // see firstWaiting()
    bool firstKnown = false;
    std::vector<Done> done; // back from the walkers, not yet added to the tree
    std::vector<Done> batch; // the walk's thread's: what `done` held last, its room kept
    std::size_t outstanding = 0; // taken by walkers, not yet handed on
    NodeId needed = FolderTree::kNoNode; // the folder the hand-over waits for
    int sleeping = 0; // walkers waiting for work
    // Set while the walk reads from the disk, not from memory: the walk's
    // thread looks every few milliseconds.
    alignas(64) std::atomic<bool> fromDisk {false};
    bool finished = false; // guarded by the mutex
    std::exception_ptr failure; // the same

    alignas(64) std::atomic<int> held {0};
    // The holder whose descriptor each reading thread uses now, if any:
    // walkers 0 .. jobs - 1, and the walk's own thread, jobs.
    struct alignas(64) InUse {
        std::atomic<Holder*> holder {nullptr};
    };
    std::vector<InUse> inUse;
    alignas(64) std::atomic<NodeId> nextId {0}; // numbers for the subfolders walkers find
    alignas(64) Results results; // the walk's thread only
    std::vector<std::thread> walkers;

    State(FolderTree& t, const WalkHooks& h)
        : tree(t)
        , hooks(h)
    {
    }
    ~State()
    {
        // A walk stopped, or failed, leaves subfolders waiting: their
        // holders go with the list, their descriptors closed.
        for (Pending& p : pending)
            if (p.holder)
                p.holder->self.reset();
    }

    void stopWalkers()
    {
        {
            std::lock_guard lock(mutex);
            finished = true;
        }
        workReady.notify_all();
        unparked.notify_all();
        for (std::thread& t : walkers)
            t.join();
        walkers.clear();
    }

    // Puts `p` into the list before `at` (the mutex held).
    std::list<Pending>::iterator place(std::list<Pending>::iterator at, Pending&& p)
    {
        if (spare.empty())
            return pending.insert(at, std::move(p));
        pending.splice(at, spare, spare.begin());
        const auto it = std::prev(at);
        *it = std::move(p);
        return it;
    }
    // Takes `it` out of the list (the mutex held); what it held goes now.
    void drop(std::list<Pending>::iterator it)
    {
        *it = Pending();
        spare.splice(spare.begin(), pending, it);
    }

    // The first subfolders that wait, in tree order (the mutex held), or
    // the list's end. Known from one folder to the next: the folders taken
    // stand before them, and are passed over once, not every time. Looked
    // for again when subfolders come in where a folder stood, which may be
    // before them.
    std::list<Pending>::iterator firstWaiting()
    {
        if (!firstKnown) {
            first = pending.begin();
            while (first != pending.end() && first->placeholder)
                ++first;
            firstKnown = true;
        }
        return first;
    }

    // True when the first subfolders waiting are many more than the walkers.
    bool manyWaiting()
    {
        const auto p = firstWaiting();
        return p != pending.end() && outstanding < kWindow
            && p->count - p->next > static_cast<std::uint32_t>(jobs) * kTakeAtOnce;
    }

    // True when the first folders waiting are siblings of `task` (the mutex
    // held).
    bool siblingsWait(const Task& task)
    {
        const auto p = firstWaiting();
        return p != pending.end() && p->holder.get() == task.holder;
    }

    // The first folder in tree order that waits to be taken, if it may be
    // taken now: within the window, or the one the hand-over waits for.
    bool takeNext(Task& task)
    {
        const auto it = firstWaiting();
        if (it == pending.end())
            return false;
        Pending& range = *it;
        const NodeId id = range.first + range.next;
        if (outstanding >= kWindow && id != needed)
            return false;
        task.id = id;
        task.parent = range.parent;
        task.holder = range.holder.get();
        task.name.assign(range.nameAt(range.next));
        task.level = range.level;
        task.known = range.known.empty() ? 0 : range.known[range.next];
        Pending mark;
        mark.placeholder = true;
        mark.first = id;
        task.placeholder = place(it, std::move(mark));
        if (++range.next == range.count) {
            // The next that wait come after these.
            first = std::next(it);
            drop(it);
            while (first != pending.end() && first->placeholder)
                ++first;
        }
        ++outstanding;
        return true;
    }

    // The parent's descriptor, opened again when it was closed; -1 when it
    // is no longer the folder the walk saw.
    // `worker` is the reading thread's number (ReachedFolder::worker).
    int acquire(Holder& h, int worker)
    {
        // Mostly it is open: marked as in use by this thread, then found
        // open, it stays open until released, as one who closes it looks at
        // the marks again once it took it away (closeUnused). Each thread
        // marks on a line of its own: siblings on many walkers would
        // otherwise queue for one lock, or one counter, every folder.
        std::atomic<Holder*>& mark = inUse[static_cast<std::size_t>(worker)].holder;
        mark.store(&h);
        if (const int fd = h.fd.load(); fd >= 0)
            return fd;
        mark.store(nullptr);
        std::lock_guard lock(h.mutex);
        if (h.fd.load() < 0) {
            int error = 0;
            const int fd = reopen(h, error);
            if (outOfDescriptors(error))
                throwOutOfDescriptors(error);
            if (fd < 0)
                return -1;
            h.fd.store(fd);
            held.fetch_add(1);
        }
        mark.store(&h); // no one closes it while the lock is held
        return h.fd.load();
    }
    void release(int worker) { inUse[static_cast<std::size_t>(worker)].holder.store(nullptr); }
    bool inUseBy(const Holder& h) const
    {
        return std::any_of(inUse.begin(), inUse.end(), [&h](const InUse& u) { return u.holder.load() == &h; });
    }
    // Closes `h`'s descriptor (h.mutex held) unless a walker uses it, or
    // took it while it was taken away: then it is given back.
    void closeUnused(Holder& h)
    {
        if (inUseBy(h))
            return;
        const int fd = h.fd.exchange(-1);
        if (fd < 0)
            return;
        if (inUseBy(h)) {
            h.fd.store(fd);
            return;
        }
        ::close(fd);
        held.fetch_sub(1);
    }
    // One subfolder of `h` was walked, or given up. Once the last is, its
    // descriptor goes; if its parent's was closed while subfolders of the
    // parent still wait, the parent is opened again from here by "..", in
    // one step (the walk comes back up a deep tree level by level), when
    // the budget has room for it.
    void openedOne(Holder& h)
    {
        if (h.waiting.fetch_sub(1) != 1)
            return;
        // No walker points to it any more: it may go, once unlocked.
        const std::shared_ptr<Holder> last = std::move(h.self);
        std::lock_guard lock(h.mutex);
        if (h.fd.load() < 0)
            return;
        if (Holder* up = h.parent.get(); up && up->waiting.load() > 0 && held.load() < maxHeld) {
            std::lock_guard parentLock(up->mutex);
            if (up->fd.load() < 0) {
                const int fd = ::openat(h.fd.load(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                if (fd >= 0 && sameFolder(fd, up->identity)) {
                    up->fd.store(fd);
                    held.fetch_add(1);
                } else if (fd >= 0) {
                    ::close(fd); // moved meanwhile: opened again from above when needed
                }
            }
        }
        // Every subfolder was walked, its descriptor given back: no walker uses it.
        ::close(h.fd.exchange(-1));
        held.fetch_sub(1);
    }

    // Opens `h`'s folder again the way the walk first reached it: below the
    // nearest folder still open (or the top, by its path), never through a
    // symbolic link. Called with h.mutex held; `error` is
    // the errno value of a step that failed.
    int reopen(Holder& h, int& error)
    {
        std::vector<const Holder*> chain {&h};
        Holder* from = nullptr;
        int fd = -1;
        for (Holder* up = h.parent.get(); up; up = up->parent.get()) {
            std::lock_guard lock(up->mutex);
            if (up->fd.load() >= 0) {
                fd = ::fcntl(up->fd.load(), F_DUPFD_CLOEXEC, 0);
                if (fd < 0)
                    error = errno;
                from = up;
                break;
            }
            chain.push_back(up);
        }
        if (!from) { // from the top, by its path as given
            const Holder* top = chain.back();
            chain.pop_back();
            bool listable = true;
            fd = openDirectoryForPermissions(top->name, listable);
            if (fd < 0)
                error = errno;
            if (fd >= 0 && !sameFolder(fd, top->identity))
                closeFd(fd);
        }
        // The names below, as one path: the kernel walks it in one call,
        // or a few for a path longer than it takes at once.
        std::string below;
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            if (!below.empty())
                below += '/';
            below += (*it)->name;
        }
        if (fd >= 0 && !below.empty()) {
            const int next = openDirectoryBelow(fd, below, O_RDONLY | O_NOFOLLOW);
            if (next < 0)
                error = errno;
            closeFd(fd);
            fd = next;
        }
        if (fd >= 0 && !sameFolder(fd, h.identity))
            closeFd(fd);
        return fd;
    }

    // Closes the descriptors of the folders latest in the tree whose
    // subfolders wait, while more are open than the budget allows, and a
    // quarter more, so that this is seldom done.
    void keepWithinBudget()
    {
        std::lock_guard lock(mutex);
        for (auto it = pending.rbegin(); it != pending.rend() && held.load() > maxHeld * 3 / 4; ++it) {
            if (it->placeholder || !it->holder)
                continue;
            Holder& h = *it->holder;
            std::lock_guard hold(h.mutex);
            closeUnused(h);
        }
    }

    std::shared_ptr<Holder> holderFor(int fd, FolderIdentity identity, std::shared_ptr<Holder> parent, std::string name,
                                      std::string relative)
    {
        auto h = std::make_shared<Holder>();
        h->fd.store(fd);
        h->identity = identity;
        h->held = &held;
        // Walkers go down a deep tree on their own: the budget is kept here.
        if (held.fetch_add(1) >= maxHeld)
            keepWithinBudget();
        h->relative = std::move(relative);
        h->parent = std::move(parent);
        h->name = std::move(name);
        return h;
    }

    // Where a listing keeps a folder's other entries, when they are asked
    // for: `others`, a walker's room kept from one folder to the next.
    FolderEntries* keptIn(FolderEntries& others) const { return hooks.entries ? &others : nullptr; }

    // What the walk's user reads of `folder`, with the other entries its
    // listing kept in `others`.
    std::unique_ptr<FolderReading> read(ReachedFolder folder, const FolderTree::ListedFolder& listed,
                                        FolderEntries& others) const
    {
        if (!hooks.read)
            return nullptr;
        if (listed.othersKept)
            folder.entries = &others;
        std::unique_ptr<FolderReading> reading = hooks.read(folder);
        if (others.entries.capacity() > 4096) // a wide folder's room is not kept
            others = FolderEntries();
        return reading;
    }

    // True when a folder waits that a walker may take now (the mutex held).
    bool canTake()
    {
        const auto p = firstWaiting();
        return p != pending.end() && (outstanding < kWindow || p->first + p->next == needed);
    }

    // Wakes one sleeping walker when there is work it may take, the mutex
    // held or not (`sleeping` is only a hint). Each walker woken wakes the
    // next while work is left: on a cold tree, where walkers wait for the
    // disk, all of them are soon at work; on a warm one those already
    // awake take the work, and no more are woken only to find none.
    void wakeOne(bool work)
    {
        if (work)
            workReady.notify_one();
    }

    // Reaches, lists and reads one folder, on a walker thread (or, with one
    // job, on the walk's own).
    Done walkOne(Task& task, int worker, std::vector<char>& buffer, FolderEntries& others, const SiblingOrder& order,
                 const std::function<void()>& pulse)
    {
        Done d;
        d.id = task.id;
        d.parent = task.parent;
        d.level = task.level + 1;
        d.placeholder = task.placeholder;
        Holder& parent = *task.holder;
        // The parent stays while this one is walked, whatever happens.
        struct Opened {
            State& state;
            Holder& parent;
            ~Opened() { state.openedOne(parent); }
        } opened_ {*this, parent};
        if (task.known == 2 && !hooks.read) {
            d.outcome = Done::Outcome::Skipped;
            return d;
        }
        const int parentFd = acquire(parent, worker);
        if (parentFd < 0) {
            d.outcome = Done::Outcome::ParentLost;
            return d;
        }
        ChildDirectory opened = openChildDirectory(parentFd, task.name.c_str(), parent.identity.device,
                                                   automounts.mayHold(parent.identity));
        release(worker);
        if (opened.result == ChildOpen::Failed && outOfDescriptors(opened.error))
            throwOutOfDescriptors(opened.error);
        const FolderIdentity identity {opened.device, opened.inode};
        bool enter = false;
        if (opened.fd >= 0 && tree.isExcluded(identity)) {
            // An excluded folder met at another place than in its holder (a
            // bind mount of it): what stands here is compared, not entered.
            d.notEntered = true;
        } else {
            switch (opened.result) {
            case ChildOpen::Opened:
                if (tree.scope_.oneFileSystem && opened.device != parent.identity.device)
                    d.notEntered = true; // another file system: its mount point is checked, not entered
                else
                    enter = true;
                break;
            case ChildOpen::Unlistable: d.unlisted = true; break;
            case ChildOpen::Skipped: d.notEntered = true; break;
            case ChildOpen::NotAFolder:
            case ChildOpen::Failed: return d; // not reached: nothing below it can be missing
            }
        }
        d.outcome = Done::Outcome::Reached;
        std::string relative;
        if (wantRelative)
            relative = parent.relative.empty() ? task.name : parent.relative + '/' + task.name;
        if (enter && task.known == 0) {
            d.listedNow = true;
            if (!tree.beyondDepth(task.level))
                d.listed = tree.listFolder(opened.fd, identity, relative, buffer, order, tree.stopRequested_, pulse,
                                           keptIn(others));
            if (d.listed.stopped) {
                ::close(opened.fd);
                d.outcome = Done::Outcome::Stopped;
                return d;
            }
        }
        d.reading = read({task.id, task.parent, opened.fd, task.name, relative, worker, nullptr,
                          opened.stated ? &opened.status : nullptr, d.notEntered},
                         d.listed, others);
        const bool subfolders = enter && (task.known == 1 || !d.listed.offsets.empty());
        if (subfolders)
            d.self = holderFor(opened.fd, identity, parent.self, std::move(task.name), std::move(relative));
        else
            ::close(opened.fd);
        if (subfolders && task.known == 0) {
            // Numbered here, so that they wait in the list at once; the
            // walk's thread puts them in the tree under the same numbers.
            const auto count = static_cast<std::uint32_t>(d.listed.offsets.size());
            d.first = nextId.fetch_add(count);
            Pending& range = d.range.emplace();
            range.parent = d.id;
            range.first = d.first;
            range.count = count;
            range.level = d.level;
            d.shared = std::make_shared<const FolderTree::ListedFolder>(std::move(d.listed));
            range.listing = d.shared;
            range.holder = d.self;
            Holder::waitFor(range.holder, count);
        }
        return d;
    }

    // Hands what a walker made of a folder to the walk's thread; its
    // subfolders take its place in the list at once.
    void publish(Done&& d)
    {
        Wake wake;
        {
            std::lock_guard lock(mutex);
            wake = place(std::move(d));
        }
        wake.now(*this);
    }
    // Whom a folder back from a walker wakes.
    struct Wake {
        bool walk = false; // the walk's thread
        bool walker = false; // a sleeping walker
        void now(State& s) const
        {
            if (walk)
                s.doneReady.notify_one();
            s.wakeOne(walker);
        }
    };
    // publish(), the mutex held; the caller wakes whom it says.
    Wake place(Done&& d)
    {
        std::uint32_t fresh = 0;
        if (d.range) {
            fresh = d.range->count;
            *d.placeholder = std::move(*d.range); // where the folder stood
            firstKnown = false;
            d.range.reset();
            d.placed = true;
        } else if (!d.self) { // nothing to walk below it
            drop(d.placeholder);
            d.unplaced = true;
        }
        Wake wake;
        // The walk's thread is woken for the folder it waits for, or for
        // a good number of them (it looks every few milliseconds anyway).
        wake.walk = d.id == needed || done.size() >= 32;
        done.push_back(std::move(d));
        wake.walker = fresh > 1 && sleeping > 0; // this one takes a folder itself
        return wake;
    }

    void work(int worker)
    {
        std::vector<char> buffer(FolderTree::kDirentBuffer);
        FolderEntries others;
        const SiblingOrder order;
        try {
            std::vector<Task> tasks;
            // The last folder walked, on a warm tree handed back under the
            // lock that takes the next: the lock is taken once a folder.
            std::optional<Done> last;
            for (;;) {
                tasks.clear();
                bool more = false;
                Wake wake;
                {
                    std::unique_lock lock(mutex);
                    if (last) {
                        wake = place(std::move(*last));
                        last.reset();
                    }
                    Task task;
                    // Whom the folder handed back wakes, before this one waits.
                    const auto beforeWaiting = [&] {
                        wake.now(*this);
                        wake = Wake();
                    };
                    for (;;) {
                        if (finished)
                            break;
                        if (worker >= warmWalkers && !fromDisk.load(std::memory_order_relaxed)) {
                            // Woken for work it may not take now: the
                            // wake-up goes on to a walker that may.
                            if (sleeping > 0 && canTake())
                                workReady.notify_one();
                            beforeWaiting();
                            unparked.wait(lock);
                            continue;
                        }
                        if (takeNext(task))
                            break;
                        beforeWaiting();
                        ++sleeping;
                        workReady.wait(lock);
                        --sleeping;
                    }
                    if (finished) {
                        beforeWaiting();
                        return;
                    }
                    tasks.push_back(std::move(task));
                    // Several siblings at once where there are many more
                    // than walkers, and on a warm tree: the list is locked
                    // less often, and fewer walkers share a parent.
                    const bool warm = !fromDisk.load(std::memory_order_relaxed);
                    while (tasks.size() < kTakeAtOnce && (manyWaiting() || (warm && siblingsWait(tasks.back())))
                           && takeNext(task))
                        tasks.push_back(std::move(task));
                    more = sleeping > 0 && canTake();
                }
                wake.now(*this);
                wakeOne(more);
                for (Task& task : tasks) {
                    Done d = walkOne(task, worker, buffer, others, order, {});
                    if (&task == &tasks.back() && !fromDisk.load(std::memory_order_relaxed))
                        last.emplace(std::move(d));
                    else
                        publish(std::move(d));
                }
            }
        } catch (...) {
            std::lock_guard lock(mutex);
            if (!failure)
                failure = std::current_exception();
            finished = true;
            doneReady.notify_one();
        }
    }

    // The subfolders of `id`, waiting to be walked below `holder`.
    Pending rangeOf(NodeId id, std::shared_ptr<Holder> holder, FolderTree::ListedFolder* listed)
    {
        Pending range;
        range.parent = id;
        range.first = tree.nodes_[id].firstChild;
        range.count = tree.nodes_[id].childCount;
        range.level = tree.nodes_[id].level + 1;
        range.holder = std::move(holder);
        Holder::waitFor(range.holder, range.count);
        if (listed) {
            range.names = std::move(listed->names);
            range.offsets = std::move(listed->offsets);
            return range;
        }
        // Listed before the walk: what the tree knows.
        range.offsets.reserve(range.count);
        range.known.reserve(range.count);
        for (NodeId child = range.first; child < range.first + range.count; ++child) {
            range.offsets.push_back(range.names.size());
            range.names.append(tree.cName(child), tree.nodes_[child].nameLength);
            range.names.push_back('\0');
            range.known.push_back(!tree.isListed(child) ? 0 : tree.nodes_[child].childCount > 0 ? 1 : 2);
        }
        return range;
    }

    // Adds what walkers made of folders to the tree, and their subfolders
    // to the list.
    void integrate()
    {
        {
            std::lock_guard lock(mutex);
            batch.swap(done);
        }
        std::vector<std::pair<std::list<Pending>::iterator, Pending>> ranges;
        for (Done& d : batch) {
            Result r;
            switch (d.outcome) {
            case Done::Outcome::ParentLost: tree.markUnlisted(d.parent); break;
            case Done::Outcome::NotReached:
            case Done::Outcome::Skipped:
            case Done::Outcome::Stopped: break;
            case Done::Outcome::Reached:
                r.reached = true;
                tree.ensureNode(d.id);
                if (d.unlisted)
                    tree.markUnlisted(d.id);
                if (d.notEntered)
                    tree.nodes_[d.id].flags |= FolderTree::kListed;
                if (d.listedNow)
                    tree.adopt(d.id, d.shared ? *d.shared : d.listed, d.first, d.level);
                if (d.placed) {
                    r.walkedInto = true;
                } else if (d.self && tree.nodes_[d.id].childCount > 0) { // listed before the walk
                    ranges.emplace_back(d.placeholder, rangeOf(d.id, std::move(d.self), nullptr));
                    r.walkedInto = true;
                }
                break;
            }
            r.reading = std::move(d.reading);
            results.put(d.id, std::move(r));
        }
        {
            std::lock_guard lock(mutex);
            for (auto& [at, range] : ranges)
                place(at, std::move(range));
            firstKnown = firstKnown && ranges.empty();
            for (Done& d : batch)
                if (!d.placed && !d.unplaced)
                    drop(d.placeholder);
        }
        batch.clear();
        wakeOne(!ranges.empty());
        if (held.load() > maxHeld)
            keepWithinBudget();
    }

    void run(NodeId top);

    // The hand-over waits for `id` (the mutex held): a walker may take it
    // beyond the window.
    void waitFor(NodeId id)
    {
        if (needed != id) {
            needed = id;
            if (outstanding >= kWindow)
                workReady.notify_one();
        }
    }
    // What the walk's thread walks with, made when it first walks.
    struct Here {
        std::vector<char> buffer;
        FolderEntries others;
        std::optional<SiblingOrder> order;
    };
    // Walks the first folder that waits on the walk's own thread, as reader
    // `worker`: with one job, always; on a warm tree, while the folder to be
    // handed on next is still with a walker, rather than wait for it (a
    // thread that sleeps and is woken for every few folders costs more than
    // a folder). False when no folder may be taken now.
    bool walkHere(NodeId id, int worker, Here& here, const std::function<void()>& pulse)
    {
        Task task;
        {
            std::lock_guard lock(mutex);
            waitFor(id);
            if (!takeNext(task))
                return false;
        }
        if (here.buffer.empty()) {
            here.buffer.resize(FolderTree::kDirentBuffer);
            here.order.emplace();
        }
        Done d = walkOne(task, worker, here.buffer, here.others, *here.order, pulse);
        publish(std::move(d));
        integrate();
        return true;
    }

    // The walk's progress, given at most every few milliseconds.
    struct Pace {
        State& state;
        std::chrono::steady_clock::time_point last = std::chrono::steady_clock::now();
        void operator()()
        {
            last = std::chrono::steady_clock::now();
            if (state.hooks.progress)
                state.hooks.progress(state.tree.count());
        }
        bool due() const { return std::chrono::steady_clock::now() - last >= std::chrono::milliseconds(20); }
    };
    // Whether the walk reads from the disk, from what the kernel counts of
    // this process's reads from storage, every few milliseconds.
    struct DiskWatch {
        State& state;
        std::optional<std::uint64_t> readSoFar = bytesReadFromStorage();
        std::chrono::steady_clock::time_point lastLook = std::chrono::steady_clock::now();
        void look();
    };
    // Reads the top on this thread and hands it on; false when there is
    // nothing below it to walk.
    bool walkTop(NodeId top, Pace& pace, const std::function<void()>& pulse);
    // Hands the folders below `top` on in tree order as they come back.
    void handOnInOrder(NodeId top, Pace& pace, const std::function<void()>& pulse);
};

FolderWalk::FolderWalk(FolderTree& tree, const WalkHooks& hooks)
    : state_(std::make_unique<State>(tree, hooks))
{
    // As many walkers, and as many folders held open, as the limit of open
    // files leaves room for.
    struct rlimit limit { };
    long room = 1024;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        room = static_cast<long>(std::min<rlim_t>(limit.rlim_cur, 1 << 20));
    room -= openDescriptors() + kReserved;
    const long jobs = hooks.jobs > 0 ? hooks.jobs : defaultWalkJobs();
    state_->jobs = static_cast<int>(std::clamp((room - 8) / kPerWalker, 1L, jobs));
    state_->maxHeld = static_cast<int>(std::clamp(room - kPerWalker * state_->jobs, 4L, long(kMaxHeld)));
    state_->inUse = std::vector<State::InUse>(static_cast<std::size_t>(state_->jobs) + 1);
    state_->warmWalkers = std::min(state_->jobs, kWarmWalkersPerProcessor * std::max(processorsAvailable(), 1));
    state_->wantRelative = hooks.relative || !tree.scope_.excludePatterns.empty();
}

FolderWalk::~FolderWalk()
{
    state_->stopWalkers();
}

void FolderWalk::run(FolderTree::NodeId top)
{
    state_->run(top);
}

void FolderWalk::State::DiskWatch::look()
{
    if (!readSoFar || std::chrono::steady_clock::now() - lastLook < std::chrono::milliseconds(10))
        return;
    lastLook = std::chrono::steady_clock::now();
    const std::optional<std::uint64_t> now = bytesReadFromStorage();
    constexpr std::uint64_t kSomeReads = 64 * 1024; // bytes in 10 ms: a few folders' worth
    const bool busy = now && *now - *readSoFar >= kSomeReads;
    if (busy && !state.fromDisk.load(std::memory_order_relaxed)) {
        {
            // Under the lock: a walker about to wait for it sees it first.
            std::lock_guard lock(state.mutex);
            state.fromDisk.store(true, std::memory_order_relaxed);
        }
        state.unparked.notify_all();
    } else {
        state.fromDisk.store(busy, std::memory_order_relaxed);
    }
    readSoFar = now;
}

bool FolderWalk::State::walkTop(NodeId top, Pace& pace, const std::function<void()>& pulse)
{
    bool listable = true;
    const QByteArray topPath = tree.pathOf(top);
    int fd = openDirectoryForPermissions(rawView(topPath), listable);
    if (fd < 0 && outOfDescriptors(errno))
        throwOutOfDescriptors(errno);
    if (fd < 0) {
        if (!tree.isListed(top))
            tree.markUnlisted(top);
        return false;
    }
    struct stat st { };
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        tree.markUnlisted(top);
        return false;
    }
    const FolderIdentity topIdentity {st.st_dev, st.st_ino};
    const bool enter = listable && !tree.isUnlisted(top);
    if (!listable)
        tree.markUnlisted(top);
    std::string relative = wantRelative ? tree.relativePathOf(top) : std::string();
    bool listedNow = false;
    FolderTree::ListedFolder listed;
    FolderEntries topOthers;
    if (enter && !tree.isListed(top)) {
        listedNow = true;
        std::vector<char> buffer(FolderTree::kDirentBuffer);
        if (!tree.beyondDepth(tree.nodes_[top].level))
            listed = tree.listFolder(fd, topIdentity, relative, buffer, tree.order_, tree.stopRequested_, pulse,
                                     keptIn(topOthers));
        if (listed.stopped) {
            ::close(fd);
            return false;
        }
        tree.adopt(top, listed);
    }
    std::unique_ptr<FolderReading> reading = read(
        {top, FolderTree::kNoNode, fd, rawView(topPath), relative, 0, nullptr}, listed, topOthers);
    if (hooks.take)
        hooks.take(top, std::move(reading));
    if (!enter || tree.nodes_[top].childCount == 0) {
        ::close(fd);
        pace();
        return false;
    }
    auto topHolder = holderFor(fd, topIdentity, nullptr, topPath.toStdString(), std::move(relative));
    pending.push_back(rangeOf(top, std::move(topHolder), listedNow ? &listed : nullptr));
    firstKnown = false;
    nextId.store(static_cast<NodeId>(tree.nodes_.size()));
    if (jobs > 1)
        for (int i = 0; i < jobs; ++i)
            walkers.emplace_back([this, i] { work(i); });
    return true;
}

void FolderWalk::State::run(NodeId top)
{
    Pace pace {*this};
    // Within a long listing on this thread: each piece of entries read.
    const std::function<void()> pulse = [&pace] { pace(); };
    if (!walkTop(top, pace, pulse))
        return;
    handOnInOrder(top, pace, pulse);
    stopWalkers();
    // Whatever walkers listed goes into the tree, where the numbers they
    // gave to subfolders are waiting.
    integrate();
    if (failure)
        std::rethrow_exception(failure);
    pace();
}

void FolderWalk::State::handOnInOrder(NodeId top, Pace& pace, const std::function<void()>& pulse)
{
    DiskWatch disk {*this};
    // Hands the folders on in tree order as they come back.
    std::vector<std::pair<NodeId, NodeId>> cursor; // (next, end) ranges of siblings
    cursor.emplace_back(tree.nodes_[top].firstChild, tree.nodes_[top].firstChild + tree.nodes_[top].childCount);
    Here here;
    std::size_t handedOn = 0;
    while (!cursor.empty()) {
        auto& [next, end] = cursor.back();
        if (next == end) {
            cursor.pop_back();
            continue;
        }
        const NodeId id = next;
        if (Result r; results.take(id, r)) {
            ++next;
            if (r.reached && hooks.take)
                hooks.take(id, std::move(r.reading));
            if (r.walkedInto)
                cursor.emplace_back(tree.nodes_[id].firstChild,
                                    tree.nodes_[id].firstChild + tree.nodes_[id].childCount);
            if (++handedOn % 64 == 0) {
                bool wasFull = false;
                {
                    std::lock_guard lock(mutex);
                    wasFull = outstanding >= kWindow;
                    outstanding -= 64;
                }
                wakeOne(wasFull); // the first of those who take what is free now
                disk.look();
                // Leaves add no nodes: a folder of many goes on giving progress.
                if (handedOn % 256 == 0 || pace.due())
                    pace();
            }
        } else if (jobs <= 1) {
            // One job: this thread walks, always the folder it waits for.
            if (!walkHere(id, 0, here, pulse))
                throw FolderTreeError("The walk lost a folder");
        } else if (!fromDisk.load(std::memory_order_relaxed) && walkHere(id, jobs, here, pulse)) {
            disk.look();
        } else {
            // From the disk, this thread waits rather than walk: a folder it
            // read would hold the hand-over up for the disk's answer.
            {
                std::unique_lock lock(mutex);
                waitFor(id);
                const bool answered = doneReady.wait_for(lock, std::chrono::milliseconds(20),
                                                         [&] { return !done.empty() || finished; });
                if (failure)
                    std::rethrow_exception(failure);
                // Nothing came back for a while: a walker asleep while work
                // waits for it is woken, whatever woke none before.
                if (!answered && sleeping > 0 && canTake())
                    workReady.notify_one();
            }
            integrate();
            disk.look();
            if (pace.due())
                pace();
        }
        if (tree.stopRequested_.load())
            break;
    }
}

} // namespace gw
