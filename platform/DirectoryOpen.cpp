#include "platform/DirectoryOpen.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <linux/magic.h>
#include <linux/openat2.h>
#include <string>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace gw {

namespace {
constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
constexpr int kPathFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

// Set once the kernel has said it has no openat2.
std::atomic<bool> noOpenat2 {false};

// Opens `path` relative to `dirFd` one name at a time, each with O_PATH and
// O_NOFOLLOW: a name that is a symbolic link fails with ELOOP, one that is
// not a folder with ENOTDIR. The folder reached is opened again with `flags`.
int openNameByName(int dirFd, std::string_view path, int flags)
{
    const bool absolute = !path.empty() && path[0] == '/';
    int at = ::openat(absolute ? AT_FDCWD : dirFd, absolute ? "/" : ".", kPathFlags);
    if (at < 0)
        return -1;
    for (std::size_t pos = 0; pos < path.size();) {
        std::size_t end = path.find('/', pos);
        if (end == std::string_view::npos)
            end = path.size();
        if (end > pos) {
            const std::string name(path.substr(pos, end - pos));
            const int next = ::openat(at, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
            int error = next < 0 ? errno : 0;
            struct stat st { };
            if (next >= 0)
                error = ::fstat(next, &st) != 0 ? errno
                    : S_ISLNK(st.st_mode)       ? ELOOP
                    : !S_ISDIR(st.st_mode)      ? ENOTDIR
                                                : 0;
            ::close(at);
            if (error != 0) {
                if (next >= 0)
                    ::close(next);
                errno = error;
                return -1;
            }
            at = next;
        }
        pos = end + 1;
    }
    if ((flags & O_PATH) != 0)
        return at;
    const int fd = ::openat(at, ".", flags);
    const int saved = errno;
    ::close(at);
    errno = saved;
    return fd;
}

// Opens `path` relative to `dirFd` with `flags`, following links or not.
int openAt(int dirFd, const std::string& path, int flags, Links links)
{
    if (links == Links::Follow)
        return ::openat(dirFd, path.c_str(), flags);
    if (!noOpenat2.load(std::memory_order_relaxed)) {
        open_how how {};
        how.flags = static_cast<decltype(how.flags)>(static_cast<unsigned>(flags));
        how.resolve = RESOLVE_NO_SYMLINKS;
        const long fd = ::syscall(SYS_openat2, dirFd, path.c_str(), &how, sizeof how);
        if (fd >= 0 || errno != ENOSYS)
            return static_cast<int>(fd);
        noOpenat2.store(true, std::memory_order_relaxed);
    }
    return openNameByName(dirFd, path, flags);
}

// Opens the directory at `path`, relative to `startFd` (or absolute), with
// `flags`; the pieces of a path too long for one call are opened with O_PATH,
// which needs only search permission.
int openDirectoryWith(std::string_view path, int flags, Links links = Links::Follow, int startFd = AT_FDCWD)
{
    if (path.empty()) {
        errno = ENOENT;
        return -1;
    }
    if (path.size() < PATH_MAX)
        return openAt(startFd, std::string(path), flags, links);
    // Too long for one call: walk it in pieces that end at a "/".
    int dirFd = startFd;
    bool owned = false;
    std::size_t pos = 0;
    if (path[0] == '/') {
        dirFd = ::open("/", kPathFlags);
        if (dirFd < 0)
            return -1;
        owned = true;
        pos = 1;
    }
    while (pos < path.size()) {
        std::size_t end = path.size();
        if (end - pos >= PATH_MAX - 1) {
            end = path.rfind('/', pos + PATH_MAX - 2);
            if (end == std::string_view::npos || end <= pos) {
                if (owned)
                    ::close(dirFd);
                errno = ENAMETOOLONG;
                return -1;
            }
        }
        const std::string piece(path.substr(pos, end - pos));
        const int next = openAt(dirFd, piece, end == path.size() ? flags : kPathFlags, links);
        const int saved = errno;
        if (owned)
            ::close(dirFd);
        if (next < 0) {
            errno = saved;
            return -1;
        }
        dirFd = next;
        owned = true;
        pos = end + 1;
    }
    if (!owned)
        return ::openat(dirFd, ".", flags);
    return dirFd;
}

} // namespace

int openDirectory(std::string_view path)
{
    return openDirectoryWith(path, kDirFlags);
}

int openDirectoryForPermissions(std::string_view path, bool& listable, Links links)
{
    listable = true;
    int fd = openDirectoryWith(path, kDirFlags, links);
    if (fd < 0 && errno == EACCES) {
        fd = openDirectoryWith(path, kPathFlags, links);
        listable = false;
    }
    return fd;
}

int openDirectoryBelow(int dirFd, std::string_view relative, int flags)
{
    if (!relative.empty() && relative[0] == '/') {
        errno = EINVAL;
        return -1;
    }
    return openDirectoryWith(relative, flags | O_DIRECTORY | O_CLOEXEC, Links::Refuse, dirFd);
}

bool isPathOnly(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    return flags != -1 && (flags & O_PATH) != 0;
}

bool isPseudoFileSystem(long fsType)
{
    switch (fsType) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case DEVPTS_SUPER_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case SECURITYFS_MAGIC:
    case SELINUX_MAGIC:
    case SMACK_MAGIC:
    case PSTOREFS_MAGIC:
    case EFIVARFS_MAGIC:
    case BPF_FS_MAGIC:
    case BINFMTFS_MAGIC:
    case NSFS_MAGIC:
    case AUTOFS_SUPER_MAGIC:
    case 0x62656570: // configfs
    case 0x65735543: // fusectl
    case 0x19800202: // mqueue
    case 0x67596969: // rpc_pipefs
        return true;
    default: return false;
    }
}

