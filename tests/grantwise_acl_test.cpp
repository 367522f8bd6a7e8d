#include "TempTree.h"

#include <gtest/gtest.h>

#include <shadow.h>

#include <cerrno>
#include <cstddef>
#include <fcntl.h>
#include <iterator>
#include <linux/filter.h>
#include <linux/openat2.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <set>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using gwtest::run;
using gwtest::setfacl;
using gwtest::TempTree;

extern char** environ;

namespace {

std::string listing(const std::vector<std::string>& folders, int expectStatus = 0)
{
    std::vector<std::string> argv {gwtest::aclProgram()};
    argv.insert(argv.end(), folders.begin(), folders.end());
    const gwtest::ProcessResult r = run(argv);
    EXPECT_EQ(r.status, expectStatus) << r.err;
    return r.out;
}

// The listing without its first line's path: the entries alone.
std::string entries(const std::string& block, const std::string& path)
{
    EXPECT_EQ(block.rfind(path + " ", 0), 0u) << block;
    return block.substr(path.size());
}

} // namespace

TEST(GrantwiseAcl, GoldenTranscriptOfEveryKindOfEntry)
{
    TempTree t;
    const std::string g = t.mkdir("g");
    ASSERT_EQ(::chmod(g.c_str(), 03750), 0);
    setfacl({"-m", "u:12345:r-x,g:54321:rwx,m::rwx", g});
    setfacl({"-d", "-m", "u::rwx,g::r-x,o::---,u:12345:r-x", g});
    const std::string plain = t.mkdir("plain");
    ASSERT_EQ(::chmod(plain.c_str(), 0751), 0);

    EXPECT_EQ(listing({g, plain}),
              g
                  + " user root (owner):rwx\n"
                    "    user 12345:r-x\n"
                    "    group root (owner):r-x\n"
                    "    group 54321:rwx\n"
                    "    mask:rwx\n"
                    "    other:---\n"
                    "    creator owner:(default)rwx\n"
                    "    user 12345:(default)r-x\n"
                    "    creator group:(default)r-x\n"
                    "    mask:(default)r-x\n"
                    "    other:(default)---\n"
                    "    special:setgid,sticky\n"
                    "\n"
                  + plain
                  + " user root (owner):rwx\n"
                    "    group root (owner):r-x\n"
                    "    other:--x\n"
                    "\n");
}

TEST(GrantwiseAcl, EqualPermissionsGiveIdenticalEntriesWhateverTheName)
{
    TempTree t;
    const std::string names[] = {"one", "two words", "new\nline", "x:(y", "\xff", "trailing "};
    std::vector<std::string> folders;
    for (const std::string& n : names) {
        folders.push_back(t.mkdir(n));
        setfacl({"-m", "u:1000:rwx,g:1000:r-x", folders.back()});
        setfacl({"-d", "-m", "u:1000:rwx", folders.back()});
    }
    const std::string all = listing(folders);
    const std::string printed[] = {"one", "two words", "new\\012line", "x:\\050y", "\\377", "trailing\\040"};
    std::set<std::string> distinct;
    std::size_t pos = 0;
    for (const std::string& p : printed) {
        const std::size_t end = all.find("\n\n", pos);
        ASSERT_NE(end, std::string::npos);
        distinct.insert(entries(all.substr(pos, end + 2 - pos), t.path(p)));
        pos = end + 2;
    }
    EXPECT_EQ(pos, all.size());
    EXPECT_EQ(distinct.size(), 1u);

    // One more named user makes the entries differ.
    setfacl({"-m", "u:1001:r--", folders[0]});
    EXPECT_NE(entries(listing({folders[0]}), folders[0]), *distinct.begin());
}

