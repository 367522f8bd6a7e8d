#pragma once
// Test helpers: a real folder tree in a temporary directory, real processes.

#include <functional>
#include <string>
#include <vector>

namespace gwtest {

class TempTree {
public:
    TempTree();
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::string& root() const { return root_; }
    // root + "/" + relative (raw bytes)
    std::string path(const std::string& relative) const;
    // Makes the folder and its missing parents (raw bytes, mode 0755).
    std::string mkdir(const std::string& relative) const;

private:
    std::string root_;
};

struct ProcessResult {
    int status = -1; // exit status, or -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Runs a program with an argument vector (never a shell) and collects its output.
ProcessResult run(const std::vector<std::string>& argv);

// Runs `setfacl` with the given arguments; fails the test on error.
void setfacl(const std::vector<std::string>& args);

// Runs `body` in a child process. The body returns an empty text when all
// went well, or says which check failed; that text comes back, or what kept
// the child from running it.
std::string inChild(const std::function<std::string()>& body);

// The same as the unprivileged user nobody.
std::string asNobody(const std::function<std::string()>& body);

// The grantwise-acl program under test, and grantwise-check beside it.
std::string aclProgram();
std::string checkProgram();
// A listing program that waits a minute and prints nothing (slow_listing,
// beside the test).
std::string slowListingProgram();
// This process's children still running (or not yet reaped).
int runningChildren();

std::string readFile(const std::string& path);

// A file system of `type` mounted on the folder `point` for as long as this
// lives (unmounted, lazily, when it goes); none where the kernel refuses it.
class Mount {
public:
    Mount(std::string point, const char* type, const char* options = nullptr);
    ~Mount();
    Mount(const Mount&) = delete;
    Mount& operator=(const Mount&) = delete;
    bool mounted() const { return mounted_; }

private:
    std::string point_;
    bool mounted_ = false;
};

} // namespace gwtest
