#include "platform/FileDestination.h"

#include <QList>

#include <cerrno>
#include <sys/stat.h>

namespace gw {

int fileDestination(const QByteArray& path, FileDestination& out)
{
    const qsizetype slash = path.lastIndexOf('/');
    out.name = path.mid(slash + 1);
    QByteArray dir = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
    // Up the way until a folder that is there; the names passed are made
    // later, and since none of them is there, none is a link: "." and ".."
    // among them are worked out by their text.
    QList<QByteArray> missing;
    struct stat st { };
    while (::stat(dir.constData(), &st) != 0) {
        if (errno != ENOENT)
            return errno;
        const qsizetype cut = dir.lastIndexOf('/');
        missing.prepend(dir.mid(cut + 1));
        dir = cut < 0 ? QByteArray(".") : cut == 0 ? QByteArray("/") : dir.left(cut);
    }
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    QList<QByteArray> names;
    for (const QByteArray& name : missing) {
        if (name.isEmpty() || name == ".")
            continue;
        if (name == "..") {
            if (!names.isEmpty()) {
                names.removeLast();
                continue;
            }
            return ENOENT; // above a folder that is not there: the write could not make it
        }
        names.append(name);
    }
    out.existing = FolderIdentity {st.st_dev, st.st_ino};
    out.below = names.join('/');
    return 0;
}

} // namespace gw
