#pragma once
// The mount points inside a folder, and word when the mount table changes
// (/proc/self/mountinfo, polled for POLLPRI): a file system mounted in a
// watched tree, or taken away, changes what the watch must mark.

#include <QByteArray>

#include <string>
#include <vector>

namespace gw {

class MountPoints {
public:
    MountPoints() = default;
    ~MountPoints();
    MountPoints(const MountPoints&) = delete;
    MountPoints& operator=(const MountPoints&) = delete;

    // Opens the mount table; false when it cannot be read.
    bool open();
    // To poll for POLLPRI; -1 when not open.
    int fd() const { return fd_; }
    // The mount points at or below `folder` (raw paths, sorted), read anew;
    // reading also takes the word of a change.
    std::vector<std::string> below(const QByteArray& folder);

private:
    int fd_ = -1;
};

// A mount point as mountinfo writes it (space, tab, newline and backslash
// as \ooo), raw.
std::string unescapeMountPath(const std::string& field);

} // namespace gw
