#pragma once
// Reading a folder's entries from its descriptor, piece by piece.

#include <cerrno>
#include <dirent.h>
#include <sys/types.h>
#include <vector>

namespace gw {

// Reads the entries of the open folder `dirFd`, from where its offset
// stands, into `buffer` a piece at a time, and hands each but "." and ".."
// to `take(const char* name, unsigned char type)` (a DT_ value), which
// returns false to stop. `more()` is asked before each piece; false stops
// too. Returns 0 at the end or when stopped, or the errno value of a read
// that failed.
template <typename Take, typename More> int forEachEntry(int dirFd, std::vector<char>& buffer, Take&& take, More&& more)
{
    for (;;) {
        if (!more())
            return 0;
        const ssize_t n = ::getdents64(dirFd, buffer.data(), buffer.size());
        if (n == 0)
            return 0;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        for (ssize_t pos = 0; pos < n;) {
            const auto* entry = reinterpret_cast<const struct dirent64*>(buffer.data() + pos);
            pos += entry->d_reclen;
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            if (!take(name, entry->d_type))
                return 0;
        }
    }
}

} // namespace gw
