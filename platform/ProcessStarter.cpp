#include "platform/ProcessStarter.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace gw {

namespace {
constexpr int kRunning = -2;
}

ProcessStarter::~ProcessStarter()
{
    // Children still running are left to finish; init reaps them when we exit.
}

pid_t ProcessStarter::startAppending(const QByteArray& program, const QList<QByteArray>& options,
                                     const QByteArray& argument, const QByteArray& outputFile)
{
    reap(); // keep the list short
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0)
        return -1;
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outputFile.constData(), O_WRONLY | O_APPEND | O_CREAT, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    char endOfOptions[] = "--"; // whatever the argument begins with, it is not an option
    std::vector<char*> argv {const_cast<char*>(program.constData())};
    for (const QByteArray& option : options)
        argv.push_back(const_cast<char*>(option.constData()));
    argv.insert(argv.end(), {endOfOptions, const_cast<char*>(argument.constData()), nullptr});
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, program.constData(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        errno = rc;
        return -1;
    }
    children_.push_back(Child {pid, kRunning});
    return pid;
}

void ProcessStarter::reapOne(Child& child)
{
    if (child.status != kRunning)
        return;
    int status = 0;
    pid_t rc;
    do
        rc = ::waitpid(child.pid, &status, WNOHANG);
    while (rc < 0 && errno == EINTR);
    if (rc == child.pid)
        child.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    else if (rc < 0) // not our child any more: nothing to wait for
        child.status = -1;
}

int ProcessStarter::reap()
{
    int running = 0;
    for (Child& c : children_) {
        reapOne(c);
        running += c.status == kRunning;
    }
    // Forget finished children, but keep the last few for exitStatus().
    if (children_.size() > 64) {
        std::vector<Child> kept;
        for (std::size_t i = 0; i < children_.size(); ++i) {
            if (children_[i].status == kRunning || i + 8 >= children_.size())
                kept.push_back(children_[i]);
        }
        children_.swap(kept);
    }
    return running;
}

bool ProcessStarter::isRunning(pid_t pid)
{
    for (Child& c : children_) {
        if (c.pid == pid) {
            reapOne(c);
            return c.status == kRunning;
        }
    }
    return false;
}

int ProcessStarter::exitStatus(pid_t pid)
{
    for (Child& c : children_) {
        if (c.pid == pid) {
            reapOne(c);
            return c.status == kRunning ? -1 : c.status;
        }
    }
    return -1;
}

void ProcessStarter::stopAll()
{
    for (Child& c : children_) {
        reapOne(c);
        if (c.status != kRunning)
            continue;
        ::kill(c.pid, SIGKILL);
        int status = 0;
        while (::waitpid(c.pid, &status, 0) < 0 && errno == EINTR) {
        }
        c.status = -1;
    }
}

QByteArray besideOwnExecutable(const QByteArray& name)
{
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return name;
    QByteArray path(self, n);
    path.truncate(path.lastIndexOf('/') + 1);
    return path + name;
}

} // namespace gw

namespace gw {

int runForOutput(const char* program, const std::vector<std::string>& arguments, int timeoutMs, std::string& output,
                 std::size_t limit)
{
    output.clear();
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return -1;
    }
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv {const_cast<char*>(program)};
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = ::posix_spawnp(&pid, program, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (rc != 0) {
        ::close(pipeFds[0]);
        return -1;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const auto left = [&] {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline
                                                                              - std::chrono::steady_clock::now());
        return static_cast<int>(std::max<long long>(0, ms.count()));
    };
    bool timedOut = false;
    for (char buffer[4096];;) {
        pollfd p {pipeFds[0], POLLIN, 0};
        const int ready = ::poll(&p, 1, left());
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            timedOut = true;
            break;
        }
        const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        output.append(buffer, std::min(static_cast<std::size_t>(n), limit - std::min(limit, output.size())));
    }
    ::close(pipeFds[0]);
    if (timedOut)
        ::kill(pid, SIGKILL);
    int status = 0;
    for (;;) { // its output has ended: it ends too, or is ended at the deadline
        const pid_t done = ::waitpid(pid, &status, timedOut ? 0 : WNOHANG);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR)
            return -1;
        if (done == 0 && left() == 0) {
            ::kill(pid, SIGKILL);
            timedOut = true;
        } else if (done == 0) {
            ::usleep(2000);
        }
    }
    return timedOut || !WIFEXITED(status) ? -1 : WEXITSTATUS(status);
}

} // namespace gw
