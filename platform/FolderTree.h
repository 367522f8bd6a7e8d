#pragma once
// The folder tree over the real file system.
//
// A folder is a directory; its children are its subdirectories whose names do
// not begin with "." (hidden folders, and all beneath them, are not in the
// tree). Symbolic links are neither listed nor followed. Mount points are
// crossed, except into the kernel's pseudo file systems; automount points are
// never triggered. Siblings are ordered as file managers order names
// (natural, case-insensitive, locale-aware), ties by their raw bytes.
//
// Nodes are created lazily: re-rooting lists the root one level deep, the
// visible tree lists a folder when the user expands it, and the scan expands
// a node completely. Paths are raw bytes; printablePath() gives the one
// printable form that every text of the program shows.

#include "platform/FolderFiles.h"
#include "platform/PagedStore.h"
#include "platform/SiblingOrder.h"

#include <QByteArray>
#include <QCollator>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <sys/types.h>
#include <vector>

namespace gw {

struct WalkHooks;

class FolderTreeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A folder as the file system knows it, whatever its path.
struct FolderIdentity {
    dev_t device;
    ino_t inode;
    bool operator==(const FolderIdentity&) const = default;
};

// A folder left out of the tree wherever it is met, with all below it, and
// the folder that holds it (the one its ".." names). Only the entries of
// folders with the holder's identity are looked at one by one to find it: an
// entry's inode number is not the folder's on every file system (a btrfs
// subvolume's is its id, an overlayfs entry's may be its layer's).
struct ExcludedFolder {
    FolderIdentity folder;
    FolderIdentity parent;
    bool operator==(const ExcludedFolder&) const = default;
};

// The folder open as `fd` (O_PATH will do), to be left out; nothing, with
// errno set, when it or its ".." cannot be looked at.
std::optional<ExcludedFolder> excludedFolder(int fd);

// What the tree takes in. By default: every subfolder whose name does not
// begin with ".", at any depth, across mount points (except into the
// kernel's own file systems).
struct FolderScope {
    std::vector<ExcludedFolder> excluded; // left out wherever they are, with all below them
    bool includeHidden = false; // names beginning with "." too
    // A folder whose name, or whose path relative to the root, matches one of
    // these globs (fnmatch; FNM_PATHNAME for paths) is left out with its subtree.
    std::vector<std::string> excludePatterns;
    int maxDepth = -1; // folders deeper below the root are left out; -1: no limit
    bool oneFileSystem = false; // other mounted file systems are not entered
};

// The collator that orders siblings in the tree: natural, case-insensitive,
// in the locale's collation (English where the locale is C). Names compare
// as QString::fromUtf8 of their raw bytes; equal ones by the bytes.
QCollator siblingCollator();

class FolderTree {
public:
    using NodeId = std::uint32_t;
    static constexpr NodeId kNoNode = UINT32_MAX;

    // A folder's subfolders as listing it found them, in tree order.
    struct ListedFolder {
        std::string names; // raw, each NUL-terminated
        std::vector<std::size_t> offsets; // where each name begins
        int hiddenLeftOut = 0;
        int excludedLeftOut = 0;
        long long otherEntries = 0;
        // Its other entries (files, links ...) were kept where they were
        // asked for (not too many to hold).
        bool othersKept = false;
        bool failed = false; // the listing broke off: what was found is kept, the folder is unlisted
        bool stopped = false; // the walk was stopped: nothing is kept
    };

    explicit FolderTree(const QByteArray& rootText = QByteArrayLiteral("/"), FolderScope scope = {});

    // Folders left out of the tree wherever they are met, with everything
    // below them: the program's own working and reports folders, whose
    // contents change while it runs. Setting them empties the tree below the
    // root, which is listed anew. A folder is left out when it is one of
    // them itself (its own identity, never its entry's inode number); met
    // again at another place (a bind mount of it), its permissions are
    // compared there but it is not entered.
    void setExcluded(std::vector<ExcludedFolder> excluded);
    // What else the tree takes in: hidden folders, patterns, depth, other
    // file systems; the excluded folders stay as setExcluded left them. A
    // scope that changes what is taken in empties the tree below the root,
    // as setExcluded does; an equal one changes nothing.
    void setScope(const FolderScope& scope);
    const FolderScope& scope() const { return scope_; }
    FolderTree(const FolderTree&) = delete;
    FolderTree& operator=(const FolderTree&) = delete;

