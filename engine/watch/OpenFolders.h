#pragma once
// Folders of a watched tree kept open for a while: a burst of changes
// (setfacl -R, chmod -R, tar) touches the items of one folder after another,
// and each folder is opened once for all of its items. A folder in use is
// never closed under its user.

#include "engine/watch/WatchedFolders.h"

#include <array>

namespace gw {

class OpenFolders {
public:
    using Id = WatchedFolders::Id;

    // A folder's descriptor while it is used.
    class Held {
    public:
        Held() = default;
        Held(OpenFolders* owner, int slot, int fd)
            : owner_(owner)
            , slot_(slot)
            , fd_(fd)
        {
        }
        Held(Held&& other) noexcept;
        Held& operator=(Held&&) = delete;
        ~Held();
        int fd() const { return fd_; }
        bool isOpen() const { return fd_ >= 0; }

    private:
        OpenFolders* owner_ = nullptr;
        int slot_ = -1; // -1: not kept, closed when done
        int fd_ = -1;
    };

    OpenFolders() = default;
    ~OpenFolders() { clear(); }
    OpenFolders(const OpenFolders&) = delete;
    OpenFolders& operator=(const OpenFolders&) = delete;

    // The folder `id`, opened by `open` (a descriptor, or -1) when it is
    // not open already.
    template <class Open> Held get(Id id, Open&& open);
    // The folder is removed or moved: it is not given out again.
    void forget(Id id);
    void clear();

private:
    struct Slot {
        Id id = WatchedFolders::kNone;
        int fd = -1;
        int users = 0;
        bool forgotten = false;
    };
    int keep(Id id, int fd); // a free slot for it, or -1
    void release(int slot);
    void drop(Slot& s);
    std::array<Slot, 16> slots_ {};
    unsigned next_ = 0;
};

template <class Open> OpenFolders::Held OpenFolders::get(Id id, Open&& open)
{
    for (int i = 0; i < static_cast<int>(slots_.size()); ++i) {
        Slot& s = slots_[static_cast<std::size_t>(i)];
        if (s.id == id && !s.forgotten && s.fd >= 0) {
            ++s.users;
            return Held(this, i, s.fd);
        }
    }
    const int fd = open();
    if (fd < 0)
        return {};
    return Held(this, keep(id, fd), fd);
}

} // namespace gw
