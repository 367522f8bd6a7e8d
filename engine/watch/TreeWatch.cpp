#include "engine/watch/TreeWatch.h"

#include "engine/checks/JsonLines.h"
#include "engine/checks/baseline/BaselineFile.h"
#include "engine/reports/LanguageText.h"
#include "platform/AclListing.h"
#include "platform/PrintableText.h"

#include <QDateTime>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace gw {

namespace {

QByteArray joinPath(const QByteArray& folder, const QByteArray& name)
{
    return (folder.endsWith('/') ? folder : folder + '/') + name;
}

// The key of an item's verdict: the check, then the raw path.
QByteArray keyOf(const char* check, const QByteArray& raw)
{
    return QByteArray(check) + '\n' + raw;
}

// A user's name, looked up once.
QByteArray userName(uid_t uid)
{
    static QHash<uid_t, QByteArray> names;
    if (const auto it = names.constFind(uid); it != names.constEnd())
        return *it;
    const passwd* pw = ::getpwuid(uid);
    const QByteArray name = pw ? QByteArray(pw->pw_name) : QByteArray::number(uid);
    names.insert(uid, name);
    return name;
}

const char* findingStatus(const char* check)
{
    return qstrcmp(check, "inheritance") == 0 ? "not_inherited" : "differs";
}

QString statusWord(const char* status, bool russian)
{
    static const char* const kWords[][3] = {
        {"differs", "differs", "отличается"}, {"not_inherited", "not inherited", "не унаследовано"},
        {"changed", "changed", "изменено"},   {"new", "new", "новое"},
        {"gone", "gone", "исчезло"},          {"mended", "mended", "исправлено"},
        {"removed", "removed", "удалено"}};
    for (const auto& w : kWords) {
        if (qstrcmp(status, w[0]) == 0)
            return QString::fromUtf8(w[russian ? 2 : 1]);
    }
    return QString::fromUtf8(status);
}

} // namespace

TreeWatch::TreeWatch(const BatchOptions& options, std::function<void(const WatchRecord&)> sink)
    : options_(options)
    , emit_(std::move(sink))
{
    options_.keepItems = false;
    options_.itemLine = nullptr;
    options_.folderLines = nullptr;
}

std::string TreeWatch::open()
{
    wholeFileSystem_ = ::geteuid() == 0;
    return events_.open(options_.folder, wholeFileSystem_);
}

std::string TreeWatch::readBaseline()
{
    recorded_.clear();
    if (!options_.drift)
        return {};
    try {
        BaselineReader reader(options_.drift->baselinePath());
        BaselineRecord record;
        while (reader.next(record))
            recorded_.insert(QByteArray::fromStdString(record.rawPath), {record.kind, record.permissions});
    } catch (const BaselineError& e) {
        return e.what();
    }
    return {};
}

void TreeWatch::recordedGone(const QByteArray& raw, const WatchEvent* e, bool tell)
{
    const CheckPart* drift = nullptr;
    for (const CheckPart* part : judges_.judged)
        drift = qstrcmp(part->kind(), "drift") == 0 ? part : drift;
    if (!drift)
        return;
    const QByteArray below = raw.endsWith('/') ? raw : raw + '/';
    for (auto it = recorded_.cbegin(); it != recorded_.cend(); ++it) {
        if (it.key() != raw && !it.key().startsWith(below))
            continue;
        if (met_ && met_->contains(it.key()))
            continue;
        judgeRecorded(*drift, it.key(), it->kind, nullptr, nullptr, &it->permissions, e, tell);
    }
}

