// grantwise-check on real file systems that number and type their entries
// their own way: ext4, XFS and btrfs images made and mounted by the test,
// btrfs subvolumes, ext4 without entry types, and overlayfs over two file
// systems. Needs root and loop devices; skipped with a message otherwise.

#include "TempTree.h"
#include "platform/FolderTree.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using gwtest::run;
using gwtest::TempTree;

namespace {

constexpr uid_t kNobody = 65534;

// File systems made and mounted by a test, unmounted (and their loop devices
// detached) in reverse order however the test ends.
class Mounts {
public:
    explicit Mounts(const TempTree& space)
        : space_(space)
    {
    }
    ~Mounts()
    {
        for (auto it = points_.rbegin(); it != points_.rend(); ++it) {
            if (::umount2(it->c_str(), 0) != 0)
                ::umount2(it->c_str(), MNT_DETACH);
        }
        for (const std::string& image : images_) {
            // mount -o loop detaches its device at unmount; one still
            // attached (a lazy unmount) is detached as soon as it is free.
            const gwtest::ProcessResult attached = run({"losetup", "--noheadings", "--output", "NAME", "-j", image});
            for (std::size_t pos = 0; pos < attached.out.size();) {
                const std::size_t end = attached.out.find('\n', pos);
                const std::string device = attached.out.substr(pos, end - pos);
                if (!device.empty())
                    run({"losetup", "-d", device});
                pos = end == std::string::npos ? attached.out.size() : end + 1;
            }
        }
    }
    Mounts(const Mounts&) = delete;
    Mounts& operator=(const Mounts&) = delete;

