#pragma once
// What a run removes when SIGINT, SIGTERM or SIGHUP ends it.
//
// Once install() has run, each of those signals removes the files registered
// here and the run's own private folder (with rmdir, so only while it is
// empty), then ends the process with _exit(128 + the signal's number): 130,
// 143 or 129. Names are copied into fixed buffers when they are registered,
// so the handler calls nothing but unlinkat, rmdir and _exit, and may run on
// any thread.
//
// Registering and forgetting is done by one thread at a time.

#include <csignal>

namespace gw {

class InterruptCleanup {
public:
    // Installs the handlers. Call it before any thread is started.
    static void install();

    // Registers the file `name` in the open folder `dirFd`, which stays open
    // while the name is registered. Returns a slot for forget(), or -1 when
    // the name is too long or every slot is taken (then it is not removed).
    static int addFile(int dirFd, const char* name);
    static void forget(int slot); // -1 is ignored

    // The run's own private folder, by its path.
    static void setFolder(const char* path);
    static void forgetFolder();

    // Holds the three signals back on this thread while it lives, for a step
    // whose result must be registered before a signal may act: a signal that
    // comes meanwhile acts when the hold ends.
    class Hold {
    public:
        Hold();
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        sigset_t previous_;
    };
};

} // namespace gw
