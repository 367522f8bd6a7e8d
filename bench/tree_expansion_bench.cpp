// Full expansion of a generated folder tree, next to `find DIR -type d`.
//
//   tree_expansion_bench [DIR] [FOLDERS]
//
// Makes the tree once (default 100,000 folders under $TMPDIR), then times
// the expansion and find alternately, five times each, warm cache, and
// prints the medians, their ratio and the peak memory per folder.

#include "BenchSupport.h"
#include "platform/FolderTree.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// Run in a fresh process, so that nothing but the tree raises the peak.
int memoryChild(const std::string& dir)
{
    const long before = gwbench::peakRssBytes();
    gw::FolderTree tree(QByteArray::fromStdString(dir));
    tree.expandRecursively(0);
    tree.node(tree.count() - 1);
    std::printf("peak memory per folder: %ld bytes (target well under 150)\n",
                (gwbench::peakRssBytes() - before) / tree.count());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--memory-child")
        return memoryChild(argv[2]);
    const gwbench::BenchTree bench = gwbench::benchTree(argc, argv);
    if (bench.dir.empty())
        return 1;
    const std::string& dir = bench.dir;
    const QByteArray root = QByteArray::fromStdString(dir);

    std::vector<double> ours, find;
    int count = 0;
    for (int round = 0; round < 5; ++round) {
        const auto start = std::chrono::steady_clock::now();
        {
            gw::FolderTree tree(root);
            tree.expandRecursively(0);
            count = tree.count();
            tree.node(count - 1); // the pre-order index is part of the work
            ours.push_back(gwbench::seconds(start));
        }
        find.push_back(gwbench::runSeconds({"find", dir, "-type", "d"}));
    }
    std::sort(ours.begin(), ours.end());
    std::sort(find.begin(), find.end());
    const double a = ours[2], b = find[2];
    std::printf("folders: %d\n", count);
    std::printf("expansion (median of 5): %.3f s\n", a);
    std::printf("find -type d (median of 5): %.3f s\n", b);
    std::printf("ratio expansion/find: %.2f (target at most 1.5)\n", a / b);
    std::fflush(stdout);
    const std::vector<std::string> child {"/proc/self/exe", "--memory-child", dir};
    std::vector<char*> args;
    for (const std::string& s : child)
        args.push_back(const_cast<char*>(s.c_str()));
    args.push_back(nullptr);
    ::execv("/proc/self/exe", args.data());
    return 1;
}
