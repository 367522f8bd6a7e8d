// The least a walk that reads every folder's permissions must do: the floor
// grantwise-check's walk is measured against.
//
//   floor_walker [--jobs N] DIR
//
// For each folder the system calls grantwise-check makes for it, and no
// more: openat relative to the folder that holds it (never following a
// symbolic link), fstat, getdents64 until the folder is read through,
// flistxattr, fgetxattr of each POSIX ACL the list names (on the file
// systems that name them; of both elsewhere), and close. Subfolders whose
// names do not begin with "." are walked, as grantwise-check walks them by
// default. Prints the number of folders read, DIR included; exit status 1
// when a folder could not be opened or read through, 2 on bad arguments.
//
// N threads (default 1), each walking depth first from a stack of its own:
// nothing is shared while a thread has work. A thread out of work says so
// and sleeps; one that has work to spare hands its oldest (the largest
// subtrees) to a sleeper when it sees one waiting, between two folders. So
// there is a wake-up per piece of work handed over, never per folder, and
// no counter shared in the loop.

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace {

// An open folder whose subfolders wait to be opened relative to it. Shared
// only once its subfolders are split between two threads: then the last one
// to be done with it closes it.
struct Holder {
    int fd = -1;
    std::atomic<int> users {1};
};

void release(Holder* h)
{
    if (h && h->users.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        if (h->fd >= 0 && h->fd != AT_FDCWD)
            ::close(h->fd);
        delete h;
    }
}

// Subfolders of one folder still to be walked: their names, NUL-terminated,
// from `next` on.
struct Chunk {
    Holder* parent = nullptr;
    std::string names;
    std::size_t next = 0;
    bool done() const { return next >= names.size(); }
};

// File systems that name a POSIX ACL among an item's attributes whenever
// it keeps one (ext4, XFS, btrfs, tmpfs), where the check reads an ACL only
// when its name is listed.
bool namesListAcls(int fd)
{
    struct statfs fs { };
    if (::fstatfs(fd, &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0xEF53:
    case 0x58465342:
    case 0x9123683E:
    case 0x01021994: return true;
    default: return false;
    }
}

class Walk {
public:
    Walk(int jobs, bool trustNames)
        : jobs_(jobs)
        , trustNames_(trustNames)
    {
    }

    void give(Chunk chunk)
    {
        std::lock_guard lock(mutex_);
        pool_.push_back(std::move(chunk));
    }

    // One walker thread; its counts are its own until the end.
    void run()
    {
        std::vector<Chunk> stack;
        std::vector<char> dirents(64 * 1024);
        std::vector<char> list(1024), acl(64 * 1024);
        long folders = 0, failures = 0;
        while (take(stack)) {
            while (!stack.empty()) {
                if (hungry_.load(std::memory_order_relaxed) > 0)
                    share(stack);
                Chunk& top = stack.back();
                if (top.done()) {
                    release(top.parent);
                    stack.pop_back();
                    continue;
                }
                const char* name = top.names.data() + top.next;
                top.next += std::strlen(name) + 1;
                Chunk found;
                if (readFolder(top.parent->fd, name, dirents, list, acl, found))
                    ++folders;
                else
                    ++failures;
                if (!found.names.empty())
                    stack.push_back(std::move(found));
                else
                    release(found.parent);
            }
        }
        std::lock_guard lock(mutex_);
        folders_ += folders;
        failures_ += failures;
    }

    long folders() const { return folders_; }
    long failures() const { return failures_; }

private:
    // Waits for work while the others may still find some; false when all
    // are out of it.
    bool take(std::vector<Chunk>& stack)
    {
        std::unique_lock lock(mutex_);
        if (pool_.empty()) {
            ++idle_;
            if (idle_ == jobs_) {
                finished_ = true;
                ready_.notify_all();
                return false;
            }
            recount();
            ready_.wait(lock, [this] { return !pool_.empty() || finished_; });
            if (finished_)
                return false;
            --idle_;
        }
        stack.push_back(std::move(pool_.back()));
        pool_.pop_back();
        recount();
        return true;
    }

    // The threads out of work that nothing waits for in the pool (the
    // mutex held).
    void recount()
    {
        const auto waiting = static_cast<std::size_t>(idle_);
        hungry_.store(waiting > pool_.size() ? static_cast<int>(waiting - pool_.size()) : 0, std::memory_order_relaxed);
    }

    // Hands the oldest work (the largest subtrees) to a thread that waits:
    // half of what is left of the first folder's subfolders, or its last one
    // when the thread has more below it.
    void share(std::vector<Chunk>& stack)
    {
        std::size_t k = 0;
        while (k < stack.size() && stack[k].done())
            ++k;
        if (k == stack.size())
            return;
        Chunk& oldest = stack[k];
        std::size_t left = 0;
        for (std::size_t at = oldest.next; at < oldest.names.size() && left < 2; ++at)
            left += oldest.names[at] == '\0';
        Chunk given;
        if (left >= 2) {
            // The second half of what is left, cut at a name's end.
            std::size_t cut = oldest.next + (oldest.names.size() - oldest.next) / 2;
            while (oldest.names[cut - 1] != '\0')
                ++cut;
            if (cut == oldest.names.size()) // the middle fell in the last name: all but the first
                cut = oldest.next + std::strlen(oldest.names.data() + oldest.next) + 1;
            oldest.parent->users.fetch_add(1, std::memory_order_relaxed);
            given.parent = oldest.parent;
            given.names.assign(oldest.names, cut);
            oldest.names.resize(cut);
        } else if (k + 1 < stack.size()) {
            given = std::move(oldest);
            stack.erase(stack.begin() + static_cast<std::ptrdiff_t>(k));
        } else {
            return; // one folder left to walk: walked here
        }
        {
            std::lock_guard lock(mutex_);
            if (hungry_.load(std::memory_order_relaxed) == 0) { // another gave first: kept
                stack.insert(stack.begin(), std::move(given));
                return;
            }
            pool_.push_back(std::move(given));
            recount();
        }
        ready_.notify_one();
    }

    void fail(const char* what, const char* name) const
    {
        std::fprintf(stderr, "floor_walker: %s %s: %s\n", what, name, std::strerror(errno));
    }

    // Reads the subfolder `name` of `parentFd`; its own subfolders go to
    // `found`, which then holds the folder open.
    bool readFolder(int parentFd, const char* name, std::vector<char>& dirents, std::vector<char>& list,
                    std::vector<char>& acl, Chunk& found) const
    {
        const int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            fail("cannot open", name);
            return false;
        }
        found.parent = new Holder;
        found.parent->fd = fd;
        struct stat st { };
        if (::fstat(fd, &st) != 0) {
            fail("cannot stat", name);
            return false;
        }
        for (;;) {
            const ssize_t n = ::getdents64(fd, dirents.data(), dirents.size());
            if (n == 0)
                break;
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                fail("cannot list", name);
                return false;
            }
            for (ssize_t pos = 0; pos < n;) {
                const auto* entry = reinterpret_cast<const struct dirent64*>(dirents.data() + pos);
                pos += entry->d_reclen;
                if (entry->d_name[0] == '.') // ".", ".." and hidden folders
                    continue;
                bool isFolder = entry->d_type == DT_DIR;
                if (entry->d_type == DT_UNKNOWN) {
                    struct stat child { };
                    isFolder = ::fstatat(fd, entry->d_name, &child, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT) == 0
                        && S_ISDIR(child.st_mode);
                }
                if (isFolder)
                    found.names.append(entry->d_name, std::strlen(entry->d_name) + 1);
            }
        }
        return readAcls(fd, name, list, acl);
    }

    // The folder's attribute names, then each POSIX ACL they name (both
    // where the file system's list is not trusted to name them).
    bool readAcls(int fd, const char* name, std::vector<char>& list, std::vector<char>& acl) const
    {
        ssize_t n = ::flistxattr(fd, list.data(), list.size());
        if (n < 0 && errno == ERANGE) {
            list.resize(64 * 1024);
            n = ::flistxattr(fd, list.data(), list.size());
        }
        if (n < 0 && errno != ENOTSUP) {
            fail("cannot list the attributes of", name);
            return false;
        }
        const std::string_view names(list.data(), n > 0 ? static_cast<std::size_t>(n) : 0);
        for (const char* attribute : {"system.posix_acl_access", "system.posix_acl_default"}) {
            if (trustNames_ && names.find(std::string_view(attribute, std::strlen(attribute) + 1)) == names.npos)
                continue;
            if (::fgetxattr(fd, attribute, acl.data(), acl.size()) < 0 && errno != ENODATA && errno != ENOTSUP) {
                fail("cannot read the ACL of", name);
                return false;
            }
        }
        return true;
    }

    const int jobs_;
    const bool trustNames_;
    // Threads out of work that nothing was given to yet: set under the
    // mutex, only read in the loop.
    std::atomic<int> hungry_ {0};
    std::mutex mutex_; // guards what follows
    std::condition_variable ready_;
    std::vector<Chunk> pool_; // work handed over, not yet taken
    int idle_ = 0;
    bool finished_ = false;
    long folders_ = 0;
    long failures_ = 0;
};

