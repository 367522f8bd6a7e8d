#include "platform/AutomountHolders.h"
#include "platform/PrintablePath.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace gw {

namespace {

std::string readAll(const char* path)
{
    std::string text;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return text;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n < 0)
                text.clear();
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return text;
}

// The next field of a mount table's line, separated by one blank.
std::string_view nextField(std::string_view& line)
{
    const std::size_t end = line.find(' ');
    const std::string_view field = line.substr(0, end);
    line.remove_prefix(end == std::string_view::npos ? line.size() : end + 1);
    return field;
}

} // namespace

AutomountHolders::AutomountHolders()
{
    const std::string table = readAll("/proc/self/mountinfo");
    if (!table.empty())
        read(table);
}

AutomountHolders::AutomountHolders(std::string_view mountinfo)
{
    read(mountinfo);
}

void AutomountHolders::read(std::string_view mountinfo)
{
    known_ = true;
    while (!mountinfo.empty()) {
        const std::size_t end = mountinfo.find('\n');
        std::string_view line = mountinfo.substr(0, end);
        mountinfo.remove_prefix(end == std::string_view::npos ? mountinfo.size() : end + 1);
        // id, parent id, device, root, mount point, options, optional
        // fields up to "-", then the file system's type.
        std::string_view rest = line;
        for (int i = 0; i < 4; ++i)
            nextField(rest);
        const std::string_view mountPoint = nextField(rest);
        const std::size_t separator = rest.find(" - ");
        if (mountPoint.empty() || separator == std::string_view::npos) {
            if (!line.empty())
                known_ = false; // a line this program cannot read
            continue;
        }
        rest.remove_prefix(separator + 3);
        if (nextField(rest) != "autofs")
            continue;
        // Blanks, tabs, line ends and backslashes come as octal escapes ("\040").
        std::string path = rawFromPrintable(mountPoint);
        const std::size_t slash = path.rfind('/');
        if (path == "/" || slash == std::string::npos)
            continue; // no folder holds the root
        path.resize(slash == 0 ? 1 : slash);
        struct stat st { };
        // AT_NO_AUTOMOUNT: the holder may itself be an automount point's root.
        if (::fstatat(AT_FDCWD, path.c_str(), &st, AT_NO_AUTOMOUNT) != 0) {
            known_ = false;
            continue;
        }
        holders_.push_back(FolderIdentity {st.st_dev, st.st_ino});
    }
}

bool AutomountHolders::mayHold(FolderIdentity folder) const
{
    if (!known_)
        return true;
    for (const FolderIdentity& holder : holders_) {
        if (holder == folder)
            return true;
    }
    return false;
}

} // namespace gw
