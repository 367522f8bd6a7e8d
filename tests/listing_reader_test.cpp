// The listing reader: every listing read on the walk's threads, and taken
// in tree order on the walk's own, whatever the number of threads.

#include "TempTree.h"
#include "engine/walk/ListingReader.h"
#include "platform/AclListing.h"
#include "platform/FolderTree.h"
#include "platform/PrintablePath.h"
#include "platform/PrintableText.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <tuple>
#include <unistd.h>

using gwtest::TempTree;

namespace {

using Taken
    = std::tuple<gw::FolderTree::NodeId, std::string, bool, std::string, std::thread::id, gw::FolderTree::NodeId>;

// Walks the tree and reads every folder's listing with `jobs` threads.
std::vector<Taken> readAll(const std::string& root, int jobs, int& completed)
{
    gw::FolderTree tree(QByteArray::fromStdString(root));
    std::vector<Taken> taken;
    gw::ListingReader reader(jobs, [&](gw::Listing& l) {
        taken.emplace_back(l.id, l.name, l.read, l.entries, std::this_thread::get_id(), l.parent);
    });
    tree.walk(0, reader.hooks());
    completed = reader.completed();
    EXPECT_EQ(static_cast<int>(taken.size()), tree.count());
    // In the tree's order, with each folder's name as its printable path
    // goes on from its parent's.
    for (int i = 0; i < tree.count() && i < static_cast<int>(taken.size()); ++i) {
        const Taken& l = taken[static_cast<std::size_t>(i)];
        EXPECT_EQ(std::get<0>(l), tree.node(i)) << i;
        EXPECT_EQ(std::get<5>(l), i == 0 ? gw::FolderTree::kNoNode : tree.parentOf(tree.node(i))) << i;
        EXPECT_EQ(std::get<1>(l),
                  i == 0 ? tree.printablePath(0) : gw::printable(gw::rawView(tree.nameOf(tree.node(i)))));
    }
    return taken;
}

} // namespace

TEST(ListingReader, EveryListingIsTakenInOrderWhateverTheThreads)
{
    TempTree t;
    for (int i = 0; i < 600; ++i)
        t.mkdir("a" + std::to_string(i % 13) + "/b" + std::to_string(i));
    gwtest::setfacl({"-m", "u:12345:r-x", t.path("a3")});
    gwtest::setfacl({"-d", "-m", "g:12345:rwx", t.path("a5/b5")});
    // Folders that differ from the one listed before them only in their
    // owner, their group or their mode bits (a walker writes a listing's
    // text once for a run of folders that carry the same).
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(t.path("a7/b7").c_str(), 12345, static_cast<gid_t>(-1)), 0);
        ASSERT_EQ(::chown(t.path("a8/b8").c_str(), static_cast<uid_t>(-1), 12345), 0);
    }
    ASSERT_EQ(::chmod(t.path("a9/b9").c_str(), 0750), 0);

    int completed = 0;
    const std::vector<Taken> alone = readAll(t.root(), 1, completed);
    EXPECT_EQ(completed, static_cast<int>(alone.size()));
    // Each listing as the program lists a folder.
    gw::PrincipalNames names;
    std::string parentPath;
    for (const Taken& l : alone) {
        EXPECT_EQ(std::get<4>(l), std::this_thread::get_id()); // taken on the walk's thread
        ASSERT_TRUE(std::get<2>(l));
        std::string path = std::get<5>(l) == gw::FolderTree::kNoNode ? std::get<1>(l) : t.root() + "/" + std::get<1>(l);
        if (std::get<1>(l).front() == 'b') // below an "a" folder
            path = t.root() + "/a" + std::to_string(std::stoi(std::get<1>(l).substr(1)) % 13) + "/" + std::get<1>(l);
        std::string expected;
        ASSERT_EQ(gw::appendAclListing(expected, path, names), 0);
        EXPECT_EQ(path + std::get<3>(l), expected);
    }

    for (int jobs : {2, 5, 16}) {
        const std::vector<Taken> threaded = readAll(t.root(), jobs, completed);
        EXPECT_EQ(completed, static_cast<int>(alone.size()));
        ASSERT_EQ(threaded.size(), alone.size()) << jobs;
        // Node numbers follow the order folders came back in; the names, in
        // tree order, are the same.
        for (std::size_t i = 0; i < alone.size(); ++i) {
            EXPECT_EQ(std::get<1>(threaded[i]), std::get<1>(alone[i]));
            EXPECT_EQ(std::get<2>(threaded[i]), std::get<2>(alone[i]));
            EXPECT_EQ(std::get<3>(threaded[i]), std::get<3>(alone[i]));
            EXPECT_EQ(std::get<4>(threaded[i]), std::this_thread::get_id()); // taken on the walk's thread
        }
    }
}