int usage()
{
    std::fputs("usage: floor_walker [--jobs N] DIR\n", stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    long jobs = 1;
    const char* dir = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--jobs" && i + 1 < argc) {
            char* end = nullptr;
            jobs = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || jobs < 1 || jobs > 1024)
                return usage();
        } else if (dir == nullptr && !arg.empty() && arg[0] != '-') {
            dir = argv[i];
        } else {
            return usage();
        }
    }
    if (dir == nullptr)
        return usage();

    // A folder stays open while subfolders wait to be opened relative to it:
    // deep trees need more descriptors than the usual soft limit.
    struct rlimit limit { };
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }

    // The top, as a subfolder of the current folder, which stays open.
    const int top = ::open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (top < 0) {
        std::fprintf(stderr, "floor_walker: cannot open %s: %s\n", dir, std::strerror(errno));
        return 1;
    }
    Walk walk(static_cast<int>(jobs), namesListAcls(top));
    ::close(top);
    Chunk first;
    first.parent = new Holder;
    first.parent->fd = AT_FDCWD;
    first.names.assign(dir, std::strlen(dir) + 1);
    walk.give(std::move(first));
    std::vector<std::thread> threads;
    for (long t = 1; t < jobs; ++t)
        threads.emplace_back([&walk] { walk.run(); });
    walk.run();
    for (std::thread& t : threads)
        t.join();

    std::printf("%ld folders\n", walk.folders());
    if (walk.failures() > 0) {
        std::fprintf(stderr, "floor_walker: %ld folders could not be read\n", walk.failures());
        return 1;
    }
    return 0;
}
