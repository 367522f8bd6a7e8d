#include "TempTree.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace gwtest {

TempTree::TempTree()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/gwtest-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    ::chmod(pattern.c_str(), 0755); // tests that drop privileges must reach it
    root_ = pattern;
}

TempTree::~TempTree()
{
    // Make everything removable, then remove it.
    run({"chmod", "-R", "u+rwx", root_});
    run({"rm", "-rf", root_});
}

std::string TempTree::path(const std::string& relative) const
{
    return relative.empty() ? root_ : root_ + "/" + relative;
}

std::string TempTree::mkdir(const std::string& relative) const
{
    std::string sofar = root_;
    std::size_t pos = 0;
    while (pos <= relative.size()) {
        std::size_t end = relative.find('/', pos);
        if (end == std::string::npos)
            end = relative.size();
        sofar += "/" + relative.substr(pos, end - pos);
        if (::mkdir(sofar.c_str(), 0755) != 0 && errno != EEXIST)
            throw std::runtime_error("mkdir failed: " + sofar + ": " + std::strerror(errno));
        ::chmod(sofar.c_str(), 0755);
        pos = end + 1;
    }
    return sofar;
}

ProcessResult run(const std::vector<std::string>& argv)
{
    ProcessResult result;
    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0)
        return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int rc = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (rc == 0) {
        pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
        std::string* sinks[2] = {&result.out, &result.err};
        int open = 2;
        char buffer[65536];
        while (open > 0) {
            if (::poll(fds, 2, -1) < 0 && errno != EINTR)
                break;
            for (int k = 0; k < 2; ++k) {
                if (fds[k].fd < 0 || !(fds[k].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                const ssize_t n = ::read(fds[k].fd, buffer, sizeof buffer);
                if (n > 0) {
                    sinks[k]->append(buffer, static_cast<std::size_t>(n));
                } else {
                    fds[k].fd = -1;
                    --open;
                }
            }
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    return result;
}

void setfacl(const std::vector<std::string>& args)
{
    std::vector<std::string> argv {"setfacl"};
    argv.insert(argv.end(), args.begin(), args.end());
    const ProcessResult r = run(argv);
    ASSERT_EQ(r.status, 0) << "setfacl failed: " << r.err;
}

std::string asNobody(const std::function<std::string()>& body)
{
    return inChild([&body]() -> std::string {
        const gid_t none[1] = {65534};
        if (::setgroups(1, none) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            return "cannot become the user nobody";
        return body();
    });
}

std::string inChild(const std::function<std::string()>& body)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return std::string("no pipe: ") + std::strerror(errno);
    const pid_t pid = ::fork();
    if (pid < 0) {
        const int error = errno;
        ::close(fds[0]);
        ::close(fds[1]);
        return std::string("cannot fork: ") + std::strerror(error);
    }
    if (pid == 0) {
        ::close(fds[0]);
        std::string said = body();
        if (said.empty())
            said = "ok";
        for (std::size_t done = 0; done < said.size();) {
            const ssize_t n = ::write(fds[1], said.data() + done, said.size() - done);
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string said;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        said.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status))
        return "the child ended by signal " + std::to_string(WTERMSIG(status))
            + (said.empty() ? "" : " after: " + said);
    return said == "ok" ? std::string() : said.empty() ? std::string("the child said nothing") : said;
}

std::string aclProgram()
{
    const char* program = std::getenv("GRANTWISE_ACL");
    return program ? program : "grantwise-acl";
}

std::string checkProgram()
{
    const std::string acl = aclProgram();
    return acl.substr(0, acl.rfind('/') + 1) + "grantwise-check";
}

std::string slowListingProgram()
{
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string exe = n > 0 ? std::string(self, static_cast<std::size_t>(n)) : std::string();
    return exe.substr(0, exe.rfind('/') + 1) + "slow_listing";
}

int runningChildren()
{
    int children = 0;
    const std::string me = std::to_string(::getpid());
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string stat = readFile(entry.path().string() + "/stat");
        // pid (comm) state ppid ...: the command name may hold spaces and parentheses.
        const std::size_t close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream rest(stat.substr(close + 1));
        std::string state, ppid;
        rest >> state >> ppid;
        children += ppid == me;
    }
    return children;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

Mount::Mount(std::string point, const char* type, const char* options)
    : point_(std::move(point))
    , mounted_(::mount(type, point_.c_str(), type, 0, options) == 0)
{
}

Mount::~Mount()
{
    if (mounted_)
        ::umount2(point_.c_str(), MNT_DETACH);
}

} // namespace gwtest
