#include "platform/FolderTree.h"
#include "platform/PrintableText.h"

#include "platform/DirectoryOpen.h"
#include "platform/PrintablePath.h"

#include <QString>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <linux/magic.h>
#include <numeric>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace gw {
namespace {

// Folders kept open on the way down; beyond this the shallowest are closed
// and opened again by path when their remaining children are visited.
constexpr std::size_t kMaxOpenFolders = 256;

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
    : collator_(siblingCollator())
    , direntBuffer_(64 * 1024)
    , scope_(std::move(scope))
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
    names_.push_back('\0'); // the root's name is the root text, kept in root_
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
    if (isListed(id))
        return;
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

void FolderTree::listFrom(NodeId id, int dirFd, const FolderIdentity* knownIdentity)
{
    struct Found {
        std::uint64_t offset;
        std::uint16_t length;
    };
    std::vector<Found> found;
    const std::size_t namesBefore = names_.size();
    bool failed = false;
    if (scope_.maxDepth >= 0 && nodes_[id].level >= static_cast<std::uint32_t>(scope_.maxDepth)) {
        nodes_[id].flags = kListed; // deeper folders are not part of the tree
        return;
    }
    // The folder's path relative to the root, for the exclusion patterns.
    std::string relative;
    if (!scope_.excludePatterns.empty() && id != 0) {
        const QByteArray full = pathOf(id);
        relative.assign(full.constData() + root_.size(), static_cast<std::size_t>(full.size() - root_.size()));
        while (!relative.empty() && relative.front() == '/')
            relative.erase(0, 1);
    }
    // An excluded folder is known by its own identity, looked up in the
    // folder that holds it: an entry's inode number is not the folder's on
    // every file system, and a mount point's is the one below it.
    bool holder = false;
    if (!scope_.excluded.empty()) {
        struct stat st { };
        if (knownIdentity)
            holder = holdsExcluded(*knownIdentity);
        else if (::fstat(dirFd, &st) == 0)
            holder = holdsExcluded(FolderIdentity {st.st_dev, st.st_ino});
    }
    for (;;) {
        if (pulse_)
            pulse_();
        if (stopRequested_) { // not listed after all: a later walk lists it
            names_.resize(namesBefore);
            return;
        }
        const ssize_t n = ::getdents64(dirFd, direntBuffer_.data(), direntBuffer_.size());
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            failed = true;
            break;
        }
        for (ssize_t pos = 0; pos < n;) {
            const auto* entry = reinterpret_cast<const struct dirent64*>(direntBuffer_.data() + pos);
            pos += entry->d_reclen;
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue; // "." and ".."
            const Entry kind = entryKind(dirFd, name, entry->d_type, holder);
            if (kind == Entry::Excluded)
                ++excludedLeftOut_;
            if (kind == Entry::NotAFolder && (name[0] != '.' || scope_.includeHidden))
                ++otherEntries_;
            if (kind != Entry::Folder)
                continue;
            if (!scope_.excludePatterns.empty() && leftOut(name, relative))
                continue;
            if (name[0] == '.' && !scope_.includeHidden) { // counted only if nothing else left it out
                ++hiddenLeftOut_;
                continue;
            }
            const std::size_t length = std::strlen(name);
            found.push_back(Found {names_.size(), static_cast<std::uint16_t>(length)});
            names_.append(name, length + 1);
        }
    }

