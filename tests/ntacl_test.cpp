// Samba's Windows ACL (security.NTACL): its values decoded as Samba's own
// bindings decode them (python3-samba, tests/ntacl_reference.py), values that
// do not decode exactly not read, and the check run on folders of a tmpfs
// whose values are set with setfattr. And the SHA-256 the program keeps.

#include "TempTree.h"
#include "engine/rules/EffectiveRights.h"
#include "engine/rules/InheritanceReference.h"
#include "engine/rules/ItemDifference.h"
#include "platform/NtAcl.h"
#include "platform/Sddl.h"
#include "platform/Sha256.h"

#include <gtest/gtest.h>

#include <optional>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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

// Values made by Samba's own bindings (tests/ntacl_reference.py): version 1
// of O:S-1-5-32-544 G:S-1-5-18 D:PAI, an allow ACE for S-1-5-21-1-2-3-1104
// (OICI, 0x1301bf) and a deny ACE for S-1-1-0 (0x2), and S: with an audit ACE;
// versions 2, 3 and 4 (description "ab") of D:(A;;0x1;;;S-1-1-0); version 1
// of O:S-1-5-18 with a null DACL, and with no DACL at all.
const char kGood[]
    = "0100010000000200010014941c0000002c00000038000000540000000102000000000005200000002002000001010000"
      "000000051200000004001c00010000000240140001000000010100000000001000100000040040000200000000032400"
      "bf011300010500000000000515000000010000000200000003000000500400000100140002000000010100000000000100"
      "000000";
const char kV2[] = "020002000000020004000200111111111111111111111111111111110100048000000000000000000000000030000000"
                   "04001c00010000000000140001000000010100000000000100000000";
const char kV3[] = "030003000000020004000200010011111111111111111111111111111111111111111111111111111111111111111111"
                   "111111111111111111111111111111111111111111111111111111111111000001000480000000000000000000000000"
                   "6400000004001c00010000000000140001000000010100000000000100000000";
const char kV4[] = "040004000000020004000200010011111111111111111111111111111111111111111111111111111111111111111111"
                   "111111111111111111111111111111111111111111111111111111111111616200000000080706050403020122222222"
                   "222222222222222222222222222222222222222222222222222222222222222222222222222222222222222222222222"
                   "22222222222222222222222201000480000000000000000000000000b000000004001c00010000000000140001000000"
                   "010100000000000100000000";
const char kNullDacl[] = "0100010000000200010004801c000000000000000000000000000000010100000000000512000000";
const char kNoDacl[] = "0100010000000200010000801c000000000000000000000000000000010100000000000512000000";

std::string bytesOf(const std::string& hex)
{
    std::string raw;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        raw.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return raw;
}

// The entries of a value, or "not read: " and why.
std::vector<std::string> entriesOf(const std::string& value)
{
    gw::SecurityDescriptor sd;
    const std::string why = gw::decodeNtAcl(reinterpret_cast<const unsigned char*>(value.data()), value.size(), sd);
    if (!why.empty())
        return {"not read: " + why};
    return gw::sddlEntries(sd);
}

std::string joined(const std::vector<std::string>& entries)
{
    std::string text;
    for (const std::string& e : entries)
        text += (text.empty() ? "" : "|") + e;
    return text;
}

// The reference's output for `args`.
gwtest::ProcessResult reference(std::vector<std::string> args)
{
    args.insert(args.begin(), {"/usr/bin/python3", GW_TESTS_SOURCE_DIR "/ntacl_reference.py"});
    return run(args);
}

// Skips the test where python3-samba is not there.
#define SKIP_WITHOUT_REFERENCE(r)                                                                                      \
    if ((r).status == 3 || (r).status == 127 || (r).status == -1)                                                      \
    GTEST_SKIP() << "the reference, python3-samba, cannot run here: " << (r).err

void setNtAcl(const std::string& folder, const std::string& hex)
{
    const gwtest::ProcessResult r = run({"setfattr", "-n", "security.NTACL", "-v", "0x" + hex, folder});
    ASSERT_EQ(r.status, 0) << r.err;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        out.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return out;
}

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