namespace {

// A subfolder opened at once: its status from its descriptor, so that what
// is read of it is of the folder opened. False, with nothing open, when it
// could not be opened so (the careful way then says why).
bool openAtOnce(int parentFd, const char* name, dev_t parentDevice, ChildDirectory& child)
{
    const int fd = ::openat(parentFd, name, kDirFlags | O_NOFOLLOW);
    if (fd < 0)
        return false;
    if (::fstat(fd, &child.status) != 0) {
        ::close(fd);
        return false;
    }
    if (child.status.st_dev != parentDevice) {
        // A mount point: the kernel's own file systems are only looked at,
        // through an O_PATH descriptor, which the careful way gives.
        struct statfs fs { };
        if (::fstatfs(fd, &fs) != 0 || isPseudoFileSystem(static_cast<long>(fs.f_type))) {
            ::close(fd);
            return false;
        }
    }
    child.fd = fd;
    child.stated = true;
    child.device = child.status.st_dev;
    child.inode = child.status.st_ino;
    child.result = ChildOpen::Opened;
    return true;
}

} // namespace

ChildDirectory openChildDirectory(int parentFd, const char* name, dev_t parentDevice, bool lookFirst)
{
    ChildDirectory child;
    if (!lookFirst && openAtOnce(parentFd, name, parentDevice, child))
        return child;
    struct stat st { };
    // AT_NO_AUTOMOUNT: looking at an automount point must not mount it.
    if (::fstatat(parentFd, name, &st, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT) != 0) {
        child.error = errno;
        child.result = (errno == ENOENT || errno == ENOTDIR) ? ChildOpen::NotAFolder : ChildOpen::Failed;
        return child;
    }
    if (!S_ISDIR(st.st_mode)) {
        child.result = ChildOpen::NotAFolder;
        return child;
    }
    child.device = st.st_dev;
    child.inode = st.st_ino;
    if (st.st_dev != parentDevice) {
        // A mount point. An O_PATH descriptor does not trigger an automount.
        const int pathFd = ::openat(parentFd, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (pathFd < 0) {
            child.error = errno;
            child.result = ChildOpen::Failed;
            return child;
        }
        struct statfs fs { };
        const bool pseudo = ::fstatfs(pathFd, &fs) == 0 && isPseudoFileSystem(static_cast<long>(fs.f_type));
        if (pseudo) {
            child.fd = pathFd;
            child.result = ChildOpen::Skipped;
            return child;
        }
        struct stat mounted { };
        if (::fstat(pathFd, &mounted) == 0) { // the root of the mounted file system
            child.device = mounted.st_dev;
            child.inode = mounted.st_ino;
        }
        child.fd = ::openat(pathFd, ".", kDirFlags);
        child.error = errno;
        if (child.fd < 0 && child.error == EACCES) {
            child.fd = pathFd;
            child.result = ChildOpen::Unlistable;
            return child;
        }
        ::close(pathFd);
    } else {
        child.fd = ::openat(parentFd, name, kDirFlags | O_NOFOLLOW);
        child.error = errno;
        if (child.fd < 0 && child.error == EACCES) {
            // Reached but not readable: its permissions can still be read.
            child.fd = ::openat(parentFd, name, kPathFlags | O_NOFOLLOW);
            if (child.fd >= 0) {
                child.result = ChildOpen::Unlistable;
                return child;
            }
            child.error = errno;
        }
    }
    if (child.fd >= 0) {
        child.error = 0;
        child.result = ChildOpen::Opened;
    } else {
        child.result = (child.error == ENOENT || child.error == ENOTDIR || child.error == ELOOP) ? ChildOpen::NotAFolder
                                                                                                 : ChildOpen::Failed;
    }
    return child;
}

} // namespace gw
