#include "platform/FolderFiles.h"

#include "platform/DirectoryEntries.h"
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

namespace {

// Reads the files of a folder entry by entry, as its listing gives them.
class FileReader {
public:
    FileReader(int dirFd, const FileScope& scope, const std::string& relativeFolder,
               const std::function<bool(const Permissions&)>& keep, std::optional<bool> namesListAcls = {},
               bool settledByAccessAcl = false)
        : dirFd_(dirFd)
        , scope_(scope)
        , relativeFolder_(relativeFolder)
        , keep_(keep)
        , namesListAcls_(namesListAcls ? *namesListAcls : namesListPosixAcls(dirFd))
        , settledByAccessAcl_(settledByAccessAcl && namesListAcls_ && keep_)
    {
    }

    void take(const char* name, unsigned char type)
    {
        if (type == DT_DIR)
            return; // a folder: the walk's
        if (!scope_.excludePatterns.empty() && excluded(name, scope_, relativeFolder_))
            return;
        if (name[0] == '.' && !scope_.includeHidden) { // counted only if nothing else left it out
            ++out.hiddenLeftOut;
            return;
        }
        thread_local FileListing file;
        file.reason.clear();
        file.read = false;
        if (type == DT_UNKNOWN) {
            // The file system does not say: ask, and where that fails the
            // entry is a file not read, never nothing.
            struct stat st { };
            if (::fstatat(dirFd_, name, &st, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT) != 0) {
                if (errno == ENOENT)
                    return;
                file.reason = reasonOf(errno);
            } else if (S_ISDIR(st.st_mode)) {
                return;
            } else {
                type = S_ISREG(st.st_mode) ? DT_REG : DT_LNK;
            }
        }
        if (type != DT_REG && type != DT_UNKNOWN) {
            ++out.otherKinds;
            return;
        }
        if (settledByAccessAcl_ && type == DT_REG) {
            // Most files carry what they were given, which their ACL alone
            // tells here: a file that does not is read whole.
            thread_local Permissions acl;
            if (readAccessAclOnlyAt(dirFd_, name, acl) && !keep_(acl)) {
                ++out.read;
                return;
            }
        }
        if (file.reason.empty()) {
            bool notRegular = false;
            const int error = readPermissionsAt(dirFd_, name, file.permissions, namesListAcls_, &file.reason,
                                                &notRegular);
            if (error == ENOENT)
                return; // gone since it was listed
            if (notRegular) {
                ++out.otherKinds; // replaced by another kind since it was listed
                return;
            }
            file.read = error == 0;
            if (error && file.reason.empty())
                file.reason = reasonOf(error);
        }
        if (file.read) {
            ++out.read;
            if (keep_ && !keep_(file.permissions))
                return;
        }
        file.rawName = name;
        file.name = printable(file.rawName);
        out.files.push_back(file);
    }

    FolderFiles finish()
    {
        std::sort(out.files.begin(), out.files.end(),
                  [](const FileListing& a, const FileListing& b) { return a.rawName < b.rawName; });
        return std::move(out);
    }

    FolderFiles out;

private:
    int dirFd_;
    const FileScope& scope_;
    const std::string& relativeFolder_;
    const std::function<bool(const Permissions&)>& keep_;
    bool namesListAcls_;
    bool settledByAccessAcl_;
};

} // namespace

FolderFiles readFolderFiles(int dirFd, const FileScope& scope, const std::string& relativeFolder,
                            const std::function<bool(const Permissions&)>& keep, bool settledByAccessAcl)
{
    FileReader reader(dirFd, scope, relativeFolder, keep, {}, settledByAccessAcl);
    if (::lseek(dirFd, 0, SEEK_SET) != 0) {
        reader.out.listed = false;
        return reader.finish();
    }
    thread_local std::vector<char> buffer(64 * 1024);
    const auto take = [&reader](const char* name, unsigned char type) {
        reader.take(name, type);
        return true;
    };
    if (forEachEntry(dirFd, buffer, take, [] { return true; }) != 0)
        reader.out.listed = false;
    return reader.finish();
}

FolderFiles readFolderFiles(int dirFd, const FolderEntries& entries, const FileScope& scope,
                            const std::string& relativeFolder, const std::function<bool(const Permissions&)>& keep,
                            std::optional<bool> namesListAcls, bool settledByAccessAcl)
{
    FileReader reader(dirFd, scope, relativeFolder, keep, namesListAcls, settledByAccessAcl);
    for (const auto& [offset, type] : entries.entries)
        reader.take(entries.names.data() + offset, type);
    return reader.finish();
}

} // namespace gw
