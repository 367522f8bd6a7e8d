#include "platform/RestoreFile.h"

#include "platform/DirectoryOpen.h"

#include <acl/libacl.h>
#include <cerrno>
#include <sys/acl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace gw {
namespace {

// The entries of `acl` in getfacl's long form with numeric ids, each line
// prefixed with `prefix`.
bool appendEntries(std::string& out, acl_t acl, const char* prefix)
{
    char* text = acl_to_any_text(acl, prefix, '\n', TEXT_NUMERIC_IDS);
    if (!text)
        return false;
    out.append(text);
    if (!out.empty() && out.back() != '\n')
        out.push_back('\n');
    acl_free(text);
    return true;
}

} // namespace

std::string restorePath(std::string_view raw)
{
    std::string out;
    out.reserve(raw.size());
    for (const char ch : raw) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\\' || c <= 0x20 || c >= 0x7F) {
            const char text[4] = {'\\', static_cast<char>('0' + (c >> 6)), static_cast<char>('0' + ((c >> 3) & 7)),
                                  static_cast<char>('0' + (c & 7))};
            out.append(text, 4);
        } else {
            out.push_back(ch);
        }
    }
    return out;
}

int readRestorePermissions(std::string_view rawPath, RestorePermissions& out)
{
    bool listable = true;
    const int fd = openDirectoryForPermissions(rawPath, listable);
    if (fd < 0)
        return errno;
    const std::string procPath = "/proc/self/fd/" + std::to_string(fd);
    struct stat st { };
    int error = 0;
    if (::fstat(fd, &st) != 0)
        error = errno;
    acl_t access = error ? nullptr : acl_get_file(procPath.c_str(), ACL_TYPE_ACCESS);
    if (!error && !access && (errno == ENOTSUP || errno == EOPNOTSUPP))
        access = acl_from_mode(st.st_mode);
    if (!error && !access)
        error = errno;
    acl_t inheritable = error ? nullptr : acl_get_file(procPath.c_str(), ACL_TYPE_DEFAULT);
    if (!error && !inheritable && errno != ENOTSUP && errno != EOPNOTSUPP && errno != ENODATA)
        error = errno;
    if (!error) {
        out.owner = st.st_uid;
        out.group = st.st_gid;
        out.flags.clear();
        if (st.st_mode & (S_ISUID | S_ISGID | S_ISVTX)) {
            out.flags = {(st.st_mode & S_ISUID) ? 's' : '-', (st.st_mode & S_ISGID) ? 's' : '-',
                         (st.st_mode & S_ISVTX) ? 't' : '-'};
        }
        out.entries.clear();
        if (!appendEntries(out.entries, access, nullptr)
            || (inheritable && acl_entries(inheritable) > 0 && !appendEntries(out.entries, inheritable, "default:")))
            error = errno ? errno : EINVAL;
    }
    if (access)
        acl_free(access);
    if (inheritable)
        acl_free(inheritable);
    ::close(fd);
    return error;
}

} // namespace gw
