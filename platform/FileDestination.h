#pragma once
// Where a file a run writes will land, decided by what the path names, not
// by its text: the folder that will hold it (its device and inode, as the
// write will find it) and the final name. "sv/x", "./sv/x" and "/abs/sv/x"
// are one destination; so are two paths through a link to one folder. A
// folder not made yet is named by the nearest folder on the way that is
// there and the names left below it.

#include "platform/FolderTree.h"

#include <QByteArray>

namespace gw {

struct FileDestination {
    FolderIdentity existing {}; // the holding folder, or the nearest one on its way that is there
    QByteArray below; // the folders still to be made below `existing`, "a/b"; empty when it is there
    QByteArray name; // the file's own name
    bool operator==(const FileDestination&) const = default;
    // True when the file goes straight into the folder `folder`.
    bool in(FolderIdentity folder) const { return below.isEmpty() && existing == folder; }
};

// The destination of `path` (raw; relative to the current folder when it
// does not start with '/'). Returns 0, or an errno value when a folder on
// the way cannot be looked at (then the write would fail as well).
int fileDestination(const QByteArray& path, FileDestination& out);

} // namespace gw
