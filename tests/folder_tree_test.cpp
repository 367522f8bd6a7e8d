#include "TempTree.h"
#include "platform/AutomountHolders.h"
#include "platform/FolderTree.h"
#include "platform/FolderWalk.h"
#include "platform/PrintablePath.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <optional>
#include <set>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using gw::FolderTree;
using gw::FolderTreeError;
using gwtest::TempTree;

namespace {

QByteArray raw(const std::string& s)
{
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

// "level:name" for every node, in the tree's order.
std::vector<std::string> outline(const FolderTree& tree)
{
    std::vector<std::string> lines;
    for (int i = 0; i < tree.count(); ++i) {
        const std::string name = i == 0 ? "" : tree.nameOf(tree.node(i)).toStdString();
        lines.push_back(std::to_string(tree.level(i)) + ":" + name);
    }
    return lines;
}

// Walks the tree with `jobs` walker threads; `visit` sees each folder reached,
// on the walker thread that reached it, with the folder's descriptor, and
// what it returns is handed to `take` in tree order.
template <typename T> void walkReading(FolderTree& tree, int jobs,
                                       const std::function<T(FolderTree::NodeId, int)>& visit,
                                       const std::function<void(FolderTree::NodeId, const T&)>& take,
                                       const std::function<void(int)>& progress = {})
{
    struct Reading : gw::FolderReading {
        T value;
    };
    gw::WalkHooks hooks;
    hooks.jobs = jobs;
    hooks.progress = progress;
    hooks.read = [&](const gw::ReachedFolder& f) {
        auto r = std::make_unique<Reading>();
        r->value = visit(f.id, f.fd);
        return r;
    };
    hooks.take = [&](FolderTree::NodeId id, std::unique_ptr<gw::FolderReading> r) {
        take(id, static_cast<Reading&>(*r).value);
    };
    tree.walk(0, hooks);
}

} // namespace

TEST(FolderTree, OrdersSiblingsNaturallyAndWalksInPreOrder)
{
    TempTree t;
    for (const char* d : {"f10", "f2", "B", "a", "a/x", "a/x/deep", "a/W", "f1", ".hidden", ".hidden/inner"})
        t.mkdir(d);
    ::close(::open(t.path("a/file").c_str(), O_CREAT | O_WRONLY, 0644)); // files are not folders
    FolderTree tree(raw(t.root()));
    EXPECT_EQ(tree.count(), 6); // listed one level deep at re-rooting
    tree.expandRecursively(0);
    EXPECT_EQ(outline(tree),
              (std::vector<std::string> {"0:", "1:a", "2:W", "2:x", "3:deep", "1:B", "1:f1", "1:f2", "1:f10"}));
    EXPECT_EQ(tree.path(0), raw(t.root()));
    EXPECT_EQ(tree.path(4), raw(t.path("a/x/deep")));
    EXPECT_EQ(tree.unlistedCount(), 0);

    // Expanding again lists nothing new, even if folders appeared meanwhile.
    t.mkdir("later");
    tree.expandRecursively(0);
    EXPECT_EQ(tree.count(), 9);
    // Re-rooting at the same text keeps the tree; another text lists afresh.
    tree.setRoot(raw(t.root()));
    EXPECT_EQ(tree.count(), 9);
    tree.setRoot(raw(t.path("a")));
    tree.setRoot(raw(t.root()));
    EXPECT_EQ(tree.count(), 7);
}

TEST(FolderTree, LinksAreNeitherListedNorFollowed)
{
    TempTree t;
    t.mkdir("real/sub");
    ASSERT_EQ(::symlink(t.root().c_str(), t.path("real/loop").c_str()), 0); // a link loop
    ASSERT_EQ(::symlink(t.path("real").c_str(), t.path("link").c_str()), 0); // a link to a folder
    FolderTree tree(raw(t.root()));
    tree.expandRecursively(0);
    EXPECT_EQ(outline(tree), (std::vector<std::string> {"0:", "1:real", "2:sub"}));
}

TEST(FolderTree, InvalidIndexAndFailedReRoot)
{
    TempTree t;
    t.mkdir("Data/one");
    t.mkdir("data");
    FolderTree tree(raw(t.path("Data")));
    EXPECT_THROW(tree.node(-1), FolderTreeError);
    try {
        tree.level(tree.count());
        FAIL() << "no error";
    } catch (const FolderTreeError& e) {
        EXPECT_STREQ(e.what(), "Invalid index");
    }

    // Linux paths are case-sensitive: "data" is another folder than "Data".
    tree.setRoot(raw(t.path("data")));
    EXPECT_EQ(tree.root(), raw(t.path("data")));
    EXPECT_EQ(tree.count(), 1);

    // A text that names no folder fails and leaves the tree at its previous root.
    const std::string missing = t.path("no such\nfolder");
    try {
        tree.setRoot(raw(missing));
        FAIL() << "no error";
    } catch (const FolderTreeError& e) {
        EXPECT_EQ(std::string(e.what()), "Error setting path: \"" + t.root() + "/no such\\012folder\"");
    }
    EXPECT_EQ(tree.root(), raw(t.path("data")));
    EXPECT_EQ(tree.count(), 1);
    EXPECT_THROW(tree.setRoot(""), FolderTreeError);
    EXPECT_EQ(tree.root(), raw(t.path("data")));
}

TEST(FolderTree, AwkwardNamesKeepTheirBytesAndPrintableForm)
{
    TempTree t;
    const std::string top = "top "; // a trailing blank on the root
    t.mkdir(top);
    t.mkdir(top + "/mid /in"); // and on a middle folder
    t.mkdir(top + "/new\nline");
    t.mkdir(top + "/x:(y");
    t.mkdir(top + "/\xff");
    FolderTree tree(raw(t.path(top)));
    tree.expandRecursively(0);
    ASSERT_EQ(tree.count(), 6);
    const std::string rootPrintable = tree.printablePath(0);
    EXPECT_EQ(rootPrintable, t.root() + "/top\\040");
    for (int i = 1; i < tree.count(); ++i) {
        const std::string p = tree.printablePath(i);
        const std::string parent = tree.printablePathOf(tree.parentOf(tree.node(i)));
        EXPECT_EQ(p.rfind(parent + "/", 0), 0u) << p;
        EXPECT_EQ(p.find('\n'), std::string::npos);
        struct stat st { };
        const QByteArray rawPath = tree.path(i);
        EXPECT_EQ(::stat(rawPath.constData(), &st), 0) << p; // raw bytes reach the real folder
    }
    std::vector<std::string> printed;
    for (int i = 0; i < tree.count(); ++i)
        printed.push_back(tree.printablePath(i).substr(t.root().size()));
    EXPECT_EQ(printed,
              (std::vector<std::string> {"/top\\040", "/top\\040/mid\\040", "/top\\040/mid\\040/in",
                                         "/top\\040/new\\012line", "/top\\040/x:\\050y", "/top\\040/\\377"}));
}

TEST(FolderTree, RecordsFoldersThatCannotBeListed)
{
    TempTree t;
    t.mkdir("open/sub");
    t.mkdir("closed/secret");
    ::chmod(t.path("closed").c_str(), 0311); // enterable, not readable
    t.mkdir("blind/unreachable");
    ::chmod(t.path("blind").c_str(), 0744); // readable, not enterable
    t.mkdir("locked");
    ::chmod(t.path("locked").c_str(), 0700);
    // Root reads everything, so the listing is tried as an ordinary user.
    const std::string failed = gwtest::asNobody([&]() -> std::string {
        FolderTree tree(raw(t.root()));
        std::vector<std::string> visited;
        walkReading<bool>(
            tree, 4,
            [](FolderTree::NodeId, int fd) {
                struct stat st { };
                return ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode); // a descriptor good for reading permissions
            },
            [&](FolderTree::NodeId id, bool good) {
                if (good)
                    visited.push_back(tree.nameOf(id).toStdString());
            });
        if (outline(tree)
            != std::vector<std::string> {"0:", "1:blind", "2:unreachable", "1:closed", "1:locked", "1:open", "2:sub"})
            return "the tree's outline";
        // Folders that may be reached but not read are visited; only what is
        // below them is unknown. A folder that cannot be reached is neither.
        if (visited
            != std::vector<std::string> {raw(t.root()).toStdString(), "blind", "closed", "locked", "open", "sub"})
            return "the folders visited";
        if (tree.unlistedCount() != 2 || !tree.isUnlisted(tree.node(3)) || !tree.isUnlisted(tree.node(4))
            || tree.isUnlisted(tree.node(2)))
            return "the folders not listed";
        // A folder that cannot be read can still be the root.
        FolderTree locked(raw(t.path("locked")));
        return locked.count() == 1 && locked.unlistedCount() == 1 ? "" : "an unreadable root";
    });
    EXPECT_EQ(failed, "");
}