    // Re-roots the tree at `rootText`, compared byte for byte with the current
    // root text: an equal text changes nothing. A text that does not name a
    // directory rebuilds the tree at its previous root and throws
    // FolderTreeError("Error setting path: \"<printable text>\""). The new
    // root is listed one level deep at once, or, without `listRoot`, when it
    // is first walked (a root of a million subfolders then takes no time here).
    void setRoot(const QByteArray& rootText, bool listRoot = true);
    const QByteArray& root() const { return root_; }

    // The folder list, in pre-order: node 0 is the root, each node is
    // followed by its whole subtree. Indices outside 0..count()-1 throw
    // FolderTreeError("Invalid index").
    int count() const { return static_cast<int>(nodes_.size()); }
    NodeId node(int index) const;
    int level(int index) const { return levelOf(node(index)); }
    QByteArray path(int index) const { return pathOf(node(index)); }
    std::string printablePath(int index) const { return printablePathOf(node(index)); }

    // Lists the whole subtree below the node at `index` with `jobs` walker
    // threads (0: as many as suit this machine; 1: the calling thread alone),
    // however deep. `progress`, when given, is called now and then on the
    // calling thread with the node count.
    void expandRecursively(int index, const std::function<void(int)>& progress = {}, int jobs = 0);
    // The same, and each folder reached is read and taken as `hooks` say
    // (platform/FolderWalk.h): the walk visits every folder of the subtree,
    // whether it was listed before or not.
    void walk(int index, const WalkHooks& hooks);
    // Ends the walk under way soon (called from its progress); the tree
    // keeps what was listed, and is not fully expanded.
    void stop() { stopRequested_ = true; }

    // Folders whose subfolders could not be listed (no permission, vanished,
    // replaced while the walk was away, an I/O error): their subtrees are
    // missing from the tree. A subfolder that cannot be reached at all is in
    // the tree, but not listed here: nothing below it is known to be missing.
    int unlistedCount() const { return unlistedCount_; }
    // Hidden folders met while listing and left out, with all below them.
    int hiddenLeftOut() const { return hiddenLeftOut_; }
    // The program's own folders met below the root and left out, with all below them.
    int excludedLeftOut() const { return excludedLeftOut_; }
    // Entries that are not folders (files, links, devices ...) in the folders
    // listed so far, hidden ones only with the hidden folders.
    long long otherEntries() const { return otherEntries_; }
    bool isUnlisted(NodeId id) const { return (nodes_[id].flags & kUnlisted) != 0; }

    // Node access for the visible tree.
    NodeId parentOf(NodeId id) const { return nodes_[id].parent; }
    int childCount(NodeId id) const { return static_cast<int>(nodes_[id].childCount); }
    NodeId childOf(NodeId id, int row) const { return nodes_[id].firstChild + static_cast<NodeId>(row); }
    int rowOf(NodeId id) const;
    int levelOf(NodeId id) const { return static_cast<int>(nodes_[id].level); }
    bool isListed(NodeId id) const { return (nodes_[id].flags & kListed) != 0; }
    // Lists the node's children if that was not done before (and no walk is
    // under way: the walk lists them).
    void listChildren(NodeId id);
    // True when listing the node would give it children, known without
    // listing it: a folder not yet listed is read only until its first
    // subfolder that the tree would show. One that cannot be read, and one
    // on the kernel's own file systems, has none; an automount point that is
    // not mounted is not mounted to look, and counts as having some.
    bool hasSubfolders(NodeId id);
    // The same for each child of a listed node, with the node opened once.
    // Children not looked at before `deadline` count as having some: a folder
    // of very many children is not held up (listing them will tell).
    std::vector<bool> childrenWithSubfolders(NodeId id, std::chrono::steady_clock::time_point deadline);
    // The raw name of a node; the root's is the root text.
    QByteArray nameOf(NodeId id) const;
    QByteArray pathOf(NodeId id) const;
    std::string printablePathOf(NodeId id) const;

private:
    enum : std::uint8_t {
        kListed = 1,
        kUnlisted = 2
    };
    struct Node {
        NodeId parent;
        NodeId firstChild;
        std::uint32_t childCount;
        std::uint32_t level;
        std::uint64_t nameOffset : 40; // where names_ keeps it, NUL-terminated
        std::uint64_t nameLength : 16;
        std::uint64_t flags : 8;
    };

