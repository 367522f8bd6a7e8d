#include "engine/checks/who/WhoInventory.h"
#include "engine/reports/CountText.h"
#include "platform/PrintableText.h"

#include "engine/checks/JsonLines.h"
#include "platform/PrintablePath.h"

#include <QString>

#include <algorithm>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace gw {
namespace {

QByteArray number(qint64 n)
{
    return QByteArray::number(n);
}

QByteArray kindWord(ItemKind kind)
{
    return kind == ItemKind::Folder ? "folder " : "file ";
}

// "read, write, enter", or "nothing".
QByteArray rightsWords(const Rights& r, ItemKind kind)
{
    QList<QByteArray> words;
    if (r.read)
        words << "read";
    if (r.write == WriteRight::Yes)
        words << "write";
    else if (r.write == WriteRight::OwnEntries)
        words << "write (sticky: only its own entries may be removed or renamed)";
    if (r.enter)
        words << (kind == ItemKind::Folder ? "enter" : "execute");
    return words.isEmpty() ? QByteArray("nothing") : words.join(", ");
}

QByteArray jsonBool(bool known, bool value)
{
    return !known ? "null" : value ? "true" : "false";
}

QByteArray jsonWrite(bool known, WriteRight w)
{
    if (!known)
        return "null";
    return w == WriteRight::Yes ? "true" : w == WriteRight::OwnEntries ? "\"own\"" : "false";
}

// Who is asked about, as the report's second line.
QByteArray principalLine(const Principal& who, PrincipalNames& names)
{
    QByteArray groups;
    for (std::size_t i = 0; i < who.groups.size(); ++i)
        groups += (i ? ", " : "") + byteArray(names.group(who.groups[i])) + " (" + number(who.groups[i]) + ")";
    switch (who.kind) {
    case Principal::Kind::Anyone:
        return "anyone: a user named in no entry and a member of no group named in one (the other class)";
    case Principal::Kind::GroupMember:
        return byteArray(who.name) + " (gid " + number(who.groups.front()) + ") and of no other group";
    case Principal::Kind::User: break;
    }
    if (who.name.rfind("uid ", 0) == 0) // a number without an account
        return byteArray(who.name) + ", without an account: no groups";
    return byteArray(who.name) + " (uid " + number(*who.uid) + "), groups: " + (groups.isEmpty() ? "none" : groups);
}

} // namespace

