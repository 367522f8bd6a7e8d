#pragma once
// Helpers for the hand-run benchmarks: generated trees, timing, memory.

#include <chrono>
#include <string>
#include <vector>

namespace gwbench {

// Makes (once) a tree of `folders` folders below `root`: ten levels of
// fan-out, every name distinct, each folder with `files` empty files. With
// files, the root gets a default ACL first, which every item below inherits.
// Returns false on an error.
bool makeTree(const std::string& root, int folders, int files = 0);

// The tree a benchmark runs on: [DIR] [FOLDERS] from its arguments (by
// default 100,000 folders under $TMPDIR), made once, its folders in the
// cache. Empty, after saying why, when it could not be made.
struct BenchTree {
    std::string dir;
    int folders = 0;
};
BenchTree benchTree(int argc, char** argv);

// Wall time of running a program (argument vector, output to /dev/null).
double runSeconds(const std::vector<std::string>& argv);

// Peak resident memory of this process so far, in bytes.
long peakRssBytes();

inline double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

} // namespace gwbench