    friend class FolderWalk;
    static constexpr std::size_t kDirentBuffer = 64 * 1024;

    void rebuild(int rootFd, bool listRoot = true);
    static int openRoot(const QByteArray& rootText);
    void listFrom(NodeId id, int dirFd);
    // Lists the folder open as `dirFd`, whose identity is `identity` and raw
    // path below the root `relative` (wanted only for exclusion patterns),
    // changing nothing of the tree: walker threads list folders at once.
    // `pulse`, when given, is called now and then; `stop` ends it early.
    // With `others`, its other entries are kept there too (emptied first).
    ListedFolder listFolder(int dirFd, FolderIdentity identity, std::string_view relative, std::vector<char>& buffer,
                            const SiblingOrder& order, const std::atomic<bool>& stop,
                            const std::function<void()>& pulse, FolderEntries* others = nullptr) const;
    // Makes what listing found the children of `id`.
    void adopt(NodeId id, const ListedFolder& listed);
    // The same, the children numbered from `first` on, at `level` (a walker
    // numbers them as it lists; the nodes up to them may come later).
    void adopt(NodeId id, const ListedFolder& listed, NodeId first, std::uint32_t level);
    // Makes room for node `id`, numbered by a walker before its parent's
    // listing put it in the tree.
    void ensureNode(NodeId id)
    {
        if (nodes_.size() <= id)
            nodes_.resize(std::size_t(id) + 1, Node {kNoNode, 0, 0, 0, 0, 0, 0});
    }
    bool beyondDepth(std::uint32_t level) const
    {
        return scope_.maxDepth >= 0 && level >= static_cast<std::uint32_t>(scope_.maxDepth);
    }
    std::string relativePathOf(NodeId id) const;
    // What the entry `name` (of type `type`, a DT_ value) of the folder open
    // as `dirFd` is to the tree. An entry whose type cannot be learned (the
    // file system gives none, and looking at it fails) is a folder: the walk
    // then fails to reach it, and it counts as not read, never as nothing.
    // `holdsExcluded`: the folder holds an excluded folder, so each of its
    // subfolders is looked at to know that one by its own identity.
    enum class Entry {
        Folder,
        NotAFolder,
        Excluded
    };
    Entry entryKind(int dirFd, const char* name, unsigned char type, bool holdsExcluded) const;
    bool isExcluded(FolderIdentity identity) const;
    bool holdsExcluded(FolderIdentity identity) const;
    void markUnlisted(NodeId id);
    // hasSubfolders for a child of the folder open as `parentFd`, on
    // `parentDevice`; for the folder open as `fd` (closed here).
    bool hasSubfoldersBelow(int parentFd, dev_t parentDevice, NodeId id);
    bool hasSubfoldersIn(int fd, NodeId id);
    void ensurePreorder() const;
    const char* cName(NodeId id) const { return names_.at(nodes_[id].nameOffset); }

    QByteArray root_;
    PagedArray<Node> nodes_;
    PagedNames names_;
    mutable std::vector<NodeId> preorder_; // pre-order index -> node
    mutable bool preorderValid_ = false;
    int unlistedCount_ = 0;
    int hiddenLeftOut_ = 0;
    int excludedLeftOut_ = 0;
    long long otherEntries_ = 0;
    bool fullyExpanded_ = false;
    std::atomic<bool> stopRequested_ {false};
    bool walking_ = false; // a walk is under way: it alone lists folders
    SiblingOrder order_;
    FolderScope scope_;
    bool leftOut(const char* name, std::string_view parentRelative) const;
};

} // namespace gw