WhoInventory::WhoInventory(Principal who, const QByteArray& rawFolder, const QByteArray& printableFolder)
{
    f_.who = std::move(who);
    f_.folder = printableFolder;
    if (f_.who.root())
        return; // root searches every folder
    // The folders above the checked one, from "/" down, each opened (never
    // read) through the one above it. Where the way goes through a symbolic
    // link, the folders that count are those the link leads through: the
    // folder's real path.
    QByteArray real = rawFolder;
    if (char* resolved = ::realpath(rawFolder.constData(), nullptr)) {
        real = resolved;
        std::free(resolved);
    }
    const QList<QByteArray> parts = real.split('/');
    int fd = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    QByteArray path = "/";
    for (qsizetype i = 1; i < parts.size() && topReach_ == Reach::Yes; ++i) {
        if (parts[i].isEmpty())
            continue;
        Permissions p;
        const int error = fd < 0 ? errno : readPermissions(fd, p);
        if (error) {
            topReach_ = Reach::Unknown;
            f_.aboveNotRead = byteArray(
                                  printable(std::string_view(path.constData(), static_cast<std::size_t>(path.size()))))
                + ": " + std::strerror(error);
            break;
        }
        const RightsAnswer answer = error ? RightsAnswer {} : rightsAnswer(p, ItemKind::Folder, f_.who, names_);
        if (!answer.unknown.empty()) {
            topReach_ = Reach::Unknown;
            f_.aboveNotRead = byteArray(
                                  printable(std::string_view(path.constData(), static_cast<std::size_t>(path.size()))))
                + ": " + byteArray(answer.unknown);
            break;
        }
        if (!answer.rights.enter) {
            topReach_ = Reach::No;
            topStoppedAt_ = byteArray(
                printable(std::string_view(path.constData(), static_cast<std::size_t>(path.size()))));
            break;
        }
        const int next = ::openat(fd, parts[i].constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        const int openError = errno;
        ::close(fd);
        fd = next;
        errno = openError;
        path += (path.endsWith('/') ? "" : "/") + parts[i];
    }
    if (fd >= 0)
        ::close(fd);
}

qsizetype WhoInventory::place(const std::string& printablePath, ItemKind kind, const Key& key, const QByteArray& reason,
                              const Frame* above, const Permissions* read)
{
    ++(kind == ItemKind::Folder ? f_.folders : f_.files);
    if (!key.known) {
        ++f_.unknown;
    } else {
        f_.canRead += key.rights.read;
        f_.canWrite += key.rights.write != WriteRight::No;
        f_.canReach += key.reach == Reach::Yes;
    }
    const bool counted = above && key.known && above->key == key;
    if (counted && !everyPlace_) {
        ++f_.places[above->place].sameBelow;
        return above->place;
    }
    WhoPlace p;
    p.path = byteArray(printablePath);
    p.rawPath = byteArray(rawFromPrintable(printablePath));
    p.kind = kind;
    p.known = key.known;
    p.rights = key.rights;
    p.reach = key.reach;
    p.via = key.via;
    p.stoppedAt = key.stoppedAt;
    p.reason = reason;
    if (read)
        p.status = itemStatus(*read, names_);
    if (everyPlace_)
        everyPlace_(p);
    if (counted) {
        ++f_.places[above->place].sameBelow;
        return above->place;
    }
    f_.places.append(std::move(p));
    return f_.places.size() - 1;
}

void WhoInventory::take(FolderTree::NodeId id, FolderTree::NodeId parent, const std::string& printablePath, bool read,
                        const Permissions& p, const std::string& reason, const FolderFiles* files)
{
    while (!stack_.empty() && stack_.back().id != parent)
        stack_.pop_back();
    const Frame* above = stack_.empty() ? nullptr : &stack_.back();
    const Reach reach = above ? above->childReach : topReach_;
    const QByteArray& stoppedAt = above ? above->childStoppedAt : topStoppedAt_;
    // The key of an item of `kind` with permissions `q` in this folder (or of this folder).
    const auto keyOf = [&](const Permissions& q, ItemKind kind, Reach r, const QByteArray& stop) {
        Key k;
        k.known = r != Reach::Unknown;
        k.reach = r;
        if (r == Reach::Yes) {
            RightsAnswer answer = rightsAnswer(q, kind, f_.who, names_);
            k.known = answer.unknown.empty();
            k.rights = answer.rights;
            k.via = byteArray(answer.via);
            k.unknown = byteArray(answer.unknown);
        } else if (r == Reach::No) {
            k.stoppedAt = stop;
        }
        return k;
    };
    Frame frame {id, Reach::Unknown, QByteArray(), Key {}, 0, {}};
    if (!read && reach == Reach::No) {
        // Not read, but out of reach all the same: nothing, for certain.
        frame.key = keyOf(p, ItemKind::Folder, reach, stoppedAt);
        frame.childReach = reach;
        frame.childStoppedAt = stoppedAt;
    } else if (read) {
        frame.key = keyOf(p, ItemKind::Folder, reach, stoppedAt);
        if (!frame.key.known) {
            frame.childReach = Reach::Unknown; // whether it may be searched is unknown
        } else if (reach == Reach::Yes) {
            const bool search = frame.key.rights.enter;
            frame.childReach = search ? Reach::Yes : Reach::No;
            if (!search)
                frame.childStoppedAt = byteArray(printablePath);
        } else {
            frame.childReach = reach;
            frame.childStoppedAt = stoppedAt;
        }
    }
    QByteArray why; // why the rights here are unknown, when they are for a reason of this folder's own
    if (!read && !frame.key.known)
        why = reason.empty() ? QByteArray("not read") : byteArray(reason);
    else if (read)
        why = frame.key.unknown;
    frame.place = place(printablePath, ItemKind::Folder, frame.key, why, above, read ? &p : nullptr);
    if (above && frame.place == above->place)
        frame.fileKeys = above->fileKeys; // counted in the folder above: so are files like its files
    stack_.push_back(std::move(frame));
    Frame& here = stack_.back();
    if (!files)
        return;
    if (!files->listed && read)
        f_.notListed.append(byteArray(printablePath));
    std::string filePath;
    for (const FileListing& file : files->files) {
        filePath = printablePath;
        appendChild(filePath, file.name);
        if ((!file.read && here.childReach != Reach::No) || here.childReach == Reach::Unknown) {
            Key unknown;
            place(filePath, ItemKind::File, unknown,
                  !file.read                       ? byteArray(file.reason)
                      : here.key.unknown.isEmpty() ? QByteArray("its folder's permissions were not read")
                                                   : "the rights on its folder are unknown: " + here.key.unknown,
                  &here, file.read ? &file.permissions : nullptr);
            continue;
        }
        const Key key = keyOf(file.permissions, ItemKind::File, here.childReach, here.childStoppedAt);
        if (!key.known) {
            place(filePath, ItemKind::File, key, key.unknown, &here, &file.permissions);
            continue;
        }
        if (key == here.key) {
            place(filePath, ItemKind::File, key, {}, &here, &file.permissions);
            continue;
        }
        auto like = std::find_if(here.fileKeys.begin(), here.fileKeys.end(),
                                 [&key](const std::pair<Key, qsizetype>& k) { return k.first == key; });
        if (like != here.fileKeys.end()) {
            Frame sameAs {id, here.childReach, {}, key, like->second, {}};
            place(filePath, ItemKind::File, key, {}, &sameAs, &file.permissions);
            continue;
        }
        const qsizetype listed = place(filePath, ItemKind::File, key, {}, nullptr, &file.permissions);
        if (here.fileKeys.size() < 64)
            here.fileKeys.emplace_back(key, listed);
    }
}

QByteArray whoReport(const WhoFindings& f, const QByteArray& notChecked)
{
    PrincipalNames names;
    const QByteArray who = byteArray(f.who.name);
    QByteArray text = "What " + who + " can do below " + f.folder + "\n";
    text += principalLine(f.who, names) + "\n";
    if (f.who.root())
        text += "uid 0 is root: the kernel lets root read, write and enter every folder, read and write every file,"
                " and execute a file that has an execute bit for anyone.\n";
    text += "Checked: " + counted(f.folders, "folder", "folders")
        + (f.files > 0 ? " and " + counted(f.files, "file", "files") : QByteArray()) + "; " + who + " can read "
        + number(f.canRead) + ", write " + number(f.canWrite) + " and reach " + number(f.canReach) + " of them.\n";
    if (f.unknown > 0)
        text += "Unknown: " + counted(f.unknown, "place", "places")
            + ", whose permissions (or those of a folder on the way) were"
              " not read or could not be evaluated.\n";
    if (f.hiddenLeftOut > 0)
        text += "Hidden folders not checked, with all below them: " + number(f.hiddenLeftOut)
            + " (--include-hidden checks them)\n";
    if (!f.aboveNotRead.isEmpty())
        text += "A folder above the checked one was not read: " + f.aboveNotRead + "\n";
    if (!notChecked.isEmpty())
        text += "Not checked: " + notChecked + "\n";
    text += "Listed where the rights change; a place with the same rights as the one above it, for the same reason,"
            " is counted below that one.\n";
    for (const WhoPlace& p : f.places) {
        text += "\n" + kindWord(p.kind) + p.path + "\n";
        if (!p.reason.isEmpty())
            text += "    not read: " + p.reason + "; the rights here are unknown\n";
        else if (p.reach == Reach::Unknown)
            text += "    unknown: a folder on the way was not read, or the rights there are unknown\n";
        else if (p.reach == Reach::No)
            text += "    nothing: not reachable, " + p.stoppedAt + " does not let " + who + " enter\n";
        else
            text += "    " + rightsWords(p.rights, p.kind) + "; via " + p.via + "\n";
        if (p.sameBelow > 0)
            text += "    the same below: " + number(p.sameBelow) + "\n";
    }
    if (!f.notListed.isEmpty()) {
        text += "\nFolders whose entries could not be listed:\n";
        for (const QByteArray& path : f.notListed)
            text += path + "\n";
    }
    return text;
}

QByteArray whoJsonLines(const WhoFindings& f)
{
    QByteArray lines;
    for (const WhoPlace& p : f.places) {
        const bool folder = p.kind == ItemKind::Folder;
        QByteArray line = "{\"type\":\"who\",\"path\":" + jsonString(p.path) + ",\"path_base64\":\""
            + p.rawPath.toBase64() + "\",\"kind\":\"" + (folder ? "folder" : "file")
            + "\",\"read\":" + jsonBool(p.known, p.rights.read) + ",\"write\":" + jsonWrite(p.known, p.rights.write)
            + (folder ? ",\"enter\":" : ",\"execute\":") + jsonBool(p.known, p.rights.enter)
            + ",\"reachable\":" + jsonBool(p.reach != Reach::Unknown, p.reach == Reach::Yes)
            + ",\"via\":" + (p.reach == Reach::Yes && p.known ? jsonString(p.via) : QByteArray("null"))
            + ",\"same_below\":" + number(p.sameBelow);
        if (p.reach == Reach::No)
            line += ",\"stopped_at\":" + jsonString(p.stoppedAt);
        if (!p.known)
            line += ",\"reason\":"
                + jsonString(p.reason.isEmpty()
                                 ? QByteArray("a folder on the way was not read, or the rights there are unknown")
                                 : p.reason);
        lines += line + jsonStatusFields(p.status) + "}\n";
    }
    return lines;
}

QByteArray whoJsonSummary(const WhoFindings& f, const QByteArray& reportPath, double seconds)
{
    return "{\"type\":\"summary\",\"who\":" + jsonString(QByteArray::fromStdString(f.who.name))
        + ",\"folder\":" + jsonString(f.folder) + ",\"folders\":" + number(f.folders) + ",\"files\":" + number(f.files)
        + ",\"listed\":" + number(f.places.size()) + ",\"can_read\":" + number(f.canRead)
        + ",\"can_write\":" + number(f.canWrite) + ",\"can_reach\":" + number(f.canReach)
        + ",\"unknown\":" + number(f.unknown) + ",\"not_listed\":" + number(f.notListed.size())
        + ",\"hidden_not_checked\":" + number(f.hiddenLeftOut) + ",\"complete\":" + (f.complete() ? "true" : "false")
        + ",\"report\":" + jsonString(reportPath) + ",\"seconds\":" + QByteArray::number(seconds, 'f', 3) + "}\n";
}

QString whoVerdict(const QString& lang, const WhoFindings& f)
{
    const QString who = QString::fromStdString(f.who.name);
    const qint64 places = f.folders + f.files;
    QString text;
    if (lang == QLatin1String("RU"))
        text = QStringLiteral("%1: чтение — %2, запись — %3, доступно — %4 из %5.")
                   .arg(who)
                   .arg(f.canRead)
                   .arg(f.canWrite)
                   .arg(f.canReach)
                   .arg(countedRussian(places, "места", "мест", "мест"));
    else
        text = QStringLiteral("%1 can read %2, write %3 and reach %4 of %5.")
                   .arg(who)
                   .arg(f.canRead)
                   .arg(f.canWrite)
                   .arg(f.canReach)
                   .arg(countedText(places, "place", "places"));
    if (f.who.root())
        text += lang == QLatin1String("RU")
            ? QStringLiteral(" Это root: ядро разрешает ему всё, кроме запуска файла без права выполнения.")
            : QStringLiteral(" This is root: the kernel lets root do everything but execute a file without an"
                             " execute bit.");
    if (!f.complete()) {
        const qint64 unknown = f.unknown + f.notListed.size();
        text += lang == QLatin1String("RU")
            ? QStringLiteral(" Не прочитано (права там неизвестны): %1.").arg(unknown)
            : QStringLiteral(" Not read, so the rights there are unknown: %1.").arg(unknown);
    }
    return text;
}

} // namespace gw