TEST(GrantwiseAcl, UnreadableFolderIsReportedAndTheOthersStillList)
{
    TempTree t;
    const std::string a = t.mkdir("a"), b = t.mkdir("b");
    const std::vector<std::string> argv {gwtest::aclProgram(), a, t.path("gone\n"), b};
    const gwtest::ProcessResult r = run(argv);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "grantwise-acl: " + t.root() + "/gone\\012: No such file or directory\n");
    EXPECT_EQ(r.out.rfind(a + " user", 0), 0u);
    EXPECT_NE(r.out.find("\n\n" + b + " user"), std::string::npos);

    // Without permission to reach it; a folder that may be reached but not
    // read is listed all the same, as getfacl lists it.
    const std::string inner = t.mkdir("locked/inner");
    ::chmod(t.path("locked").c_str(), 0700);
    const std::string closed = t.mkdir("closed");
    ::chmod(closed.c_str(), 0311);
    const std::string failed = gwtest::asNobody([&]() -> std::string {
        const gwtest::ProcessResult denied = run({gwtest::aclProgram(), inner});
        if (denied.status != 1 || !denied.out.empty()
            || denied.err != "grantwise-acl: " + inner + ": Permission denied\n")
            return "a folder that cannot be reached: " + denied.err;
        const gwtest::ProcessResult listed = run({gwtest::aclProgram(), t.path("locked"), closed});
        return listed.status == 0
                && listed.out
                    == t.path("locked") + " user root (owner):rwx\n    group root (owner):---\n    other:---\n\n"
                        + closed + " user root (owner):-wx\n    group root (owner):--x\n    other:--x\n\n"
            ? ""
            : "folders reached but not read: " + listed.out + listed.err;
    });
    EXPECT_EQ(failed, "");
}

namespace {

// What --physical must do, or what it did wrong: no path that leads through a
// symbolic link is listed, real folders are, and so is one that may be
// reached but not read.
std::string physicalFaults(const TempTree& t)
{
    const std::string real = t.path("real/inner");
    const auto refused = [](const std::string& path) {
        return "grantwise-acl: " + path
            + ": the path leads through a symbolic link, which --physical does not follow\n";
    };
    const gwtest::ProcessResult r = run({gwtest::aclProgram(), "-P", t.path("link"), t.path("link/inner"), real,
                                         t.path("real/last"), t.path("real/inner/../inner")});
    const std::string entries = " user root (owner):rwx\n    group root (owner):r-x\n    other:r-x\n\n";
    if (r.status != 1 || r.out != real + entries + t.path("real/inner/../inner") + entries
        || r.err != refused(t.path("link")) + refused(t.path("link/inner")) + refused(t.path("real/last")))
        return "-P: " + std::to_string(r.status) + "\n" + r.out + r.err;
    return gwtest::asNobody([&]() -> std::string {
        const gwtest::ProcessResult closed = run({gwtest::aclProgram(), "--physical", t.path("real/closed"),
                                                  t.path("link/closed"), t.path("real/locked/inner")});
        return closed.status == 1
                && closed.out
                    == t.path("real/closed") + " user root (owner):-wx\n    group root (owner):--x\n    other:--x\n\n"
                && closed.err
                    == refused(t.path("link/closed")) + "grantwise-acl: " + t.path("real/locked/inner")
                        + ": Permission denied\n"
            ? ""
            : "--physical as nobody: " + closed.out + closed.err;
    });
}

// Runs `body` in a child process in which openat2 fails with ENOSYS, as on a
// kernel without it; so do the programs it starts.
std::string withoutOpenat2(const std::function<std::string()>& body)
{
    return gwtest::inChild([&]() -> std::string {
        sock_filter filter[] = {
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_openat2, 0, 1),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        };
        sock_fprog program {static_cast<unsigned short>(std::size(filter)), filter};
        if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0
            || ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
            return "skip";
        open_how how {};
        how.flags = O_PATH;
        if (::syscall(SYS_openat2, AT_FDCWD, "/", &how, sizeof how) >= 0 || errno != ENOSYS)
            return "openat2 is still there";
        return body();
    });
}

} // namespace

TEST(GrantwiseAcl, PhysicalListsNoPathThroughASymbolicLink)
{
    TempTree t;
    t.mkdir("real/inner");
    const std::string closed = t.mkdir("real/closed");
    ASSERT_EQ(::chmod(closed.c_str(), 0311), 0);
    t.mkdir("real/locked/inner");
    ASSERT_EQ(::chmod(t.path("real/locked").c_str(), 0700), 0);
    ASSERT_EQ(::symlink(t.path("real").c_str(), t.path("link").c_str()), 0); // an absolute link
    ASSERT_EQ(::symlink("inner", t.path("real/last").c_str()), 0); // a relative one
    EXPECT_EQ(physicalFaults(t), "");

    // Where the kernel has no openat2, the path is walked name by name.
    const std::string without = withoutOpenat2([&] { return physicalFaults(t); });
    if (without == "skip")
        GTEST_SKIP() << "no seccomp filter here";
    EXPECT_EQ(without, "");
}

