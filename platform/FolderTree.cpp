#include "platform/FolderTree.h"
#include "platform/PrintableText.h"

#include "platform/DirectoryEntries.h"
#include "platform/DirectoryOpen.h"
#include "platform/FolderWalk.h"
#include "platform/PrintablePath.h"

#include <QScopeGuard>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <linux/magic.h>
#include <memory>
#include <numeric>
#include <optional>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace gw {
namespace {

void closeFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

QLocale collationLocale()
{
    // Qt compares plain code points in the C locale, ignoring numeric mode
    // and case; file managers order names naturally there too.
    const QLocale locale = QLocale().collation();
    return locale.language() == QLocale::C ? QLocale(QLocale::English) : locale;
}

} // namespace

QCollator siblingCollator()
{
    QCollator collator(collationLocale());
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

FolderTree::FolderTree(const QByteArray& rootText, FolderScope scope)
    : scope_(std::move(scope))
{
    setRoot(rootText);
}

void FolderTree::setRoot(const QByteArray& rootText, bool listRoot)
{
    if (rootText == root_ && !nodes_.empty())
        return;
    const QByteArray previous = root_;
    root_ = rootText;
    const int fd = rootText.isEmpty() ? -1 : openRoot(rootText);
    if (fd < 0) {
        root_ = previous;
        const int previousFd = previous.isEmpty() ? -1 : openRoot(previous);
        rebuild(previousFd);
        throw FolderTreeError("Error setting path: \"" + printable(gw::rawView(rootText)) + "\"");
    }
    rebuild(fd, listRoot);
}

int FolderTree::openRoot(const QByteArray& rootText)
{
    bool listable = true; // a folder that cannot be read is still a root: its subfolders are not listed
    return openDirectoryForPermissions(gw::rawView(rootText), listable);
}

bool FolderTree::leftOut(const char* name, std::string_view parentRelative) const
{
    const std::string path = parentRelative.empty() ? std::string(name) : std::string(parentRelative) + '/' + name;
    for (const std::string& pattern : scope_.excludePatterns) {
        if (::fnmatch(pattern.c_str(), name, 0) == 0 || ::fnmatch(pattern.c_str(), path.c_str(), FNM_PATHNAME) == 0)
            return true;
    }
    return false;
}

std::optional<ExcludedFolder> excludedFolder(int fd)
{
    struct stat self { };
    struct stat parent { };
    if (::fstat(fd, &self) != 0 || ::fstatat(fd, "..", &parent, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    return ExcludedFolder {{self.st_dev, self.st_ino}, {parent.st_dev, parent.st_ino}};
}

bool FolderTree::isExcluded(FolderIdentity identity) const
{
    return std::any_of(scope_.excluded.begin(), scope_.excluded.end(),
                       [&](const ExcludedFolder& e) { return e.folder == identity; });
}

bool FolderTree::holdsExcluded(FolderIdentity identity) const
{
    return std::any_of(scope_.excluded.begin(), scope_.excluded.end(),
                       [&](const ExcludedFolder& e) { return e.parent == identity; });
}

FolderTree::Entry FolderTree::entryKind(int dirFd, const char* name, unsigned char type, bool holdsExcluded) const
{
    if (type != DT_DIR && type != DT_UNKNOWN)
        return Entry::NotAFolder;
    if (type == DT_DIR && !holdsExcluded)
        return Entry::Folder;
    struct stat st { };
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT) != 0)
        return errno == ENOENT ? Entry::NotAFolder : Entry::Folder; // gone, or not known: never nothing
    if (!S_ISDIR(st.st_mode))
        return Entry::NotAFolder;
    return isExcluded(FolderIdentity {st.st_dev, st.st_ino}) ? Entry::Excluded : Entry::Folder;
}

void FolderTree::setExcluded(std::vector<ExcludedFolder> excluded)
{
    scope_.excluded = std::move(excluded);
    // The root is listed again when it is next walked or expanded: a root of
    // a million subfolders is then listed with the walk's progress.
    if (!nodes_.empty())
        rebuild(root_.isEmpty() ? -1 : openRoot(root_), false);
}

void FolderTree::setScope(const FolderScope& scope)
{
    if (scope.includeHidden == scope_.includeHidden && scope.excludePatterns == scope_.excludePatterns
        && scope.maxDepth == scope_.maxDepth && scope.oneFileSystem == scope_.oneFileSystem)
        return;
    scope_.includeHidden = scope.includeHidden;
    scope_.excludePatterns = scope.excludePatterns;
    scope_.maxDepth = scope.maxDepth;
    scope_.oneFileSystem = scope.oneFileSystem;
    if (!nodes_.empty())
        rebuild(root_.isEmpty() ? -1 : openRoot(root_), false);
}

void FolderTree::rebuild(int rootFd, bool listRoot)
{
    nodes_.clear();
    names_.clear();
    preorder_.clear();
    preorderValid_ = false;
    unlistedCount_ = 0;
    hiddenLeftOut_ = 0;
    excludedLeftOut_ = 0;
    otherEntries_ = 0;
    fullyExpanded_ = false;
    if (root_.isEmpty()) {
        closeFd(rootFd);
        return;
    }
    names_.add({}); // the root's name is the root text, kept in root_
    nodes_.push_back(Node {kNoNode, 0, 0, 0, 0, 0, 0});
    if (rootFd < 0 || isPathOnly(rootFd)) {
        closeFd(rootFd);
        markUnlisted(0);
        return;
    }
    if (listRoot)
        listFrom(0, rootFd);
    closeFd(rootFd);
}

FolderTree::NodeId FolderTree::node(int index) const
{
    if (index < 0 || index >= count())
        throw FolderTreeError("Invalid index");
    ensurePreorder();
    return preorder_[static_cast<std::size_t>(index)];
}

void FolderTree::ensurePreorder() const
{
    if (preorderValid_)
        return;
    preorder_.clear();
    preorder_.reserve(nodes_.size());
    if (!nodes_.empty()) {
        // Children are contiguous, so a stack of (next child, end) ranges walks
        // the tree in pre-order without recursion.
        std::vector<std::pair<NodeId, NodeId>> stack;
        preorder_.push_back(0);
        stack.emplace_back(nodes_[0].firstChild, nodes_[0].firstChild + nodes_[0].childCount);
        while (!stack.empty()) {
            auto& [next, end] = stack.back();
            if (next == end) {
                stack.pop_back();
                continue;
            }
            const NodeId id = next++;
            preorder_.push_back(id);
            if (nodes_[id].childCount > 0)
                stack.emplace_back(nodes_[id].firstChild, nodes_[id].firstChild + nodes_[id].childCount);
        }
    }
    preorderValid_ = true;
}

int FolderTree::rowOf(NodeId id) const
{
    const NodeId parent = nodes_[id].parent;
    return parent == kNoNode ? 0 : static_cast<int>(id - nodes_[parent].firstChild);
}

QByteArray FolderTree::nameOf(NodeId id) const
{
    if (id == 0)
        return root_;
    return QByteArray(cName(id), static_cast<qsizetype>(nodes_[id].nameLength));
}

QByteArray FolderTree::pathOf(NodeId id) const
{
    std::vector<NodeId> chain;
    qsizetype length = root_.size();
    for (NodeId n = id; n != 0; n = nodes_[n].parent) {
        chain.push_back(n);
        length += static_cast<qsizetype>(nodes_[n].nameLength) + 1;
    }
    QByteArray path;
    path.reserve(length);
    path.append(root_);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!path.endsWith('/'))
            path.append('/');
        path.append(cName(*it), static_cast<qsizetype>(nodes_[*it].nameLength));
    }
    return path;
}