TEST(NtAcl, ValuesListAsSambaDecodesThemAndAnythingInexactIsNotRead)
{
    EXPECT_EQ(joined(entriesOf(bytesOf(kGood))),
              "O:S-1-5-32-544|G:S-1-5-18|D:PAI|(A;OICI;0x1301bf;;;S-1-5-21-1-2-3-1104)|(D;;0x2;;;S-1-1-0)|S:|"
              "S(AU;SA;0x1;;;S-1-16-4096)");
    for (const char* hex : {kV2, kV3, kV4})
        EXPECT_EQ(joined(entriesOf(bytesOf(hex))), "D:|(A;;0x1;;;S-1-1-0)");
    EXPECT_EQ(joined(entriesOf(bytesOf(kNullDacl))), "O:S-1-5-18|D:NO_ACCESS_CONTROL");
    EXPECT_EQ(joined(entriesOf(bytesOf(kNoDacl))), "O:S-1-5-18|D:not present");
    // A mandatory label and a flag without a letter are listed, never lost.
    std::string label = bytesOf(kGood);
    label[64] = 0x11;
    label[65] = 0x60;
    EXPECT_EQ(entriesOf(label).back(), "S(ML;SA+0x20;0x1;;;S-1-16-4096)");

    // Cut short at every length, in every version: never read, never a crash.
    for (const char* hex : {kGood, kV2, kV3, kV4}) {
        const std::string value = bytesOf(hex);
        for (std::size_t size = 0; size < value.size(); ++size)
            EXPECT_EQ(entriesOf(value.substr(0, size)).front().rfind("not read: ", 0), 0u) << hex << " " << size;
    }
    // One wrong field each, and why.
    const auto changed = [](std::size_t at, char byte, const char* hex = kGood) {
        std::string value = bytesOf(hex);
        value[at] = byte;
        return entriesOf(value).front();
    };
    EXPECT_EQ(changed(0, 5), "not read: it has version 5, which this program does not know");
    EXPECT_EQ(changed(29, 16),
              "not read: its descriptor's owner SID says it has 16 sub-authorities, more than the "
              "15 a SID may have");
    EXPECT_NE(changed(88, 3).find("DACL has an ACE 3 that is cut short"), std::string::npos) << changed(88, 3);
    EXPECT_NE(changed(88, 100).find("DACL says it has 100 ACEs, but its 64 bytes hold at most 3"), std::string::npos);
    EXPECT_NE(changed(12, char(0xF0)).find("owner lies at 240, outside the descriptor"), std::string::npos);
    EXPECT_NE(changed(16, 0x1c).find("overlaps another part"), std::string::npos);
    EXPECT_NE(changed(10, 0x10).find("DACL that its control flags say is not there"), std::string::npos);
    EXPECT_NE(changed(94, 0x28).find("ACE 1 that says it takes 40 bytes, but holds 36"), std::string::npos);
    EXPECT_NE(changed(92, 4).find("ACE 1 that has type 4, which this program does not read"), std::string::npos);
    EXPECT_NE(changed(100, 2).find("has a SID that has revision 2, not 1"), std::string::npos);
    EXPECT_NE(changed(81, 1, kV4).find("padding after its description"), std::string::npos);
    EXPECT_NE(changed(79, 1, kV3).find("padding before its descriptor"), std::string::npos);
    EXPECT_EQ(entriesOf(bytesOf(kGood) + '\0').front(), "not read: 1 bytes are left after its descriptor's last part");

    // What the rules read back is what was written.
    for (const std::string& entry : entriesOf(bytesOf(kGood))) {
        gw::NtAce ace;
        bool inSacl = false;
        if (gw::readSddlAce(entry, ace, inSacl))
            EXPECT_EQ((inSacl ? "S" : "") + gw::sddlAce(ace), entry);
        else
            EXPECT_EQ(entry.find('('), std::string::npos) << entry;
    }
}

