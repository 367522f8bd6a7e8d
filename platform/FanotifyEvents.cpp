#include "platform/FanotifyEvents.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/fanotify.h>
#include <sys/ioctl.h>
#include <sys/statfs.h>
#include <unistd.h>
#include <unordered_map>

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

// The command name and real user of a process, from /proc.
struct Process {
    QByteArray command; // empty: gone
    uid_t uid = static_cast<uid_t>(-1);
};

Process describe(pid_t pid)
{
    Process p;
    const std::string proc = "/proc/" + std::to_string(pid);
    std::ifstream comm(proc + "/comm");
    std::string name;
    if (!std::getline(comm, name))
        return p;
    std::ifstream status(proc + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Uid:", 0) == 0) {
            p.uid = static_cast<uid_t>(std::strtoul(line.c_str() + 4, nullptr, 10));
            break;
        }
    }
    p.command = QByteArray::fromStdString(name);
    return p;
}

} // namespace

FanotifyEvents::~FanotifyEvents()
{
    if (fd_ >= 0)
        ::close(fd_);
}

std::string FanotifyEvents::open(const QByteArray& folder, bool wholeFileSystem, bool unboundedQueue)
{
    // As root the queue has no fixed bound: a burst is not lost because the
    // watch judges more slowly than a program changes the tree. The watch
    // bounds it itself (pendingBytes).
    const unsigned base = FAN_CLASS_NOTIF | FAN_CLOEXEC | FAN_NONBLOCK | FAN_REPORT_DFID_NAME
        | (wholeFileSystem && unboundedQueue ? FAN_UNLIMITED_QUEUE : 0U);
    fd_ = ::fanotify_init(base | FAN_REPORT_PIDFD, O_RDONLY | O_CLOEXEC);
    pidfds_ = fd_ >= 0;
    // A kernel without pidfds in events, or a user without the right to them.
    if (fd_ < 0 && (errno == EINVAL || errno == EPERM))
        fd_ = ::fanotify_init(base, O_RDONLY | O_CLOEXEC);
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

int FanotifyEvents::openByHandle(int mountFd, std::string_view key)
{
    constexpr std::size_t head = sizeof(__kernel_fsid_t) + sizeof(int);
    if (key.size() <= head || key.size() - head > MAX_HANDLE_SZ) {
        errno = ESTALE;
        return -1;
    }
    alignas(file_handle) char space[sizeof(file_handle) + MAX_HANDLE_SZ];
    auto* handle = reinterpret_cast<file_handle*>(space);
    handle->handle_bytes = static_cast<unsigned>(key.size() - head);
    std::memcpy(&handle->handle_type, key.data() + sizeof(__kernel_fsid_t), sizeof(int));
    std::memcpy(handle->f_handle, key.data() + head, handle->handle_bytes);
    return ::open_by_handle_at(mountFd, handle, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

std::string FanotifyEvents::fileSystemOf(std::string_view key)
{
    return std::string(key.substr(0, std::min(key.size(), sizeof(__kernel_fsid_t))));
}

int FanotifyEvents::markFileSystem(int dirFd)
{
    if (::fanotify_mark(fd_, FAN_MARK_ADD | FAN_MARK_FILESYSTEM, kMask, dirFd, nullptr) != 0)
        return errno;
    return 0;
}

long FanotifyEvents::markLimit()
{
    std::ifstream in("/proc/sys/fs/fanotify/max_user_marks");
    long limit = -1;
    return in >> limit ? limit : -1;
}

FanotifyEvents::Woken FanotifyEvents::wait(int stopFd, int mountsFd, int& error)
{
    pollfd p[3] = {{fd_, POLLIN, 0}, {stopFd, POLLIN, 0}, {mountsFd, POLLPRI, 0}};
    if (::poll(p, 3, -1) < 0) {
        error = errno == EINTR ? 0 : errno;
        return errno == EINTR ? Woken::Stop : Woken::Failed;
    }
    if (p[1].revents & POLLIN)
        return Woken::Stop;
    if (p[2].revents & (POLLPRI | POLLERR))
        return Woken::Mounts;
    return Woken::Events;
}

int FanotifyEvents::flushFolderMarks()
{
    return ::fanotify_mark(fd_, FAN_MARK_FLUSH, 0, AT_FDCWD, nullptr) == 0 ? 0 : errno;
}

bool FanotifyEvents::take(std::vector<WatchEvent>& out, int& error)
{
    // At most a few buffers at a time: what waits beyond stays in the
    // kernel's queue, not in this process.
    alignas(fanotify_event_metadata) char buffer[64 * 1024];
    for (int reads = 0; reads < 16; ++reads) {
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
    return true;
}

std::size_t FanotifyEvents::pendingEvents() const
{
    // The kernel counts the fixed part of each waiting event.
    int bytes = 0;
    return ::ioctl(fd_, FIONREAD, &bytes) == 0 && bytes > 0 ? static_cast<std::size_t>(bytes) / FAN_EVENT_METADATA_LEN
                                                            : 0;
}

void FanotifyEvents::discard(std::size_t events)
{
    alignas(fanotify_event_metadata) char buffer[64 * 1024];
    std::vector<WatchEvent> dropped;
    while (dropped.size() < events) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0)
            return;
        // Parsed to close the descriptors the records carry, and to count them.
        parse(buffer, n, dropped);
    }
}

void FanotifyEvents::parse(const char* buffer, ssize_t length, std::vector<WatchEvent>& out)
{
    // A burst comes mostly from one process: each is described once per
    // read. Its pidfd stays open until then, so its number cannot name
    // another process meanwhile.
    std::unordered_map<pid_t, Process> described;
    std::vector<int> pidfds;
    // Records follow one another unpadded: each is copied out before use.
    const char* at = buffer;
    const char* const end = buffer + length;
    while (end - at >= static_cast<ssize_t>(sizeof(fanotify_event_metadata))) {
        fanotify_event_metadata m;
        std::memcpy(&m, at, sizeof m);
        if (m.event_len < sizeof m || m.event_len > static_cast<std::size_t>(end - at))
            break;
        const char* const next = at + m.event_len;
        if (m.fd >= 0)
            ::close(m.fd);
        WatchEvent e;
        e.pid = m.pid;
        if (m.mask & FAN_Q_OVERFLOW) {
            e.kind = WatchEvent::Overflow;
            out.push_back(e);
            at = next;
            continue;
        }
        e.folder = (m.mask & FAN_ONDIR) != 0;
        if (m.mask & (FAN_CREATE | FAN_MOVED_TO))
            e.kind = WatchEvent::Made;
        else if (m.mask & (FAN_DELETE | FAN_MOVED_FROM))
            e.kind = WatchEvent::Removed;
        e.moved = (m.mask & (FAN_MOVED_TO | FAN_MOVED_FROM)) != 0;
        const int pidfd = takeInfo(at + m.metadata_len, next, e);
        if (e.pid > 0) {
            auto it = described.find(e.pid);
            if (it == described.end()) {
                it = described.emplace(e.pid, describe(e.pid)).first;
                if (pidfd >= 0)
                    pidfds.push_back(pidfd);
            } else if (pidfd >= 0) {
                ::close(pidfd);
            }
            e.command = it->second.command;
            e.uid = it->second.uid;
        } else if (pidfd >= 0) {
            ::close(pidfd);
        }
        if (!e.dir.empty())
            out.push_back(std::move(e));
        at = next;
    }
    for (const int fd : pidfds)
        ::close(fd);
}

int FanotifyEvents::takeInfo(const char* at, const char* end, WatchEvent& e)
{
    int pidfd = -1;
    while (end - at >= static_cast<ssize_t>(sizeof(fanotify_event_info_header))) {
        fanotify_event_info_header h;
        std::memcpy(&h, at, sizeof h);
        if (h.len < sizeof h || h.len > static_cast<std::size_t>(end - at))
            break;
        const char* const body = at + sizeof h;
        if ((h.info_type == FAN_EVENT_INFO_TYPE_DFID_NAME || h.info_type == FAN_EVENT_INFO_TYPE_DFID)
            && h.len >= sizeof h + sizeof(__kernel_fsid_t) + sizeof(file_handle)) {
            const char* fsid = body;
            file_handle handle;
            std::memcpy(&handle, fsid + sizeof(__kernel_fsid_t), sizeof handle);
            const char* bytes = fsid + sizeof(__kernel_fsid_t) + sizeof handle;
            if (bytes + handle.handle_bytes <= at + h.len) {
                e.dir.assign(fsid, sizeof(__kernel_fsid_t));
                e.dir.append(reinterpret_cast<const char*>(&handle.handle_type), sizeof handle.handle_type);
                e.dir.append(bytes, handle.handle_bytes);
                const char* name = bytes + handle.handle_bytes;
                if (h.info_type == FAN_EVENT_INFO_TYPE_DFID_NAME)
                    e.name.assign(name, ::strnlen(name, static_cast<std::size_t>(at + h.len - name)));
                else
                    e.name = ".";
            }
        } else if (h.info_type == FAN_EVENT_INFO_TYPE_PIDFD && h.len >= sizeof h + sizeof(int)) {
            std::memcpy(&pidfd, body, sizeof pidfd);
        }
        at += h.len;
    }
    return pidfd;
}

} // namespace gw
