#include "platform/WorkingFile.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace gw {

int writeAll(int fd, QByteArrayView bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<std::size_t>(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        done += n;
    }
    return 0;
}

bool fileExists(const QByteArray& path)
{
    struct stat st { };
    return ::lstat(path.constData(), &st) == 0;
}

void removeFile(const QByteArray& path)
{
    ::unlink(path.constData());
}

int readWholeFile(const QByteArray& path, QByteArray& contents)
{
    contents.clear();
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return errno;
    struct stat st { };
    if (::fstat(fd, &st) == 0 && st.st_size > 0)
        contents.reserve(static_cast<qsizetype>(st.st_size) + 1);
    char buffer[1 << 16];
    int error = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            break;
        }
        contents.append(buffer, n);
    }
    ::close(fd);
    return error;
}

int appendOnce(const QByteArray& path, const QByteArray& bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return errno;
    int error = writeAll(fd, bytes);
    if (::close(fd) != 0 && error == 0)
        error = errno;
    return error;
}

int replaceFile(const QByteArray& path, std::initializer_list<QByteArrayView> parts)
{
    QByteArray temporary = path + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC); // mode 0600
    int error = fd < 0 ? errno : 0;
    for (QByteArrayView part : parts) {
        if (error == 0)
            error = writeAll(fd, part);
    }
    if (fd >= 0 && ::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporary.constData(), path.constData()) != 0)
        error = errno;
    if (error != 0) {
        if (fd >= 0)
            ::unlink(temporary.constData());
        ::unlink(path.constData());
    }
    return error;
}

} // namespace gw