// 1,000 random descriptors, as values of versions 1 and 4, against Samba's
// own decoding of them; the first 100 also through grantwise-acl on folders.
TEST(NtAcl, ThousandRandomDescriptorsListAsSambaDecodesThem)
{
    const gwtest::ProcessResult random = reference({"random", "1000", "20261208"});
    SKIP_WITHOUT_REFERENCE(random);
    ASSERT_EQ(random.status, 0) << random.err;
    const std::vector<std::string> rows = lines(random.out);
    ASSERT_EQ(rows.size(), 1000u);
    std::vector<std::pair<std::string, std::string>> listed; // value, expected entries
    for (const std::string& row : rows) {
        const std::size_t a = row.find('\t'), b = row.find('\t', a + 1), c = row.find('\t', b + 1);
        ASSERT_NE(c, std::string::npos) << row;
        const std::string v1 = row.substr(0, a), v4 = row.substr(a + 1, b - a - 1),
                          expected = row.substr(b + 1, c - b - 1);
        EXPECT_EQ(joined(entriesOf(bytesOf(v1))), expected) << row.substr(c + 1);
        EXPECT_EQ(joined(entriesOf(bytesOf(v4))), expected) << row.substr(c + 1);
        if (listed.size() < 100)
            listed.emplace_back(listed.size() % 2 ? v4 : v1, expected);
    }
    if (::geteuid() != 0)
        GTEST_SKIP() << "setting security.NTACL and mounting a tmpfs need root";
    Tmpfs fs;
    if (!fs.mounted)
        GTEST_SKIP() << "a tmpfs cannot be mounted here: " << std::strerror(fs.error);
    std::vector<std::string> command {gwtest::aclProgram()};
    for (std::size_t k = 0; k < listed.size(); ++k) {
        command.push_back(fs.point + "/" + std::to_string(k));
        ASSERT_EQ(::mkdir(command.back().c_str(), 0755), 0);
        setNtAcl(command.back(), listed[k].first);
    }
    const gwtest::ProcessResult listing = run(command);
    ASSERT_EQ(listing.status, 0) << listing.err;
    std::vector<std::string> entries;
    std::size_t folder = 0;
    for (const std::string& line : lines(listing.out)) {
        if (line.empty()) {
            ASSERT_LT(folder, listed.size());
            EXPECT_EQ(joined(entries), listed[folder++].second);
            entries.clear();
        } else if (const std::size_t at = line.find("ntacl "); at != std::string::npos) {
            entries.push_back(line.substr(at + 6));
        }
    }
    EXPECT_EQ(folder, listed.size());
}