std::string FolderTree::printablePathOf(NodeId id) const
{
    const QByteArray raw = pathOf(id);
    return printable(gw::rawView(raw));
}

void FolderTree::markUnlisted(NodeId id)
{
    Node& n = nodes_[id];
    if (!(n.flags & kUnlisted))
        ++unlistedCount_;
    n.flags = kListed | kUnlisted;
}

void FolderTree::listChildren(NodeId id)
{
    if (isListed(id) || walking_)
        return; // a walk under way lists it

    const QByteArray raw = pathOf(id);
    const int fd = openDirectory(gw::rawView(raw));
    if (fd < 0) {
        markUnlisted(id);
        return;
    }
    // The same rule as the walk's: the kernel's own file systems are not entered.
    struct statfs fs { };
    if (id != 0 && ::fstatfs(fd, &fs) == 0 && isPseudoFileSystem(static_cast<long>(fs.f_type)))
        nodes_[id].flags = kListed;
    else
        listFrom(id, fd);
    ::close(fd);
}

std::string FolderTree::relativePathOf(NodeId id) const
{
    if (id == 0)
        return {};
    const QByteArray full = pathOf(id);
    std::string relative(full.constData() + root_.size(), static_cast<std::size_t>(full.size() - root_.size()));
    while (!relative.empty() && relative.front() == '/')
        relative.erase(0, 1);
    return relative;
}

void FolderTree::listFrom(NodeId id, int dirFd)
{
    if (beyondDepth(nodes_[id].level)) {
        nodes_[id].flags = kListed; // deeper folders are not part of the tree
        return;
    }
    struct stat st { };
    const FolderIdentity identity = ::fstat(dirFd, &st) == 0 ? FolderIdentity {st.st_dev, st.st_ino}
                                                             : FolderIdentity {};
    const std::string relative = scope_.excludePatterns.empty() ? std::string() : relativePathOf(id);
    std::vector<char> buffer(kDirentBuffer);
    const std::atomic<bool> never {false};
    adopt(id, listFolder(dirFd, identity, relative, buffer, order_, never, {}));
}

