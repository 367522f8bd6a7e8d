// NFSv4 ACLs: the decoding of system.nfs4_acl, and the listing and the check
// on a FUSE file system that serves it, against nfs4_getfacl on the same mount.

#include "TempTree.h"
#include "platform/Nfs4Acl.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <spawn.h>
#include <sstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using gwtest::run;
using gwtest::TempTree;

extern char** environ;

namespace {

// An XDR-encoded ACL, built up ACE by ACE.
struct Xdr {
    std::vector<unsigned char> bytes;
    Xdr& word(std::uint32_t w)
    {
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.push_back(static_cast<unsigned char>(w >> shift));
        return *this;
    }
    Xdr& text(const std::string& s, unsigned char pad = 0)
    {
        word(static_cast<std::uint32_t>(s.size()));
        bytes.insert(bytes.end(), s.begin(), s.end());
        while (bytes.size() % 4)
            bytes.push_back(pad);
        return *this;
    }
    Xdr& ace(std::uint32_t type, std::uint32_t flags, std::uint32_t mask, const std::string& who)
    {
        return word(type).word(flags).word(mask).text(who);
    }
};

std::string decodeProblem(const std::vector<unsigned char>& v, std::vector<std::string>& aces)
{
    return gw::decodeNfs4Acl(v.data(), v.size(), aces);
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

} // namespace

TEST(Nfs4AclDecode, EveryLetterInNfs4GetfaclsOrderAndNoBitLost)
{
    Xdr v;
    v.word(5)
        .ace(0, 0x3, 0x1 | 0x2 | 0x4 | 0x40 | 0x20 | 0x80 | 0x100 | 0x8 | 0x10 | 0x20000 | 0x100000, "OWNER@")
        .ace(1, 0x40, 0x2, "staff@example.com")
        .ace(2, 0xff, 0x1FF | 0x1F0000, "EVERYONE@")
        // Bits without a letter, and a who with a blank, a "(" after the ":"
        // and a newline.
        .ace(3, 0x100 | 0x1, 0x1 | 0x200 | 0x80000000u, "(default)x y\n")
        .ace(0, 0, 0x20, "1001");
    std::vector<std::string> aces;
    ASSERT_EQ(decodeProblem(v.bytes, aces), "");
    EXPECT_EQ(aces,
              (std::vector<std::string> {"A:fd:OWNER@:rwaDxtTnNcy", "D:g:staff@example.com:w",
                                         "U:fdniSFgO:EVERYONE@:rwaDdxtTnNcCoy",
                                         "L:f+0x100:\\050default)x\\040y\\012:r+0x80000200", "A::1001:x"}));
}

TEST(Nfs4AclDecode, AValueThatDoesNotDecodeExactlyIsRefusedWithItsReason)
{
    Xdr good;
    good.word(2).ace(0, 3, 0x1, "OWNER@").ace(0, 0, 0x1, "EVERYONE@");
    std::vector<std::string> aces;
    ASSERT_EQ(decodeProblem(good.bytes, aces), "");
    // Cut anywhere, the value is refused.
    for (std::size_t size = 0; size < good.bytes.size(); ++size) {
        const std::vector<unsigned char> cut(good.bytes.begin(), good.bytes.begin() + static_cast<long>(size));
        EXPECT_NE(decodeProblem(cut, aces), "") << "cut to " << size << " bytes";
    }
    std::vector<unsigned char> trailing = good.bytes;
    trailing.insert(trailing.end(), 4, 0);
    EXPECT_EQ(decodeProblem(trailing, aces), "4 bytes are left after the last entry");

    Xdr count;
    count.word(0x40000000).ace(0, 0, 1, "OWNER@");
    EXPECT_NE(decodeProblem(count.bytes, aces).find("its count says 1073741824 entries"), std::string::npos);

    Xdr huge;
    huge.word(1).word(0).word(0).word(1).word(0xFFFFFFFF).word(0);
    EXPECT_NE(decodeProblem(huge.bytes, aces).find("names a who of 4294967295 bytes"), std::string::npos);

    Xdr empty;
    empty.word(1).ace(0, 0, 1, "");
    EXPECT_NE(decodeProblem(empty.bytes, aces).find("names no one"), std::string::npos);

    Xdr padding;
    padding.word(1).word(0).word(0).word(1).text("GROUP@", 'x');
    EXPECT_NE(decodeProblem(padding.bytes, aces).find("padding"), std::string::npos);

    Xdr type;
    type.word(2).ace(0, 0, 1, "OWNER@").ace(4, 0, 1, "GROUP@");
    EXPECT_EQ(decodeProblem(type.bytes, aces), "entry 2 has type 4, none of allow, deny, audit and alarm");

    Xdr none;
    none.word(0);
    EXPECT_EQ(decodeProblem(none.bytes, aces), "");
    EXPECT_TRUE(aces.empty());
}

namespace {

// The FUSE file system of tests/nfs4_acl_fs.py, mounted on a new folder for
// the test's time and unmounted whatever happens.
class Nfs4Mount {
public:
    // Empty when mounted; otherwise why not. With `treeFile`, the file
    // system serves the folders that file describes (see nfs4_acl_fs.py).
    std::string mount(const std::string& treeFile = {})
    {
        if (::access("/dev/fuse", R_OK | W_OK) != 0)
            return "/dev/fuse cannot be used here";
        if (run({"/usr/bin/python3", "-c", "import fusepy"}).status != 0)
            return "python3-fusepy is not installed (import fusepy)";
        if (::access("/usr/bin/nfs4_getfacl", X_OK) != 0)
            return "nfs4_getfacl (nfs4-acl-tools) is not installed";
        point_ = tree_.mkdir("mnt");
        log_ = tree_.path("fs.log");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        const std::string script = GW_TESTS_SOURCE_DIR "/nfs4_acl_fs.py";
        std::vector<const char*> argv {"/usr/bin/python3", script.c_str(), point_.c_str()};
        if (!treeFile.empty())
            argv.insert(argv.end(), {"--tree", treeFile.c_str()});
        argv.push_back(nullptr);
        const int rc = ::posix_spawn(&pid_, argv[0], &actions, nullptr, const_cast<char**>(argv.data()), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            pid_ = -1;
            return "cannot start python3";
        }
        struct stat parent { };
        ::stat(tree_.root().c_str(), &parent);
        for (int i = 0; i < 200; ++i) {
            struct stat st { };
            if (::stat(point_.c_str(), &st) == 0 && st.st_dev != parent.st_dev) {
                mounted_ = true;
                return {};
            }
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return "the FUSE file system could not be mounted: " + gwtest::readFile(log_);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return "the FUSE file system was not mounted within 10 seconds";
    }
    ~Nfs4Mount()
    {
        if (mounted_ && ::umount2(point_.c_str(), 0) != 0)
            ::umount2(point_.c_str(), MNT_DETACH);
        if (pid_ > 0) {
            int status = 0;
            for (int i = 0; i < 100 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (::waitpid(pid_, &status, WNOHANG) == 0) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
            }
        }
    }
    const std::string& point() const { return point_; }
    TempTree& tree() { return tree_; }

private:
    TempTree tree_;
    std::string point_, log_;
    pid_t pid_ = -1;
    bool mounted_ = false;
};

// Runs a program of ours, stopped after a minute should it hang (a value
// that changes size on every read once made it loop for ever).
gwtest::ProcessResult runBounded(std::vector<std::string> argv)
{
    argv.insert(argv.begin(), {"/usr/bin/timeout", "-s", "KILL", "60"});
    return run(argv);
}

// The ACEs grantwise-acl lists for `folder`, without their "nfs4 " mark.
std::vector<std::string> listedAces(const std::string& folder)
{
    const gwtest::ProcessResult r = runBounded({gwtest::aclProgram(), folder});
    EXPECT_EQ(r.status, 0) << folder << ": " << r.err;
    std::vector<std::string> aces;
    for (const std::string& line : lines(r.out)) {
        if (line.rfind("    nfs4 ", 0) == 0)
            aces.push_back(line.substr(9));
    }
    return aces;
}

// The ACE lines nfs4_getfacl prints for `folder`.
std::vector<std::string> getfaclAces(const std::string& folder)
{
    const gwtest::ProcessResult r = run({"nfs4_getfacl", folder});
    EXPECT_EQ(r.status, 0) << folder << ": " << r.err;
    std::vector<std::string> aces;
    for (const std::string& line : lines(r.out)) {
        if (!line.empty() && line[0] != '#')
            aces.push_back(line);
    }
    return aces;
}

const char* const kSame[] = {"", "same-a", "same-a/below", "same-b"};
const char* const kDiffering[] = {"type", "flag", "mask", "mask/below", "who", "order", "inherited"};
// Folders not read, and what their reason says.
const struct {
    const char* name;
    const char* reason;
} kNotRead[] = {
    {"garbage", "does not decode"},
    {"truncated", "does not decode"},
    {"trailing", "does not decode"},
    {"huge-who", "does not decode"},
    {"richacl", "a richacl (system.richacl), an ACL model this program does not read"},
    {"model-security.nfs4acl", "(security.nfs4acl), an ACL model this program does not read"},
    {"model-system.nfs4_acl_xdr", "(system.nfs4_acl_xdr), an ACL model this program does not read"},
    {"model-system.cifs_acl", "(system.cifs_acl), an ACL model this program does not read"},
    {"model-system.cifs_ntsd", "(system.cifs_ntsd), an ACL model this program does not read"},
    {"model-system.cifs_ntsd_full", "(system.cifs_ntsd_full), an ACL model this program does not read"},
    {"model-system.smb3_ntsd", "(system.smb3_ntsd), an ACL model this program does not read"},
    {"model-system.smb3_ntsd_full", "(system.smb3_ntsd_full), an ACL model this program does not read"},
    {"resizing", "its system.nfs4_acl value kept changing size while it was read"},
};

} // namespace

TEST(Nfs4AclFuse, ListingEqualsNfs4GetfaclAndTheCheckCountsExactlyTheDifferingFolders)
{
    Nfs4Mount fs;
    if (const std::string why = fs.mount(); !why.empty())
        GTEST_SKIP() << "no FUSE mount for the NFSv4 test: " << why;
    const std::string& mnt = fs.point();

    // Every folder that decodes lists nfs4_getfacl's ACE lines, in its order.
    // (nfs4_getfacl 0.3.7 does not show the INHERITED flag, which we list as O.)
    std::vector<std::string> top;
    for (const char* name : kSame) {
        const std::string folder = mnt + "/" + name;
        const std::vector<std::string> aces = listedAces(folder);
        EXPECT_EQ(aces.size(), 4u) << folder;
        EXPECT_EQ(aces, getfaclAces(folder)) << folder;
        if (top.empty())
            top = aces;
        EXPECT_EQ(aces, top) << folder;
    }
    for (const char* name : kDiffering) {
        const std::string folder = mnt + "/" + name;
        std::vector<std::string> aces = listedAces(folder);
        EXPECT_NE(aces, top) << folder;
        if (std::string(name) == "inherited") {
            ASSERT_EQ(aces[0], "A:fdO:OWNER@:rwaDxtTnNcCy");
            aces[0] = "A:fd:OWNER@:rwaDxtTnNcCy";
        }
        EXPECT_EQ(aces, getfaclAces(folder)) << folder;
    }
    // An ACL without ACEs says so, never reading as a folder without one.
    const gwtest::ProcessResult noAces = runBounded({gwtest::aclProgram(), mnt + "/no-aces"});
    EXPECT_EQ(noAces.status, 0) << noAces.err;
    EXPECT_NE(noAces.out.find("\n    nfs4 (no ACEs)\n\n"), std::string::npos) << noAces.out;

    // A value that does not decode, one that keeps changing size, or another
    // ACL model is never a listing.
    for (const auto& notRead : kNotRead) {
        const std::string folder = mnt + "/" + notRead.name;
        const gwtest::ProcessResult r = runBounded({gwtest::aclProgram(), folder});
        EXPECT_EQ(r.status, 1) << folder;
        EXPECT_EQ(r.out, "") << folder;
        EXPECT_NE(r.err.find(notRead.reason), std::string::npos) << r.err;
    }

    // The check: exactly the differing folders are mismatches, and the ones
    // not read are named with their reason.
    const std::string reports = fs.tree().mkdir("reports");
    ASSERT_EQ(::chmod(reports.c_str(), 0700), 0);
    const gwtest::ProcessResult check = runBounded({gwtest::checkProgram(), "--reports", reports, mnt});
    EXPECT_EQ(check.status, 1) << check.out << check.err;
    EXPECT_NE(check.out.find("The number of mismatches: 8."), std::string::npos) << check.out;
    EXPECT_NE(check.out.find("The permissions of 13 folders were not read"), std::string::npos) << check.out;
    const std::string diff = gwtest::readFile(reports + "/acl_diff.txt");
    EXPECT_NE(diff.find("8 folders differ from the checked folder; the differences start in 7 places."),
              std::string::npos)
        << diff;
    EXPECT_NE(diff.find("\n" + mnt
                        + "/order\n    ~ nfs4 A:fdg:staff@example.com:rwaDxtTnNcy -> nfs4 A:fd:GROUP@:rxtncy\n"
                          "    ~ nfs4 A:fd:GROUP@:rxtncy -> nfs4 A:fdg:staff@example.com:rwaDxtTnNcy\n"),
              std::string::npos)
        << diff;
    EXPECT_NE(diff.find(mnt
                        + "/mask (and 1 subfolders below it)\n    ~ nfs4 A:fd:EVERYONE@:rxtncy -> nfs4 "
                          "A:fd:EVERYONE@:rwxtncy\n"),
              std::string::npos)
        << diff;
    EXPECT_NE(diff.find("Folders whose permissions were not read:\n" + mnt
                        + "/garbage\n    its NFSv4 ACL (system.nfs4_acl) does not decode: "),
              std::string::npos)
        << diff;
    EXPECT_NE(diff.find(mnt + "/richacl\n    it carries a richacl (system.richacl)"), std::string::npos) << diff;
    EXPECT_NE(diff.find("\n" + mnt + "/no-aces\n    + nfs4 (no ACEs)\n    - nfs4 A:fd:OWNER@:rwaDxtTnNcCy\n"),
              std::string::npos)
        << diff;
    EXPECT_NE(diff.find(mnt + "/resizing\n    its system.nfs4_acl value kept changing size"), std::string::npos)
        << diff;
    // The mismatch report keeps its lists one path a line.
    const std::string def = gwtest::readFile(reports + "/acl_def.txt");
    EXPECT_NE(def.find("\r\n" + mnt + "/garbage\r\n" + mnt + "/huge-who\r\n"), std::string::npos) << def;

    const gwtest::ProcessResult json = runBounded({gwtest::checkProgram(), "--json", "--reports", reports, mnt});
    EXPECT_EQ(json.status, 1);
    int differs = 0, notRead = 0;
    for (const std::string& line : lines(json.out)) {
        differs += line.find("\"status\":\"differs\"") != std::string::npos;
        if (line.find("\"status\":\"not_read\"") != std::string::npos) {
            ++notRead;
            EXPECT_NE(line.find(",\"reason\":\"it"), std::string::npos) << line;
        }
    }
    EXPECT_EQ(differs, 8);
    EXPECT_EQ(notRead, 13);
    EXPECT_NE(json.out.find("\"mismatches\":8,\"not_read\":13,"), std::string::npos) << json.out;
}