// A share whose folders differ from the checked folder in one part of their
// Windows ACL each: the check counts exactly those, and says how each differs.
TEST(NtAcl, FoldersDifferingInOneAceAreExactlyTheMismatches)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "setting security.NTACL and mounting a tmpfs need root";
    const std::string owner = "O:S-1-5-21-1-2-3-500G:S-1-5-21-1-2-3-513";
    const std::string system = "(A;OICI;0x1f01ff;;;S-1-5-18)", alice = "(A;OICI;0x1301bf;;;S-1-5-21-1-2-3-1104)",
                      everyone = "(A;OICI;0x1200a9;;;S-1-1-0)";
    const std::vector<std::pair<std::string, std::string>> folders {
        {"", owner + "D:AI" + system + alice + everyone},
        {"same", owner + "D:AI" + system + alice + everyone},
        {"same/below", owner + "D:AI" + system + alice + everyone},
        {"mask", owner + "D:AI" + system + "(A;OICI;0x1200a9;;;S-1-5-21-1-2-3-1104)" + everyone},
        {"mask/below", owner + "D:AI" + system + "(A;OICI;0x1200a9;;;S-1-5-21-1-2-3-1104)" + everyone},
        {"flags", owner + "D:AI" + system + "(A;CI;0x1301bf;;;S-1-5-21-1-2-3-1104)" + everyone},
        {"sid", owner + "D:AI" + system + "(A;OICI;0x1301bf;;;S-1-5-21-1-2-3-1105)" + everyone},
        {"order", owner + "D:AI" + system + everyone + alice},
        {"protected", owner + "D:PAI" + system + alice + everyone},
        {"inserted", owner + "D:AI(D;;0x2;;;S-1-1-0)" + system + alice + everyone},
    };
    std::vector<std::string> args {"pack", "4"};
    for (const auto& f : folders)
        args.push_back(f.second);
    const gwtest::ProcessResult packed = reference(args);
    SKIP_WITHOUT_REFERENCE(packed);
    ASSERT_EQ(packed.status, 0) << packed.err;
    const std::vector<std::string> values = lines(packed.out);
    ASSERT_EQ(values.size(), folders.size());
    Tmpfs fs;
    if (!fs.mounted)
        GTEST_SKIP() << "a tmpfs cannot be mounted here: " << std::strerror(fs.error);
    const std::string top = fs.point + "/share";
    for (std::size_t k = 0; k < folders.size(); ++k) {
        const std::string folder = folders[k].first.empty() ? top : top + "/" + folders[k].first;
        ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
        setNtAcl(folder, values[k]);
    }
    // A value cut short is not read, never taken for the same.
    ASSERT_EQ(::mkdir((top + "/broken").c_str(), 0755), 0);
    setNtAcl(top + "/broken", values[0].substr(0, values[0].size() - 2));

    const std::string reports = fs.tree.mkdir("reports");
    ASSERT_EQ(::chmod(reports.c_str(), 0700), 0);
    const gwtest::ProcessResult check = run({gwtest::checkProgram(), "--reports", reports, top});
    EXPECT_EQ(check.status, 1) << check.out << check.err;
    EXPECT_NE(check.out.find("The number of mismatches: 7."), std::string::npos) << check.out;
    EXPECT_NE(check.out.find("The permissions of 1 folder were not read"), std::string::npos) << check.out;
    const std::string diff = gwtest::readFile(reports + "/acl_diff.txt");
    for (const std::string& expected :
         {"\n" + top + "/mask (and 1 subfolder below it)\n    ~ ntacl " + alice
              + " -> ntacl (A;OICI;0x1200a9;;;S-1-5-21-1-2-3-1104)\n\n",
          "\n" + top + "/flags\n    ~ ntacl " + alice + " -> ntacl (A;CI;0x1301bf;;;S-1-5-21-1-2-3-1104)\n\n",
          "\n" + top + "/sid\n    ~ ntacl " + alice + " -> ntacl (A;OICI;0x1301bf;;;S-1-5-21-1-2-3-1105)\n\n",
          "\n" + top + "/order\n    - ntacl " + alice + "\n    + ntacl " + alice + "\n\n",
          "\n" + top + "/protected\n    ~ ntacl D:AI -> ntacl D:PAI\n\n",
          "\n" + top + "/inserted\n    + ntacl (D;;0x2;;;S-1-1-0)\n\n",
          top + "/broken\n    its Windows ACL (security.NTACL) does not decode: "})
        EXPECT_NE(diff.find(expected), std::string::npos) << expected << "\n---\n" << diff;
    EXPECT_EQ(diff.find("/same"), std::string::npos) << diff;

    // A baseline records the entries as comments setfacl passes over, and a
    // Windows ACL changed since is a change of that ACE. (A folder not read
    // would leave it unwritten.)
    ASSERT_EQ(run({"setfattr", "-x", "security.NTACL", top + "/broken"}).status, 0);
    const std::string baseline = reports + "/base.acl";
    ASSERT_EQ(run({gwtest::checkProgram(), "--quiet", "--reports", reports, "--save-baseline", baseline, top}).status,
              1);
    EXPECT_NE(gwtest::readFile(baseline).find("# file: " + top
                                              + "/same\n# kind: folder\n# owner: 0\n# group: 0\n"
                                                "# ntacl: O:S-1-5-21-1-2-3-500\n# ntacl: G:S-1-5-21-1-2-3-513\n"
                                                "# ntacl: D:AI\n# ntacl: "
                                              + system + "\n# ntacl: " + alice + "\n# ntacl: " + everyone + "\n"),
              std::string::npos)
        << gwtest::readFile(baseline);
    setNtAcl(top + "/same/below", values[3]);
    const gwtest::ProcessResult drift = run(
        {gwtest::checkProgram(), "--reports", reports, "--baseline", baseline, top});
    EXPECT_EQ(drift.status, 1) << drift.out << drift.err;
    EXPECT_NE(gwtest::readFile(reports + "/acl_drift.txt")
                  .find("folder " + top + "/same/below\n    ~ ntacl " + alice
                        + " -> ntacl (A;OICI;0x1200a9;;;S-1-5-21-1-2-3-1104)\n"),
              std::string::npos)
        << gwtest::readFile(reports + "/acl_drift.txt");
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

namespace {

gw::Permissions withWindowsAcl(const std::vector<std::string>& sddl)
{
    gw::Permissions p;
    p.mode = 0755;
    p.access = gw::minimalAcl(0755);
    for (const std::string& part : sddl)
        p.otherModels.push_back("ntacl " + part);
    return p;
}

} // namespace

