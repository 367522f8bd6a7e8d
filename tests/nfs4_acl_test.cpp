// NFSv4 ACLs: the decoding of system.nfs4_acl, and the listing and the check
// on a FUSE file system that serves it, against nfs4_getfacl on the same mount;
// what an NFSv4 ACL lets a principal do, and --who on that file system.

#include "TempTree.h"
#include "engine/rules/EffectiveRights.h"
#include "platform/Nfs4Acl.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <map>
#include <pwd.h>
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

// The rights `who` has on an item of `kind` owned by 1000:100 with these
// ACEs: "rwx" as granted ("o" for writing only their own entries), or
// "unknown: " and why.
std::string nfs4Rights(const gw::Principal& who, gw::ItemKind kind, std::vector<std::string> aces,
                       std::uint32_t mode = 0755, std::string* via = nullptr)
{
    gw::Permissions p;
    p.owner = 1000;
    p.group = 100;
    p.mode = mode;
    p.access = gw::minimalAcl(mode);
    for (std::string& ace : aces)
        p.otherModels.push_back(ace.rfind("ntacl ", 0) == 0 || ace == gw::kNoNfs4Aces ? ace : "nfs4 " + ace);
    gw::PrincipalNames names;
    const gw::RightsAnswer a = gw::rightsAnswer(p, kind, who, names);
    if (via)
        *via = a.via;
    if (!a.unknown.empty())
        return "unknown: " + a.unknown;
    return std::string {a.rights.read ? 'r' : '-',
                        a.rights.write == gw::WriteRight::Yes              ? 'w'
                            : a.rights.write == gw::WriteRight::OwnEntries ? 'o'
                                                                           : '-',
                        a.rights.enter ? 'x' : '-'};
}

gw::Principal user(std::uint32_t uid, std::vector<std::uint32_t> groups)
{
    gw::Principal who;
    who.kind = gw::Principal::Kind::User;
    who.name = "uid " + std::to_string(uid);
    who.uid = uid;
    who.groups = std::move(groups);
    return who;
}

gw::Principal memberOf(std::uint32_t gid)
{
    gw::Principal who;
    who.kind = gw::Principal::Kind::GroupMember;
    who.name = "a member of group " + std::to_string(gid);
    who.groups = {gid};
    return who;
}

bool startsWith(const std::string& text, const std::string& start)
{
    return text.rfind(start, 0) == 0;
}

} // namespace

TEST(Nfs4Rights, FilesAndFoldersAskForTheirOwnBits)
{
    const gw::Principal alice = user(1000, {100});
    std::string via;
    // A file: write is w alone, execute is x.
    EXPECT_EQ(nfs4Rights(alice, gw::ItemKind::File, {"A::OWNER@:w", "A::EVERYONE@:x"}, 0644, &via), "-wx");
    EXPECT_EQ(via, "A::OWNER@:w, A::EVERYONE@:x, no ACE names r");
    // A folder: writing is adding a file (w), adding a folder (a) and searching (x) at once.
    EXPECT_EQ(nfs4Rights(alice, gw::ItemKind::Folder, {"A::OWNER@:rw", "A::GROUP@:x"}), "r-x");
    EXPECT_EQ(nfs4Rights(alice, gw::ItemKind::Folder, {"A::OWNER@:rwa", "A::GROUP@:x"}), "rwx");
    // Sticky and not theirs: only their own entries.
    EXPECT_EQ(nfs4Rights(user(1001, {}), gw::ItemKind::Folder, {"A::EVERYONE@:rwax"}, 01777), "rox");
    EXPECT_EQ(nfs4Rights(alice, gw::ItemKind::Folder, {"A::EVERYONE@:rwax"}, 01777), "rwx");
    // No ACEs: nothing, whatever the mode says.
    EXPECT_EQ(nfs4Rights(alice, gw::ItemKind::Folder, {gw::kNoNfs4Aces}, 0777, &via), "---");
    EXPECT_EQ(via, "no ACE names rwax");
}