TEST(GrantwiseAcl, OptionsEndAtTheDoubleDash)
{
    const gwtest::ProcessResult bogus = run({gwtest::aclProgram(), "--bogus"});
    EXPECT_EQ(bogus.status, 2);
    EXPECT_EQ(bogus.err.rfind("grantwise-acl: unknown option --bogus\nUsage: grantwise-acl", 0), 0u);
    // After "--" a name that looks like an option is a folder.
    const gwtest::ProcessResult folder = run({gwtest::aclProgram(), "--", "--help"});
    EXPECT_EQ(folder.status, 1);
    EXPECT_EQ(folder.err, "grantwise-acl: --help: No such file or directory\n");
    EXPECT_EQ(run({gwtest::aclProgram(), "--help"}).status, 0);
}

TEST(GrantwiseAcl, FileSystemWithoutAclsListsItsModeBits)
{
    TempTree t;
    const std::string ram = t.mkdir("ram");
    const gwtest::Mount mount(ram, "ramfs");
    if (!mount.mounted())
        GTEST_SKIP() << "mounting a ramfs needs root";
    ASSERT_EQ(::chmod(ram.c_str(), 02750), 0);
    ASSERT_NE(::setxattr(ram.c_str(), "system.posix_acl_access", "", 0, 0), 0); // no ACLs here indeed
    EXPECT_EQ(listing({ram}),
              ram + " user root (owner):rwx\n    group root (owner):r-x\n    other:---\n    special:setgid\n\n");
}

TEST(GrantwiseAcl, ListsPathsLongerThanPathMax)
{
    TempTree t;
    std::string relative;
    for (int i = 0; i < 250; ++i)
        relative += (i ? "/" : "") + std::string(20, 'd');
    int fd = ::open(t.root().c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < 250; ++i) {
        ::mkdirat(fd, std::string(20, 'd').c_str(), 0755);
        const int next = ::openat(fd, std::string(20, 'd').c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
        if (i == 199)
            ::symlinkat(".", fd, "here"); // a link to its own folder, 200 levels down
    }
    ASSERT_EQ(::mkdirat(fd, "leaf", 0755), 0);
    ::close(fd);
    const std::string deep = t.path(relative + "/leaf");
    ASSERT_GT(deep.size(), 4096u);
    const std::string entries = " user root (owner):rwx\n    group root (owner):r-x\n    other:r-x\n\n";
    EXPECT_EQ(listing({deep}), deep + entries);
    EXPECT_EQ(listing({"--physical", deep}), deep + entries);

    // A link deep in the path, past the first piece it is opened in, is refused too.
    const std::string middle = relative.substr(0, 21 * 200 - 1);
    const std::string viaLink = t.path(middle + "/here" + relative.substr(middle.size()) + "/leaf");
    ASSERT_GT(t.path(middle).size(), 4096u);
    EXPECT_EQ(listing({viaLink}), viaLink + entries);
    const gwtest::ProcessResult r = run({gwtest::aclProgram(), "-P", viaLink});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("the path leads through a symbolic link"), std::string::npos) << r.err;
}