// What smbd 4.17 gave a subfolder and a file made over the wire in a folder
// with this DACL (its owner S-1-5-21-9-1000, group S-1-5-21-9-513), and what
// Windows clients give, both count as inherited; an ACE missing does not.
TEST(NtAcl, InheritedAcesAsSmbdAndWindowsGiveThem)
{
    const std::vector<std::string> dacl {"(A;OICI;0x1f01ff;;;S-1-5-18)", "(A;OICIIO;0x10000000;;;S-1-3-0)",
                                         "(A;CI;0x1200a9;;;S-1-5-11)", "(A;OINP;0x1200a9;;;S-1-5-32-545)",
                                         "(A;CINP;0x1200a9;;;S-1-5-32-546)"};
    std::vector<std::string> top {"O:S-1-5-32-544", "G:S-1-5-32-545", "D:AI"};
    top.insert(top.end(), dacl.begin(), dacl.end());
    const std::vector<std::string> head {"O:S-1-5-21-9-1000", "G:S-1-5-21-9-513", "D:AI"};
    const auto item = [&](std::vector<std::string> aces) {
        aces.insert(aces.begin(), head.begin(), head.end());
        return withWindowsAcl(aces);
    };
    const auto reasons = [&](const gw::Permissions& folder, const gw::Permissions& p, gw::ItemKind kind) {
        std::string keys;
        for (const gw::InheritanceReason r : gw::inheritanceFinding(folder, p, kind).reasons)
            keys += gw::reasonKey(r);
        return keys;
    };
    const gw::Permissions folder = withWindowsAcl(top);
    const std::vector<std::string> smbdSub {"(A;OICIID;0x1f01ff;;;S-1-5-18)", "(A;ID;0x10000000;;;S-1-5-21-9-1000)",
                                            "(A;OICIIOID;0x10000000;;;S-1-3-0)", "(A;CIID;0x1200a9;;;S-1-5-11)",
                                            "(A;ID;0x1200a9;;;S-1-5-32-546)"};
    EXPECT_EQ(reasons(folder, item(smbdSub), gw::ItemKind::Folder), "");
    // An ACE of its own first; the generic rights mapped as Windows maps them.
    std::vector<std::string> windowsSub = smbdSub;
    windowsSub[1] = "(A;ID;0x1f01ff;;;S-1-5-21-9-1000)";
    windowsSub.insert(windowsSub.begin(), "(D;;0x2;;;S-1-1-0)");
    EXPECT_EQ(reasons(folder, item(windowsSub), gw::ItemKind::Folder), "");
    EXPECT_EQ(reasons(folder,
                      item({"(A;ID;0x1f01ff;;;S-1-5-18)", "(A;ID;0x10000000;;;S-1-5-21-9-1000)",
                            "(A;ID;0x1200a9;;;S-1-5-32-545)"}),
                      gw::ItemKind::File),
              "");
    // Protected, it inherits nothing.
    EXPECT_EQ(
        reasons(folder, withWindowsAcl({"O:S-1-5-21-9-1000", "D:P", "(A;;0x1f01ff;;;S-1-1-0)"}), gw::ItemKind::Folder),
        "");
    // Under a DACL that is not auto-inherited, smbd leaves ID out.
    std::vector<std::string> noAi = top;
    noAi[2] = "D:";
    std::vector<std::string> withoutId {"(A;OICI;0x1f01ff;;;S-1-5-18)", "(A;;0x10000000;;;S-1-5-21-9-1000)",
                                        "(A;OICIIO;0x10000000;;;S-1-3-0)", "(A;CI;0x1200a9;;;S-1-5-11)",
                                        "(A;;0x1200a9;;;S-1-5-32-546)"};
    EXPECT_EQ(reasons(withWindowsAcl(noAi), item(withoutId), gw::ItemKind::Folder), "");

    // One inherited ACE missing, a subfolder with no Windows ACL: not inherited,
    // and the difference names the ACEs.
    std::vector<std::string> missing = smbdSub;
    missing.erase(missing.begin() + 3);
    gw::PrincipalNames names;
    const std::optional<gw::ItemDifference> d = gw::differenceFromGiven(folder, item(missing), gw::ItemKind::Folder,
                                                                        std::nullopt, names);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->changes,
              (QList<gw::EntryChange> {{gw::EntryChange::Removed, "ntacl (A;CIID;0x1200a9;;;S-1-5-11)", {}}}));
    EXPECT_EQ(reasons(folder, item(missing), gw::ItemKind::Folder), "ntacl_not_inherited");
    EXPECT_EQ(reasons(folder, withWindowsAcl({}), gw::ItemKind::Folder), "ntacl_not_inherited");
    // Under a folder with an NFSv4 ACL, nothing is compared.
    gw::Permissions nfs4 = folder;
    nfs4.otherModels = {"nfs4 A::EVERYONE@:rwx"};
    EXPECT_FALSE(gw::inheritanceApplies(nfs4, item(smbdSub)));
}

