#pragma once
// Opening folders by their raw bytes.
//
// A path longer than PATH_MAX is reached by opening it piece by piece with
// openat, so folder depth is never limited by the kernel's path length.
// Folders on the kernel's pseudo file systems (proc, sysfs, cgroup ...) and
// untriggered automount points are never entered.

#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>

namespace gw {

// What opening a path does with the symbolic links on it.
enum class Links {
    Follow, // as the system resolves a path
    Refuse, // no name on the path, the last included, may be a link: ELOOP
};

// Opens the directory at `path` (absolute, or relative to the current folder)
// for reading. Returns the descriptor (close-on-exec), or -1 with errno set.
// The folders on the way need only be searchable.
[[nodiscard]] int openDirectory(std::string_view path);

// Opens the directory at `path` for reading its permissions. A folder that
// may be reached but not read (no read permission) is opened with O_PATH:
// its owner, mode and ACLs can still be read, its entries cannot, and
// `listable` becomes false. Returns the descriptor, or -1 with errno set.
// With Links::Refuse a path that leads through a symbolic link, in any of its
// names, fails with ELOOP: openat2's RESOLVE_NO_SYMLINKS, or on a kernel
// without openat2 a walk from name to name that opens none of them through a
// link.
[[nodiscard]] int openDirectoryForPermissions(std::string_view path, bool& listable, Links links = Links::Follow);

// Opens the directory at `relative` below the open folder `dirFd` with
// `flags` (O_RDONLY or O_PATH), through no symbolic link in any of its names;
// however long the path, in few calls. Returns the descriptor, or -1 with
// errno set.
[[nodiscard]] int openDirectoryBelow(int dirFd, std::string_view relative, int flags);

// True for a descriptor opened with O_PATH.
bool isPathOnly(int fd);

// What happened when a subfolder was opened.
enum class ChildOpen {
    Opened, // the descriptor is valid
    Unlistable, // reached but not readable: `fd` is an O_PATH descriptor, for its permissions only
    NotAFolder, // not a directory (any more), or a symbolic link: not a folder of the tree
    Skipped, // a pseudo file system or an automount point, never entered: `fd` is an
             // O_PATH descriptor of the mount point, for its permissions only
    Failed, // a folder that could not be opened; errno says why
};

struct ChildDirectory {
    ChildOpen result = ChildOpen::Failed;
    int fd = -1;
    int error = 0;
    dev_t device = 0;
    ino_t inode = 0;
    // The opened folder's own status, when it was taken from its descriptor.
    bool stated = false;
    struct stat status { };
};

// Opens the subfolder `name` of the open folder `parentFd`, which lies on
// device `parentDevice`. Links are never followed. `device` and `inode` are
// filled for every folder found. With `lookFirst` the entry is looked at
// before it is opened, so that an automount point is never triggered;
// without it (where no automount point can stand) it is opened at once.
[[nodiscard]] ChildDirectory openChildDirectory(int parentFd, const char* name, dev_t parentDevice,
                                                bool lookFirst = true);

// True for file systems whose folders are the kernel's own (proc, sysfs ...)
// and for autofs: the tree shows such a folder but never lists into it.
bool isPseudoFileSystem(long fsType);

} // namespace gw