TEST(GrantwiseAcl, ConcurrentRunsAppendingToOneFileNeverInterleave)
{
    TempTree t;
    std::vector<std::string> folders;
    for (int i = 0; i < 150; ++i) {
        folders.push_back(t.mkdir("f" + std::to_string(i)));
        setfacl({"-m", "u:" + std::to_string(2000 + i) + ":rwx", folders.back()});
    }
    const std::string dump = t.path("dump.txt");
    const int out = ::open(dump.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(out, 0);
    std::vector<pid_t> pids;
    const std::string program = gwtest::aclProgram();
    for (int run = 0; run < 12; ++run) {
        std::vector<char*> argv {const_cast<char*>(program.c_str())};
        for (const std::string& f : folders)
            argv.push_back(const_cast<char*>(f.c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out, 1);
        pid_t pid;
        ASSERT_EQ(::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        pids.push_back(pid);
    }
    for (pid_t pid : pids) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    ::close(out);

    // Every block in the file is one whole listing of one folder.
    std::set<std::string> expected;
    for (const std::string& f : folders)
        expected.insert(listing({f}));
    const std::string all = gwtest::readFile(dump);
    std::size_t pos = 0, blocks = 0;
    while (pos < all.size()) {
        const std::size_t end = all.find("\n\n", pos);
        ASSERT_NE(end, std::string::npos);
        EXPECT_EQ(expected.count(all.substr(pos, end + 2 - pos)), 1u) << all.substr(pos, end + 2 - pos);
        pos = end + 2;
        ++blocks;
    }
    EXPECT_EQ(blocks, 12u * folders.size());
}

TEST(GrantwiseAcl, WithoutProcTheDefaultAclIsStillRead)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer's runtime cannot start without /proc";
#endif
    TempTree t;
    const std::string with = t.mkdir("with"), without = t.mkdir("without");
    setfacl({"-d", "-m", "u:12345:rwx", with});
    const pid_t pid = ::fork();
    if (pid == 0) {
        // A mount namespace of our own, without /proc.
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
            || ::umount2("/proc", MNT_DETACH) != 0)
            ::_exit(77);
        const gwtest::ProcessResult r = run({gwtest::aclProgram(), with, without});
        // Both ACLs are read through the folder's own descriptor.
        const bool ok = r.status == 0 && r.err.empty() && r.out.rfind(with + " user root (owner):rwx\n", 0) == 0
            && r.out.find("    user 12345:(default)rwx\n") != std::string::npos
            && r.out.find("\n\n" + without + " user root (owner):rwx\n") != std::string::npos;
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "no mount namespace here";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(GrantwiseAcl, AclsLargerThanTheFirstReadAreListedWhole)
{
    TempTree t;
    const std::string many = t.mkdir("many");
    std::string access, inheritable;
    for (int i = 0; i < 60; ++i) {
        access += (i ? "," : "") + std::string("u:") + std::to_string(30000 + i) + ":r-x";
        inheritable += (i ? "," : "") + std::string("g:") + std::to_string(40000 + i) + ":--x";
    }
    setfacl({"-m", access, many});
    setfacl({"-d", "-m", inheritable, many});
    const std::string out = listing({many});
    for (int i = 0; i < 60; ++i) {
        EXPECT_NE(out.find("    user " + std::to_string(30000 + i) + ":r-x\n"), std::string::npos) << i;
        EXPECT_NE(out.find("    group " + std::to_string(40000 + i) + ":(default)--x\n"), std::string::npos) << i;
    }
    // In listing order: the named users by id, before the owning group.
    EXPECT_LT(out.find("user 30059:r-x"), out.find("group root (owner)"));
    EXPECT_LT(out.find("user 30000:r-x"), out.find("user 30001:r-x"));
}

namespace {

// Writes `text` over the file in place, so that it keeps its inode, owner and mode.
bool overwrite(const std::string& path, const std::string& text)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return ::close(fd) == 0 && ok;
}

} // namespace

TEST(GrantwiseAcl, AGroupWithThousandsOfMembersIsListedByItsName)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "adding a group to /etc/group needs root";
    constexpr gid_t kGid = 61923;
    const std::string etcGroup = "/etc/group";
    // The lock of the user databases: useradd, groupadd and the like (another
    // test's among them) wait while this test edits the file in place.
    ASSERT_EQ(::lckpwdf(), 0) << "the user databases are locked";
    struct Unlock {
        ~Unlock() { ::ulckpwdf(); }
    } unlock;
    const std::string before = gwtest::readFile(etcGroup);
    ASSERT_FALSE(before.empty());
    ASSERT_EQ(before.find(":" + std::to_string(kGid) + ":"), std::string::npos) << "gid " << kGid << " is taken";
    // 2,500 members make a line of some 25 KB, more than a first lookup
    // buffer of 16 KB holds.
    std::string line = "gw-many-members:x:" + std::to_string(kGid) + ":";
    for (int i = 0; i < 2500; ++i)
        line += (i ? "," : "") + std::string("gwmember") + std::to_string(i);
    ASSERT_TRUE(overwrite(etcGroup, before + (before.back() == '\n' ? "" : "\n") + line + "\n"));
    struct Restore {
        std::string path, text;
        ~Restore() { overwrite(path, text); }
    } restore {etcGroup, before};

    TempTree t;
    const std::string g = t.mkdir("g");
    ASSERT_EQ(::chown(g.c_str(), 0, kGid), 0);
    setfacl({"-m", "g:" + std::to_string(kGid) + ":rwx", g});
    EXPECT_EQ(listing({g}),
              g
                  + " user root (owner):rwx\n"
                    "    group gw-many-members (owner):r-x\n"
                    "    group gw-many-members:rwx\n"
                    "    mask:rwx\n"
                    "    other:r-x\n\n");
    ASSERT_TRUE(overwrite(etcGroup, before));
    EXPECT_EQ(gwtest::readFile(etcGroup), before);
}
