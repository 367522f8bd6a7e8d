#include "platform/FanotifyEvents.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/fanotify.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace gw {

namespace {

// A folder removed or moved is told by the folder that held it.
constexpr std::uint64_t kMask = FAN_ATTRIB | FAN_CREATE | FAN_DELETE | FAN_MOVED_FROM | FAN_MOVED_TO | FAN_ONDIR;

std::string keyOf(const void* fsid, const file_handle& handle)
{
    std::string key(static_cast<const char*>(fsid), sizeof(__kernel_fsid_t));
    key.append(reinterpret_cast<const char*>(&handle.handle_type), sizeof handle.handle_type);
    key.append(reinterpret_cast<const char*>(handle.f_handle), handle.handle_bytes);
    return key;
}

// The command name and real user of `pid`, from /proc.
void describe(WatchEvent& e)
{
    if (e.pid <= 0)
        return;
    const std::string proc = "/proc/" + std::to_string(e.pid);
    std::ifstream comm(proc + "/comm");
    std::string name;
    if (!std::getline(comm, name))
        return;
    std::ifstream status(proc + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Uid:", 0) == 0) {
            e.uid = static_cast<uid_t>(std::strtoul(line.c_str() + 4, nullptr, 10));
            break;
        }
    }
    e.command = QByteArray::fromStdString(name);
}

} // namespace

FanotifyEvents::~FanotifyEvents()
{
    if (fd_ >= 0)
        ::close(fd_);
}

std::string FanotifyEvents::open(const QByteArray& folder, bool wholeFileSystem)
{
    const unsigned base = FAN_CLASS_NOTIF | FAN_CLOEXEC | FAN_NONBLOCK | FAN_REPORT_DFID_NAME;
    fd_ = ::fanotify_init(base | FAN_REPORT_PIDFD, O_RDONLY | O_CLOEXEC);
    pidfds_ = fd_ >= 0;
    if (fd_ < 0 && errno == EINVAL)
        fd_ = ::fanotify_init(base, O_RDONLY | O_CLOEXEC); // a kernel without pidfds in events
    if (fd_ < 0)
        return std::string("fanotify cannot be used here: ") + std::strerror(errno);
    if (wholeFileSystem
        && ::fanotify_mark(fd_, FAN_MARK_ADD | FAN_MARK_FILESYSTEM, kMask, AT_FDCWD, folder.constData()) != 0) {
        const int error = errno;
        return std::string("its file system cannot be watched (fanotify: ") + std::strerror(error) + ")";
    }
    return {};
}

int FanotifyEvents::markFolder(int dirFd)
{
    if (::fanotify_mark(fd_, FAN_MARK_ADD | FAN_MARK_ONLYDIR, kMask | FAN_EVENT_ON_CHILD, dirFd, nullptr) != 0)
        return errno;
    return 0;
}

std::string FanotifyEvents::handleOf(int dirFd)
{
    struct statfs fs { };
    if (::fstatfs(dirFd, &fs) != 0)
        return {};
    alignas(file_handle) char space[sizeof(file_handle) + MAX_HANDLE_SZ];
    auto* handle = reinterpret_cast<file_handle*>(space);
    handle->handle_bytes = MAX_HANDLE_SZ;
    int mountId = 0;
    if (::name_to_handle_at(dirFd, "", handle, &mountId, AT_EMPTY_PATH) != 0)
        return {};
    return keyOf(&fs.f_fsid, *handle);
}

long FanotifyEvents::markLimit()
{
    std::ifstream in("/proc/sys/fs/fanotify/max_user_marks");
    long limit = -1;
    return in >> limit ? limit : -1;
}

bool FanotifyEvents::read(std::vector<WatchEvent>& out, int stopFd, int& error)
{
    pollfd p[2] = {{fd_, POLLIN, 0}, {stopFd, POLLIN, 0}};
    if (::poll(p, stopFd >= 0 ? 2 : 1, -1) < 0) {
        error = errno == EINTR ? 0 : errno;
        return errno != EINTR;
    }
    if (stopFd >= 0 && (p[1].revents & POLLIN)) {
        error = 0;
        return false;
    }
    alignas(fanotify_event_metadata) char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EAGAIN)
                return true;
            error = errno;
            return false;
        }
        if (n == 0)
            return true;
        parse(buffer, n, out);
    }
}

void FanotifyEvents::parse(const char* buffer, ssize_t length, std::vector<WatchEvent>& out)
{
    const auto* m = reinterpret_cast<const fanotify_event_metadata*>(buffer);
    for (; FAN_EVENT_OK(m, length); m = FAN_EVENT_NEXT(m, length)) {
        if (m->fd >= 0)
            ::close(m->fd);
        WatchEvent e;
        e.pid = m->pid;
        if (m->mask & FAN_Q_OVERFLOW) {
            e.kind = WatchEvent::Overflow;
            out.push_back(e);
            continue;
        }
        e.folder = (m->mask & FAN_ONDIR) != 0;
        if (m->mask & (FAN_CREATE | FAN_MOVED_TO))
            e.kind = WatchEvent::Made;
        else if (m->mask & (FAN_DELETE | FAN_MOVED_FROM | FAN_DELETE_SELF | FAN_MOVE_SELF))
            e.kind = WatchEvent::Removed;
        e.moved = (m->mask & (FAN_MOVED_TO | FAN_MOVED_FROM | FAN_MOVE_SELF)) != 0;
        int pidfd = -1;
        const char* at = reinterpret_cast<const char*>(m) + m->metadata_len;
        const char* end = reinterpret_cast<const char*>(m) + m->event_len;
        while (at + sizeof(fanotify_event_info_header) <= end) {
            const auto* h = reinterpret_cast<const fanotify_event_info_header*>(at);
            if (h->len < sizeof *h || at + h->len > end)
                break;
            if (h->info_type == FAN_EVENT_INFO_TYPE_DFID_NAME || h->info_type == FAN_EVENT_INFO_TYPE_DFID) {
                const auto* fid = reinterpret_cast<const fanotify_event_info_fid*>(h);
                const auto* handle = reinterpret_cast<const file_handle*>(fid->handle);
                e.dir = keyOf(&fid->fsid, *handle);
                if (h->info_type == FAN_EVENT_INFO_TYPE_DFID_NAME) {
                    const char* name = reinterpret_cast<const char*>(handle->f_handle) + handle->handle_bytes;
                    e.name.assign(name, ::strnlen(name, static_cast<std::size_t>(end - name)));
                } else {
                    e.name = ".";
                }
            } else if (h->info_type == FAN_EVENT_INFO_TYPE_PIDFD) {
                pidfd = reinterpret_cast<const fanotify_event_info_pidfd*>(h)->pidfd;
            }
            at += h->len;
        }
        describe(e);
        if (pidfd >= 0) {
            // A process that had ended when it was read may be another one now.
            pollfd ended {pidfd, POLLIN, 0};
            if (::poll(&ended, 1, 0) > 0 && (ended.revents & POLLIN) && e.command.isEmpty())
                e.uid = static_cast<uid_t>(-1);
            ::close(pidfd);
        }
        if (!e.dir.empty())
            out.push_back(std::move(e));
    }
}

} // namespace gw
