// The least a walk that reads every folder's permissions must do: the floor
// grantwise-check's walk is measured against.
//
//   floor_walker [--jobs N] DIR
//
// For each folder: openat relative to the folder that holds it (never
// following a symbolic link), fstat, getdents64 until the folder is read
// through, and fgetxattr of its access and default ACLs. Subfolders whose
// names do not begin with "." are walked, as grantwise-check walks them by
// default. N threads (default 1) take folders from one shared stack. Prints
// the number of folders read, DIR included; exit status 1 when a folder
// could not be opened or read through, 2 on bad arguments.

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// An open folder, closed when the last of its subfolders waiting to be
// opened relative to it has been opened.
struct Folder {
    int fd;
    explicit Folder(int descriptor)
        : fd(descriptor)
    {
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    ~Folder()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

struct Work {
    std::shared_ptr<const Folder> parent;
    std::string name;
};

// The stack of folders to read. `busy` counts folders taken but not yet
// done: the walk is over when the stack is empty and no one is busy, since
// only a busy thread can add to the stack.
class Walk {
public:
    explicit Walk(Work root) { stack_.push_back(std::move(root)); }

    void run()
    {
        std::vector<char> dirents(1 << 15);
        std::vector<char> acl(1 << 16);
        std::vector<Work> found;
        Work work;
        while (take(work)) {
            found.clear();
            readFolder(work, dirents, acl, found);
            work = Work {};
            give(found);
        }
    }

    long folders() const { return folders_.load(); }
    long failures() const { return failures_.load(); }

private:
    bool take(Work& work)
    {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return !stack_.empty() || busy_ == 0; });
        if (stack_.empty())
            return false; // nothing left and no one busy: done
        work = std::move(stack_.back());
        stack_.pop_back();
        ++busy_;
        return true;
    }

    void give(std::vector<Work>& found)
    {
        std::lock_guard lock(mutex_);
        for (Work& w : found)
            stack_.push_back(std::move(w));
        --busy_;
        if (busy_ == 0 && stack_.empty())
            ready_.notify_all();
        else
            for (std::size_t i = 0; i < found.size(); ++i)
                ready_.notify_one();
    }

    void fail(const Work& work, const char* what)
    {
        ++failures_;
        std::fprintf(stderr, "floor_walker: %s %s: %s\n", what, work.name.c_str(), std::strerror(errno));
    }

    void readFolder(const Work& work, std::vector<char>& dirents, std::vector<char>& acl, std::vector<Work>& found)
    {
        const int fd = ::openat(work.parent->fd, work.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            return fail(work, "cannot open");
        const auto folder = std::make_shared<const Folder>(fd);
        struct stat st { };
        if (::fstat(fd, &st) != 0)
            return fail(work, "cannot stat");
        for (const char* name : {"system.posix_acl_access", "system.posix_acl_default"})
            if (::fgetxattr(fd, name, acl.data(), acl.size()) < 0 && errno != ENODATA && errno != ENOTSUP)
                return fail(work, "cannot read the ACL of");
        ++folders_;
        for (;;) {
            const ssize_t n = ::getdents64(fd, dirents.data(), dirents.size());
            if (n == 0)
                break;
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return fail(work, "cannot list");
            }
            for (ssize_t pos = 0; pos < n;) {
                const auto* entry = reinterpret_cast<const struct dirent64*>(dirents.data() + pos);
                pos += entry->d_reclen;
                if (entry->d_name[0] == '.') // ".", ".." and hidden folders
                    continue;
                bool isFolder = entry->d_type == DT_DIR;
                if (entry->d_type == DT_UNKNOWN) {
                    struct stat child { };
                    isFolder = ::fstatat(fd, entry->d_name, &child, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(child.st_mode);
                }
                if (isFolder)
                    found.push_back(Work {folder, entry->d_name});
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable ready_;
    std::vector<Work> stack_;
    long busy_ = 0;
    std::atomic<long> folders_ {0};
    std::atomic<long> failures_ {0};
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

    Walk walk(Work {std::make_shared<const Folder>(AT_FDCWD), dir});
    std::vector<std::thread> threads;
    for (long t = 0; t < jobs; ++t)
        threads.emplace_back([&walk] { walk.run(); });
    for (std::thread& t : threads)
        t.join();

    std::printf("%ld folders\n", walk.folders());
    if (walk.failures() > 0) {
        std::fprintf(stderr, "floor_walker: %ld folders could not be read\n", walk.failures());
        return 1;
    }
    return 0;
}