TEST(FolderTree, ReopensNeverThroughALinkNorIntoAnotherFolder)
{
    // Deeper than the walk keeps open, with a sibling left at every level, so
    // the walk must reopen the shallow folders on its way back.
    TempTree t;
    std::string deep = "d";
    for (int i = 0; i < 300; ++i)
        deep += "/d";
    t.mkdir(deep);
    for (std::string at = deep; !at.empty();
         at = at.substr(0, at.find_last_of('/') == std::string::npos ? 0 : at.find_last_of('/')))
        t.mkdir(at + "/z");
    // A look-alike that a followed link would lead into.
    TempTree evil;
    evil.mkdir("d/d/d/z");
    std::set<ino_t> evilFolders;
    for (const char* p : {"d", "d/d", "d/d/d", "d/d/d/z"}) {
        struct stat st { };
        ::stat(evil.path(p).c_str(), &st);
        evilFolders.insert(st.st_ino);
    }

    // One job: the walk reads each folder on this thread, in tree order,
    // and goes back up only once it is deep below.
    FolderTree tree(raw(t.root()));
    bool swapped = false;
    std::set<ino_t> visited;
    walkReading<bool>(
        tree, 1,
        [&](FolderTree::NodeId id, int fd) {
            struct stat st { };
            ::fstat(fd, &st);
            visited.insert(st.st_ino);
            if (!swapped && tree.levelOf(id) == 290) {
                // Swap the first level for a link while the walk is deep below it.
                EXPECT_EQ(::rename(t.path("d").c_str(), t.path("d-old").c_str()), 0);
                EXPECT_EQ(::symlink(evil.path("d").c_str(), t.path("d").c_str()), 0);
                swapped = true;
            }
            return true;
        },
        [](FolderTree::NodeId, bool) {});
    ASSERT_TRUE(swapped);
    for (ino_t ino : evilFolders)
        EXPECT_EQ(visited.count(ino), 0u) << "the walk followed the planted link";
    // It went back to the very folders it had found (by ".." from the one
    // below, checked by device and inode), each once, and no other.
    EXPECT_EQ(tree.count(), 2 * 301 + 1);
    EXPECT_EQ(visited.size(), static_cast<std::size_t>(tree.count()));
}

