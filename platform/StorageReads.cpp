#include "platform/StorageReads.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace gw {

std::optional<std::uint64_t> bytesReadFromStorage()
{
    const int fd = ::open("/proc/self/io", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    char text[512];
    ssize_t n = 0;
    do {
        n = ::read(fd, text, sizeof text - 1);
    } while (n < 0 && errno == EINTR);
    ::close(fd);
    if (n <= 0)
        return std::nullopt;
    text[n] = '\0';
    constexpr char kField[] = "\nread_bytes: ";
    const char* at = std::strstr(text, kField);
    if (!at)
        return std::nullopt;
    char* end = nullptr;
    const unsigned long long bytes = std::strtoull(at + sizeof kField - 1, &end, 10);
    if (end == at + sizeof kField - 1)
        return std::nullopt;
    return bytes;
}

} // namespace gw
