#pragma once
// Opening folders by their raw bytes.
//
// A path longer than PATH_MAX is reached by opening it piece by piece with
// openat, so folder depth is never limited by the kernel's path length.
// Folders on the kernel's pseudo file systems (proc, sysfs, cgroup ...) and
// untriggered automount points are never entered.

#include <string_view>
#include <sys/types.h>

namespace gw {

// Opens the directory at `path` (absolute, or relative to the current folder)
// for reading. Returns the descriptor (close-on-exec), or -1 with errno set.
int openDirectory(std::string_view path);

// What happened when a subfolder was opened.
enum class ChildOpen {
    Opened,      // the descriptor is valid
    NotAFolder,  // not a directory (any more), or a symbolic link: not a folder of the tree
    Skipped,     // a pseudo file system or an automount point: a folder, never entered
    Failed,      // a folder that could not be opened; errno says why
};

struct ChildDirectory {
    ChildOpen result = ChildOpen::Failed;
    int fd = -1;
    int error = 0;
};

// Opens the subfolder `name` of the open folder `parentFd`, which lies on
// device `parentDevice`. Links are never followed.
ChildDirectory openChildDirectory(int parentFd, const char* name, dev_t parentDevice);

// True for file systems whose folders are the kernel's own (proc, sysfs ...)
// and for autofs: the tree shows such a folder but never lists into it.
bool isPseudoFileSystem(long fsType);

} // namespace gw
