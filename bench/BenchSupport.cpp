#include "BenchSupport.h"
#include <cstdlib>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace gwbench {

bool makeTree(const std::string& root, int folders, int files)
{
    const std::string marker = root + "/.complete-" + std::to_string(folders)
        + (files ? "-" + std::to_string(files) : std::string());
    struct stat st { };
    if (::stat(marker.c_str(), &st) == 0)
        return true;
    ::mkdir(root.c_str(), 0755);
    if (files > 0 && runSeconds({"setfacl", "-d", "-m", "u::rwx,g::rwx,g:100:rwx,m::rwx,o::r-x", root}) < 0)
        return false;
    const auto addFiles = [&](const std::string& folder) {
        for (int f = 0; f < files; ++f) {
            const int fd = ::open((folder + "/file " + std::to_string(f) + ".txt").c_str(),
                                  O_CREAT | O_WRONLY | O_CLOEXEC, 0666);
            if (fd < 0)
                return false;
            ::close(fd);
        }
        return true;
    };
    if (!addFiles(root))
        return false;
    // Breadth-first: each folder gets up to 12 children until the count is reached.
    std::vector<std::string> queue {root};
    int made = 1; // the root itself
    for (std::size_t head = 0; head < queue.size() && made < folders; ++head) {
        for (int k = 0; k < 12 && made < folders; ++k) {
            const std::string child = queue[head] + "/Folder " + std::to_string(k * 7 % 12) + "_"
                + std::to_string(made);
            if (::mkdir(child.c_str(), 0777) != 0 && errno != EEXIST)
                return false;
            if (!addFiles(child))
                return false;
            queue.push_back(child);
            ++made;
        }
    }
    const int fd = ::open(marker.c_str(), O_CREAT | O_WRONLY, 0644);
    ::close(fd);
    return true;
}

double runSeconds(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid;
    if (::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0)
        return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    posix_spawn_file_actions_destroy(&actions);
    return seconds(start);
}

long peakRssBytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6)) * 1024;
    }
    return 0;
}

BenchTree benchTree(int argc, char** argv)
{
    const char* tmp = std::getenv("TMPDIR");
    BenchTree tree;
    tree.dir = argc > 1 ? argv[1] : std::string(tmp && *tmp ? tmp : "/tmp") + "/grantwise-bench-tree";
    tree.folders = argc > 2 ? std::atoi(argv[2]) : 100000;
    if (!makeTree(tree.dir, tree.folders)) {
        std::perror("making the tree");
        return {};
    }
    runSeconds({"find", tree.dir, "-type", "d"}); // warm the cache
    return tree;
}

} // namespace gwbench
