#include "engine/watch/TreeWatch.h"

#include "engine/checks/JsonLines.h"
#include "engine/reports/LanguageText.h"
#include "platform/AclListing.h"
#include "platform/PrintableText.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
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

// The time now, as 2026-12-08T10:31:01.274Z; the date and time of day are
// made once a second.
QByteArray utcNow()
{
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    static time_t second = -1;
    static char head[32];
    if (now.tv_sec != second) {
        tm t {};
        ::gmtime_r(&now.tv_sec, &t);
        std::strftime(head, sizeof head, "%Y-%m-%dT%H:%M:%S", &t);
        second = now.tv_sec;
    }
    char text[48];
    std::snprintf(text, sizeof text, "%s.%03ldZ", head, now.tv_nsec / 1000000);
    return QByteArray(text);
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

// The status a check's finding is told with.
WatchFindings::Status statusOf(const CheckPart& part, const QByteArray& note)
{
    if (note == "changed")
        return WatchFindings::Changed;
    if (note == "new")
        return WatchFindings::New;
    if (note == "gone")
        return WatchFindings::Gone;
    return qstrcmp(part.kind(), "inheritance") == 0 ? WatchFindings::NotInherited : WatchFindings::Differs;
}

// How an item differs, as a number: what its record says but its path.
std::uint64_t signatureOf(const ItemDifference& d, WatchFindings::Status status)
{
    std::size_t h = qHashMulti(0x51ed27U, static_cast<int>(d.kind), static_cast<int>(status), d.finding.narrowedMode);
    for (const InheritanceReason r : d.finding.reasons)
        h = qHashMulti(h, static_cast<int>(r));
    for (const EntryChange& c : d.changes)
        h = qHashMulti(h, static_cast<int>(c.kind), c.from, c.to);
    return h;
}

// Lists the folder open as `fd` from its first entry. The listing shares
// its position with `fd`, which a folder kept open (OpenFolders) has left at
// the end of an earlier listing. Null when it cannot be listed.
DIR* listingOf(int fd)
{
    const int listFd = ::dup(fd);
    DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!dir) {
        if (listFd >= 0)
            ::close(listFd);
        return nullptr;
    }
    ::rewinddir(dir);
    return dir;
}

} // namespace

TreeWatch::TreeWatch(const BatchOptions& options, WatchOutput output)
    : options_(options)
    , output_(std::move(output))
{
    options_.keepItems = false;
    options_.itemLine = nullptr;
    options_.folderLines = nullptr;
}

TreeWatch::~TreeWatch()
{
    for (const auto& [fileSystem, fd] : fileSystems_)
        ::close(fd);
}

std::string TreeWatch::open()
{
    wholeFileSystem_ = ::geteuid() == 0;
    // How many events may wait before they are dropped for a full check;
    // the tests set it (0: the kernel's own bounded queue).
    if (const char* backlog = std::getenv("GRANTWISE_WATCH_BACKLOG"); backlog && *backlog)
        backlogLimit_ = std::strtoull(backlog, nullptr, 10);
    if (mounts_.open())
        mountsBelow_ = mounts_.below(options_.folder);
    return events_.open(options_.folder, wholeFileSystem_, backlogLimit_ != 0);
}

std::string TreeWatch::learn()
{
    judges_ = makeJudges(options_);
    drift_ = SIZE_MAX;
    needsFolder_ = false;
    for (std::size_t i = 0; i < judges_.judged.size(); ++i) {
        if (qstrcmp(judges_.judged[i]->kind(), "drift") == 0)
            drift_ = i;
        needsFolder_ = needsFolder_ || judges_.judged[i]->needsParent();
    }
    records_.clear();
    if (options_.drift) {
        if (std::string problem = records_.load(options_.drift->baselinePath()); !problem.empty())
            return problem;
    }
    return learnTree(nullptr);
}

