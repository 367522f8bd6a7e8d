// The inheritance rules against the kernel itself: for random default ACLs,
// with and without setgid, every creation mode gives a new folder and a new
// file exactly what the rules predict, on tmpfs and on ext4.

#include "TempTree.h"
#include "engine/rules/InheritanceRules.h"
#include "platform/AclListing.h"

#include <gtest/gtest.h>

#include <acl/libacl.h>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sstream>
#include <sys/acl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace gw;

namespace {

char permChar(std::uint8_t perm, int bit, char c)
{
    return (perm & bit) ? c : '-';
}

std::string text(const Acl& acl)
{
    std::string out;
    for (const AclEntry& e : acl) {
        static const char* const tags[] = {"u:", "u:", "g:", "g:", "m:", "o:"};
        out += tags[static_cast<int>(e.tag)];
        if (e.tag == AclTag::User || e.tag == AclTag::Group)
            out += std::to_string(e.id);
        out += ':';
        out += permChar(e.perm, 4, 'r');
        out += permChar(e.perm, 2, 'w');
        out += permChar(e.perm, 1, 'x');
        out += ',';
    }
    return out;
}

// The ACL of `type` on `path`, read with libacl: the kernel's own answer.
Acl kernelAcl(const std::string& path, acl_type_t type)
{
    Acl out;
    acl_t acl = acl_get_file(path.c_str(), type);
    if (!acl)
        return out;
    acl_entry_t entry;
    for (int which = ACL_FIRST_ENTRY; acl_get_entry(acl, which, &entry) == 1; which = ACL_NEXT_ENTRY) {
        acl_tag_t tag;
        acl_permset_t set;
        acl_get_tag_type(entry, &tag);
        acl_get_permset(entry, &set);
        AclEntry e {AclTag::Other, 0, 0};
        switch (tag) {
        case ACL_USER_OBJ: e.tag = AclTag::UserObj; break;
        case ACL_USER: e.tag = AclTag::User; break;
        case ACL_GROUP_OBJ: e.tag = AclTag::GroupObj; break;
        case ACL_GROUP: e.tag = AclTag::Group; break;
        case ACL_MASK: e.tag = AclTag::Mask; break;
        default: e.tag = AclTag::Other; break;
        }
        if (tag == ACL_USER || tag == ACL_GROUP) {
            void* q = acl_get_qualifier(entry);
            e.id = *static_cast<std::uint32_t*>(q);
            acl_free(q);
        }
        e.perm = static_cast<std::uint8_t>((acl_get_perm(set, ACL_READ) == 1 ? 4 : 0)
                                           | (acl_get_perm(set, ACL_WRITE) == 1 ? 2 : 0)
                                           | (acl_get_perm(set, ACL_EXECUTE) == 1 ? 1 : 0));
        out.push_back(e);
    }
    acl_free(acl);
    sortAcl(out);
    return out;
}

Permissions kernelPermissions(const std::string& path)
{
    struct stat st { };
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    Permissions p;
    p.owner = st.st_uid;
    p.group = st.st_gid;
    p.mode = st.st_mode & 07777;
    p.access = kernelAcl(path, ACL_TYPE_ACCESS);
    if (S_ISDIR(st.st_mode))
        p.defaults = kernelAcl(path, ACL_TYPE_DEFAULT);
    return p;
}

// A random valid default ACL: rights for the owner, the owning group and
// others, up to three named users and groups, and a mask (always with named
// entries, sometimes without). Now and then none at all.
Acl randomDefaults(std::mt19937& rng)
{
    const auto perm = [&] { return static_cast<std::uint8_t>(rng() % 8); };
    Acl acl;
    if (rng() % 10 == 0)
        return acl;
    acl.push_back({AclTag::UserObj, 0, perm()});
    acl.push_back({AclTag::GroupObj, 0, perm()});
    acl.push_back({AclTag::Other, 0, perm()});
    const unsigned users = rng() % 4, groups = rng() % 4;
    for (unsigned k = 0; k < users; ++k)
        acl.push_back({AclTag::User, 2000 + k * 7 + static_cast<std::uint32_t>(rng() % 7), perm()});
    for (unsigned k = 0; k < groups; ++k)
        acl.push_back({AclTag::Group, 3000 + k * 7 + static_cast<std::uint32_t>(rng() % 7), perm()});
    if (users + groups > 0 || rng() % 2)
        acl.push_back({AclTag::Mask, 0, perm()});
    sortAcl(acl);
    return acl;
}

struct Mounted {
    std::string point;
    bool mounted = false;
    ~Mounted()
    {
        if (mounted)
            gwtest::run({"umount", "-l", point});
    }
};

// Makes random folders in `base`, until `withDefaults` of them have a
// default ACL (a tenth have none), and in each a folder and a file for every
// creation mode; returns the number of items that differ from the prediction
// (each one reported), and says how many were compared.
int compareWithKernel(const std::string& base, int withDefaults)
{
    std::mt19937 rng(20261207);
    const std::uint32_t modes[] = {0600, 0644, 0664, 0666, 0700, 0755, 0777};
    constexpr std::uint32_t kUmask = 022;
    const mode_t previousUmask = ::umask(kUmask);
    int mismatches = 0, defaultAcls = 0, setgid = 0, items = 0;
    PrincipalNames names;
    int i = 0;
    for (; defaultAcls < withDefaults; ++i) {
        const std::string parent = base + "/p" + std::to_string(i);
        if (::mkdir(parent.c_str(), 0755) != 0) {
            ADD_FAILURE() << "cannot make " << parent;
            break;
        }
        const std::uint32_t parentMode = static_cast<std::uint32_t>(rng() % 0777) | ((rng() % 2) ? 02000u : 0u) | 0700;
        EXPECT_EQ(::chown(parent.c_str(), 0, static_cast<gid_t>(4000 + rng() % 5)), 0);
        EXPECT_EQ(::chmod(parent.c_str(), parentMode), 0);
        const Acl defaults = randomDefaults(rng);
        defaultAcls += !defaults.empty();
        setgid += (parentMode & 02000) != 0;
        if (!defaults.empty()) {
            acl_t acl = acl_from_text(text(defaults).c_str());
            EXPECT_NE(acl, nullptr) << text(defaults);
            EXPECT_EQ(acl_set_file(parent.c_str(), ACL_TYPE_DEFAULT, acl), 0) << text(defaults);
            acl_free(acl);
        }
        const Permissions given = kernelPermissions(parent);
        EXPECT_EQ(given.defaults, defaults);
        for (const std::uint32_t mode : modes) {
            const std::string folder = parent + "/d" + std::to_string(mode);
            const std::string file = parent + "/f" + std::to_string(mode);
            EXPECT_EQ(::mkdir(folder.c_str(), mode), 0);
            const int fd = ::open(file.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, mode);
            EXPECT_GE(fd, 0);
            ::close(fd);
            for (const auto& [path, kind] : {std::pair {folder, ItemKind::Folder}, std::pair {file, ItemKind::File}}) {
                ++items;
                const InheritedPermissions predicted = inheritedFrom(given, kind, mode, kUmask);
                const Permissions actual = kernelPermissions(path);
                // The program's own reading gives the same structure, and its
                // listing of the prediction is the listing of what it reads.
                const int itemFd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
                Permissions read;
                EXPECT_EQ(readPermissions(itemFd, read), 0) << path;
                ::close(itemFd);
                EXPECT_EQ(read, actual) << path;
                Permissions expected = predicted.expected;
                expected.owner = actual.owner; // the creator's, never predicted
                if (!predicted.groupKnown) {
                    EXPECT_EQ(actual.group, ::getegid()) << path; // the creator's
                    expected.group = actual.group;
                }
                std::string predictedListing, actualListing;
                EXPECT_EQ(appendListing(predictedListing, "x", expected, names), 0);
                EXPECT_EQ(appendListing(actualListing, "x", read, names), 0);
                if ((!(actual == expected) || predictedListing != actualListing) && ++mismatches <= 10) {
                    ADD_FAILURE() << path << " parent default " << text(defaults) << " mode 0" << std::oct << mode
                                  << ": kernel " << text(actual.access) << " default " << text(actual.defaults)
                                  << " mode 0" << actual.mode << "; predicted " << text(expected.access) << " default "
                                  << text(expected.defaults) << " mode 0" << expected.mode;
                }
            }
        }
    }
    ::umask(previousUmask);
    std::printf("%d folders (%d with a random default ACL, %d setgid), %d items made in them: %d mismatches\n", i,
                defaultAcls, setgid, items, mismatches);
    return mismatches;
}

class InheritanceRules : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root: the test mounts file systems and gives folders other groups";
    }
    gwtest::TempTree work;
};

} // namespace

TEST_F(InheritanceRules, AgreeWithTheKernelOnTmpfs)
{
    Mounted m {work.mkdir("tmpfs")};
    const gwtest::ProcessResult r = gwtest::run({"mount", "-t", "tmpfs", "-o", "size=256m", "gwtest", m.point});
    if (r.status != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here: " << r.err;
    m.mounted = true;
    EXPECT_EQ(compareWithKernel(m.point, 1000), 0);
}

TEST_F(InheritanceRules, AgreeWithTheKernelOnExt4)
{
    const std::string image = work.path("ext4.img");
    {
        const int fd = ::open(image.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, 128 << 20), 0);
        ::close(fd);
    }
    const gwtest::ProcessResult made = gwtest::run({"mkfs.ext4", "-q", "-F", "-N", "65536", image});
    ASSERT_EQ(made.status, 0) << made.err;
    Mounted m {work.mkdir("ext4")};
    const gwtest::ProcessResult r = gwtest::run({"mount", "-o", "loop", image, m.point});
    if (r.status != 0)
        GTEST_SKIP() << "cannot mount a loop image here: " << r.err;
    m.mounted = true;
    EXPECT_EQ(compareWithKernel(m.point, 1000), 0);
}
