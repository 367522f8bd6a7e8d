#include "platform/JournalWriter.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace gw {

bool JournalWriter::startedBySystemd()
{
    return std::getenv("JOURNAL_STREAM") && std::getenv("INVOCATION_ID");
}

QByteArray JournalWriter::datagram(const Fields& fields)
{
    QByteArray out;
    for (const auto& [key, value] : fields) {
        if (!value.contains('\n')) {
            out += key + '=' + value + '\n';
            continue;
        }
        out += key + '\n';
        const quint64 size = static_cast<quint64>(value.size());
        for (int i = 0; i < 8; ++i)
            out += static_cast<char>((size >> (8 * i)) & 0xff); // little-endian
        out += value + '\n';
    }
    return out;
}

int JournalWriter::send(const Fields& fields)
{
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return errno;
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    // The journal's socket; another only where no journal runs (the tests).
    const char* path = std::getenv("GRANTWISE_JOURNAL_SOCKET");
    if (!path || std::strlen(path) >= sizeof address.sun_path)
        path = "/run/systemd/journal/socket";
    std::strcpy(address.sun_path, path);
    const QByteArray bytes = datagram(fields);
    const ssize_t sent = ::sendto(fd, bytes.constData(), static_cast<std::size_t>(bytes.size()), MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&address), sizeof address);
    const int error = sent < 0 ? errno : 0;
    ::close(fd);
    return error;
}

} // namespace gw
