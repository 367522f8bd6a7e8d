#include "platform/ProcessStarter.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
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
