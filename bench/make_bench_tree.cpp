// Makes (once) a tree for the benchmarks with files in it:
//
//   make_bench_tree DIR FOLDERS FILES_PER_FOLDER
//
// FOLDERS folders, ten levels of fan-out, each with FILES_PER_FOLDER empty
// files. The top gets a default ACL first, so every item below inherits one.

#include "BenchSupport.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fputs("usage: make_bench_tree DIR FOLDERS FILES_PER_FOLDER\n", stderr);
        return 2;
    }
    if (!gwbench::makeTree(argv[1], std::atoi(argv[2]), std::atoi(argv[3]))) {
        std::perror("making the tree");
        return 1;
    }
    return 0;
}