    // Makes a sparse image `name` of `megabytes`, makes the file system on it
    // with `mkfs` (the image's path is added last) and mounts it at a new
    // folder `name`. Returns the mount point, or "" with why() saying why.
    std::string image(const std::string& name, int megabytes, std::vector<std::string> mkfs)
    {
        const std::string image = space_.path(name + ".img");
        const int fd = ::open(image.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
        if (fd < 0 || ::ftruncate(fd, off_t {megabytes} << 20) != 0) {
            if (fd >= 0)
                ::close(fd);
            return failed("cannot make the image " + image + ": " + std::strerror(errno));
        }
        ::close(fd);
        images_.push_back(image);
        mkfs.push_back(image);
        if (const gwtest::ProcessResult made = run(mkfs); made.status != 0)
            return failed(mkfs[0] + " failed: " + made.err);
        const std::string point = space_.mkdir(name);
        if (const gwtest::ProcessResult mounted = run({"mount", "-o", "loop", image, point}); mounted.status != 0)
            return failed("mount -o loop failed: " + mounted.err);
        points_.push_back(point);
        return point;
    }
    // Mounts `type` at a new folder `name` with `options`.
    std::string mount(const std::string& name, const char* type, const std::string& options)
    {
        const std::string point = space_.mkdir(name);
        if (::mount(type, point.c_str(), type, 0, options.c_str()) != 0)
            return failed(std::string("mounting ") + type + " failed: " + std::strerror(errno));
        points_.push_back(point);
        return point;
    }
    const std::string& why() const { return why_; }

private:
    std::string failed(const std::string& why)
    {
        why_ = why;
        return "";
    }
    const TempTree& space_;
    std::vector<std::string> points_;
    std::vector<std::string> images_;
    std::string why_;
};

// Why mounting images cannot be tried here, or "".
std::string cannotMount()
{
    if (::geteuid() != 0)
        return "mounting file system images needs root";
    if (::access("/dev/loop-control", F_OK) != 0)
        return "no loop devices here (/dev/loop-control)";
    return "";
}

// What grantwise-check --json said of a tree, in one line to compare.
std::string summary(const gwtest::ProcessResult& r)
{
    const std::size_t at = r.out.rfind("{\"type\":\"summary\"");
    if (at == std::string::npos)
        return "exit " + std::to_string(r.status) + ", no summary: " + r.out + r.err;
    const QJsonObject s = QJsonDocument::fromJson(QByteArray::fromStdString(r.out.substr(at))).object();
    return "exit " + std::to_string(r.status) + ", " + std::to_string(s["subfolders"].toInt()) + " subfolders, "
        + std::to_string(s["mismatches"].toInt()) + " mismatches, " + std::to_string(s["not_read"].toInt())
        + " not read, " + std::to_string(s["not_listed"].toInt()) + " not listed, "
        + s["verdict"].toString().toStdString();
}

// grantwise-check --json of `folder` into `reports`, as root or as nobody
// (through setpriv, a real process of its own).
gwtest::ProcessResult checkAs(bool nobody, const std::string& reports, const std::string& folder)
{
    std::vector<std::string> argv;
    if (nobody)
        argv = {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
    for (const std::string& a :
         {gwtest::checkProgram(), std::string("--json"), std::string("--reports"), reports, folder})
        argv.push_back(a);
    return run(argv);
}

// A reports folder for the caller: nobody's or root's, mode 0700.
std::string reportsFolder(const std::string& path, bool nobody)
{
    ::mkdir(path.c_str(), 0700);
    ::chmod(path.c_str(), 0700);
    const uid_t owner = nobody ? kNobody : 0;
    if (::chown(path.c_str(), owner, owner) != 0)
        ADD_FAILURE() << "cannot give " << path << " to " << owner;
    return path;
}

void makeFolders(const std::string& top, const std::vector<std::string>& relative)
{
    for (const std::string& r : relative) {
        const std::string path = top + "/" + r;
        if (::mkdir(path.c_str(), 0755) != 0 || ::chmod(path.c_str(), 0755) != 0)
            ADD_FAILURE() << "cannot make " << path << ": " << std::strerror(errno);
    }
}

// The inode number a folder's entry in its parent carries.
ino_t entryNumber(const std::string& parent, const std::string& name)
{
    DIR* dir = ::opendir(parent.c_str());
    ino_t number = 0;
    for (const dirent* e; dir && (e = ::readdir(dir));) {
        if (name == e->d_name)
            number = e->d_ino;
    }
    if (dir)
        ::closedir(dir);
    return number;
}

struct stat statOf(const std::string& path)
{
    struct stat st { };
    ::lstat(path.c_str(), &st);
    return st;
}

} // namespace

// The same tree, with the same known differences, gives the same counts on
// each file system, as root and as nobody.
TEST(FileSystems, TheSameTreeGivesTheSameCountsOnExt4XfsAndBtrfs)
{
    if (const std::string why = cannotMount(); !why.empty())
        GTEST_SKIP() << why;
    TempTree space, work;
    Mounts mounts(space);
    const struct {
        const char* name;
        int megabytes;
        std::vector<std::string> mkfs;
    } kinds[] = {
        {"ext4", 32, {"mkfs.ext4", "-q", "-F"}},
        {"xfs", 320, {"mkfs.xfs", "-q", "-f"}},
        {"btrfs", 128, {"mkfs.btrfs", "-q", "-f"}},
    };
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.name);
        const std::string disk = mounts.image(kind.name, kind.megabytes, kind.mkfs);
        if (disk.empty()) {
            if (std::string(kind.name) == "ext4")
                GTEST_SKIP() << "cannot mount a loop image here: " << mounts.why();
            ADD_FAILURE() << mounts.why();
            continue;
        }
        const std::string tree = disk + "/tree";
        makeFolders(disk, {"tree"});
        makeFolders(tree, {"a", "a/a1", "a/a2", "b", "b/b1", "c", "locked", "locked/inner"});
        gwtest::setfacl({"-m", "u:12345:r-x", tree + "/a/a1", tree + "/c"}); // extra entries
        gwtest::setfacl({"-d", "-m", "u:12345:r-x", tree + "/b/b1"}); // a default ACL
        ::chmod((tree + "/a/a2").c_str(), 02755); // setgid
        ::chmod((tree + "/locked").c_str(), 0700); // root's own: nobody may not enter it
        EXPECT_EQ(summary(checkAs(false, reportsFolder(work.path("root"), false), tree)),
                  "exit 1, 8 subfolders, 5 mismatches, 0 not read, 0 not listed, differ");
        EXPECT_EQ(summary(checkAs(true, reportsFolder(work.path("nobody"), true), tree)),
                  "exit 1, 7 subfolders, 5 mismatches, 0 not read, 1 not listed, differ");
    }
}

