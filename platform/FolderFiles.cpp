#include "platform/FolderFiles.h"

#include "platform/PrintablePath.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

namespace gw {
namespace {

// True when a pattern leaves the file out: by its name, or by its path
// relative to the checked folder (`relativeFolder` + "/" + name).
bool excluded(const char* name, const FileScope& scope, const std::string& relativeFolder)
{
    const std::string path = relativeFolder.empty() ? std::string(name) : relativeFolder + '/' + name;
    return std::any_of(scope.excludePatterns.begin(), scope.excludePatterns.end(), [&](const std::string& pattern) {
        return ::fnmatch(pattern.c_str(), name, 0) == 0 || ::fnmatch(pattern.c_str(), path.c_str(), FNM_PATHNAME) == 0;
    });
}

std::string reasonOf(int error)
{
    const char* text = ::strerrordesc_np(error); // English, as the reports are
    return text ? text : "error " + std::to_string(error);
}

} // namespace

FolderFiles readFolderFiles(int dirFd, const FileScope& scope, const std::string& relativeFolder,
                            const std::function<bool(const Permissions&)>& keep)
{
    const bool namesListAcls = namesListPosixAcls(dirFd);
    FolderFiles out;
    if (::lseek(dirFd, 0, SEEK_SET) != 0) {
        out.listed = false;
        return out;
    }
    thread_local std::vector<char> buffer(64 * 1024);
    for (;;) {
        const ssize_t n = ::getdents64(dirFd, buffer.data(), buffer.size());
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            out.listed = false;
            break;
        }
        for (ssize_t pos = 0; pos < n;) {
            const auto* entry = reinterpret_cast<const struct dirent64*>(buffer.data() + pos);
            pos += entry->d_reclen;
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            unsigned char type = entry->d_type;
            if (type == DT_DIR)
                continue; // a folder: the walk's
            if (!scope.excludePatterns.empty() && excluded(name, scope, relativeFolder))
                continue;
            if (name[0] == '.' && !scope.includeHidden) { // counted only if nothing else left it out
                ++out.hiddenLeftOut;
                continue;
            }
            thread_local FileListing file;
            file.reason.clear();
            file.read = false;
            if (type == DT_UNKNOWN) {
                // The file system does not say: ask, and where that fails the
                // entry is a file not read, never nothing.
                struct stat st { };
                if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT) != 0) {
                    if (errno == ENOENT)
                        continue;
                    file.reason = reasonOf(errno);
                } else if (S_ISDIR(st.st_mode)) {
                    continue;
                } else {
                    type = S_ISREG(st.st_mode) ? DT_REG : DT_LNK;
                }
            }
            if (type != DT_REG && type != DT_UNKNOWN) {
                ++out.otherKinds;
                continue;
            }
            if (file.reason.empty()) {
                bool notRegular = false;
                const int error = readPermissionsAt(dirFd, name, file.permissions, namesListAcls, &file.reason,
                                                    &notRegular);
                if (error == ENOENT)
                    continue; // gone since it was listed
                if (notRegular) {
                    ++out.otherKinds; // replaced by another kind since it was listed
                    continue;
                }
                file.read = error == 0;
                if (error && file.reason.empty())
                    file.reason = reasonOf(error);
            }
            if (file.read) {
                ++out.read;
                if (keep && !keep(file.permissions))
                    continue;
            }
            file.rawName = name;
            file.name = printable(file.rawName);
            out.files.push_back(file);
        }
    }
    std::sort(out.files.begin(), out.files.end(),
              [](const FileListing& a, const FileListing& b) { return a.rawName < b.rawName; });
    return out;
}

} // namespace gw
