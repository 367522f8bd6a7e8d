// The listing reader: every listing read, and taken in the order added,
// whatever the number of threads.

#include "TempTree.h"
#include "engine/ListingReader.h"
#include "platform/AclListing.h"
#include "platform/FolderTree.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <thread>
#include <tuple>
#include <unistd.h>

using gwtest::TempTree;

namespace {

using Taken
    = std::tuple<gw::FolderTree::NodeId, std::string, bool, std::string, std::thread::id, gw::FolderTree::NodeId>;

// Walks the tree and reads every folder's listing with `workers` threads;
// every 50th folder is added without a descriptor.
std::vector<Taken> readAll(const std::string& root, int workers, int& completed)
{
    gw::FolderTree tree(QByteArray::fromStdString(root));
    std::vector<Taken> taken;
    bool together = false; // two takes at once
    std::atomic<int> inside {0};
    gw::ListingReader reader(workers, [&](gw::Listing& l) {
        if (inside.fetch_add(1) != 0)
            together = true;
        std::this_thread::yield();
        taken.emplace_back(l.id, l.name, l.read, l.entries, std::this_thread::get_id(), l.parent);
        EXPECT_EQ(l.fd, -1); // closed once read
        inside.fetch_sub(1);
    });
    int n = 0;
    tree.expandRecursively(0, {}, [&](gw::FolderTree::NodeId id, int fd) {
        const int copy = n++ % 50 == 49 ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        reader.add(id, id == 0 ? gw::FolderTree::kNoNode : tree.parentOf(id), copy, tree.printablePathOf(id));
    });
    reader.finish();
    completed = reader.completed();
    EXPECT_FALSE(together);
    EXPECT_EQ(static_cast<int>(taken.size()), tree.count());
    // In the walk's order, which is the tree's.
    for (int i = 0; i < tree.count() && i < static_cast<int>(taken.size()); ++i) {
        const Taken& l = taken[static_cast<std::size_t>(i)];
        EXPECT_EQ(std::get<0>(l), tree.node(i)) << i;
        EXPECT_EQ(std::get<5>(l), i == 0 ? gw::FolderTree::kNoNode : tree.parentOf(tree.node(i))) << i;
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

    int completed = 0;
    const std::vector<Taken> alone = readAll(t.root(), 0, completed);
    EXPECT_EQ(completed, static_cast<int>(alone.size()));
    // On the walk's thread, each listing as the program lists a folder.
    gw::PrincipalNames names;
    for (const Taken& l : alone) {
        EXPECT_EQ(std::get<4>(l), std::this_thread::get_id());
        if (!std::get<2>(l))
            continue;
        std::string expected;
        ASSERT_EQ(gw::appendAclListing(expected, std::get<1>(l), names), 0);
        EXPECT_EQ(std::get<1>(l) + std::get<3>(l), expected);
    }
    const auto unread = std::count_if(alone.begin(), alone.end(), [](const Taken& l) { return !std::get<2>(l); });
    EXPECT_EQ(unread, static_cast<long>(alone.size() / 50));

    for (int workers : {1, 2, 5}) {
        const std::vector<Taken> threaded = readAll(t.root(), workers, completed);
        EXPECT_EQ(completed, static_cast<int>(alone.size()));
        ASSERT_EQ(threaded.size(), alone.size()) << workers;
        for (std::size_t i = 0; i < alone.size(); ++i) {
            EXPECT_EQ(std::get<0>(threaded[i]), std::get<0>(alone[i]));
            EXPECT_EQ(std::get<1>(threaded[i]), std::get<1>(alone[i]));
            EXPECT_EQ(std::get<2>(threaded[i]), std::get<2>(alone[i]));
            EXPECT_EQ(std::get<3>(threaded[i]), std::get<3>(alone[i]));
            EXPECT_NE(std::get<4>(threaded[i]), std::this_thread::get_id()); // never on the walk's thread
        }
    }
}