TEST(FolderTree, LeavesOutExcludedFoldersWhereverTheyAre)
{
    TempTree t;
    t.mkdir("a/work/inner");
    t.mkdir("b");
    const int fd = ::open(t.path("a/work").c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    const std::optional<gw::ExcludedFolder> work = gw::excludedFolder(fd);
    ::close(fd);
    ASSERT_TRUE(work);
    gw::FolderScope scope;
    scope.excluded = {*work};
    FolderTree tree(raw(t.root()), scope);
    tree.expandRecursively(0);
    EXPECT_EQ(outline(tree), (std::vector<std::string> {"0:", "1:a", "1:b"}));
    EXPECT_EQ(tree.childrenWithSubfolders(0, std::chrono::steady_clock::now() + std::chrono::minutes(1)),
              (std::vector<bool> {false, false}));
    FolderTree later(raw(t.path("a")));
    later.setExcluded({*work});
    EXPECT_EQ(later.count(), 1);
    EXPECT_FALSE(later.hasSubfolders(0));

    // An entry whose inode number is the excluded folder's, but which is
    // another folder, stays: here the excluded folder's identity is given
    // with the inode number of "b" on the tree's device.
    struct stat b { };
    ASSERT_EQ(::stat(t.path("b").c_str(), &b), 0);
    gw::ExcludedFolder lookAlike = *work;
    lookAlike.folder.inode = b.st_ino;
    lookAlike.parent.inode = 1; // held by no folder of the tree
    gw::FolderScope lookAlikeScope;
    lookAlikeScope.excluded = {lookAlike};
    FolderTree kept(raw(t.root()), lookAlikeScope);
    kept.expandRecursively(0);
    EXPECT_EQ(outline(kept), (std::vector<std::string> {"0:", "1:a", "2:work", "3:inner", "1:b"}));

    // Mounted again below the tree, it is compared where it stands, but not
    // entered.
    const std::string again = t.mkdir("b/again");
    if (::geteuid() == 0 && ::mount(t.path("a/work").c_str(), again.c_str(), nullptr, MS_BIND, nullptr) == 0) {
        FolderTree bound(raw(t.root()), scope);
        std::vector<std::string> visited;
        gw::WalkHooks hooks;
        hooks.take = [&](FolderTree::NodeId id, std::unique_ptr<gw::FolderReading>) {
            visited.push_back(bound.nameOf(id).toStdString());
        };
        bound.walk(0, hooks);
        ::umount2(again.c_str(), MNT_DETACH);
        EXPECT_EQ(outline(bound), (std::vector<std::string> {"0:", "1:a", "1:b", "2:again"}));
        EXPECT_EQ(visited.size(), 4u);
    }
}

TEST(FolderTree, TwentyThousandLevelsNeedNoStackNoPathMaxAndFewDescriptors)
{
    // A chain 20,000 folders deep with a sibling left at every 20th level:
    // the walk must come back to them, within few descriptors.
    TempTree t;
    constexpr int kLevels = 20000;
    constexpr int kSiblings = kLevels / 20;
    int fd = ::open(t.root().c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < kLevels; ++i) {
        ASSERT_EQ(::mkdirat(fd, "d", 0755), 0);
        if (i % 20 == 19) {
            ASSERT_EQ(::mkdirat(fd, "z", 0755), 0);
        }
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
        ASSERT_GE(fd, 0);
    }
    ::close(fd);
    struct rlimit before { };
    ::getrlimit(RLIMIT_NOFILE, &before);
    struct rlimit few = before;
    few.rlim_cur = 400;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &few), 0);
    for (int jobs : {1, 0, 64}) {
        FolderTree tree(raw(t.root()));
        tree.expandRecursively(0, {}, jobs);
        ASSERT_EQ(tree.count(), kLevels + kSiblings + 1) << jobs;
        EXPECT_EQ(tree.level(kLevels), kLevels);
        EXPECT_EQ(tree.nameOf(tree.node(kLevels + 1)), "z"); // the deepest sibling, right after the chain
        EXPECT_EQ(tree.level(kLevels + kSiblings), 20);
        EXPECT_EQ(tree.unlistedCount(), 0) << jobs;
        EXPECT_EQ(tree.path(kLevels).size(), static_cast<qsizetype>(t.root().size() + 2 * kLevels));
    }
    // With very few descriptors to spare, fewer walkers hold fewer folders
    // open: the walk is whole, never short of folders it could not open.
    few.rlim_cur = 48;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &few), 0);
    for (int jobs : {2, 64}) {
        FolderTree tree(raw(t.root()));
        tree.expandRecursively(0, {}, jobs);
        EXPECT_EQ(tree.count(), kLevels + kSiblings + 1) << jobs;
        EXPECT_EQ(tree.unlistedCount(), 0) << jobs;
    }
    ::setrlimit(RLIMIT_NOFILE, &before);
}