namespace {

// What a listing keeps while it runs, before its names are in tree order.
struct ListingRoom {
    std::string names; // as found, each NUL-terminated
    std::vector<std::pair<std::size_t, std::uint16_t>> found; // offset and length of each
    std::vector<std::uint32_t> order;
    std::vector<std::string_view> views;
    std::vector<QCollatorSortKey> keys;
    bool inUse = false;
};

} // namespace

FolderTree::ListedFolder FolderTree::listFolder(int dirFd, FolderIdentity identity, std::string_view relative,
                                                std::vector<char>& buffer, const SiblingOrder& siblingOrder,
                                                const std::atomic<bool>& stop, const std::function<void()>& pulse,
                                                FolderEntries* others) const
{
    // Other entries are kept for the files' reading up to this many; a
    // folder of more has them listed again, not held.
    constexpr std::size_t kMaxOthersKept = 1 << 16;
    ListedFolder listed;
    listed.othersKept = others != nullptr;
    if (others) {
        others->entries.clear();
        others->names.clear();
    }
    // An excluded folder is known by its own identity, looked up in the
    // folder that holds it: an entry's inode number is not the folder's on
    // every file system, and a mount point's is the one below it.
    const bool holder = !scope_.excluded.empty() && holdsExcluded(identity);
    // Room for what is found, kept by each thread from one folder to the
    // next. Progress given meanwhile may list another folder on this thread
    // (the window's events): that listing gets room of its own.
    thread_local ListingRoom kept;
    std::unique_ptr<ListingRoom> own;
    ListingRoom& room = kept.inUse ? *(own = std::make_unique<ListingRoom>()) : kept;
    room.inUse = true;
    const auto release = qScopeGuard([&room] {
        room.keys.clear();
        room.views.clear();
        if (room.found.capacity() > 4096) // a wide folder's room is not kept
            room = ListingRoom();
        room.inUse = false;
    });
    std::string& names = room.names; // as found
    auto& found = room.found;
    names.clear();
    found.clear();
    const int error = forEachEntry(
        dirFd, buffer,
        [&](const char* name, unsigned char type) {
            if (listed.othersKept && type != DT_DIR) {
                if (others->entries.size() == kMaxOthersKept) {
                    listed.othersKept = false;
                    *others = FolderEntries();
                } else {
                    others->entries.emplace_back(others->names.size(), type);
                    others->names.append(name, std::strlen(name) + 1);
                }
            }
            const Entry kind = entryKind(dirFd, name, type, holder);
            if (kind == Entry::Excluded)
                ++listed.excludedLeftOut;
            if (kind == Entry::NotAFolder && (name[0] != '.' || scope_.includeHidden))
                ++listed.otherEntries;
            if (kind != Entry::Folder)
                return true;
            if (!scope_.excludePatterns.empty() && leftOut(name, relative))
                return true;
            if (name[0] == '.' && !scope_.includeHidden) { // counted only if nothing else left it out
                ++listed.hiddenLeftOut;
                return true;
            }
            const std::size_t length = std::strlen(name);
            found.emplace_back(names.size(), static_cast<std::uint16_t>(length));
            names.append(name, length + 1);
            return true;
        },
        [&] {
            if (pulse)
                pulse();
            listed.stopped = stop.load(std::memory_order_relaxed);
            return !listed.stopped;
        });
    if (listed.stopped) // not listed after all: a later walk lists it
        return listed;
    if (error != 0) {
        listed.failed = true;
        listed.othersKept = false;
    }

    // Sort the siblings: natural, case-insensitive, locale-aware; ties by bytes.
    std::vector<std::uint32_t>& order = room.order;
    order.resize(found.size());
    std::iota(order.begin(), order.end(), 0u);
    if (found.size() > 1) {
        room.views.clear();
        for (const auto& [offset, length] : found)
            room.views.emplace_back(names.data() + offset, length);
        siblingOrder.sort(order, room.views, room.keys, pulse);
    }
    listed.names.reserve(names.size());
    listed.offsets.reserve(found.size());
    for (std::uint32_t k : order) {
        listed.offsets.push_back(listed.names.size());
        listed.names.append(names.data() + found[k].first, found[k].second + 1u);
    }
    return listed;
}

void FolderTree::adopt(NodeId id, const ListedFolder& listed)
{
    adopt(id, listed, static_cast<NodeId>(nodes_.size()), nodes_[id].level + 1);
}

