#include "platform/MountPoints.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sstream>
#include <unistd.h>

namespace gw {

MountPoints::~MountPoints()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool MountPoints::open()
{
    fd_ = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    return fd_ >= 0;
}

std::string unescapeMountPath(const std::string& field)
{
    const auto octal = [](char c) { return c >= '0' && c <= '7'; };
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && octal(field[i + 1]) && octal(field[i + 2])
            && octal(field[i + 3])) {
            out += static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) | (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

std::vector<std::string> MountPoints::below(const QByteArray& folder)
{
    std::vector<std::string> points;
    if (fd_ < 0 || ::lseek(fd_, 0, SEEK_SET) != 0)
        return points;
    std::string table;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd_, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        table.append(chunk, static_cast<std::size_t>(n));
    }
    const std::string top = folder.toStdString();
    const std::string prefix = top.ends_with('/') ? top : top + '/';
    std::istringstream lines(table);
    for (std::string line; std::getline(lines, line);) {
        // mount id, parent id, major:minor, root, mount point, ...
        std::istringstream fields(line);
        std::string id, parent, device, root, point;
        if (!(fields >> id >> parent >> device >> root >> point))
            continue;
        point = unescapeMountPath(point);
        if (point == top || point.starts_with(prefix))
            points.push_back(point);
    }
    std::sort(points.begin(), points.end());
    return points;
}

} // namespace gw