TEST(FolderTree, CrossesMountsButNotIntoTheKernelsFileSystems)
{
    TempTree t;
    t.mkdir("disk/inner");
    t.mkdir("proc");
    struct Mounts {
        std::vector<std::string> points;
        ~Mounts()
        {
            for (auto it = points.rbegin(); it != points.rend(); ++it)
                ::umount2(it->c_str(), MNT_DETACH);
        }
    } mounts;
    if (::mount("tmpfs", t.path("disk").c_str(), "tmpfs", 0, nullptr) != 0)
        GTEST_SKIP() << "mounting is not allowed here";
    mounts.points.push_back(t.path("disk"));
    ASSERT_EQ(::mount("proc", t.path("proc").c_str(), "proc", 0, nullptr), 0);
    mounts.points.push_back(t.path("proc"));
    t.mkdir("disk/on-tmpfs");

    FolderTree tree(raw(t.root()));
    tree.expandRecursively(0);
    EXPECT_EQ(outline(tree), (std::vector<std::string> {"0:", "1:disk", "2:on-tmpfs", "1:proc"}));
    EXPECT_EQ(tree.unlistedCount(), 0);
    // Expanding by hand does not enter it either.
    FolderTree visible(raw(t.root()));
    visible.listChildren(visible.node(2));
    EXPECT_EQ(visible.childCount(visible.node(2)), 0);
}