void FolderTree::adopt(NodeId id, const ListedFolder& listed, NodeId first, std::uint32_t level)
{
    hiddenLeftOut_ += listed.hiddenLeftOut;
    excludedLeftOut_ += listed.excludedLeftOut;
    otherEntries_ += listed.otherEntries;
    const std::size_t count = listed.offsets.size();
    ensureNode(id);
    if (count > 0)
        ensureNode(static_cast<NodeId>(first + count - 1));
    nodes_[id].firstChild = first;
    nodes_[id].childCount = static_cast<std::uint32_t>(count);
    // A child listed before this (by another walker) keeps what its own
    // listing gave it; this gives it its place and its name.
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t end = k + 1 < count ? listed.offsets[k + 1] : listed.names.size();
        Node& child = nodes_[first + k];
        child.parent = id;
        child.level = level;
        const std::size_t length = end - listed.offsets[k] - 1;
        child.nameOffset = names_.add({listed.names.data() + listed.offsets[k], length}) & 0xFFFFFFFFFFu;
        child.nameLength = static_cast<std::uint16_t>(length);
    }
    nodes_[id].flags |= kListed;
    preorderValid_ = false;
    if (listed.failed)
        markUnlisted(id);
}

void FolderTree::expandRecursively(int index, const std::function<void(int)>& progress, int jobs)
{
    WalkHooks hooks;
    hooks.progress = progress;
    hooks.jobs = jobs;
    walk(index, hooks);
}

void FolderTree::walk(int index, const WalkHooks& hooks)
{
    const NodeId top = node(index);
    if (fullyExpanded_ && !hooks.read && !hooks.take)
        return;
    stopRequested_ = false;
    struct Walking {
        bool& flag;
        ~Walking() { flag = false; }
    } walking {walking_};
    walking_ = true;
    FolderWalk(*this, hooks).run(top);
    if (top == 0 && !stopRequested_) // stopped while the top was listed: it was not
        fullyExpanded_ = true;
}

bool FolderTree::hasSubfolders(NodeId id)
{
    if (isListed(id))
        return nodes_[id].childCount > 0;
    if (id == 0)
        return hasSubfoldersIn(openDirectory(gw::rawView(root_)), id);
    const int parentFd = openDirectory(gw::rawView(pathOf(nodes_[id].parent)));
    struct stat parent { };
    const bool some = parentFd >= 0 && ::fstat(parentFd, &parent) == 0
        && hasSubfoldersBelow(parentFd, parent.st_dev, id);
    if (parentFd >= 0)
        ::close(parentFd);
    return some;
}

std::vector<bool> FolderTree::childrenWithSubfolders(NodeId id, std::chrono::steady_clock::time_point deadline)
{
    const int n = childCount(id);
    std::vector<bool> some(static_cast<std::size_t>(n), true);
    const int parentFd = openDirectory(gw::rawView(pathOf(id)));
    struct stat parent { };
    const bool opened = parentFd >= 0 && ::fstat(parentFd, &parent) == 0;
    for (int row = 0; row < n && std::chrono::steady_clock::now() < deadline; ++row) {
        const NodeId child = childOf(id, row);
        some[static_cast<std::size_t>(row)] = isListed(child)
            ? nodes_[child].childCount > 0
            : opened && hasSubfoldersBelow(parentFd, parent.st_dev, child);
    }
    if (parentFd >= 0)
        ::close(parentFd);
    return some;
}

bool FolderTree::hasSubfoldersBelow(int parentFd, dev_t parentDevice, NodeId id)
{
    // As the walk opens it: never through a link, no automount triggered.
    const ChildDirectory child = openChildDirectory(parentFd, cName(id), parentDevice);
    struct statfs fs { };
    if (child.result == ChildOpen::Skipped && ::fstatfs(child.fd, &fs) == 0 && fs.f_type == AUTOFS_SUPER_MAGIC) {
        ::close(child.fd); // not mounted just to look: listing it will tell
        return true;
    }
    if (child.result == ChildOpen::Opened)
        return hasSubfoldersIn(child.fd, id);
    if (child.fd >= 0)
        ::close(child.fd);
    return false;
}

bool FolderTree::hasSubfoldersIn(int fd, NodeId id)
{
    if (fd < 0)
        return false;
    struct statfs fs { };
    struct stat st { };
    if ((id != 0 && ::fstatfs(fd, &fs) == 0 && isPseudoFileSystem(static_cast<long>(fs.f_type)))
        || ::fstat(fd, &st) != 0) {
        ::close(fd);
        return false;
    }
    const bool holder = holdsExcluded(FolderIdentity {st.st_dev, st.st_ino});
    // A small buffer: most folders show a subfolder within their first entries.
    std::vector<char> buffer(8192);
    bool found = false;
    forEachEntry(
        fd, buffer,
        [&](const char* name, unsigned char type) {
            if (name[0] != '.') // hidden ones are not looked at
                found = entryKind(fd, name, type, holder) == Entry::Folder;
            return !found;
        },
        [] { return true; });
    ::close(fd);
    return found;
}

} // namespace gw