TEST(Nfs4Rights, NamedWhoMatchesByIdOrNameAndOnlyWhomItCanName)
{
    const gw::Principal alice = user(1000, {100, 300});
    // A number is that id; a group's (flag g) against the user's groups.
    EXPECT_EQ(nfs4Rights(alice, gw::ItemKind::Folder, {"D::1000:r", "A::EVERYONE@:rwax"}), "-wx");
    EXPECT_EQ(nfs4Rights(alice, gw::ItemKind::Folder, {"D:g:300:r", "A::EVERYONE@:rwax"}), "-wx");
    EXPECT_EQ(nfs4Rights(alice, gw::ItemKind::Folder, {"D:g:301:r", "A::EVERYONE@:rwax"}), "rwx");
    // A user number is not the group of that number.
    EXPECT_EQ(nfs4Rights(alice, gw::ItemKind::Folder, {"D::300:r", "A::EVERYONE@:rwax"}), "rwx");
    // A name maps to the local user or group of that name, whatever the domain.
    if (::getpwnam("nobody") && ::getgrnam("nogroup")) {
        const gw::Principal nobody = user(::getpwnam("nobody")->pw_uid, {::getgrnam("nogroup")->gr_gid});
        EXPECT_EQ(nfs4Rights(nobody, gw::ItemKind::Folder, {"A::nobody@example.org:rx"}), "r-x");
        EXPECT_EQ(nfs4Rights(nobody, gw::ItemKind::Folder, {"A:g:nogroup@example.org:rx"}), "r-x");
        EXPECT_EQ(nfs4Rights(alice, gw::ItemKind::Folder, {"A::nobody@example.org:rx"}), "---");
    }
    // A member of one group is in no named user's ACE, the one it could not
    // map among them; but an unmapped group could be theirs.
    const gw::Principal member = memberOf(300);
    EXPECT_EQ(nfs4Rights(member, gw::ItemKind::Folder, {"D::gw-stranger@example.com:r", "A::EVERYONE@:rx"}), "r-x");
    EXPECT_TRUE(
        startsWith(nfs4Rights(member, gw::ItemKind::Folder, {"D:g:gw-strangers@example.com:r", "A::EVERYONE@:rx"}),
                   "unknown: its NFSv4 ACE D:g:gw-strangers@example.com:r names a group without a local id"));
    // A who may hold a ":" and escapes.
    EXPECT_TRUE(startsWith(nfs4Rights(alice, gw::ItemKind::Folder, {"A::gw:str\\040anger@x:r"}),
                           "unknown: its NFSv4 ACE A::gw:str\\040anger@x:r names a user"));
    // (uid_t)-1 is no one's id.
    EXPECT_TRUE(startsWith(nfs4Rights(alice, gw::ItemKind::Folder, {"A::4294967295:r"}), "unknown: "));
}

TEST(Nfs4Rights, WhatCannotBeMatchedIsUnknownOnlyWhereItCouldDecide)
{
    const gw::Principal alice = user(1000, {100});
    const auto rights = [&alice](std::vector<std::string> aces) {
        return nfs4Rights(alice, gw::ItemKind::Folder, std::move(aces));
    };
    const struct {
        const char* ace;
        bool reads; // as an ACE: which bits it names is known
    } kUnmatched[] = {{"A::gw-stranger@example.com:r", true},
                      {"A::INTERACTIVE@:r", true},
                      {"A:+0x100:EVERYONE@:r", true},
                      {"not an ACE", false},
                      {"A:z:EVERYONE@:r", false},
                      {"X::EVERYONE@:r", false},
                      {"A::EVERYONE@", false},
                      {"A:::r", false}};
    for (const auto& unmatched : kUnmatched) {
        const std::string ace = unmatched.ace;
        // Before the decision: unknown, with the ACE named.
        EXPECT_TRUE(startsWith(rights({ace, "A::EVERYONE@:rwax"}), "unknown: its NFSv4 ACE " + ace)) << ace;
        // After it: it does not matter; nor does one that names only bits decided already.
        EXPECT_EQ(rights({"A::EVERYONE@:rwax", ace}), "rwx") << ace;
        const std::string between = rights({"D::EVERYONE@:r", ace, "A::EVERYONE@:wax"});
        EXPECT_EQ(between == "-wx", unmatched.reads) << ace << ": " << between;
    }
    // Audit, alarm and inherit-only ACEs neither allow nor deny, nor matter.
    EXPECT_EQ(
        rights({"U:S:gw-stranger@example.com:rwax", "L:F:EVERYONE@:rwax", "D:fdi:EVERYONE@:rwax", "A::EVERYONE@:rx"}),
        "r-x");
}