// The walk looks at a subfolder before opening it only in the folders where
// an automount point stands (an autofs mount), read from the mount table
// with its escapes; a table it cannot read makes every folder one.
TEST(FolderTree, AutomountPointsAreFoundInTheMountTable)
{
    TempTree t;
    t.mkdir("with blank");
    t.mkdir("plain");
    const auto identity = [&](const std::string& relative) {
        struct stat st { };
        EXPECT_EQ(::stat(t.path(relative).c_str(), &st), 0) << relative;
        return gw::FolderIdentity {st.st_dev, st.st_ino};
    };
    std::string escaped = t.path("with blank");
    escaped.replace(escaped.find(' '), 1, "\\040");
    const std::string table = "22 1 0:21 / / rw shared:1 - ext4 /dev/vda1 rw\n"
                              "40 22 0:35 / "
        + escaped
        + "/auto rw shared:9 - autofs systemd-1 rw,fd=3\n"
          "41 22 0:36 / "
        + t.path("plain") + "/nfs rw - nfs4 server:/ rw\n";
    const gw::AutomountHolders holders(table);
    EXPECT_TRUE(holders.mayHold(identity("with blank")));
    EXPECT_FALSE(holders.mayHold(identity("plain")));
    EXPECT_FALSE(holders.mayHold(identity("")));
    EXPECT_FALSE(gw::AutomountHolders(std::string_view()).mayHold(identity("plain")));
    // A line it cannot read, or a holder it cannot look at: every folder.
    EXPECT_TRUE(gw::AutomountHolders(table + "garbage\n").mayHold(identity("plain")));
    EXPECT_TRUE(
        gw::AutomountHolders("50 22 0:40 / " + t.path("gone") + "/auto rw - autofs x rw\n").mayHold(identity("plain")));
    EXPECT_EQ(gw::rawFromPrintable("a\\040b\\011c\\012d\\134e\\04"), std::string("a b\tc\nd\\e\\04"));
}

TEST(FolderTree, NamesTheCollatorCallsEqualAreOrderedByTheirBytes)
{
    TempTree t;
    for (const char* d :
         {"\xff", "\xfe", "x\xc3\xa9", "xe\xcc\x81"}) // two invalid names, and é composed and decomposed
        t.mkdir(d);
    for (int run = 0; run < 2; ++run) {
        FolderTree tree(raw(t.root()));
        ASSERT_EQ(tree.count(), 5);
        std::vector<QByteArray> names;
        for (int i = 1; i < 5; ++i)
            names.push_back(tree.nameOf(tree.node(i)));
        const auto fe = std::find(names.begin(), names.end(), QByteArray("\xfe"));
        const auto ff = std::find(names.begin(), names.end(), QByteArray("\xff"));
        EXPECT_LT(fe, ff);
        const auto composed = std::find(names.begin(), names.end(), QByteArray("x\xc3\xa9"));
        const auto decomposed = std::find(names.begin(), names.end(), QByteArray("xe\xcc\x81"));
        EXPECT_LT(decomposed, composed); // "e" (0x65) before 0xc3
    }
}

