// What a folder gives the files in it, asked of folders with real ACLs: a
// file read no further than its attributes gets the verdict its whole
// reading gets, and only files that can be settled that way are read so.

#include "TempTree.h"
#include "engine/rules/InheritanceReference.h"
#include "platform/AclListing.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using gwtest::TempTree;
using namespace gw;

namespace {

// An open folder, closed when it goes.
struct OpenFolder {
    explicit OpenFolder(const std::string& path)
        : fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
    }
    ~OpenFolder()
    {
        if (fd >= 0)
            ::close(fd);
    }
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;
    int fd;
};

Permissions folderPermissions(const OpenFolder& folder)
{
    Permissions p;
    EXPECT_EQ(readPermissions(folder.fd, p), 0);
    return p;
}

// Makes `name` in the folder as a program does: open with O_CREAT and
// `mode`, the kernel giving it what the folder gives.
void makeFile(const OpenFolder& folder, const char* name, mode_t mode)
{
    const int fd = ::openat(folder.fd, name, O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, mode);
    ASSERT_GE(fd, 0) << name;
    ::close(fd);
}

} // namespace

TEST(FolderGift, AFileSettledByItsAttributesAloneGetsTheVerdictOfItsWholeReading)
{
    TempTree tree;
    {
        OpenFolder root(tree.root());
        if (!namesListPosixAcls(root.fd))
            GTEST_SKIP() << "the temporary folder lies on a file system whose attribute lists are not trusted";
    }
    const std::string group = std::to_string(::getegid());
    const std::string uid = std::to_string(::geteuid());
    struct Case {
        const char* folder;
        std::string defaults; // empty: no default ACL
        bool setgid;
        bool settled; // with the owning group not compared
    };
    const Case cases[] = {
        {"named", "u::rwx,g::r-x,o::---,u:" + uid + ":r-x,g:" + group + ":rwx", false, true},
        {"masked", "u::rwx,g::rwx,o::---,m::r-x", false, true},
        // A default ACL that only overrides the umask gives a file no ACL to
        // read: its attributes never settle it.
        {"umask-only", "u::rwx,g::rwx,o::---", false, false},
        {"none", "", false, false},
        {"setgid", "u::rwx,g::rwx,o::r-x,g:" + group + ":r-x", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        const std::string path = tree.mkdir(c.folder);
        if (!c.defaults.empty())
            gwtest::setfacl({"-d", "-m", c.defaults, path});
        if (c.setgid) {
            ASSERT_EQ(::chmod(path.c_str(), 02775), 0);
        }
        const OpenFolder folder(path);
        const Permissions given = folderPermissions(folder);
        const FolderGift gift(given, ItemKind::File, std::nullopt, false);
        EXPECT_EQ(gift.settledByAccessAcl(), c.settled);
        EXPECT_FALSE(FolderGift(given, ItemKind::Folder, std::nullopt, false).settledByAccessAcl());
        // With the owning group compared, a setgid folder's files need their
        // status.
        EXPECT_EQ(FolderGift(given, ItemKind::File).settledByAccessAcl(), c.settled && !c.setgid);

        makeFile(folder, "made", 0666);
        makeFile(folder, "executable", 0777);
        makeFile(folder, "private", 0600);
        makeFile(folder, "setuid", 0666);
        ASSERT_EQ(::fchmodat(folder.fd, "setuid", 04660, 0), 0);
        makeFile(folder, "named", 0666);
        gwtest::setfacl({"-m", "u:" + uid + ":rwx", path + "/named"});
        for (const char* name : {"made", "executable", "private", "setuid", "named"}) {
            SCOPED_TRACE(name);
            Permissions whole;
            ASSERT_EQ(readPermissionsAt(folder.fd, name, whole, true), 0);
            Permissions partial;
            const bool read = readAccessAclOnlyAt(folder.fd, name, partial);
            if (read) {
                EXPECT_EQ(gift.carries(partial), gift.carries(whole));
            }
            if (c.settled && (std::string(name) == "made" || std::string(name) == "executable")) {
                // What the kernel gave a new file is found there, no further
                // read needed.
                EXPECT_TRUE(read);
                EXPECT_TRUE(gift.carries(whole));
            }
        }
        // Where the attributes are not asked, a new file that carries what
        // it was given has no ACL for them to tell.
        if (!c.settled) {
            Permissions partial;
            EXPECT_FALSE(readAccessAclOnlyAt(folder.fd, "made", partial));
        }
    }
}