std::string TreeWatch::learn()
{
    judges_ = makeJudges(options_);
    differing_.clear();
    if (const std::string problem = readBaseline(); !problem.empty())
        return problem;
    QSet<QByteArray> met;
    met_ = &met;
    const struct MetEnd {
        QSet<QByteArray>*& met;
        ~MetEnd() { met = nullptr; }
    } metEnd {met_};
    const int fd = ::open(options_.folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return std::string("cannot open the folder: ") + std::strerror(errno);
    struct stat st { };
    ::fstat(fd, &st);
    rootDevice_ = st.st_dev;
    folders_.reset(options_.folder, FanotifyEvents::handleOf(fd));
    if (!wholeFileSystem_ && events_.markFolder(fd) != 0) {
        ::close(fd);
        return std::string("cannot watch the folder: ") + std::strerror(errno);
    }
    Permissions top;
    if (readPermissions(fd, top) == 0)
        top_ = top;
    else
        top_.reset();
    walk(0, fd, nullptr, false);
    ::close(fd);
    recordedGone(options_.folder, nullptr, false); // recorded, and not there now
    if (!wholeFileSystem_ && folders_.size() > 0 && markLimitHit_) {
        const long limit = FanotifyEvents::markLimit();
        return "the tree has more folders than this user may watch (fs.fanotify.max_user_marks = "
            + std::to_string(limit) + "); raise that sysctl, or watch as root";
    }
    return {};
}

void TreeWatch::walk(Id id, int fd, const Permissions* parent, bool tell, const WatchEvent* e)
{
    const QByteArray raw = folders_.rawPath(id);
    Permissions own;
    const bool read = readPermissions(fd, own) == 0;
    judge(ItemKind::Folder, raw, read ? &own : nullptr, parent, e, tell);
    const int listFd = ::dup(fd);
    DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!dir) {
        if (listFd >= 0)
            ::close(listFd);
        return;
    }
    const int depth = folders_.depth(id) + 1;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        struct stat st { };
        if (::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISREG(st.st_mode) && options_.files && !leftOut(name, joinPath(raw, name), depth, st)) {
            Permissions p;
            bool notRegular = false;
            const bool fileRead = readPermissionsAt(fd, entry->d_name, p, false, nullptr, &notRegular) == 0;
            if (!notRegular)
                judge(ItemKind::File, joinPath(raw, name), fileRead ? &p : nullptr, read ? &own : nullptr, e, tell);
            continue;
        }
        if (!S_ISDIR(st.st_mode) || leftOut(name, joinPath(raw, name), depth, st))
            continue;
        const int sub = ::openat(fd, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub < 0)
            continue;
        if (!wholeFileSystem_ && events_.markFolder(sub) != 0) {
            markLimitHit_ = markLimitHit_ || errno == ENOSPC;
        }
        const Id child = folders_.add(id, name, FanotifyEvents::handleOf(sub));
        walk(child, sub, read ? &own : nullptr, tell, e);
        ::close(sub);
    }
    ::closedir(dir);
}

bool TreeWatch::leftOut(const QByteArray& name, const QByteArray& raw, int depth, const struct stat& st) const
{
    const FolderScope& scope = options_.scope;
    if (name.startsWith('.') && !scope.includeHidden)
        return true;
    if (scope.maxDepth >= 0 && depth > scope.maxDepth)
        return true;
    if (scope.oneFileSystem && st.st_dev != rootDevice_)
        return true;
    const QByteArray relative = raw.mid(options_.folder.size() + (options_.folder.endsWith('/') ? 0 : 1));
    for (const std::string& pattern : scope.excludePatterns) {
        if (::fnmatch(pattern.c_str(), name.constData(), 0) == 0
            || ::fnmatch(pattern.c_str(), relative.constData(), FNM_PATHNAME) == 0)
            return true;
    }
    for (const ExcludedFolder& e : options_.excluded) {
        if (FolderIdentity {st.st_dev, st.st_ino} == e.folder)
            return true;
    }
    return false;
}

void TreeWatch::judge(ItemKind kind, const QByteArray& raw, const Permissions* item, const Permissions* folder,
                      const WatchEvent* e, bool tell)
{
    if (met_)
        met_->insert(raw);
    const auto record = recorded_.constFind(raw);
    const Permissions* recorded = record != recorded_.cend() ? &record->permissions : nullptr;
    for (const CheckPart* part : judges_.judged)
        judgeRecorded(*part, raw, kind, item, folder, recorded, e, tell);
}

