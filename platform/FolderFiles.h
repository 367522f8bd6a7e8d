#pragma once
// The files of a folder, read from a descriptor of the folder's own: each
// regular file's permissions (read relative to the folder, never opening the
// file), and how many entries of other kinds (symbolic links, devices,
// sockets, FIFOs) it holds, which are counted and never compared. Files are
// handed on one folder at a time and never held beyond it.

#include "platform/AclListing.h"
#include "platform/Permissions.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace gw {

struct FileListing {
    std::string name; // printable
    std::string rawName;
    bool read = false;
    std::string reason; // why it was not read, in words (English)
    Permissions permissions;
};

struct FolderFiles {
    // Regular files, by their raw names' bytes: those `keep` kept, and those
    // whose permissions were not read.
    std::vector<FileListing> files;
    int read = 0; // regular files whose permissions were read, kept or not
    int otherKinds = 0; // entries that are neither folders nor regular files
    int hiddenLeftOut = 0; // files whose names begin with ".", left out
    bool listed = true; // false when the folder's entries could not be read
};

struct FileScope {
    bool includeHidden = false; // names beginning with "." too
    std::vector<std::string> excludePatterns; // a file whose name, or path relative to the checked folder, matches
};

// A folder's entries other than its subfolders, as the walk's listing of
// it found them, so that its files are not listed a second time.
struct FolderEntries {
    std::string names; // raw, each NUL-terminated
    std::vector<std::pair<std::size_t, unsigned char>> entries; // where each name begins, and its DT_ type
};

// Reads the files of the folder open as `dirFd` (its own descriptor, read
// from its start; the descriptor's offset is moved). A file whose
// permissions were read is kept only when `keep` says so (all without it):
// files that carry what they should are counted, not held.
// `relativeFolder` is the folder's path relative to the checked folder, for
// patterns that name a path. With `settledByAccessAcl`, `keep` asks only for
// a file's extended access ACL and the ACL models beside it (its owner, group
// and special bits play no part): on a file system where namesListPosixAcls
// holds, a file that has one is first read no further (readAccessAclOnlyAt),
// and read whole only when `keep` keeps it.
FolderFiles readFolderFiles(int dirFd, const FileScope& scope, const std::string& relativeFolder = {},
                            const std::function<bool(const Permissions&)>& keep = {}, bool settledByAccessAcl = false);
// The same, the folder's entries as `entries` gives them, not listed again.
// `namesListAcls`, when known, is namesListPosixAcls(dirFd).
FolderFiles readFolderFiles(int dirFd, const FolderEntries& entries, const FileScope& scope,
                            const std::string& relativeFolder = {},
                            const std::function<bool(const Permissions&)>& keep = {},
                            std::optional<bool> namesListAcls = {}, bool settledByAccessAcl = false);

} // namespace gw