TEST(Nfs4Rights, RootAndWindowsAclsAreUnknownTheModeBitsDecideNoMore)
{
    const gw::Principal root = user(0, {0});
    // Where a POSIX ACL decides, root is everything, as before.
    gw::Permissions posix;
    posix.mode = 0;
    posix.access = gw::minimalAcl(0);
    gw::PrincipalNames names;
    EXPECT_EQ(gw::rightsAnswer(posix, gw::ItemKind::Folder, root, names).via, "root");
    // Under an NFSv4 ACL it is the server's to say.
    EXPECT_TRUE(startsWith(nfs4Rights(root, gw::ItemKind::Folder, {"A::EVERYONE@:rwax"}),
                           "unknown: its NFSv4 ACL decides there, and root's"));
    // A Windows ACL: unknown for everyone, beside an NFSv4 ACL or not.
    for (const gw::Principal& who : {root, user(1000, {100})}) {
        EXPECT_TRUE(startsWith(nfs4Rights(who, gw::ItemKind::Folder, {"ntacl sha256:0123456789abcdef"}, 0777),
                               "unknown: its Windows ACL (security.NTACL)"));
        EXPECT_TRUE(startsWith(
            nfs4Rights(who, gw::ItemKind::File, {"A::EVERYONE@:rwax", "ntacl sha256:0123456789abcdef"}, 0777),
            "unknown: its Windows ACL"));
    }
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
                        + "/mask (and 1 subfolder below it)\n    ~ nfs4 A:fd:EVERYONE@:rxtncy -> nfs4 "
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

namespace {

// The JSON lines of a --who run: its places by path, and its summary.
struct WhoRun {
    int status = -1;
    std::map<std::string, QJsonObject> places;
    QJsonObject summary;
    std::string out;
};

WhoRun whoRun(const std::string& who, const std::string& folder, const std::string& reports)
{
    const gwtest::ProcessResult r = runBounded(
        {gwtest::checkProgram(), "--who", who, "--json", "--reports", reports, folder});
    WhoRun w;
    w.status = r.status;
    w.out = r.out + r.err;
    for (const std::string& line : lines(r.out)) {
        const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        if (o["type"].toString() == "who")
            w.places[o["path"].toString().toStdString()] = o;
        else if (o["type"].toString() == "summary")
            w.summary = o;
    }
    return w;
}

// "r w x" of a place as its JSON says, "?" for null, "own" written o.
std::string rightsOf(const QJsonObject& o)
{
    const auto one = [&o](const char* key, char yes) {
        const QJsonValue v = o[key];
        return v.isNull() || v.isUndefined() ? '?' : v.isString() ? 'o' : v.toBool() ? yes : '-';
    };
    return std::string {one("read", 'r'), one("write", 'w'), one("enter", 'x')};
}

} // namespace

// Where an NFSv4 ACL decides, the rights are the ACL's, evaluated as an NFSv4
// server evaluates it, never the mode bits'; where it names someone this
// machine cannot match, they are unknown and the run says so.
TEST(Nfs4AclFuse, WhoCanIsTheNfs4AclsAnswer)
{
    Nfs4Mount fs;
    const std::string tree = fs.tree().path("tree");
    {
        std::ofstream out(tree);
        // nobody (65534) in nogroup (65534) is asked about. The modes say
        // the opposite of the ACLs wherever they can.
        out << "/ 0700 0 0 A::EVERYONE@:rx\n"
               "/empty 0755 0 0\n" // no ACEs: no one may do anything
               "/deny-first 0700 0 0 D::EVERYONE@:w A::EVERYONE@:rwax\n"
               "/deny-after 0755 0 0 A::EVERYONE@:rwax D::EVERYONE@:w\n"
               "/inherit-only 0755 0 0 A:fdi:EVERYONE@:rwax A::EVERYONE@:x\n"
               "/audit 0755 0 0 U:S:EVERYONE@:rwax A::EVERYONE@:x\n"
               "/owner 0000 65534 0 A::OWNER@:rwax D::EVERYONE@:rwax\n"
               "/not-owner 0777 0 0 A::OWNER@:rwax A::GROUP@:rwax D::EVERYONE@:rwax\n"
               "/group 0700 0 65534 A::GROUP@:rx D::EVERYONE@:rwax\n"
               "/named-user 0700 0 0 A::nobody@example.com:rwax\n"
               "/named-group 0755 0 0 D:g:nogroup@example.com:r A::EVERYONE@:rwax\n"
               "/number 0700 0 0 A::65534:rx\n"
               "/closed 0755 0 0 A::EVERYONE@:rwa\n"
               "/closed/inside 0777 0 0 A::EVERYONE@:rwax\n"
               "/stranger 0755 0 0 A::gw-stranger@example.com:rx A::EVERYONE@:rwax\n"
               "/stranger-after 0755 0 0 A::EVERYONE@:rwax D::gw-stranger@example.com:rwax\n";
    }
    if (const std::string why = fs.mount(tree); !why.empty())
        GTEST_SKIP() << "no FUSE mount for the NFSv4 test: " << why;
    const std::string& mnt = fs.point();
    const std::string reports = fs.tree().mkdir("reports");

    WhoRun nobody = whoRun("nobody", mnt, reports);
    EXPECT_EQ(nobody.status, 1) << nobody.out; // the stranger is no one this machine knows
    EXPECT_FALSE(nobody.summary["complete"].toBool(true));
    EXPECT_EQ(nobody.summary["unknown"].toInteger(), 1);
    const struct {
        const char* path;
        const char* rights;
        const char* via;
    } kExpected[] = {
        {"", "r-x", "A::EVERYONE@:rx, no ACE names wa"},
        {"/empty", "---", "no ACE names rwax"},
        {"/deny-first", "r-x", "D::EVERYONE@:w, A::EVERYONE@:rwax"},
        {"/deny-after", "rwx", "A::EVERYONE@:rwax"},
        {"/inherit-only", "--x", "A::EVERYONE@:x, no ACE names rwa"},
        {"/audit", "--x", "A::EVERYONE@:x, no ACE names rwa"},
        {"/owner", "rwx", "A::OWNER@:rwax"},
        {"/not-owner", "---", "D::EVERYONE@:rwax"},
        {"/group", "r-x", "A::GROUP@:rx, D::EVERYONE@:rwax"},
        {"/named-user", "rwx", "A::nobody@example.com:rwax"},
        {"/named-group", "-wx", "D:g:nogroup@example.com:r, A::EVERYONE@:rwax"},
        {"/number", "r-x", "A::65534:rx, no ACE names wa"},
        {"/closed", "r--", "A::EVERYONE@:rwa, no ACE names x"}, // writing takes searching too
        {"/stranger-after", "rwx", "A::EVERYONE@:rwax"},
    };
    for (const auto& e : kExpected) {
        const std::string path = mnt + e.path;
        ASSERT_EQ(nobody.places.count(path), 1u) << path << "\n" << nobody.out;
        const QJsonObject& place = nobody.places.at(path);
        EXPECT_EQ(rightsOf(place), e.rights) << path;
        EXPECT_EQ(place["via"].toString().toStdString(), e.via) << path;
        EXPECT_TRUE(place["reachable"].toBool()) << path;
    }
    // A folder the ACL does not let nobody search stops them.
    const QJsonObject inside = nobody.places[mnt + "/closed/inside"];
    EXPECT_EQ(rightsOf(inside), "---");
    EXPECT_FALSE(inside["reachable"].toBool(true));
    EXPECT_EQ(inside["stopped_at"].toString().toStdString(), mnt + "/closed");
    // An ACE whose who this machine cannot match, before the rights are
    // decided: unknown, with the reason, never guessed.
    const QJsonObject stranger = nobody.places[mnt + "/stranger"];
    EXPECT_EQ(rightsOf(stranger), "???") << nobody.out;
    EXPECT_TRUE(stranger["via"].isNull());
    EXPECT_NE(stranger["reason"].toString().toStdString().find("A::gw-stranger@example.com:rx"), std::string::npos)
        << nobody.out;
    const std::string report = gwtest::readFile(reports + "/acl_who.txt");
    EXPECT_NE(report.find("\nfolder " + mnt + "/stranger\n    not read: "), std::string::npos) << report;

    // A folder above the checked one that the ACL does not let nobody search
    // stops them too.
    WhoRun below = whoRun("nobody", mnt + "/closed/inside", reports);
    EXPECT_EQ(below.status, 0) << below.out;
    EXPECT_FALSE(below.places[mnt + "/closed/inside"]["reachable"].toBool(true)) << below.out;
    EXPECT_EQ(below.places[mnt + "/closed/inside"]["stopped_at"].toString().toStdString(), mnt + "/closed");

    // The other class is named in no entry: the stranger's ACE is not theirs,
    // and nothing is unknown.
    WhoRun anyone = whoRun("anyone", mnt, reports);
    EXPECT_EQ(anyone.status, 0) << anyone.out;
    EXPECT_TRUE(anyone.summary["complete"].toBool()) << anyone.out;
    EXPECT_EQ(rightsOf(anyone.places[mnt + "/stranger"]), "rwx") << anyone.out;
    EXPECT_EQ(rightsOf(anyone.places[mnt + "/owner"]), "---") << anyone.out;
    EXPECT_EQ(rightsOf(anyone.places[mnt + "/named-user"]), "---") << anyone.out;
    EXPECT_EQ(rightsOf(anyone.places[mnt + "/named-group"]), "rwx") << anyone.out;

    // root is no one special to an NFSv4 server that squashes root: unknown.
    WhoRun root = whoRun("root", mnt, reports);
    EXPECT_EQ(root.status, 1) << root.out;
    EXPECT_EQ(rightsOf(root.places[mnt]), "???") << root.out;
}

// A baseline records NFSv4 ACEs as comment lines setfacl passes over, and
// the drift check compares them like any other entry: an ACE changed since
// is a change, and so is an ACL the record does not have.
TEST(Nfs4AclFuse, BaselinesRecordNfs4AcesAndTheDriftCheckComparesThem)
{
    Nfs4Mount fs;
    const std::string tree = fs.tree().path("tree");
    const auto describe = [&tree](const std::string& a) {
        std::ofstream(tree, std::ios::trunc) << "/ 0755 0 0 A:fd:OWNER@:rwaDxtTnNcCy A:fd:EVERYONE@:rtncy\n"
                                                "/a 0755 0 0 "
                                             << a << "\n/b 0755 0 0\n";
    };
    describe("A:fd:OWNER@:rwaDxtTnNcCy A:fd:EVERYONE@:rtncy");
    if (const std::string why = fs.mount(tree); !why.empty())
        GTEST_SKIP() << "no FUSE mount for the NFSv4 test: " << why;
    const std::string& mnt = fs.point();
    const std::string keep = fs.tree().mkdir("keep");
    ::chmod(keep.c_str(), 0700);
    const std::string baseline = keep + "/base.acl", reports = keep + "/reports";
    const gwtest::ProcessResult saved = runBounded(
        {gwtest::checkProgram(), "--quiet", "--reports", reports, "--save-baseline", baseline, mnt});
    ASSERT_EQ(saved.status, 1) << saved.out << saved.err; // b differs from the top: saved all the same
    const std::string text = gwtest::readFile(baseline);
    EXPECT_NE(text.find("# file: " + mnt
                        + "/a\n# kind: folder\n# owner: 0\n# group: 0\n"
                          "# nfs4: A:fd:OWNER@:rwaDxtTnNcCy\n# nfs4: A:fd:EVERYONE@:rtncy\nuser::rwx\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("# file: " + mnt + "/b\n# kind: folder\n# owner: 0\n# group: 0\n# nfs4: (no ACEs)\n"),
              std::string::npos)
        << text;

    const auto drift = [&] {
        return runBounded({gwtest::checkProgram(), "--json", "--reports", reports, "--baseline", baseline, mnt});
    };
    const gwtest::ProcessResult same = drift();
    EXPECT_EQ(same.status, 0) << same.out << same.err;

    describe("A:fd:OWNER@:rwaDxtTnNcCy D::EVERYONE@:rwaDdxtTnNcCoy");
    const gwtest::ProcessResult changed = drift();
    EXPECT_EQ(changed.status, 1) << changed.out << changed.err;
    EXPECT_NE(changed.out.find("\"status\":\"changed\""), std::string::npos) << changed.out;
    EXPECT_NE(changed.out.find("\"from\":\"nfs4 A:fd:EVERYONE@:rtncy\",\"to\":\"nfs4 D::EVERYONE@:rwaDdxtTnNcCoy\""),
              std::string::npos)
        << changed.out;
    EXPECT_NE(gwtest::readFile(reports + "/acl_drift.txt")
                  .find("folder " + mnt + "/a\n    ~ nfs4 A:fd:EVERYONE@:rtncy -> nfs4 D::EVERYONE@:rwaDdxtTnNcCoy\n"),
              std::string::npos);

    // A record without the ACEs an item now carries: a baseline of before.
    describe("A:fd:OWNER@:rwaDxtTnNcCy A:fd:EVERYONE@:rtncy");
    std::string older = text;
    for (std::size_t at; (at = older.find("# nfs4: ")) != std::string::npos;)
        older.erase(at, older.find('\n', at) + 1 - at);
    std::ofstream(baseline, std::ios::trunc) << older;
    const gwtest::ProcessResult unrecorded = drift();
    EXPECT_EQ(unrecorded.status, 1) << unrecorded.out;
    EXPECT_NE(unrecorded.out.find("\"change\":\"added\",\"entry\":\"nfs4 A:fd:EVERYONE@:rtncy\""), std::string::npos)
        << unrecorded.out;
}
