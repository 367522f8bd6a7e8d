#include "engine/watch/OpenFolders.h"

#include <unistd.h>

namespace gw {

OpenFolders::Held::Held(Held&& other) noexcept
    : owner_(other.owner_)
    , slot_(other.slot_)
    , fd_(other.fd_)
{
    other.fd_ = -1;
}

OpenFolders::Held::~Held()
{
    if (fd_ < 0)
        return;
    if (slot_ >= 0)
        owner_->release(slot_);
    else
        ::close(fd_);
}

int OpenFolders::keep(Id id, int fd)
{
    // The oldest slot not in use is taken over.
    for (std::size_t tries = 0; tries < slots_.size(); ++tries) {
        const std::size_t i = next_++ % slots_.size();
        Slot& s = slots_[i];
        if (s.users > 0)
            continue;
        if (s.fd >= 0)
            ::close(s.fd);
        s = Slot {id, fd, 1, false};
        return static_cast<int>(i);
    }
    return -1;
}

void OpenFolders::release(int slot)
{
    Slot& s = slots_[static_cast<std::size_t>(slot)];
    if (--s.users == 0 && s.forgotten) {
        ::close(s.fd);
        s = Slot {};
    }
}

void OpenFolders::drop(Slot& s)
{
    // One in use is closed when its last user is done.
    if (s.users > 0) {
        s.forgotten = true;
    } else {
        ::close(s.fd);
        s = Slot {};
    }
}

void OpenFolders::forget(Id id)
{
    for (Slot& s : slots_) {
        if (s.id == id && s.fd >= 0)
            drop(s);
    }
}

void OpenFolders::clear()
{
    for (Slot& s : slots_) {
        if (s.fd >= 0)
            drop(s);
    }
}

} // namespace gw