// ext4 made without entry types: the walk must learn each entry's type by
// looking at it, and an entry it cannot look at (in a folder nobody may read
// but not search) is a folder not read, as on an ext4 that types entries.
TEST(FileSystems, EntriesWithoutATypeAreFoldersNotReadWhenTheyCannotBeLookedAt)
{
    if (const std::string why = cannotMount(); !why.empty())
        GTEST_SKIP() << why;
    TempTree space, work;
    Mounts mounts(space);
    const std::string untyped = mounts.image("untyped", 32, {"mkfs.ext4", "-q", "-F", "-O", "^filetype"});
    if (untyped.empty())
        GTEST_SKIP() << "cannot mount a loop image here: " << mounts.why();
    const std::string typed = mounts.image("typed", 32, {"mkfs.ext4", "-q", "-F"});
    ASSERT_FALSE(typed.empty()) << mounts.why();
    for (const std::string& disk : {untyped, typed}) {
        makeFolders(disk, {"tree", "tree/open", "tree/blind", "tree/blind/x", "tree/blind/y", "tree/blind/z"});
        ::chmod((disk + "/tree/blind").c_str(), 0744); // nobody may read it, not search it
    }
    {
        DIR* dir = ::opendir((untyped + "/tree").c_str());
        ASSERT_NE(dir, nullptr);
        for (const dirent* e; (e = ::readdir(dir));)
            EXPECT_EQ(e->d_type, DT_UNKNOWN) << "this ext4 gives entry types after all";
        ::closedir(dir);
    }
    for (const std::string& disk : {untyped, typed}) {
        SCOPED_TRACE(disk);
        EXPECT_EQ(summary(checkAs(false, reportsFolder(work.path("root"), false), disk + "/tree")),
                  "exit 1, 5 subfolders, 1 mismatches, 0 not read, 0 not listed, differ");
        const gwtest::ProcessResult r = checkAs(true, reportsFolder(work.path("nobody"), true), disk + "/tree");
        EXPECT_EQ(summary(r), "exit 1, 5 subfolders, 1 mismatches, 3 not read, 0 not listed, differ");
        for (const char* name : {"x", "y", "z"})
            EXPECT_NE(r.out.find("\"path\":\"" + disk + "/tree/blind/" + name + "\""), std::string::npos) << r.out;
    }
    // The window's look-ahead: the folder it cannot see into has subfolders.
    const std::string failed = gwtest::asNobody([&]() -> std::string {
        gw::FolderTree tree(QByteArray::fromStdString(untyped + "/tree"));
        if (tree.count() != 3 || tree.nameOf(tree.node(1)) != "blind")
            return "the tree's first level";
        return tree.hasSubfolders(tree.node(1)) ? "" : "blind shows no subfolders";
    });
    EXPECT_EQ(failed, "");
}

// A btrfs subvolume's entry carries its subvolume id, not the inode number
// stat gives. One whose id is the reports folder's inode number, on the same
// device, is still checked, with all below it.
TEST(FileSystems, ABtrfsSubvolumeWithTheReportsFoldersNumberIsChecked)
{
    if (const std::string why = cannotMount(); !why.empty())
        GTEST_SKIP() << why;
    TempTree space;
    Mounts mounts(space);
    const std::string disk = mounts.image("btrfs", 128, {"mkfs.btrfs", "-q", "-f"});
    if (disk.empty())
        GTEST_SKIP() << "cannot mount a loop image here: " << mounts.why();
    const std::string tree = disk + "/tree";
    makeFolders(disk, {"tree"});
    // Subvolume ids count up from 256, and so do the inode numbers of the
    // top subvolume's folders (256 is its root, 257 the tree): folders made
    // beside the tree soon get a number that a subvolume's entry carries.
    const std::vector<std::string> subvolumes {"sv1", "sv2", "sv3", "sv4"};
    for (const std::string& name : subvolumes)
        ASSERT_EQ(run({"btrfs", "-q", "subvolume", "create", tree + "/" + name}).status, 0);
    // The first such folder is the reports folder.
    const dev_t device = statOf(tree).st_dev;
    std::string reports, twin;
    for (int i = 0; i < 16 && reports.empty(); ++i) {
        const std::string candidate = disk + "/r" + std::to_string(i);
        makeFolders(disk, {"r" + std::to_string(i)});
        const struct stat st = statOf(candidate);
        for (const std::string& name : subvolumes) {
            if (st.st_dev == device && st.st_ino == entryNumber(tree, name)) {
                reports = candidate;
                twin = tree + "/" + name;
            }
        }
    }
    ASSERT_FALSE(reports.empty()) << "no folder got a subvolume's number";
    ASSERT_NE(statOf(twin).st_dev, device); // a subvolume has a device of its own
    makeFolders(tree, {"plain"});
    makeFolders(twin, {"inner"});
    ::chmod(twin.c_str(), 0777); // differs, and so does what is below it
    gwtest::setfacl({"-m", "u:12345:rwx", twin + "/inner"});
    for (const bool nobody : {false, true}) {
        SCOPED_TRACE(nobody ? "as nobody" : "as root");
        EXPECT_EQ(summary(checkAs(nobody, reportsFolder(reports, nobody), tree)),
                  "exit 1, 6 subfolders, 2 mismatches, 0 not read, 0 not listed, differ");
    }
}