namespace {

// SIDs as winbind would map them, without winbind.
struct KnownSids : gw::SidLookup {
    gw::SidOwner ownerOf(const std::string& sid) override
    {
        if (sid == "S-1-5-21-9-1104")
            return {gw::SidOwner::Kind::User, 1104};
        if (sid == "S-1-5-21-9-513")
            return {gw::SidOwner::Kind::Group, 100};
        return {};
    }
    std::string nameOf(const std::string& sid) override { return sid == "S-1-5-21-9-1104" ? "GW\\alice" : ""; }
};

std::string rights(const gw::Permissions& p, const gw::Principal& who, gw::SidLookup* sids)
{
    gw::PrincipalNames names;
    const gw::RightsAnswer a = gw::rightsAnswer(p, gw::ItemKind::Folder, who, names, sids);
    if (!a.unknown.empty())
        return "unknown: " + a.unknown;
    return std::string(a.rights.read ? "r" : "-") + (a.rights.write == gw::WriteRight::Yes ? "w" : "-")
        + (a.rights.enter ? "x" : "-") + " via " + a.via;
}

} // namespace

// The DACL decides as Windows evaluates it: in order, the first ACE that
// names a right and is the principal's; unknown where a SID cannot be mapped.
TEST(NtAcl, WhoCanFollowsTheDaclWhereWinbindMapsItsSids)
{
    KnownSids sids;
    gw::Principal alice;
    alice.kind = gw::Principal::Kind::User;
    alice.uid = 1104;
    alice.groups = {100};
    gw::Principal bob = alice;
    bob.uid = 2000;
    bob.groups = {};
    const gw::Permissions p = withWindowsAcl({"O:S-1-5-32-544", "D:", "(D;;0x2;;;S-1-5-21-9-1104)",
                                              "(A;;0x1200a9;;;S-1-5-21-9-513)", "(A;OICIIO;0x1f01ff;;;S-1-5-21-9-1104)",
                                              "(A;OICI;0x1301bf;;;S-1-5-21-9-1104)"});
    EXPECT_EQ(rights(p, alice, &sids),
              "r-x via ntacl (D;;0x2;;;S-1-5-21-9-1104), ntacl (A;;0x1200a9;;;S-1-5-21-9-513), "
              "ntacl (A;OICI;0x1301bf;;;S-1-5-21-9-1104)");
    EXPECT_EQ(rights(p, bob, &sids), "--- via no ACE names read, write, append, execute");
    gw::Permissions everyone = withWindowsAcl({"D:", "(A;;0x1f01ff;;;S-1-1-0)"});
    EXPECT_EQ(rights(everyone, bob, nullptr), "rwx via ntacl (A;;0x1f01ff;;;S-1-1-0)");
    // A SID no one maps, and winbind's own answer where winbindd does not run.
    EXPECT_EQ(rights(withWindowsAcl({"D:", "(A;;0x1;;;S-1-5-21-9-7)"}), bob, &sids)
                  .rfind("unknown: its Windows ACE "
                         "(A;;0x1;;;S-1-5-21-9-7) names",
                         0),
              0u);
    if (gwtest::run({"wbinfo", "--ping"}).status != 0) {
        EXPECT_EQ(rights(p, alice, nullptr).rfind("unknown: ", 0), 0u);
    }
    // The reports name the SIDs winbind names, beside the entries.
    const gw::FolderDifference d {"/s/a", {{gw::EntryChange::Added, {}, "ntacl (A;;0x1;;;S-1-5-21-9-1104)"}}};
    EXPECT_EQ(gw::windowsSidNames({d}, sids),
              "\nWindows SIDs above, as winbind names them:\n"
              "    S-1-5-21-9-1104 GW\\134alice\n");
    gw::Principal root;
    root.kind = gw::Principal::Kind::User;
    root.uid = 0;
    EXPECT_EQ(rights(everyone, root, &sids).rfind("unknown: ", 0), 0u);
}