    // Sort the siblings: natural, case-insensitive, locale-aware; ties by bytes.
    std::vector<std::uint32_t> order(found.size());
    std::iota(order.begin(), order.end(), 0u);
    if (found.size() > 1) {
        // A folder of many thousands of subfolders takes a while: the walk's
        // progress goes on meanwhile.
        constexpr std::uint32_t kPulseEvery = 1 << 14;
        std::uint32_t steps = 0;
        const auto step = [&] {
            if (++steps % kPulseEvery == 0 && pulse_)
                pulse_();
        };
        std::vector<QCollatorSortKey> keys;
        keys.reserve(found.size());
        for (const Found& f : found) {
            keys.push_back(collator_.sortKey(QString::fromUtf8(names_.data() + f.offset, f.length)));
            step();
        }
        std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
            step();
            const int c = keys[a].compare(keys[b]);
            if (c != 0)
                return c < 0;
            const std::string_view na(names_.data() + found[a].offset, found[a].length);
            const std::string_view nb(names_.data() + found[b].offset, found[b].length);
            return na < nb;
        });
    }

    const std::uint32_t level = nodes_[id].level + 1;
    nodes_[id].firstChild = static_cast<NodeId>(nodes_.size());
    nodes_[id].childCount = static_cast<std::uint32_t>(found.size());
    for (std::uint32_t k : order)
        nodes_.push_back(Node {id, 0, 0, level, found[k].offset & 0xFFFFFFFFFFu, found[k].length, 0});
    nodes_[id].flags = kListed;
    preorderValid_ = false;
    if (failed)
        markUnlisted(id);
}

void FolderTree::expandRecursively(int index, const std::function<void(int)>& progress, const Visit& visit)
{
    if (!visit) {
        expandRecursively(index, progress, HandOver());
        return;
    }
    expandRecursively(index, progress, [&visit](NodeId id, int fd, bool handedOver) {
        visit(id, fd);
        if (handedOver)
            ::close(fd);
    });
}