void TreeWatch::judgeRecorded(const CheckPart& part, const QByteArray& raw, ItemKind kind, const Permissions* item,
                              const Permissions* folder, const Permissions* recorded, const WatchEvent* e, bool tell)
{
    const Permissions* top = top_ ? &*top_ : nullptr;
    const Judgement j = part.judge({kind, printableUtf8(raw), item, folder, top, recorded});
    if (!j.judged)
        return;
    const QByteArray key = keyOf(part.kind(), raw);
    const auto it = differing_.constFind(key);
    if (j.green) {
        if (it == differing_.constEnd())
            return;
        ItemDifference mended;
        mended.kind = kind;
        mended.path = it->difference.path;
        mended.rawPath = raw;
        differing_.erase(it);
        if (tell)
            this->tell(part.kind(), "mended", mended, e);
        return;
    }
    const QByteArray how = jsonItemLine(j.difference, j.note.constData());
    if (it != differing_.constEnd() && it->signature == how)
        return; // differs as it did
    const QByteArray status = qstrcmp(part.kind(), "drift") == 0 ? j.note : QByteArray(findingStatus(part.kind()));
    differing_.insert(key, Finding {how, j.difference, status});
    if (tell)
        this->tell(part.kind(), status.constData(), j.difference, e);
}

int TreeWatch::openFolder(Id id) const
{
    return ::open(folders_.rawPath(id).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

void TreeWatch::judgeFolder(Id id, const WatchEvent* e)
{
    const int fd = openFolder(id);
    if (fd < 0)
        return; // gone meanwhile: its removal is on its way
    Permissions own;
    const bool read = readPermissions(fd, own) == 0;
    if (id == 0) {
        // The checked folder changed: every verdict may have.
        top_ = read ? std::optional<Permissions>(own) : std::nullopt;
        folders_.reset(options_.folder, FanotifyEvents::handleOf(fd));
        walk(0, fd, nullptr, true, e);
        ::close(fd);
        return;
    }
    Permissions parent;
    const int up = openFolder(folders_.parentOf(id));
    const bool parentRead = up >= 0 && readPermissions(up, parent) == 0;
    if (up >= 0)
        ::close(up);
    judge(ItemKind::Folder, folders_.rawPath(id), read ? &own : nullptr, parentRead ? &parent : nullptr, e, true);
    const bool inheritance = std::any_of(judges_.judged.begin(), judges_.judged.end(),
                                         [](const CheckPart* p) { return qstrcmp(p->kind(), "inheritance") == 0; });
    if (!inheritance) {
        ::close(fd);
        return;
    }
    // What it gives what it holds may have changed too.
    for (const Id child : folders_.childrenOf(id)) {
        const int sub = openFolder(child);
        Permissions p;
        const bool childRead = sub >= 0 && readPermissions(sub, p) == 0;
        if (sub >= 0)
            ::close(sub);
        judge(ItemKind::Folder, folders_.rawPath(child), childRead ? &p : nullptr, read ? &own : nullptr, e, true);
    }
    if (options_.files) {
        const int listFd = ::dup(fd);
        if (DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr) {
            while (const dirent* entry = ::readdir(dir)) {
                if (entry->d_type == DT_REG || entry->d_type == DT_UNKNOWN)
                    judgeFile(id, QByteArray(entry->d_name), e);
            }
            ::closedir(dir);
        } else if (listFd >= 0) {
            ::close(listFd);
        }
    }
    ::close(fd);
}

void TreeWatch::judgeFile(Id dir, const QByteArray& name, const WatchEvent* e)
{
    if (!options_.files)
        return;
    const int fd = openFolder(dir);
    if (fd < 0)
        return;
    const QByteArray raw = joinPath(folders_.rawPath(dir), name);
    struct stat st { };
    if (::fstatat(fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)
        || leftOut(name, raw, folders_.depth(dir) + 1, st)) {
        ::close(fd);
        return;
    }
    Permissions folder, p;
    const bool folderRead = readPermissions(fd, folder) == 0;
    bool notRegular = false;
    const bool read = readPermissionsAt(fd, name.constData(), p, false, nullptr, &notRegular) == 0;
    ::close(fd);
    if (!notRegular)
        judge(ItemKind::File, raw, read ? &p : nullptr, folderRead ? &folder : nullptr, e, true);
}

void TreeWatch::removed(const QByteArray& raw, const WatchEvent* e)
{
    const QByteArray below = raw + '/';
    for (auto it = differing_.begin(); it != differing_.end();) {
        const QByteArray& key = it.key();
        const qsizetype cut = key.indexOf('\n');
        const QByteArray path = key.mid(cut + 1);
        if ((path != raw && !path.startsWith(below)) || it->status == "gone") {
            ++it;
            continue;
        }
        const QByteArray check = key.left(cut);
        ItemDifference gone;
        gone.kind = it->difference.kind;
        gone.path = it->difference.path;
        gone.rawPath = path;
        it = differing_.erase(it);
        // A new item removed is what the baseline has: mended. A recorded
        // one is told gone below.
        if (check == "drift" && recorded_.contains(path))
            continue;
        tell(check.constData(), check == "drift" ? "mended" : "removed", gone, e);
    }
    recordedGone(raw, e, true);
}

void TreeWatch::handle(const WatchEvent& e)
{
    const Id dir = folders_.find(e.dir);
    if (dir == WatchedFolders::kNone)
        return; // outside the tree
    if (e.name == ".") {
        if (e.kind == WatchEvent::Attributes)
            judgeFolder(dir, &e);
        return;
    }
    const QByteArray name = QByteArray::fromStdString(e.name);
    const QByteArray raw = joinPath(folders_.rawPath(dir), name);
    if (e.kind == WatchEvent::Removed) {
        if (e.folder) {
            if (const Id child = folders_.child(dir, name); child != WatchedFolders::kNone)
                folders_.remove(child);
        }
        removed(raw, &e);
        return;
    }
    if (!e.folder) {
        judgeFile(dir, name, &e);
        return;
    }
    if (e.kind == WatchEvent::Attributes) {
        if (const Id child = folders_.child(dir, name); child != WatchedFolders::kNone)
            judgeFolder(child, &e);
        return;
    }
    // Made or moved in: learned and judged whole.
    const int fd = openFolder(dir);
    if (fd < 0)
        return;
    struct stat st { };
    const int sub = ::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (sub >= 0 && ::fstat(sub, &st) == 0 && !leftOut(name, raw, folders_.depth(dir) + 1, st)
        && folders_.child(dir, name) == WatchedFolders::kNone) {
        if (!wholeFileSystem_)
            (void)events_.markFolder(sub);
        Permissions parent;
        const bool parentRead = readPermissions(fd, parent) == 0;
        const Id child = folders_.add(dir, name, FanotifyEvents::handleOf(sub));
        walk(child, sub, parentRead ? &parent : nullptr, true, &e);
    }
    if (sub >= 0)
        ::close(sub);
    ::close(fd);
}

void TreeWatch::overflow(const std::function<void()>& fullCheck)
{
    notice(QStringLiteral("Events were lost (the kernel's queue overflowed); a full check was made."),
           QStringLiteral("События потеряны (очередь ядра переполнена); проведена полная проверка."));
    const QHash<QByteArray, Finding> before = differing_;
    if (fullCheck)
        fullCheck();
    (void)learn();
    // What changed meanwhile, told as if each change had been seen.
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (differing_.contains(it.key()))
            continue;
        ItemDifference mended;
        mended.kind = it->difference.kind;
        mended.path = it->difference.path;
        mended.rawPath = it->difference.rawPath;
        tell(it.key().left(it.key().indexOf('\n')).constData(), "mended", mended, nullptr);
    }
    for (auto it = differing_.cbegin(); it != differing_.cend(); ++it) {
        const auto old = before.constFind(it.key());
        if (old == before.cend() || old->signature != it->signature) {
            const QByteArray check = it.key().left(it.key().indexOf('\n'));
            tell(check.constData(), it->status.constData(), it->difference, nullptr);
        }
    }
}

void TreeWatch::tell(const char* check, const char* status, const ItemDifference& d, const WatchEvent* e)
{
    const bool russian = isRussian(options_.lang);
    QByteArray process;
    QString by;
    if (e && e->pid > 0) {
        process = ",\"pid\":" + QByteArray::number(e->pid);
        by = QStringLiteral("pid ") + QString::number(e->pid);
        if (!e->command.isEmpty()) {
            const QByteArray user = userName(e->uid);
            process += ",\"command\":" + jsonString(e->command) + ",\"user\":" + jsonString(user);
            by = QString::fromUtf8(e->command) + QStringLiteral(", ") + by + QStringLiteral(", ")
                + QString::fromUtf8(user);
        }
    }
    const QByteArray time = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toLatin1();
    WatchRecord r;
    r.json = jsonChangeLine(d, check, status, time, process);
    r.path = d.path;
    r.status = status;
    r.check = check;
    r.pid = e ? e->pid : 0;
    QStringList details;
    for (const InheritanceReason reason : d.finding.reasons) {
        r.reasons += (r.reasons.isEmpty() ? "" : ",") + QByteArray(reasonKey(reason));
        details << QString::fromLatin1(reasonKey(reason));
    }
    for (const EntryChange& c : d.changes) {
        details << (c.kind == EntryChange::Added         ? QStringLiteral("+ ") + QString::fromUtf8(c.to)
                        : c.kind == EntryChange::Removed ? QStringLiteral("- ") + QString::fromUtf8(c.from)
                                                         : QStringLiteral("~ ") + QString::fromUtf8(c.from)
                            + QStringLiteral(" -> ") + QString::fromUtf8(c.to));
    }
    const QString kind = russian ? (d.kind == ItemKind::File ? QStringLiteral("файл") : QStringLiteral("папка"))
                                 : (d.kind == ItemKind::File ? QStringLiteral("file") : QStringLiteral("folder"));
    const bool inheritance = qstrcmp(check, "inheritance") == 0, drift = qstrcmp(check, "drift") == 0;
    const QString checkWord = russian ? (inheritance ? QStringLiteral("наследование")
                                             : drift ? QStringLiteral("снимок")
                                                     : QStringLiteral("проверяемая папка"))
                                      : (inheritance ? QStringLiteral("inheritance")
                                             : drift ? QStringLiteral("baseline")
                                                     : QStringLiteral("checked folder"));
    r.sentence = QString::fromLatin1(time) + QStringLiteral("  ") + statusWord(status, russian) + QStringLiteral("  ")
        + QString::fromUtf8(d.path) + QStringLiteral(" (") + kind + QStringLiteral(", ") + checkWord
        + QStringLiteral(")")
        + (details.isEmpty() ? QString() : QStringLiteral(": ") + details.join(QStringLiteral("; ")))
        + (by.isEmpty() ? QString()
                        : (russian ? QStringLiteral("  [кто: ") : QStringLiteral("  [by ")) + by + QStringLiteral("]"));
    emit_(r);
}

void TreeWatch::announce()
{
    const QString folder = QString::fromUtf8(printableUtf8(options_.folder));
    const QString count = QString::number(folders_.size());
    notice(QStringLiteral("Watching %1 (%2 folders); every change is judged as it happens.").arg(folder, count),
           QStringLiteral("Наблюдение за %1 (папок: %2); каждое изменение проверяется сразу.").arg(folder, count));
}

void TreeWatch::notice(const QString& english, const QString& russian)
{
    const bool ru = isRussian(options_.lang);
    const QByteArray time = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toLatin1();
    WatchRecord r;
    r.status = "notice";
    r.json = "{\"type\":\"notice\",\"time\":\"" + time + "\",\"text\":" + jsonString(english.toUtf8()) + "}\n";
    r.sentence = QString::fromLatin1(time) + QStringLiteral("  ") + (ru ? russian : english);
    emit_(r);
}

bool TreeWatch::run(int stopFd, const std::function<void()>& fullCheck, std::string& why)
{
    std::vector<WatchEvent> events;
    for (;;) {
        events.clear();
        int error = 0;
        const bool ok = events_.read(events, stopFd, error);
        for (const WatchEvent& e : events) {
            if (e.kind == WatchEvent::Overflow)
                overflow(fullCheck);
            else
                handle(e);
        }
        if (!ok) {
            if (error == 0)
                return true; // asked to stop
            why = std::string("the events cannot be read: ") + std::strerror(error);
            return false;
        }
    }
}

} // namespace gw
