#include "platform/RestoreFile.h"

#include "platform/AclListing.h"
#include "platform/DirectoryOpen.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace gw {
namespace {

// The entries of `acl` in getfacl's long form with numeric ids, each line
// prefixed with `prefix`.
void appendEntries(std::string& out, const Acl& acl, const char* prefix)
{
    for (const AclEntry& e : acl) {
        out += prefix;
        switch (e.tag) {
        case AclTag::UserObj: out += "user::"; break;
        case AclTag::User: out += "user:" + std::to_string(e.id) + ':'; break;
        case AclTag::GroupObj: out += "group::"; break;
        case AclTag::Group: out += "group:" + std::to_string(e.id) + ':'; break;
        case AclTag::Mask: out += "mask::"; break;
        case AclTag::Other: out += "other::"; break;
        }
        out += (e.perm & 4) ? 'r' : '-';
        out += (e.perm & 2) ? 'w' : '-';
        out += (e.perm & 1) ? 'x' : '-';
        out += '\n';
    }
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

RestorePermissions restoreForm(const Permissions& p)
{
    RestorePermissions out;
    out.owner = p.owner;
    out.group = p.group;
    if (p.mode & (S_ISUID | S_ISGID | S_ISVTX))
        out.flags = {(p.mode & S_ISUID) ? 's' : '-', (p.mode & S_ISGID) ? 's' : '-', (p.mode & S_ISVTX) ? 't' : '-'};
    appendEntries(out.entries, p.access, "");
    appendEntries(out.entries, p.defaults, "default:");
    return out;
}

std::string restoreRecord(std::string_view rawPath, const RestorePermissions& p)
{
    std::string record = "# file: " + restorePath(rawPath) + "\n# owner: " + std::to_string(p.owner)
        + "\n# group: " + std::to_string(p.group) + "\n";
    if (!p.flags.empty())
        record += "# flags: " + p.flags + "\n";
    return record + p.entries + "\n";
}

int readRestorePermissions(std::string_view rawPath, RestorePermissions& out)
{
    bool listable = true;
    const int fd = openDirectoryForPermissions(rawPath, listable);
    if (fd < 0)
        return errno;
    Permissions p;
    const int error = readPermissions(fd, p);
    ::close(fd);
    if (!error)
        out = restoreForm(p);
    return error;
}

} // namespace gw