// overlayfs whose layers lie on two file systems: an entry's number may be
// its layer's, not the overlay's. The reports folder inside the overlay is
// never checked, and no folder goes missing, whether the lower layer is an
// ext4 image or a tmpfs, with and without the overlay's own inode numbers.
TEST(FileSystems, OverlayOverTwoFileSystemsNeitherLosesFoldersNorChecksTheReports)
{
    if (const std::string why = cannotMount(); !why.empty())
        GTEST_SKIP() << why;
    TempTree space;
    Mounts mounts(space);
    const std::string disk = mounts.image("lower", 32, {"mkfs.ext4", "-q", "-F"});
    if (disk.empty())
        GTEST_SKIP() << "cannot mount a loop image here: " << mounts.why();
    const struct {
        bool onDisk;
        const char* xino;
    } layouts[] = {{true, "xino=off"}, {true, "xino=auto"}, {false, "xino=off"}};
    int n = 0;
    for (const auto& layout : layouts) {
        const std::string name = std::to_string(n++);
        SCOPED_TRACE(std::string(layout.onDisk ? "lower on ext4, " : "lower on tmpfs, ") + layout.xino);
        const std::string lower = layout.onDisk ? disk : mounts.mount("lower" + name, "tmpfs", "mode=0755");
        const std::string upper = mounts.mount("upper" + name, "tmpfs", "mode=0755");
        ASSERT_FALSE(lower.empty() || upper.empty()) << mounts.why();
        // On a fresh tmpfs the folders are numbered from 2 on, as the overlay
        // numbers its own: the lower entries' numbers are those the overlay
        // gives the reports folder and the first folders it meets.
        if (::access((lower + "/l").c_str(), F_OK) != 0) {
            std::vector<std::string> folders {"l"};
            for (int i = 0; i < 12; ++i)
                folders.push_back("l/f" + std::to_string(i));
            makeFolders(lower, folders);
            gwtest::setfacl({"-m", "u:12345:r-x", lower + "/l/f3"});
        }
        makeFolders(upper, {"u", "w", "u/up"});
        const std::string merged = mounts.mount("merged" + name, "overlay",
                                                "lowerdir=" + lower + "/l,upperdir=" + upper + "/u,workdir=" + upper
                                                    + "/w," + layout.xino);
        ASSERT_FALSE(merged.empty()) << mounts.why();
        for (const bool nobody : {false, true}) {
            SCOPED_TRACE(nobody ? "as nobody" : "as root");
            const gwtest::ProcessResult r = checkAs(nobody, reportsFolder(merged + "/reports", nobody), merged);
            EXPECT_EQ(summary(r), "exit 1, 13 subfolders, 1 mismatches, 0 not read, 0 not listed, differ");
            EXPECT_NE(r.out.find("\"path\":\"" + merged + "/f3\""), std::string::npos) << r.out;
            const std::string full = gwtest::readFile(merged + "/reports/acl.txt");
            for (int i = 0; i < 12; ++i)
                EXPECT_NE(full.find("\r\n" + merged + "/f" + std::to_string(i) + " "), std::string::npos) << i;
            EXPECT_EQ(full.find(merged + "/reports "), std::string::npos) << full;
        }
    }
}