// A folder of many leaves adds no nodes as the walk visits them, and listing
// it takes a while: progress comes within its listing and during the visits,
// and stopping from the progress ends the walk there.
TEST(FolderTree, WideFoldersGiveProgressAndTheWalkStopsWhenAsked)
{
    TempTree t;
    constexpr int kLeaves = 5000;
    const int wide = ::open(t.mkdir("wide").c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < kLeaves; ++i)
        ASSERT_EQ(::mkdirat(wide, std::to_string(i).c_str(), 0755), 0);
    ::close(wide);
    t.mkdir("zzz/after");
    FolderTree tree(raw(t.root()));
    std::vector<int> counts; // the node count at each progress call
    int visits = 0;
    // One job, so that the listing is on this thread, and its progress too.
    gw::WalkHooks hooks;
    hooks.jobs = 1;
    hooks.take = [&](FolderTree::NodeId, std::unique_ptr<gw::FolderReading>) { ++visits; };
    hooks.progress = [&](int count) { counts.push_back(count); };
    tree.walk(0, hooks);
    EXPECT_EQ(tree.count(), kLeaves + 4);
    EXPECT_EQ(visits, kLeaves + 4);
    // Within the wide folder's listing (its children not yet in the tree) ...
    EXPECT_GE(std::count(counts.begin(), counts.end(), 3), 2);
    // ... and while its leaves are visited.
    EXPECT_GE(std::count(counts.begin(), counts.end(), kLeaves + 3), kLeaves / 256 - 1);

    // Progress that lists other folders on the same thread meanwhile (as the
    // window's events may) leaves the wide folder's listing whole and sorted.
    FolderTree busy(raw(t.root()));
    hooks.progress = [&](int) {
        FolderTree other(raw(t.path("zzz")));
        other.expandRecursively(0, {}, 1);
    };
    busy.walk(0, hooks);
    ASSERT_EQ(busy.count(), kLeaves + 4);
    const FolderTree::NodeId wideNode = busy.node(1);
    ASSERT_EQ(busy.childCount(wideNode), kLeaves);
    for (int i = 0; i < kLeaves; i += 499)
        EXPECT_EQ(busy.nameOf(busy.node(2 + i)), QByteArray::number(i));

    // Stopped while the wide folder is listed: nothing after it is walked.
    FolderTree stopped(raw(t.root()));
    visits = 0;
    hooks.progress = [&](int count) {
        if (count == 3)
            stopped.stop();
    };
    stopped.walk(0, hooks);
    EXPECT_LE(visits, 2); // the root and the wide folder
    EXPECT_LT(stopped.count(), kLeaves);
    // Walked again, it goes on to the end.
    stopped.expandRecursively(0);
    EXPECT_EQ(stopped.count(), kLeaves + 4);

    // Stopped while the top itself is listed, as when a new root is walked.
    FolderTree top(raw(t.path("wide")));
    top.setRoot(raw(t.root()), false);
    top.expandRecursively(0, [&](int) { top.stop(); });
    EXPECT_EQ(top.count(), 1);
    top.expandRecursively(0);
    EXPECT_EQ(top.count(), kLeaves + 4);
}

// Looking ahead one level decides each child's expander; what the time
// allowed for it does not reach counts as having subfolders, never as a leaf.
TEST(FolderTree, LookAheadDecidesWhatTimeAllowsAndAssumesTheRest)
{
    TempTree t;
    for (const char* d : {"leaf", "parent/child", "only hidden/.h", "zlast/x"})
        t.mkdir(d);
    FolderTree tree(raw(t.root()));
    using Clock = std::chrono::steady_clock;
    EXPECT_EQ(tree.childrenWithSubfolders(0, Clock::now() + std::chrono::minutes(1)),
              (std::vector<bool> {false, false, true, true}));
    EXPECT_EQ(tree.childrenWithSubfolders(0, Clock::now() - std::chrono::seconds(1)),
              (std::vector<bool> {true, true, true, true}));
}
