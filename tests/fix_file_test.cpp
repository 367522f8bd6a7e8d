// The fix file: applied with setfacl --restore, it makes the tree equal.

#include "TempTree.h"
#include "engine/checks/folder/FixFile.h"
#include "platform/WorkingFolder.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

using gwtest::run;
using gwtest::setfacl;
using gwtest::TempTree;

namespace {

// Every folder's permissions as getfacl lists them, without the "# file:" lines.
std::vector<std::string> getfaclBlocks(const std::string& root)
{
    const gwtest::ProcessResult r = run({"getfacl", "-R", "-n", "-p", root});
    std::vector<std::string> blocks;
    std::string block;
    std::size_t pos = 0;
    while (pos < r.out.size()) {
        const std::size_t end = r.out.find('\n', pos);
        const std::string line = r.out.substr(pos, end - pos);
        pos = end == std::string::npos ? r.out.size() : end + 1;
        if (line.rfind("# file:", 0) == 0)
            continue;
        if (line.empty()) {
            blocks.push_back(block);
            block.clear();
        } else {
            block += line + "\n";
        }
    }
    return blocks;
}

} // namespace

TEST(FixFile, AppliedWithSetfaclItMakesTheTreeEqual)
{
    TempTree t, work;
    for (int i = 0; i < 300; ++i)
        t.mkdir("d" + std::to_string(i % 12) + "/s" + std::to_string(i));
    const std::string odd = t.mkdir("a b\nc\xff");
    // The tree starts equal: the same access and default ACL everywhere.
    setfacl({"-R", "-m", "u:12001:r-x,g:12002:rwx", t.root()});
    setfacl({"-R", "-d", "-m", "u::rwx,g::r-x,o::---,u:12001:r-x", t.root()});
    // Every kind of difference.
    setfacl({"-m", "u:12003:rwx", t.path("d0/s0")}); // named user added
    setfacl({"-x", "g:12002", t.path("d1/s1")}); // named group removed
    setfacl({"-m", "m::r--", t.path("d2/s2")}); // mask
    setfacl({"-m", "o::rwx", t.path("d3")}); // other, and all below it
    ASSERT_EQ(::chown(t.path("d4/s4").c_str(), 12004, static_cast<gid_t>(-1)), 0); // owner
    ASSERT_EQ(::chown(t.path("d5/s5").c_str(), static_cast<uid_t>(-1), 12005), 0); // owning group
    setfacl({"-d", "-m", "u:12006:rwx", t.path("d6/s6")}); // default ACL only
    ASSERT_EQ(::chmod(t.path("d7/s7").c_str(), 02755), 0); // setgid
    setfacl({"-m", "u:12007:r--", odd}); // an awkward name

    const std::string fix = work.path("fix.acl");
    const gwtest::ProcessResult before = run(
        {gwtest::checkProgram(), "--quiet", "--reports", work.path("r"), "--fix-file", fix, t.root()});
    ASSERT_EQ(before.status, 1) << before.err;
    const std::string text = gwtest::readFile(fix);
    struct stat st { };
    ASSERT_EQ(::stat(fix.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_NE(text.find("# file: " + t.root() + "/a\\040b\\012c\\377\n"), std::string::npos) << text;
    EXPECT_NE(text.find("# file: " + t.path("d4/s4") + "\n# owner: 0\nuser::rwx\n"), std::string::npos) << text;
    EXPECT_NE(text.find("# file: " + t.path("d5/s5") + "\n# group: 0\nuser::rwx\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("# owner:", text.find("# file: " + t.path("d0/s0"))), text.find("# owner: 0\n"));

    const gwtest::ProcessResult applied = run({"setfacl", "--restore=" + fix});
    ASSERT_EQ(applied.status, 0) << applied.err;
    const gwtest::ProcessResult after = run({gwtest::checkProgram(), "--quiet", "--reports", work.path("r"), t.root()});
    EXPECT_EQ(after.status, 0) << after.out;
    const std::vector<std::string> blocks = getfaclBlocks(t.root());
    ASSERT_GT(blocks.size(), 300u);
    for (const std::string& b : blocks)
        EXPECT_EQ(b, blocks[0]);
}

TEST(FixFile, AnUnprivilegedOwnerFixesRightsButNotOwners)
{
    TempTree t, work;
    t.mkdir("mine");
    t.mkdir("theirs");
    ASSERT_EQ(::chown(t.root().c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chown(t.path("mine").c_str(), 65534, 65534), 0);
    setfacl({"-m", "u:12003:rwx", t.path("mine")});
    ASSERT_EQ(::chown(t.path("theirs").c_str(), 0, 65534), 0); // another owner: only root may give it back
    ::chmod(work.root().c_str(), 01777);
    const std::string failed = gwtest::asNobody([&]() -> std::string {
        const std::string fix = work.path("nobody/fix.acl");
        if (run({gwtest::checkProgram(), "--quiet", "--reports", work.path("nobody"), "--fix-file", fix, t.root()})
                .status
            != 1)
            return "the first check";
        const gwtest::ProcessResult applied = run({"setfacl", "--restore=" + fix});
        if (applied.status == 0 || applied.err.find("Operation not permitted") == std::string::npos)
            return "the owner line should fail, and say so: " + applied.err;
        const gwtest::ProcessResult after = run(
            {gwtest::checkProgram(), "--quiet", "--reports", work.path("nobody"), t.root()});
        return after.out.find("The number of mismatches: 1.") != std::string::npos
            ? ""
            : "only \"theirs\" should be left: " + after.out;
    });
    EXPECT_EQ(failed, "");
}

TEST(FixFile, NoFixFileIntoAForeignFolderOrThroughALink)
{
    TempTree t, work;
    t.mkdir("a");
    setfacl({"-m", "u:12003:rwx", t.path("a")});
    work.mkdir("shared");
    ::chmod(work.path("shared").c_str(), 01777);
    ::symlink(work.path("shared").c_str(), work.path("link").c_str());
    // The reports go into the test's own folder, never a private one in /tmp.
    const gwtest::ProcessResult shared = run({gwtest::checkProgram(), "--quiet", "--reports", work.path("r"),
                                              "--fix-file", work.path("shared/fix.acl"), t.root()});
    EXPECT_EQ(shared.status, 2);
    EXPECT_NE(shared.err.find("cannot write the fix file in " + work.path("shared") + ": other users may write in it"),
              std::string::npos)
        << shared.err;
    const gwtest::ProcessResult link = run({gwtest::checkProgram(), "--quiet", "--reports", work.path("r"),
                                            "--fix-file", work.path("link/fix.acl"), t.root()});
    EXPECT_EQ(link.status, 2);
    EXPECT_NE(link.err.find("it is a symbolic link"), std::string::npos) << link.err;
}

TEST(FixFile, NeverInThePlaceOfAReport)
{
    TempTree t, work;
    t.mkdir("a");
    setfacl({"-m", "u:12003:rwx", t.path("a")});
    // Every report any kind of check writes there, whichever kind this run is.
    for (const char* name : gw::WorkingFolder::kReportNames) {
        const gwtest::ProcessResult r = run(
            {gwtest::checkProgram(), "--reports", work.path("r"), "--fix-file", work.path("r/") + name, t.root()});
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err,
                  "grantwise-check: the fix file " + work.path("r/") + name + " would replace the report " + name
                      + " in the reports folder " + work.path("r") + "\n");
    }
}

TEST(FixFile, WithNothingToFixItStillAppliesCleanly)
{
    TempTree t, work;
    t.mkdir("a");
    const std::string fix = work.path("r/fix.acl");
    ASSERT_EQ(run({gwtest::checkProgram(), "--quiet", "--reports", work.path("r"), "--fix-file", fix, t.root()}).status,
              0);
    EXPECT_NE(gwtest::readFile(fix).find("\n# file: " + t.root() + "\nuser::rwx\ngroup::r-x\nother::r-x\n\n"),
              std::string::npos);
    const gwtest::ProcessResult applied = run({"setfacl", "--restore=" + fix});
    EXPECT_EQ(applied.status, 0) << applied.err;
}

TEST(FixFile, ARefusedDestinationRefusesTheRunBeforeTheCheck)
{
    TempTree t, work;
    t.mkdir("a");
    setfacl({"-m", "u:12003:rwx", t.path("a")});
    const std::string shared = work.mkdir("shared");
    ::chmod(shared.c_str(), 01777);
    ASSERT_EQ(::symlink(shared.c_str(), work.path("link").c_str()), 0);
    const std::string theirs = work.mkdir("theirs");
    ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
    ::close(::open(work.path("file").c_str(), O_CREAT | O_WRONLY, 0600));
    // What is not a regular file is never replaced by one: as root,
    // /dev/full would otherwise become a file holding the fix.
    const std::string fifo = work.path("fifo"), socket = work.path("socket"), link = work.path("file-link"),
                      device = work.path("full");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int listening = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socket.size(), sizeof address.sun_path);
    socket.copy(address.sun_path, socket.size());
    ASSERT_EQ(::bind(listening, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(listening);
    ASSERT_EQ(::symlink(work.path("file").c_str(), link.c_str()), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::mknod(device.c_str(), S_IFCHR | 0600, ::makedev(1, 7)), 0); // as /dev/full
    }
    const std::string r = work.path("r");
    std::vector<std::pair<std::string, std::string>> refused = {
        {shared + "/fix.acl", "cannot write the fix file in " + shared + ": other users may write in it"},
        {work.path("link/fix.acl"), "cannot write the fix file in " + work.path("link") + ": it is a symbolic link"},
        {theirs + "/fix.acl", "cannot write the fix file in " + theirs + ": it belongs to another user"},
        {work.path("file/fix.acl"), "cannot write the fix file in " + work.path("file") + ": Not a directory"},
        {r + "/acl_def.txt",
         "the fix file " + r + "/acl_def.txt would replace the report acl_def.txt in the reports folder " + r},
        {r + "/", "cannot write the fix file " + r + "/: not a file name"},
        {work.mkdir("folder"), "cannot write " + work.path("folder") + ": Is a directory"},
        {fifo, "cannot write " + fifo + ": it is a FIFO, not a regular file"},
        {socket, "cannot write " + socket + ": it is a socket, not a regular file"},
        {link, "cannot write " + link + ": it is a symbolic link, not a regular file"},
    };
    if (root)
        refused.emplace_back(device, "cannot write " + device + ": it is a character device, not a regular file");
    else
        std::printf("making a device node needs root: only a FIFO, a socket and a link are tried\n");
    for (const auto& [fix, why] : refused) {
        const gwtest::ProcessResult run = gwtest::run(
            {gwtest::checkProgram(), "--quiet", "--reports", r, "--fix-file", fix, t.root()});
        EXPECT_EQ(run.status, 2) << fix;
        EXPECT_EQ(run.err, "grantwise-check: " + why + "\n");
        EXPECT_EQ(run.out, "");
        struct stat st { };
        EXPECT_NE(::stat((r + "/acl.txt").c_str(), &st), 0) << fix << ": the check ran";
    }

    // When it is written, after the check, the same rules give the same words.
    gw::ReportsFolder reports;
    ASSERT_EQ(reports.open(QByteArray::fromStdString(r)), gw::ReportsFolder::Outcome::Opened);
    for (const auto& [fix, why] : refused) {
        const QByteArray path = QByteArray::fromStdString(fix);
        EXPECT_EQ(gw::fixFileRefusal(path, &reports), why);
        EXPECT_EQ(gw::saveFixFile(path, gw::Analysis {}, QByteArray::fromStdString(t.root()), {}, &reports), why);
    }
    // Each stands as it was.
    struct stat st { };
    const auto type = [&st](const std::string& path) {
        return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & S_IFMT : 0;
    };
    EXPECT_EQ(type(fifo), S_IFIFO);
    EXPECT_EQ(type(socket), S_IFSOCK);
    EXPECT_EQ(type(link), S_IFLNK);
    EXPECT_EQ(type(work.path("file")), S_IFREG);
    if (root) {
        EXPECT_EQ(type(device), S_IFCHR);
        EXPECT_EQ(st.st_rdev, ::makedev(1, 7));
    }

    // A folder to be made is not made by looking at it; one that could not
    // be made is refused.
    EXPECT_EQ(gw::fixFileRefusal(QByteArray::fromStdString(work.path("new/fix.acl"))), "");
    EXPECT_NE(::stat(work.path("new").c_str(), &st), 0);
    const std::string failed = gwtest::asNobody([&]() -> std::string {
        const QByteArray fix = QByteArray::fromStdString(work.path("new/fix.acl"));
        const std::string why = "cannot write the fix file in " + work.path("new") + ": Permission denied";
        const std::string early = gw::fixFileRefusal(fix);
        const std::string late = gw::saveFixFile(fix, gw::Analysis {}, QByteArray::fromStdString(t.root()));
        return early == why && late == why ? "" : "as nobody: " + early + " / " + late;
    });
    EXPECT_EQ(failed, "");
}

TEST(FixFile, ItsHeadSaysWhyNoFolderThatDiffersHasARecord)
{
    // Two folders differ: one whose subfolders could not be listed, one whose
    // path is too long for setfacl; neither can be fixed by the file.
    gw::Analysis analysis;
    analysis.inputs.targetPrintable = "/srv/share";
    const QByteArray deep = "/srv/share/" + QByteArray(PATH_MAX, 'd');
    for (const QByteArray& path : {QByteArray("/srv/share/closed"), deep}) {
        gw::FolderDifference d;
        d.path = path;
        d.changes = {{gw::EntryChange::Changed, "other:r-x", "other:-wx"}};
        analysis.differences.append(d);
    }
    analysis.inputs.notListedPaths = {"/srv/share/closed"};
    gw::RestorePermissions checked;
    checked.entries = "user::rwx\ngroup::r-x\nother::r-x\n";
    const QByteArray own = "the one record gives the checked folder its own permissions.\n\n# file: /srv/share\n";
    QByteArray text = gw::fixFileText(analysis, checked);
    EXPECT_TRUE(text.contains("\n# 2 folders differ, and none could be given a record (1 whose subfolders could not "
                              "be listed, 1 whose paths are too long for setfacl): "
                              + own))
        << text.toStdString();
    EXPECT_FALSE(text.contains("Nothing differs"));

    // None differs among those read, but not all were: not "nothing differs".
    analysis.differences.clear();
    analysis.inputs.notListedPaths.clear();
    analysis.inputs.notRead = 3;
    text = gw::fixFileText(analysis, checked);
    EXPECT_TRUE(text.contains("\n# Nothing differs among the folders that were read: " + own)) << text.toStdString();
    analysis.inputs.notRead = 0;
    EXPECT_TRUE(gw::fixFileText(analysis, checked).contains("\n# Nothing differs: " + own));
}

TEST(FixFile, FoldersWhoseNfs4OrWindowsAclDiffersGetNoRecord)
{
    // setfacl cannot set those ACLs, and its mode changes could make an NFSv4
    // server rewrite one: such folders are left out, and the file says so.
    using C = gw::EntryChange;
    gw::Analysis a;
    a.inputs.targetPrintable = "/srv/nas";
    a.differences = {
        {"/srv/nas/a", {{C::Changed, "nfs4 A::EVERYONE@:r", "nfs4 A::EVERYONE@:rw"}}, true, 0},
        {"/srv/nas/b", {{C::Removed, "ntacl sha256:0123456789abcdef", {}}}, true, 0},
        {"/srv/nas/c", {{C::Changed, "other:r-x", "other:rwx"}}, true, 0},
    };
    gw::RestorePermissions checked;
    checked.entries = "user::rwx\ngroup::r-x\nother::r-x\n";
    const QByteArray text = gw::fixFileText(a, checked, {});
    EXPECT_TRUE(text.startsWith("# Gives 1 folder the permissions of /srv/nas.")) << text.toStdString();
    EXPECT_TRUE(text.contains("\n# Left out as well: 2 folders whose NFSv4 ACL or Windows ACL (security.NTACL) "
                              "differs, which setfacl cannot set.\n"))
        << text.toStdString();
    EXPECT_TRUE(text.contains("# file: /srv/nas/c\n"));
    EXPECT_FALSE(text.contains("/srv/nas/a"));
    EXPECT_FALSE(text.contains("/srv/nas/b"));
    // With only those, the head says why none has a record.
    a.differences.removeLast();
    const QByteArray none = gw::fixFileText(a, checked, {});
    EXPECT_TRUE(none.contains("\n# 2 folders differ, and none could be given a record (2 whose NFSv4 or Windows ACL "
                              "differs): "))
        << none.toStdString();
}