void FolderTree::expandRecursively(int index, const std::function<void(int)>& progress, const HandOver& visit)
{
    const NodeId top = node(index);
    if (fullyExpanded_)
        return;

    struct Frame {
        NodeId node;
        int fd;
        FolderIdentity identity;
        std::uint32_t next; // row of the next child to visit
    };
    std::vector<Frame> stack;
    std::size_t openCount = 0;
    int lastReported = count();
    int visitsSinceReport = 0;
    FolderIdentity topIdentity {};
    stopRequested_ = false;
    struct PulseScope {
        std::function<void()>& pulse;
        ~PulseScope() { pulse = nullptr; }
    } pulseScope {pulse_};
    if (progress)
        pulse_ = [&] { progress(count()); };

    // Opens `path`'s folder `id` again, the way the walk first reached it:
    // from the nearest folder still open (or from the top, by its path as
    // given), name by name, never through a symbolic link. A folder that is
    // no longer the one the walk saw is not opened.
    const auto reopen = [&](const Frame& f) {
        int fromFd = -1;
        NodeId from = top;
        for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
            if (it->fd >= 0 && it->node != f.node) {
                fromFd = ::fcntl(it->fd, F_DUPFD_CLOEXEC, 0);
                from = it->node;
                break;
            }
        }
        if (fromFd < 0) {
            from = top;
            bool listable = true;
            fromFd = openDirectoryForPermissions(gw::rawView(pathOf(top)), listable);
            struct stat st { };
            if (fromFd >= 0 && (::fstat(fromFd, &st) != 0 || !(FolderIdentity {st.st_dev, st.st_ino} == topIdentity)))
                closeFd(fromFd);
        }
        std::vector<NodeId> chain;
        for (NodeId n = f.node; n != from && n != kNoNode; n = nodes_[n].parent)
            chain.push_back(n);
        for (auto it = chain.rbegin(); it != chain.rend() && fromFd >= 0; ++it) {
            const bool last = *it == f.node;
            const int flags = (last ? O_RDONLY : O_PATH) | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
            const int next = ::openat(fromFd, cName(*it), flags);
            closeFd(fromFd);
            fromFd = next;
        }
        struct stat st { };
        if (fromFd >= 0 && (::fstat(fromFd, &st) != 0 || !(FolderIdentity {st.st_dev, st.st_ino} == f.identity)))
            closeFd(fromFd);
        return fromFd;
    };
    // Visits the folder `id`, open as `fd`, whose identity the opening gave
    // (or, for the top, is looked up here), and walks into it.
    const auto push = [&](NodeId id, int fd, bool listable, const FolderIdentity* known) {
        FolderIdentity identity {};
        if (known) {
            identity = *known;
        } else {
            struct stat st { };
            if (::fstat(fd, &st) != 0) {
                ::close(fd);
                markUnlisted(id);
                return;
            }
            identity = FolderIdentity {st.st_dev, st.st_ino};
        }
        if (id == top)
            topIdentity = identity;
        if (!listable)
            markUnlisted(id);
        else if (!isListed(id))
            listFrom(id, fd, &identity);
        const bool done = !listable || nodes_[id].childCount == 0;
        if (visit)
            visit(id, fd, done);
        if (done) {
            if (!visit)
                ::close(fd);
            return;
        }
        stack.push_back(Frame {id, fd, identity, 0});
        ++openCount;
        if (openCount > kMaxOpenFolders) {
            for (Frame& f : stack) {
                if (f.fd >= 0) {
                    closeFd(f.fd);
                    --openCount;
                    break;
                }
            }
        }
    };

    {
        bool listable = true;
        const int fd = openDirectoryForPermissions(gw::rawView(pathOf(top)), listable);
        if (fd < 0) {
            if (!isListed(top))
                markUnlisted(top);
            return;
        }
        push(top, fd, listable && !isUnlisted(top), nullptr);
    }

    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.next >= nodes_[f.node].childCount) {
            if (f.fd >= 0) {
                closeFd(f.fd);
                --openCount;
            }
            stack.pop_back();
            continue;
        }
        if (f.fd < 0) {
            f.fd = reopen(f);
            if (f.fd < 0) { // gone, or no longer the same folder: its other subfolders are not listed
                markUnlisted(f.node);
                stack.pop_back();
                continue;
            }
            ++openCount;
        }
        const NodeId child = nodes_[f.node].firstChild + f.next++;
        const bool lastChild = f.next >= nodes_[f.node].childCount;
        if (isListed(child) && nodes_[child].childCount == 0)
            continue;
        const dev_t parentDevice = f.identity.device;
        const ChildDirectory opened = openChildDirectory(f.fd, cName(child), parentDevice);
        if (lastChild) { // the parent's descriptor is needed no more
            closeFd(f.fd);
            --openCount;
            stack.pop_back();
        }
        const FolderIdentity identity {opened.device, opened.inode};
        // Checked, not entered: the descriptor is the visitor's.
        const auto visitOnly = [&] {
            nodes_[child].flags |= kListed;
            if (visit)
                visit(child, opened.fd, true);
            else
                ::close(opened.fd);
        };
        if (opened.fd >= 0 && isExcluded(identity)) {
            // An excluded folder met at another place than in its holder (a
            // bind mount of it): what stands here is compared, not entered.
            visitOnly();
        } else {
            switch (opened.result) {
            case ChildOpen::Opened:
                if (scope_.oneFileSystem && opened.device != parentDevice) {
                    visitOnly(); // another file system: its mount point is checked, not entered
                    break;
                }
                push(child, opened.fd, true, &identity);
                break;
            case ChildOpen::Unlistable: push(child, opened.fd, false, &identity); break;
            case ChildOpen::Skipped: visitOnly(); break;
            case ChildOpen::NotAFolder:
            case ChildOpen::Failed:
                // Not reached: its permissions are not read, and there is nothing
                // below it in the tree that could be missing.
                break;
            }
        }
        // Leaves add no nodes: count the visits too, or a folder of many
        // leaves would go without progress.
        if (progress && (count() - lastReported >= 4096 || ++visitsSinceReport >= 256)) {
            lastReported = count();
            visitsSinceReport = 0;
            progress(lastReported);
        }
        if (stopRequested_) {
            for (Frame& open : stack)
                closeFd(open.fd);
            return;
        }
    }
    if (top == 0 && !stopRequested_) // stopped while the top was listed: it was not
        fullyExpanded_ = true;
    if (progress)
        progress(count());
}

} // namespace gw

namespace gw {

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
    alignas(struct dirent64) char buffer[8192];
    bool found = false;
    while (!found) {
        const ssize_t n = ::getdents64(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        for (ssize_t pos = 0; pos < n && !found;) {
            const auto* entry = reinterpret_cast<const struct dirent64*>(buffer + pos);
            pos += entry->d_reclen;
            const char* name = entry->d_name;
            if (name[0] == '.') // hidden, and "." and ".."
                continue;
            found = entryKind(fd, name, entry->d_type, holder) == Entry::Folder;
        }
    }
    ::close(fd);
    return found;
}

} // namespace gw