std::string TreeWatch::learnTree(const WatchEvent* e)
{
    findings_.reset(judges_.judged.size());
    open_.clear();
    records_.forgetSeen();
    unwatchable_.clear();
    markLimitHit_ = false;
    const int fd = ::open(options_.folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return std::string("cannot open the folder: ") + std::strerror(errno);
    struct stat st { };
    ::fstat(fd, &st);
    rootDevice_ = st.st_dev;
    const std::string handle = FanotifyEvents::handleOf(fd);
    folders_.reset(options_.folder, handle);
    if (wholeFileSystem_ && !fileSystems_.contains(FanotifyEvents::fileSystemOf(handle)))
        fileSystems_.emplace(FanotifyEvents::fileSystemOf(handle), ::dup(fd));
    if (!wholeFileSystem_ && events_.markFolder(fd) != 0) {
        ::close(fd);
        return std::string("cannot watch the folder: ") + std::strerror(errno);
    }
    Permissions top;
    if (readPermissions(fd, top) == 0)
        top_ = top;
    else
        top_.reset();
    walk(0, fd, nullptr, before_ != nullptr, e);
    ::close(fd);
    recordedGone(options_.folder, e, before_ != nullptr, true); // recorded, and not there now
    return partlyWatched();
}

bool TreeWatch::holds(Id above, Id id) const
{
    for (; id != WatchedFolders::kNone; id = folders_.parentOf(id)) {
        if (id == above)
            return true;
    }
    return false;
}

std::string TreeWatch::partlyWatched() const
{
    if (!unwatchable_.empty())
        return unwatchable_;
    if (!wholeFileSystem_ && markLimitHit_) {
        const long limit = FanotifyEvents::markLimit();
        return "the tree has more folders than this user may watch (fs.fanotify.max_user_marks = "
            + std::to_string(limit) + "); raise that sysctl, or watch as root";
    }
    return {};
}

void TreeWatch::walk(Id id, int fd, const Permissions* parent, bool tell, const WatchEvent* e)
{
    Permissions own;
    const bool read = readPermissions(fd, own) == 0;
    judge({id, {}}, ItemKind::Folder, folders_.rawPath(id), read ? &own : nullptr, parent, e, tell);
    walkEntries(id, fd, read ? &own : nullptr, tell, e);
}

void TreeWatch::walkEntries(Id id, int fd, const Permissions* own, bool tell, const WatchEvent* e)
{
    DIR* dir = listingOf(fd);
    if (!dir)
        return;
    const QByteArray raw = folders_.rawPath(id);
    const int depth = folders_.depth(id) + 1;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == ".." || (!options_.files && entry->d_type != DT_DIR && entry->d_type != DT_UNKNOWN))
            continue;
        struct stat st { };
        if (::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        const QByteArray path = joinPath(raw, name);
        if (S_ISREG(st.st_mode) && options_.files && !leftOut(name, path, depth, st)) {
            Permissions p;
            bool notRegular = false;
            const bool fileRead = readPermissionsAt(fd, entry->d_name, p, false, nullptr, &notRegular) == 0;
            if (!notRegular)
                judge({id, name}, ItemKind::File, path, fileRead ? &p : nullptr, own, e, tell);
            continue;
        }
        if (!S_ISDIR(st.st_mode) || leftOut(name, path, depth, st))
            continue;
        const int sub = ::openat(fd, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub < 0)
            continue;
        const Id child = learnFolder(id, name, sub, st, e);
        walk(child, sub, own, tell, e);
        ::close(sub);
    }
    ::closedir(dir);
}

