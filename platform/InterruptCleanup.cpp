#include "platform/InterruptCleanup.h"

#include <atomic>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace gw {
namespace {

static_assert(std::atomic<bool>::is_always_lock_free, "the handler reads these flags");

// A slot is filled before its flag is raised and its flag lowered before it is
// filled again, so the handler only reads names that are complete.
struct FileSlot {
    std::atomic<bool> live {false};
    int dirFd = -1;
    char name[NAME_MAX + 1] = {};
};

// Replacing reports takes two a report (its temporary name and its own):
// room for many more reports than a run writes.
constexpr int kSlots = 32;
FileSlot fileSlots[kSlots];
std::atomic<bool> folderLive {false};
char folderPath[PATH_MAX] = {};

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

void onInterrupt(int signal)
{
    for (FileSlot& slot : fileSlots) {
        if (slot.live.load(std::memory_order_acquire))
            ::unlinkat(slot.dirFd, slot.name, 0);
    }
    if (folderLive.load(std::memory_order_acquire))
        ::rmdir(folderPath); // fails, as it should, once a report is in it
    ::_exit(128 + signal);
}

sigset_t interruptSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (int s : kSignals)
        sigaddset(&set, s);
    return set;
}

} // namespace

void InterruptCleanup::install()
{
    struct sigaction action { };
    action.sa_handler = onInterrupt;
    action.sa_mask = interruptSignals();
    for (int s : kSignals) {
        // A signal ignored when the program starts (nohup, a background job
        // of a shell without job control) stays ignored.
        struct sigaction before { };
        if (::sigaction(s, nullptr, &before) == 0 && before.sa_handler == SIG_IGN)
            continue;
        ::sigaction(s, &action, nullptr);
    }
}

int InterruptCleanup::addFile(int dirFd, const char* name)
{
    const std::size_t length = std::strlen(name);
    if (length >= sizeof FileSlot::name)
        return -1;
    for (int i = 0; i < kSlots; ++i) {
        FileSlot& slot = fileSlots[i];
        if (slot.live.load(std::memory_order_relaxed))
            continue;
        slot.dirFd = dirFd;
        std::memcpy(slot.name, name, length + 1);
        slot.live.store(true, std::memory_order_release);
        return i;
    }
    return -1;
}

void InterruptCleanup::forget(int slot)
{
    if (slot >= 0 && slot < kSlots)
        fileSlots[slot].live.store(false, std::memory_order_release);
}

void InterruptCleanup::setFolder(const char* path)
{
    const std::size_t length = std::strlen(path);
    folderLive.store(false, std::memory_order_release);
    if (length >= sizeof folderPath)
        return;
    std::memcpy(folderPath, path, length + 1);
    folderLive.store(true, std::memory_order_release);
}

void InterruptCleanup::forgetFolder()
{
    folderLive.store(false, std::memory_order_release);
}

InterruptCleanup::Hold::Hold()
{
    const sigset_t held = interruptSignals();
    ::pthread_sigmask(SIG_BLOCK, &held, &previous_);
}

InterruptCleanup::Hold::~Hold()
{
    ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

} // namespace gw
