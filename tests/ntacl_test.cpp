// Samba's Windows ACL (security.NTACL): compared by the SHA-256 of its value,
// here with the digest checked against known values and sha256sum, and the
// check run on folders of a tmpfs whose values are set with setfattr.

#include "TempTree.h"
#include "platform/Sha256.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using gwtest::run;
using gwtest::TempTree;

namespace {

std::string hexOf(const std::string& data)
{
    return gw::sha256Hex(reinterpret_cast<const unsigned char*>(data.data()), data.size());
}

std::string sha256sum(const TempTree& t, const std::string& data)
{
    const std::string file = t.path("data");
    std::ofstream(file, std::ios::binary) << data;
    const gwtest::ProcessResult r = run({"sha256sum", file});
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out.substr(0, 64);
}

// A tmpfs mounted on a new folder for the test's time.
struct Tmpfs {
    TempTree tree;
    std::string point = tree.mkdir("tmpfs");
    bool mounted = ::mount("tmpfs", point.c_str(), "tmpfs", 0, "mode=0755") == 0;
    int error = mounted ? 0 : errno;
    ~Tmpfs()
    {
        if (mounted && ::umount2(point.c_str(), 0) != 0)
            ::umount2(point.c_str(), MNT_DETACH);
    }
};

} // namespace

TEST(Sha256, KnownDigestsAndSha256sumAtEveryBlockBoundary)
{
    EXPECT_EQ(hexOf(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(hexOf("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(hexOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(hexOf(std::string(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    // Where the padding takes one block or two, against a real sha256sum.
    TempTree t;
    for (const std::size_t size : {1u, 55u, 56u, 63u, 64u, 65u, 119u, 120u, 128u, 1000u}) {
        std::string data;
        for (std::size_t i = 0; i < size; ++i)
            data.push_back(static_cast<char>(i * 37 + size));
        EXPECT_EQ(hexOf(data), sha256sum(t, data)) << size << " bytes";
    }
}

TEST(NtAcl, DifferingWindowsAclsAreMismatchesAndEqualOnesAreNot)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "setting security.NTACL and mounting a tmpfs need root";
    Tmpfs fs;
    if (!fs.mounted)
        GTEST_SKIP() << "a tmpfs cannot be mounted here: " << std::strerror(fs.error);
    const std::string top = fs.point + "/share";
    ASSERT_EQ(::mkdir(top.c_str(), 0755), 0);
    // Two values as Samba writes them (a version, then a descriptor), cut short:
    // the program never looks inside.
    const std::string alice = "0x0400040000000200000000000000", bob = "0x0400040000000200000000000001";
    const auto set = [](const std::string& folder, const std::string& value) {
        const gwtest::ProcessResult r = run({"setfattr", "-n", "security.NTACL", "-v", value, folder});
        ASSERT_EQ(r.status, 0) << r.err;
    };
    set(top, alice);
    for (const char* name : {"same", "same/below", "other", "other/below", "none"}) {
        const std::string folder = top + "/" + name;
        ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
        if (std::string(name).rfind("same", 0) == 0)
            set(folder, alice);
        else if (std::string(name).rfind("other", 0) == 0)
            set(folder, bob);
    }

    // The entry names the first 16 hex digits of the value's SHA-256.
    std::string raw;
    for (std::size_t i = 2; i < alice.size(); i += 2)
        raw.push_back(static_cast<char>(std::stoi(alice.substr(i, 2), nullptr, 16)));
    const gwtest::ProcessResult listing = run({gwtest::aclProgram(), top});
    EXPECT_EQ(listing.out,
              top
                  + " user root (owner):rwx\n"
                    "    group root (owner):r-x\n"
                    "    other:r-x\n"
                    "    ntacl sha256:"
                  + sha256sum(fs.tree, raw).substr(0, 16) + "\n\n");

    const std::string reports = fs.tree.mkdir("reports");
    ASSERT_EQ(::chmod(reports.c_str(), 0700), 0);
    const gwtest::ProcessResult check = run({gwtest::checkProgram(), "--reports", reports, top});
    EXPECT_EQ(check.status, 1) << check.out << check.err;
    EXPECT_NE(check.out.find("The number of mismatches: 3."), std::string::npos) << check.out;
    const std::string diff = gwtest::readFile(reports + "/acl_diff.txt");
    EXPECT_NE(diff.find("3 folders differ from the checked folder; the differences start in 2 places."),
              std::string::npos)
        << diff;
    EXPECT_NE(diff.find("\n" + top + "/none\n    - ntacl sha256:"), std::string::npos) << diff;
    EXPECT_NE(diff.find("\n" + top + "/other (and 1 subfolder below it)\n    ~ ntacl sha256:"), std::string::npos)
        << diff;
    EXPECT_EQ(diff.find("/same"), std::string::npos) << diff;

    // A baseline records the entry, and a Windows ACL changed since is a change.
    const std::string baseline = reports + "/base.acl";
    ASSERT_EQ(run({gwtest::checkProgram(), "--quiet", "--reports", reports, "--save-baseline", baseline, top}).status,
              1);
    EXPECT_NE(gwtest::readFile(baseline).find("# file: " + top
                                              + "/same\n# kind: folder\n# owner: 0\n# group: 0\n"
                                                "# ntacl: sha256:"
                                              + sha256sum(fs.tree, raw).substr(0, 16) + "\n"),
              std::string::npos)
        << gwtest::readFile(baseline);
    set(top + "/same/below", bob);
    const gwtest::ProcessResult drift = run(
        {gwtest::checkProgram(), "--reports", reports, "--baseline", baseline, top});
    EXPECT_EQ(drift.status, 1) << drift.out << drift.err;
    EXPECT_NE(gwtest::readFile(reports + "/acl_drift.txt").find("folder " + top + "/same/below\n    ~ ntacl sha256:"),
              std::string::npos);
}

// Samba's vfs_nfs4acl_xattr keeps an NFSv4 ACL in security.nfs4acl, which
// this program does not read: two folders alike in their mode bits are
// never the same when one carries it.
TEST(NtAcl, SambasNfs4AclAttributeCountsAsNotRead)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "setting security.nfs4acl and mounting a tmpfs need root";
    Tmpfs fs;
    if (!fs.mounted)
        GTEST_SKIP() << "a tmpfs cannot be mounted here: " << std::strerror(fs.error);
    const std::string top = fs.point + "/share", samba = top + "/samba";
    ASSERT_EQ(::mkdir(top.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(samba.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((top + "/plain").c_str(), 0755), 0);
    const gwtest::ProcessResult set = run({"setfattr", "-n", "security.nfs4acl", "-v", "0x00000001", samba});
    ASSERT_EQ(set.status, 0) << set.err;

    const gwtest::ProcessResult listing = run({gwtest::aclProgram(), samba});
    EXPECT_EQ(listing.status, 1);
    EXPECT_EQ(listing.out, "");
    EXPECT_NE(listing.err.find("(security.nfs4acl), an ACL model this program does not read"), std::string::npos)
        << listing.err;

    const std::string reports = fs.tree.mkdir("reports");
    ASSERT_EQ(::chmod(reports.c_str(), 0700), 0);
    const gwtest::ProcessResult check = run({gwtest::checkProgram(), "--reports", reports, top});
    EXPECT_EQ(check.status, 1) << check.out << check.err;
    EXPECT_NE(check.out.find("The permissions of 1 folder were not read"), std::string::npos) << check.out;
    EXPECT_NE(gwtest::readFile(reports + "/acl_diff.txt").find(samba + "\n    it carries an NFSv4 ACL"),
              std::string::npos);
}