TreeWatch::Id TreeWatch::learnFolder(Id parent, const QByteArray& name, int fd, const struct stat& st,
                                     const WatchEvent* e)
{
    const std::string handle = FanotifyEvents::handleOf(fd);
    // Met at a new place while the events of its move still wait (the watch
    // lags behind the changes): it is no longer at the old one. Not while
    // the whole tree is walked, where a folder mounted twice is met twice.
    if (e && !before_) {
        if (const Id known = folders_.find(handle); known != WatchedFolders::kNone && !holds(known, parent))
            removedFolder(known, e);
    }
    if (!wholeFileSystem_) {
        if (events_.markFolder(fd) != 0)
            markLimitHit_ = markLimitHit_ || errno == ENOSPC;
    } else if (st.st_dev != rootDevice_) {
        // A file system mounted in the tree: its own mark, or the watch
        // would miss what changes there.
        const std::string fileSystem = FanotifyEvents::fileSystemOf(handle);
        if (handle.empty()) {
            unwatchable_ = "the file system mounted at "
                + printable(folders_.rawPath(parent).toStdString() + "/" + name.toStdString())
                + " gives no file handles; leave it out with --one-file-system";
        } else if (!fileSystems_.contains(fileSystem)) {
            if (const int error = events_.markFileSystem(fd); error != 0)
                unwatchable_ = "the file system mounted at "
                    + printable(folders_.rawPath(parent).toStdString() + "/" + name.toStdString())
                    + " cannot be watched (fanotify: " + std::strerror(error)
                    + "); leave it out with --one-file-system";
            else
                fileSystems_.emplace(fileSystem, ::dup(fd));
        }
    }
    return folders_.add(parent, name, handle);
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

void TreeWatch::judge(const Item& item, ItemKind kind, const QByteArray& raw, const Permissions* permissions,
                      const Permissions* folder, const WatchEvent* e, bool tell)
{
    const RecordedItems::Index recorded = records_.empty()
        ? RecordedItems::kNone
        : records_.find({raw.constData(), static_cast<std::size_t>(raw.size())});
    records_.see(recorded);
    const QByteArray printable = printableUtf8(raw);
    const Judged j {&item, kind, raw, printable, permissions, folder, recorded};
    for (std::size_t check = 0; check < judges_.judged.size(); ++check)
        judgeBy(check, j, e, tell);
}

TreeWatch::Finding TreeWatch::previous(std::size_t check, const Judged& j)
{
    if (before_) {
        // Walked again: against what was known before.
        const auto it = before_->constFind(static_cast<char>(check) + j.raw);
        if (it == before_->cend())
            return 0;
        const Finding f = it->finding;
        before_->erase(it);
        return f;
    }
    if (!j.item)
        return findings_.away(check, j.raw);
    const Finding here = findings_.get(check, j.item->folder, j.item->file);
    // A recorded item that was gone is back.
    const Finding away = j.recorded != RecordedItems::kNone ? findings_.takeAway(check, j.raw) : 0;
    return here != 0 ? here : away;
}

void TreeWatch::keep(std::size_t check, const Judged& j, Finding f)
{
    if (j.item)
        findings_.set(check, j.item->folder, j.item->file, f);
    else
        findings_.setAway(check, j.raw, f);
}

void TreeWatch::judgeBy(std::size_t check, const Judged& j, const WatchEvent* e, bool tell)
{
    const CheckPart& part = *judges_.judged[check];
    const Permissions* top = top_ ? &*top_ : nullptr;
    const Permissions* recorded = j.recorded != RecordedItems::kNone ? &records_.permissions(j.recorded) : nullptr;
    const Judgement verdict = part.judge({j.kind, j.printable, j.permissions, j.folder, top, recorded});
    if (!verdict.judged)
        return;
    const Finding before = previous(check, j);
    if (verdict.green) {
        if (before == 0)
            return;
        keep(check, j, 0);
        if (tell)
            tellPlain(check, "mended", j.kind, j.raw, e);
        return;
    }
    const WatchFindings::Status status = statusOf(part, verdict.note);
    const Finding now = WatchFindings::make(signatureOf(verdict.difference, status), status);
    keep(check, j, now);
    if (tell && now != before)
        this->tell(part.kind(), WatchFindings::statusKey(status), verdict.difference, e);
}

int TreeWatch::openFolder(Id id)
{
    // Through the folder that holds it, when that one is open already.
    if (id != 0) {
        if (const OpenFolders::Held up = open_.get(folders_.parentOf(id), [] { return -1; }); up.isOpen())
            return ::openat(up.fd(), std::string(folders_.name(id)).c_str(),
                            O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (wholeFileSystem_) {
        // As root, by its handle: the path is never walked again.
        const std::string_view handle = folders_.handle(id);
        const auto fileSystem = fileSystems_.find(FanotifyEvents::fileSystemOf(handle));
        if (fileSystem != fileSystems_.end()) {
            const int fd = FanotifyEvents::openByHandle(fileSystem->second, handle);
            if (fd >= 0 || errno == ESTALE || errno == ENOENT)
                return fd;
        }
    }
    return ::open(folders_.rawPath(id).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

OpenFolders::Held TreeWatch::folderFd(Id id)
{
    return open_.get(id, [this, id] { return openFolder(id); });
}

void TreeWatch::judgeFolder(Id id, const WatchEvent* e)
{
    if (id == 0) {
        // The checked folder changed: every verdict may have.
        relearn(e, nullptr);
        return;
    }
    const OpenFolders::Held fd = folderFd(id);
    if (!fd.isOpen())
        return; // gone meanwhile: its removal is on its way
    Permissions own, parent;
    const bool read = readPermissions(fd.fd(), own) == 0;
    bool parentRead = false;
    if (needsFolder_) {
        const OpenFolders::Held up = folderFd(folders_.parentOf(id));
        parentRead = up.isOpen() && readPermissions(up.fd(), parent) == 0;
    }
    judge({id, {}}, ItemKind::Folder, folders_.rawPath(id), read ? &own : nullptr, parentRead ? &parent : nullptr, e,
          true);
    if (needsFolder_)
        judgeHeld(id, fd.fd(), read ? &own : nullptr, e); // what it gives what it holds may have changed too
}

void TreeWatch::judgeHeld(Id id, int fd, const Permissions* own, const WatchEvent* e)
{
    for (Id child = folders_.firstChild(id); child != WatchedFolders::kNone; child = folders_.nextSibling(child)) {
        const std::string_view name = folders_.name(child);
        const int sub = ::openat(fd, std::string(name).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        Permissions p;
        const bool childRead = sub >= 0 && readPermissions(sub, p) == 0;
        if (sub >= 0)
            ::close(sub);
        judge({child, {}}, ItemKind::Folder, folders_.rawPath(child), childRead ? &p : nullptr, own, e, true);
    }
    if (!options_.files)
        return;
    DIR* dir = listingOf(fd);
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_type == DT_REG || entry->d_type == DT_UNKNOWN)
            judgeFileIn(id, fd, own, QByteArray(entry->d_name), e);
    }
    ::closedir(dir);
}

void TreeWatch::judgeFile(Id dir, const QByteArray& name, const WatchEvent* e)
{
    if (!options_.files)
        return;
    const OpenFolders::Held fd = folderFd(dir);
    if (!fd.isOpen())
        return;
    Permissions folder;
    const bool folderRead = needsFolder_ && readPermissions(fd.fd(), folder) == 0;
    judgeFileIn(dir, fd.fd(), folderRead ? &folder : nullptr, name, e);
}

void TreeWatch::judgeFileIn(Id dir, int fd, const Permissions* folder, const QByteArray& name, const WatchEvent* e)
{
    const QByteArray raw = joinPath(folders_.rawPath(dir), name);
    struct stat st { };
    if (::fstatat(fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)
        || leftOut(name, raw, folders_.depth(dir) + 1, st))
        return;
    Permissions p;
    bool notRegular = false;
    const bool read = readPermissionsAt(fd, name.constData(), p, false, nullptr, &notRegular) == 0;
    if (!notRegular)
        judge({dir, name}, ItemKind::File, raw, read ? &p : nullptr, folder, e, true);
}

void TreeWatch::removedItem(std::size_t check, ItemKind kind, const QByteArray& raw, const WatchEvent* e)
{
    // A new item removed is what the baseline has: mended. A recorded one is
    // told gone (recordedGone).
    if (check == drift_) {
        if (records_.find({raw.constData(), static_cast<std::size_t>(raw.size())}) == RecordedItems::kNone)
            tellPlain(check, "mended", kind, raw, e);
        return;
    }
    tellPlain(check, "removed", kind, raw, e);
}

void TreeWatch::removedFolder(Id id, const WatchEvent* e)
{
    folders_.forEachBelow(id, [&](Id f) {
        open_.forget(f);
        const QByteArray raw = folders_.rawPath(f);
        findings_.takeFolder(f, [&](std::size_t check, const QByteArray& file, Finding) {
            if (file.isEmpty())
                removedItem(check, ItemKind::Folder, raw, e);
            else
                removedItem(check, ItemKind::File, joinPath(raw, file), e);
        });
    });
    folders_.remove(id);
}

void TreeWatch::recordedGone(const QByteArray& raw, const WatchEvent* e, bool tell, bool unseenOnly)
{
    if (drift_ == SIZE_MAX || records_.empty())
        return;
    records_.forEachAtOrBelow({raw.constData(), static_cast<std::size_t>(raw.size())}, [&](RecordedItems::Index i) {
        if (unseenOnly && records_.seen(i))
            return;
        const QByteArray path = records_.rawPath(i);
        const QByteArray printable = printableUtf8(path);
        judgeBy(drift_, {nullptr, records_.kind(i), path, printable, nullptr, nullptr, i}, e, tell);
    });
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
    if (e.kind == WatchEvent::Removed) {
        if (!e.folder) {
            for (std::size_t check = 0; check < judges_.judged.size(); ++check) {
                if (findings_.get(check, dir, name) != 0) {
                    findings_.set(check, dir, name, 0);
                    removedItem(check, ItemKind::File, joinPath(folders_.rawPath(dir), name), &e);
                }
            }
        } else if (const Id child = folders_.child(dir, e.name); child != WatchedFolders::kNone) {
            removedFolder(child, &e);
        }
        recordedGone(joinPath(folders_.rawPath(dir), name), &e, true, false);
        return;
    }
    if (!e.folder) {
        judgeFile(dir, name, &e);
        return;
    }
    if (e.kind == WatchEvent::Attributes) {
        if (const Id child = folders_.child(dir, e.name); child != WatchedFolders::kNone)
            judgeFolder(child, &e);
        return;
    }
    judgeMade(dir, name, &e);
}

void TreeWatch::judgeMade(Id dir, const QByteArray& name, const WatchEvent* e)
{
    // Made or moved in: learned and judged whole.
    const OpenFolders::Held fd = folderFd(dir);
    if (!fd.isOpen())
        return;
    const QByteArray raw = joinPath(folders_.rawPath(dir), name);
    struct stat st { };
    const int sub = ::openat(fd.fd(), name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (sub >= 0 && ::fstat(sub, &st) == 0 && !leftOut(name, raw, folders_.depth(dir) + 1, st)
        && folders_.child(dir, {name.constData(), static_cast<std::size_t>(name.size())}) == WatchedFolders::kNone) {
        Permissions parent;
        const bool parentRead = needsFolder_ && readPermissions(fd.fd(), parent) == 0;
        const Id child = learnFolder(dir, name, sub, st, e);
        walk(child, sub, parentRead ? &parent : nullptr, true, e);
        if (!wholeFileSystem_ && markLimitHit_ && unwatchable_.empty()) {
            // Folders moved out of the tree keep their marks: they are
            // dropped, and the tree marked anew, before the limit is
            // believed.
            (void)events_.flushFolderMarks();
            relearn(e, nullptr);
        } else if (const std::string problem = partlyWatched(); !problem.empty()) {
            broken_ = problem;
        }
    }
    if (sub >= 0)
        ::close(sub);
}

TreeWatch::Snapshot TreeWatch::snapshot() const
{
    Snapshot s;
    const auto key = [](std::size_t check, const QByteArray& raw) { return static_cast<char>(check) + raw; };
    folders_.forEachBelow(0, [&](Id f) {
        const QByteArray raw = folders_.rawPath(f);
        findings_.forEachOfFolder(f, [&](std::size_t check, Finding finding) {
            s.insert(key(check, raw), {finding, ItemKind::Folder});
        });
        findings_.forEachFile(f, [&](std::size_t check, const QByteArray& file, Finding finding) {
            s.insert(key(check, joinPath(raw, file)), {finding, ItemKind::File});
        });
    });
    findings_.forEachAway([&](std::size_t check, const QByteArray& raw, Finding finding) {
        const RecordedItems::Index i = records_.find({raw.constData(), static_cast<std::size_t>(raw.size())});
        s.insert(key(check, raw), {finding, i != RecordedItems::kNone ? records_.kind(i) : ItemKind::Folder});
    });
    return s;
}

void TreeWatch::relearn(const WatchEvent* e, const std::function<void()>& fullCheck)
{
    Snapshot before = snapshot();
    if (fullCheck)
        fullCheck();
    before_ = &before;
    const std::string problem = learnTree(e);
    before_ = nullptr;
    if (!problem.empty())
        broken_ = problem;
    // What was told before and is not so now.
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        tellPlain(static_cast<std::size_t>(it.key().front()), "mended", it->kind, it.key().mid(1), e);
}

void TreeWatch::tellPlain(std::size_t check, const char* status, ItemKind kind, const QByteArray& raw,
                          const WatchEvent* e)
{
    ItemDifference d;
    d.kind = kind;
    d.path = printableUtf8(raw);
    d.rawPath = raw;
    tell(judges_.judged[check]->kind(), status, d, e);
}

void TreeWatch::tell(const char* check, const char* status, const ItemDifference& d, const WatchEvent* e)
{
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
    const QByteArray time = utcNow();
    WatchRecord r;
    r.json = jsonChangeLine(d, check, status, time, process);
    r.path = d.path;
    r.status = status;
    r.check = check;
    r.pid = e ? e->pid : 0;
    for (const InheritanceReason reason : d.finding.reasons)
        r.reasons += (r.reasons.isEmpty() ? "" : ",") + QByteArray(reasonKey(reason));
    if (output_.sentences)
        r.sentence = sentence(check, status, d, time, by);
    output_.line(r);
}

QString TreeWatch::sentence(const char* check, const char* status, const ItemDifference& d, const QByteArray& time,
                            const QString& by) const
{
    const bool russian = isRussian(options_.lang);
    QStringList details;
    for (const InheritanceReason reason : d.finding.reasons)
        details << QString::fromLatin1(reasonKey(reason));
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
    return QString::fromLatin1(time) + QStringLiteral("  ") + statusWord(status, russian) + QStringLiteral("  ")
        + QString::fromUtf8(d.path) + QStringLiteral(" (") + kind + QStringLiteral(", ") + checkWord
        + QStringLiteral(")")
        + (details.isEmpty() ? QString() : QStringLiteral(": ") + details.join(QStringLiteral("; ")))
        + (by.isEmpty() ? QString()
                        : (russian ? QStringLiteral("  [кто: ") : QStringLiteral("  [by ")) + by + QStringLiteral("]"));
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
    const QByteArray time = utcNow();
    WatchRecord r;
    r.status = "notice";
    r.json = "{\"type\":\"notice\",\"time\":\"" + time + "\",\"text\":" + jsonString(english.toUtf8()) + "}\n";
    r.sentence = QString::fromLatin1(time) + QStringLiteral("  ") + (ru ? russian : english);
    output_.line(r);
    // Said at once: a full check may follow.
    if (output_.flush)
        output_.flush();
}

bool TreeWatch::run(int stopFd, const std::function<void()>& fullCheck, std::string& why)
{
    std::vector<WatchEvent> events;
    for (;;) {
        int error = 0;
        const FanotifyEvents::Woken woken = events_.wait(stopFd, mounts_.fd(), error);
        if (woken == FanotifyEvents::Woken::Stop)
            return true;
        if (woken == FanotifyEvents::Woken::Failed) {
            why = std::string("the events cannot be read: ") + std::strerror(error);
            return false;
        }
        events.clear();
        const bool ok = woken == FanotifyEvents::Woken::Mounts ? (mountsChanged(), true)
                                                               : dropBacklog(fullCheck) || events_.take(events, error);
        for (const WatchEvent& e : events) {
            if (e.kind != WatchEvent::Overflow) {
                handle(e);
                continue;
            }
            notice(QStringLiteral("Events were lost (the kernel's queue overflowed); a full check was made."),
                   QStringLiteral("События потеряны (очередь ядра переполнена); проведена полная проверка."));
            relearn(nullptr, fullCheck);
        }
        if (output_.flush)
            output_.flush();
        if (!broken_.empty()) {
            why = broken_;
            return false;
        }
        if (!ok) {
            why = std::string("the events cannot be read: ") + std::strerror(error);
            return false;
        }
    }
}

void TreeWatch::mountsChanged()
{
    // A file system mounted in the tree, or taken away: what is marked and
    // what the tree holds change, so the tree is walked again.
    std::vector<std::string> now = mounts_.below(options_.folder);
    if (now == mountsBelow_)
        return;
    mountsBelow_ = std::move(now);
    notice(QStringLiteral("A file system was mounted or unmounted in the tree; it was walked again."),
           QStringLiteral("В дереве смонтирована или отмонтирована файловая система; оно пройдено заново."));
    relearn(nullptr, nullptr);
}

bool TreeWatch::dropBacklog(const std::function<void()>& fullCheck)
{
    // As root the kernel's queue has no bound but this one: beyond it, what
    // waits is dropped, said, and the whole tree checked again.
    const std::size_t waiting = wholeFileSystem_ && backlogLimit_ != 0 ? events_.pendingEvents() : 0;
    const std::size_t limit = backlogLimit_ != SIZE_MAX
        ? backlogLimit_
        : std::max<std::size_t>(std::size_t {1} << 18, 2 * folders_.size());
    if (waiting <= limit)
        return false;
    events_.discard(waiting);
    notice(QStringLiteral("Events were lost (more waited than the watch keeps); a full check was made."),
           QStringLiteral("События потеряны (ожидало больше, чем наблюдение хранит); проведена полная проверка."));
    relearn(nullptr, fullCheck);
    return true;
}

} // namespace gw
