#pragma once
// What the kernel says changed in a watched file system (fanotify).
//
// One notification group reports, for every item made, removed, moved or
// given other attributes (mode, owner, ACLs and other extended attributes),
// the file handle of the folder that holds it and its name, and the process
// that made the change. As root the whole file system is marked at once;
// otherwise each folder is marked on its own (markFolder), within the
// user's fanotify mark limit. Nothing here resolves a path: folders are
// told apart by their file handles (handleOf).

#include <QByteArray>

#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace gw {

struct WatchEvent {
    enum Kind {
        Attributes, // mode, owner, ACL or another extended attribute set
        Made, // made, or moved in (`moved`)
        Removed, // removed, or moved away (`moved`)
        Overflow, // the kernel's queue overflowed: events were lost
    };
    Kind kind = Attributes;
    bool moved = false;
    bool folder = false; // the item is a folder
    std::string dir; // the handle of the folder that holds it (handleOf)
    std::string name; // its name there; "." for the folder `dir` itself
    pid_t pid = 0; // the process that made the change, when known
    // Its command name and user, read when the event was; empty when the
    // process was gone by then (or could have been another one).
    QByteArray command;
    uid_t uid = static_cast<uid_t>(-1);
};

class FanotifyEvents {
public:
    FanotifyEvents() = default;
    ~FanotifyEvents();
    FanotifyEvents(const FanotifyEvents&) = delete;
    FanotifyEvents& operator=(const FanotifyEvents&) = delete;

    // Makes the group; with `wholeFileSystem`, marks the file system that
    // holds `folder`, and with `unboundedQueue` the kernel's queue has no
    // bound (root only). An empty text, or why it cannot be watched.
    std::string open(const QByteArray& folder, bool wholeFileSystem, bool unboundedQueue = true);
    // Marks one folder (an open descriptor) when the file system is not
    // marked whole; 0 or an errno value.
    int markFolder(int dirFd);
    int fd() const { return fd_; }
    // Waits for events, `stopFd` to be readable (a signal) or the mount
    // table (`mountsFd`, -1: none) to change.
    enum class Woken {
        Events,
        Stop,
        Mounts,
        Failed
    };
    Woken wait(int stopFd, int mountsFd, int& error);
    // Takes the events waiting, a few buffers at most; false (with its
    // errno in `error`) when the group failed.
    bool take(std::vector<WatchEvent>& out, int& error);
    // How many events wait in the kernel's queue.
    std::size_t pendingEvents() const;
    // Reads and drops about `events` waiting events.
    void discard(std::size_t events);

    // The key fanotify reports a folder by: its file system's id and its
    // file handle. Empty, with errno set, when the folder has none.
    static std::string handleOf(int dirFd);
    // Opens the folder that `handle` (handleOf) names, through `mountFd`, a
    // descriptor on its file system; -1 with errno (ESTALE: gone; EPERM:
    // only root may).
    static int openByHandle(int mountFd, std::string_view handle);
    // The part of a handle that names its file system.
    static std::string fileSystemOf(std::string_view handle);
    // Removes every folder's mark (markFolder); 0 or an errno value.
    int flushFolderMarks();
    // Marks the whole file system that holds `dirFd` (as root, a file system
    // mounted inside the tree); 0 or an errno value.
    int markFileSystem(int dirFd);
    // The user's fanotify mark limit, or -1 when it cannot be read.
    static long markLimit();

private:
    void parse(const char* buffer, ssize_t length, std::vector<WatchEvent>& out);
    // Reads an event's information records into `e`; returns its pidfd, or -1.
    static int takeInfo(const char* at, const char* end, WatchEvent& e);
    int fd_ = -1;
    bool pidfds_ = false; // the kernel reports a pidfd with each event
};

} // namespace gw
