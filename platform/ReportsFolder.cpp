#include "platform/ReportsFolder.h"
#include "platform/SystemErrorText.h"

#include "platform/BackgroundClose.h"
#include "platform/InterruptCleanup.h"
#include "platform/PrintablePath.h"
#include "platform/WorkingFile.h"
#include "platform/WorkingFolder.h"

#include <QScopeGuard>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace gw {
namespace {

// Makes `dir` and its missing parents, mode 0700. Links among the parents are
// followed. Returns 0 or an errno value.
int makeFolders(const QByteArray& dir)
{
    struct stat st { };
    if (::stat(dir.constData(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    const qsizetype slash = dir.lastIndexOf('/');
    if (slash > 0) {
        if (const int error = makeFolders(dir.left(slash)))
            return error;
    }
    return ::mkdir(dir.constData(), 0700) == 0 || errno == EEXIST ? 0 : errno;
}

// The letters of a temporary file's suffix.
constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr int kSuffixLength = 6;
// A temporary file's mode while it is written: no file of the user's has it
// by chance, so one left behind by a killed run is told by it.
constexpr mode_t kWritingMode = 0200;

QByteArray randomSuffix()
{
    unsigned char bytes[kSuffixLength];
    if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
        static unsigned counter = 0;
        auto mix = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count())
            ^ (static_cast<unsigned long long>(::getpid()) << 20) ^ ++counter;
        for (unsigned char& b : bytes) {
            b = static_cast<unsigned char>(mix);
            mix = mix * 6364136223846793005ull + 1442695040888963407ull;
        }
    }
    QByteArray suffix(sizeof bytes, '\0');
    for (std::size_t i = 0; i < sizeof bytes; ++i)
        suffix[static_cast<qsizetype>(i)] = kLetters[bytes[i] % (sizeof kLetters - 1)];
    return suffix;
}

// Copies the first `size` bytes of `from` to the end of `to`, in the kernel
// where it can. Returns 0 or an errno value.
int copyAll(int from, qint64 size, int to)
{
    loff_t offset = 0;
    bool kernelCopy = true, sendFile = true;
    std::vector<char> buffer;
    // Copied a piece at a time, each piece sent on to the disk at once: the
    // disk writes the first while the next are copied, and the sync that
    // ends the report waits for the last pieces only.
    constexpr qint64 kPiece = qint64(8) << 20;
    const off_t start = std::max<off_t>(::lseek(to, 0, SEEK_CUR), 0); // where `to` takes the first byte
    loff_t sent = 0;
    while (offset < size) {
        if (offset - sent >= kPiece) {
            ::sync_file_range(to, start + sent, offset - sent, SYNC_FILE_RANGE_WRITE); // a hint: fdatasync tells
            sent = offset;
        }
        const std::size_t want = static_cast<std::size_t>(std::min<qint64>(size - offset, kPiece));
        ssize_t n = -1;
        if (kernelCopy) {
            n = ::copy_file_range(from, &offset, to, nullptr, want, 0);
            if (n < 0 && errno != EINTR && errno != EIO && errno != ENOSPC && errno != EDQUOT) {
                kernelCopy = false; // another file system, or not supported: by other means
                continue;
            }
        } else if (sendFile) {
            off_t at = offset;
            n = ::sendfile(to, from, &at, want);
            if (n > 0)
                offset = at;
            if (n < 0 && (errno == EINVAL || errno == ENOSYS)) {
                sendFile = false;
                continue;
            }
        } else {
            buffer.resize(1 << 20);
            n = ::pread(from, buffer.data(), std::min(want, buffer.size()), offset);
            if (n > 0) {
                if (const int error = writeAll(to, QByteArrayView(buffer.data(), n)))
                    return error;
                offset += n;
            }
        }
        if (n == 0)
            return EIO; // the source is shorter than it was said to be
        if (n < 0 && errno != EINTR)
            return errno;
    }
    return 0;
}

// True when `name` is one of the temporary files of `report`: the report's
// name, a dot and six letters or digits, as randomSuffix() makes them.
bool isTemporaryName(QByteArrayView name, const QByteArray& report)
{
    if (name.size() != report.size() + 1 + kSuffixLength || !name.startsWith(report) || name[report.size()] != '.')
        return false;
    const QByteArrayView suffix = name.last(kSuffixLength);
    return std::all_of(suffix.begin(), suffix.end(),
                       [](char c) { return c != '\0' && std::strchr(kLetters, c) != nullptr; });
}

// Removes the temporary files of `reports` that a run ended by SIGKILL (or a
// crash) left in the folder: regular files of the caller's, with a temporary
// file's name and mode and no other link. Names are looked at without
// following a link, and removed from the folder itself.
void removeLeftTemporaries(int dirFd, const std::vector<ReportsFolder::Report>& reports)
{
    const int listFd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = listFd < 0 ? nullptr : ::fdopendir(listFd);
    if (!dir) {
        if (listFd >= 0)
            ::close(listFd);
        return; // they stay, as they did before
    }
    std::vector<QByteArray> left;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArrayView name(entry->d_name);
        if (std::any_of(reports.begin(), reports.end(),
                        [&name](const ReportsFolder::Report& r) { return isTemporaryName(name, r.name); }))
            left.push_back(name.toByteArray());
    }
    ::closedir(dir);
    const uid_t me = ::geteuid();
    for (const QByteArray& name : left) {
        struct stat st { };
        if (::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) && st.st_uid == me
            && (st.st_mode & 07777) == kWritingMode && st.st_nlink == 1)
            ::unlinkat(dirFd, name.constData(), 0);
    }
}

// Removes `name` when it is a regular file; anything else stays.
void removeIfRegular(int dirFd, const char* name)
{
    struct stat st { };
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
        ::unlinkat(dirFd, name, 0);
}

// Removes the name `name`, held meanwhile (O_PATH: nothing is opened) where
// it is a regular file: freeing a large file's blocks then waits for the
// last reference to it, let go of while the run goes on. Returns 0 or an
// errno value (ENOENT when nothing had the name).
int unlinkHeld(int dirFd, const char* name)
{
    const int held = ::openat(dirFd, name, O_PATH | O_NOFOLLOW | O_CLOEXEC);
    struct stat st { };
    const bool regular = held >= 0 && ::fstat(held, &st) == 0 && S_ISREG(st.st_mode);
    const int error = ::unlinkat(dirFd, name, 0) == 0 ? 0 : errno;
    if (regular)
        closeInBackground(held);
    else if (held >= 0)
        ::close(held);
    return error;
}

// Renames `from` to `to` in the folder unless something is there already
// (EEXIST). A file system that cannot refuse in the rename itself has the
// name looked at just before.
int renameWithoutReplacing(int dirFd, const char* from, const char* to)
{
    if (::renameat2(dirFd, from, dirFd, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    struct stat st { };
    if (::fstatat(dirFd, to, &st, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    if (errno != ENOENT)
        return errno;
    return ::renameat(dirFd, from, dirFd, to) == 0 ? 0 : errno;
}

struct Temporary {
    QByteArray name;
    int slot = -1; // registered for removal by a signal
    bool marked = false; // its mode is kWritingMode until it is renamed in
};

// Writes one report to a new temporary file beside it and syncs it to disk.
// Returns 0 or an errno value; `temporary` names the file whenever one was made.
int writeTemporary(int dirFd, const ReportsFolder::Report& report, Temporary& temporary)
{
    // Disposable parts are closed once copied, or when it stops before them.
    std::size_t copied = 0;
    const auto closeTheRest = qScopeGuard([&] {
        for (std::size_t k = copied; k < report.parts.size(); ++k)
            report.parts[k].dispose();
    });
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        const QByteArray name = report.name + '.' + randomSuffix();
        // Registered before it exists, so that no moment leaves it behind.
        temporary.slot = InterruptCleanup::addFile(dirFd, name.constData());
        fd = ::openat(dirFd, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kWritingMode);
        if (fd >= 0) {
            temporary.name = name;
            break;
        }
        const int error = errno;
        InterruptCleanup::forget(temporary.slot);
        temporary.slot = -1;
        if (error != EEXIST || attempt >= 100)
            return error;
    }
    // The mode that marks it as unfinished, whatever the umask; a file system
    // without modes has none, and then the report keeps the one it was given.
    temporary.marked = ::fchmod(fd, kWritingMode) == 0;
    int error = 0;
    for (; copied < report.parts.size(); ++copied) {
        const ReportsFolder::Part& part = report.parts[copied];
        if (error == 0)
            error = part.error     ? part.error
                : part.source >= 0 ? copyAll(part.source, part.size, fd)
                                   : writeAll(fd, part.bytes);
        part.dispose(); // its pages go while this one is synced
    }
    if (error == 0 && ::fdatasync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    return error;
}

} // namespace

ReportsFolder::~ReportsFolder()
{
    if (fd_ >= 0)
        ::close(fd_);
    if (made_) {
        ::rmdir(path_.constData()); // fails, as it should, once a report is in it
        InterruptCleanup::forgetFolder();
    }
}

// Every folder on the way to `path`, as written and as resolved, must be one
// that only root or the caller may change (or a sticky one such as /tmp),
// and every link on the way must belong to root or the caller: otherwise
// another user could send this run's files, written as root perhaps, into a
// folder of their choice.
ReportsFolder::Outcome ReportsFolder::checkWay(const QByteArray& path)
{
    QByteArray absolute = path;
    if (!absolute.startsWith('/')) {
        std::string cwd(4096, '\0');
        while (!::getcwd(cwd.data(), cwd.size())) {
            if (errno != ERANGE) {
                error_ = errno;
                return Outcome::Failed;
            }
            cwd.resize(cwd.size() * 2);
        }
        absolute = QByteArray(cwd.c_str()) + '/' + absolute;
    }
    const uid_t me = ::geteuid();
    const auto trusted = [me](const struct stat& st) {
        return (st.st_uid == 0 || st.st_uid == me)
            && (S_ISLNK(st.st_mode) || (st.st_mode & (S_IWGRP | S_IWOTH)) == 0 || (st.st_mode & S_ISVTX) != 0);
    };
    const auto checkPrefixes = [&](const QByteArray& full) {
        for (qsizetype slash = full.indexOf('/', 1); slash > 0; slash = full.indexOf('/', slash + 1)) {
            const QByteArray prefix = full.left(slash);
            struct stat st { };
            if (::lstat(prefix.constData(), &st) != 0)
                return errno == ENOENT ? Outcome::Opened : (error_ = errno, Outcome::Failed);
            if (!trusted(st)) {
                untrusted_ = prefix;
                return Outcome::UntrustedPath;
            }
        }
        return Outcome::Opened;
    };
    if (const Outcome written = checkPrefixes(absolute); written != Outcome::Opened)
        return written;
    // Where the links lead: the parent as the system resolves it.
    const QByteArray parent = absolute.left(std::max<qsizetype>(absolute.lastIndexOf('/'), 1));
    if (char* resolved = ::realpath(parent.constData(), nullptr)) {
        const QByteArray real = QByteArray(resolved) + "/";
        std::free(resolved);
        return checkPrefixes(real);
    }
    return Outcome::Opened; // not there yet: it is made below a folder checked above
}

ReportsFolder::Outcome ReportsFolder::lookAt(const QByteArray& path, QByteArray& bare, bool& exists)
{
    path_ = path;
    // With a trailing slash the system would follow a link in the last name.
    bare = path;
    while (bare.size() > 1 && bare.endsWith('/'))
        bare.chop(1);
    if (const Outcome way = checkWay(bare); way != Outcome::Opened)
        return way;
    struct stat st { };
    exists = ::lstat(bare.constData(), &st) == 0;
    if (exists) {
        if (S_ISLNK(st.st_mode))
            return Outcome::SymbolicLink;
        if (!S_ISDIR(st.st_mode)) {
            error_ = ENOTDIR;
            return Outcome::Failed;
        }
    } else if (errno != ENOENT) {
        error_ = errno;
        return Outcome::Failed;
    }
    return Outcome::Opened;
}

ReportsFolder::Outcome ReportsFolder::open(const QByteArray& path)
{
    QByteArray bare;
    bool exists = false;
    if (const Outcome seen = lookAt(path, bare, exists); seen != Outcome::Opened)
        return seen;
    if (!exists && (error_ = makeFolders(bare)) != 0)
        return Outcome::Failed;
    return openMade(bare);
}

ReportsFolder::Outcome ReportsFolder::check(const QByteArray& path)
{
    QByteArray bare;
    bool exists = false;
    if (const Outcome seen = lookAt(path, bare, exists); seen != Outcome::Opened)
        return seen;
    if (exists) {
        const Outcome outcome = openMade(bare);
        if (fd_ >= 0) // which ends the lock
            ::close(fd_);
        fd_ = -1;
        return outcome;
    }
    // It would be made, with its missing parents, in the nearest folder that
    // exists, as makeFolders() looks for it.
    QByteArray existing = bare;
    struct stat st { };
    while (::stat(existing.constData(), &st) != 0) {
        if (errno != ENOENT) {
            error_ = errno;
            return Outcome::Failed;
        }
        const qsizetype slash = existing.lastIndexOf('/');
        existing = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : existing.left(slash);
    }
    if (!S_ISDIR(st.st_mode)) {
        error_ = ENOTDIR;
        return Outcome::Failed;
    }
    if (::faccessat(AT_FDCWD, existing.constData(), W_OK | X_OK, AT_EACCESS) != 0) {
        error_ = errno;
        return Outcome::Failed;
    }
    return Outcome::Opened;
}

ReportsFolder::Outcome ReportsFolder::makePrivate()
{
    // The temporary folder must be as safe a way as a reports folder's:
    // whoever may change it could swap the run's folder for a forged one.
    path_ = WorkingFolder::base();
    if (const Outcome way = checkWay(path_ + "/grantwise-"); way != Outcome::Opened)
        return way;
    QByteArray made;
    {
        // A signal between making the folder and registering it would leave it.
        InterruptCleanup::Hold hold;
        made = WorkingFolder::create();
        if (made.isEmpty()) {
            error_ = errno;
            path_.clear(); // nothing was made
            return Outcome::Failed;
        }
        InterruptCleanup::setFolder(made.constData());
    }
    made_ = true;
    path_ = made;
    return openMade(made);
}

ReportsFolder::Outcome ReportsFolder::openMade(const QByteArray& path)
{
    const auto refuse = [this](Outcome outcome, int error = 0) {
        error_ = error;
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        return outcome;
    };
    fd_ = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd_ < 0) {
        const int error = errno;
        struct stat st { };
        if (error == ELOOP && ::lstat(path.constData(), &st) == 0 && S_ISLNK(st.st_mode))
            return refuse(Outcome::SymbolicLink);
        return refuse(Outcome::Failed, error);
    }
    struct stat st { };
    if (::fstat(fd_, &st) != 0)
        return refuse(Outcome::Failed, errno);
    if (st.st_uid != ::geteuid())
        return refuse(Outcome::NotOwned);
    if (st.st_mode & S_IWOTH)
        return refuse(Outcome::OthersWritable);
    if (st.st_mode & S_IWGRP)
        return refuse(Outcome::GroupWritable);
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0)
        return errno == EWOULDBLOCK ? refuse(Outcome::InUse) : refuse(Outcome::Failed, errno);
    const std::optional<ExcludedFolder> excluded = excludedFolder(fd_);
    if (!excluded)
        return refuse(Outcome::Failed, errno);
    identity_ = excluded->folder;
    parent_ = excluded->parent;
    return Outcome::Opened;
}

int ReportsFolder::unnamedFile()
{
    const int fd = ::openat(fd_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT))
        return fd;
    // Without O_TMPFILE: a named file, removed at once, and by a signal until then.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = ".spool." + randomSuffix();
        const int slot = InterruptCleanup::addFile(fd_, name.constData());
        const int named = ::openat(fd_, name.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        const int error = errno;
        if (named >= 0)
            ::unlinkat(fd_, name.constData(), 0);
        InterruptCleanup::forget(slot);
        if (named >= 0 || error != EEXIST) {
            errno = error;
            return named;
        }
    }
    errno = EEXIST;
    return -1;
}

void ReportsFolder::remove(const char* name)
{
    struct stat st { };
    if (fd_ >= 0 && ::fstatat(fd_, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
        ::unlinkat(fd_, name, 0);
}

void ReportsFolder::Part::dispose() const
{
    if (disposable && source >= 0)
        closeInBackground(source);
}

void ReportsFolder::dispose(const std::vector<Report>& reports, std::size_t from)
{
    for (std::size_t i = from; i < reports.size(); ++i)
        for (const Part& part : reports[i].parts)
            part.dispose();
}

int ReportsFolder::replace(const std::vector<Report>& reports, QByteArray& failedName)
{
    // The disposable parts of reports not written, when the replacement
    // stops before them.
    std::size_t written = 0;
    const auto closeTheRest = qScopeGuard([&] { dispose(reports, written); });
    occupant_ = 0;
    removeLeftTemporaries(fd_, reports);
    std::vector<Temporary> temporaries(reports.size());
    std::vector<int> finalSlots;
    const auto giveUp = [&](std::size_t index, int error) {
        failedName = reports[index].name;
        for (Temporary& t : temporaries) {
            if (!t.name.isEmpty())
                ::unlinkat(fd_, t.name.constData(), 0);
            InterruptCleanup::forget(t.slot);
        }
        for (const Report& r : reports)
            removeIfRegular(fd_, r.name.constData());
        for (int slot : finalSlots)
            InterruptCleanup::forget(slot);
        return error;
    };
    // What stands in a report's place, when it is not a regular file, is
    // never replaced: looked at before the writing, which may take long, and
    // again just before the earlier report is removed.
    const auto inTheWay = [this, &reports](std::size_t i) { return occupiedBy(reports[i].name); };
    for (std::size_t i = 0; i < reports.size(); ++i) {
        if (const int error = inTheWay(i))
            return giveUp(i, error);
    }

    for (std::size_t i = 0; i < reports.size(); ++i) {
        const int error = writeTemporary(fd_, reports[i], temporaries[i]);
        written = i + 1; // its parts are closed
        if (error)
            return giveUp(i, error);
    }
    // From here on a signal removes the earlier and the new reports alike, so
    // that an interrupted replacement leaves no mixed set.
    for (const Report& r : reports)
        finalSlots.push_back(InterruptCleanup::addFile(fd_, r.name.constData()));
    for (std::size_t i = 0; i < reports.size(); ++i) {
        if (const int error = inTheWay(i))
            return giveUp(i, error);
        if (const int error = unlinkHeld(fd_, reports[i].name.constData()); error != 0 && error != ENOENT)
            return giveUp(i, error);
    }
    for (std::size_t i = 0; i < reports.size(); ++i) {
        // A report's own mode, given only now: until it has its name, a
        // temporary file is told by its mode as one a killed run left. Where
        // the mode could not be set before, a failure here changes nothing.
        if (::fchmodat(fd_, temporaries[i].name.constData(), 0600, 0) != 0 && temporaries[i].marked)
            return giveUp(i, errno);
        if (const int error = renameWithoutReplacing(fd_, temporaries[i].name.constData(),
                                                     reports[i].name.constData())) {
            if (error == EEXIST) // something took the name meanwhile: it stays
                (void)inTheWay(i);
            return giveUp(i, error);
        }
        InterruptCleanup::forget(temporaries[i].slot);
        temporaries[i] = Temporary {};
    }
    for (int slot : finalSlots)
        InterruptCleanup::forget(slot);
    return 0;
}

int ReportsFolder::occupiedBy(const QByteArray& name)
{
    struct stat st { };
    if (::fstatat(fd_, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? 0 : errno;
    if (S_ISREG(st.st_mode))
        return 0;
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    occupant_ = st.st_mode & S_IFMT;
    return EEXIST;
}

int ReportsFolder::replaceKeeping(const Report& report)
{
    occupant_ = 0;
    const std::vector<Report> one {report};
    removeLeftTemporaries(fd_, one);
    Temporary temporary;
    const auto giveUp = [&](int error) {
        if (!temporary.name.isEmpty())
            ::unlinkat(fd_, temporary.name.constData(), 0);
        InterruptCleanup::forget(temporary.slot);
        return error;
    };
    if (const int error = occupiedBy(report.name)) {
        dispose(one);
        return error;
    }
    if (const int error = writeTemporary(fd_, report, temporary))
        return giveUp(error);
    if (::fchmodat(fd_, temporary.name.constData(), 0600, 0) != 0 && temporary.marked)
        return giveUp(errno);
    // One rename puts the new file in the earlier one's place: there is no
    // moment without either, and a signal removes only the temporary file.
    if (const int error = occupiedBy(report.name))
        return giveUp(error);
    if (::renameat(fd_, temporary.name.constData(), fd_, report.name.constData()) != 0)
        return giveUp(errno);
    InterruptCleanup::forget(temporary.slot);
    // The rename itself on the disk, so that a crash now leaves the new file.
    // The new file is in place and synced whatever this says: a failure here
    // is no failure of the replacement, which could not be taken back.
    (void)::fsync(fd_);
    return 0;
}

std::string ReportsFolder::failureText(int error, Language language) const
{
    return error == EEXIST && occupant_ != 0 ? notRegularText(occupant_, language) : systemErrorText(error, language);
}

std::string notRegularText(unsigned mode, Language language)
{
    const bool ru = language == Language::Russian;
    const char* kind = S_ISLNK(mode) ? (ru ? "символьная ссылка" : "a symbolic link")
        : S_ISFIFO(mode)             ? (ru ? "FIFO" : "a FIFO")
        : S_ISSOCK(mode)             ? (ru ? "сокет" : "a socket")
        : S_ISCHR(mode)              ? (ru ? "символьное устройство" : "a character device")
        : S_ISBLK(mode)              ? (ru ? "блочное устройство" : "a block device")
        : S_ISDIR(mode)              ? (ru ? "папка" : "a folder")
                                     : nullptr;
    if (ru)
        return kind ? std::string("это ") + kind + ", а не обычный файл" : std::string("это не обычный файл");
    return kind ? std::string("it is ") + kind + ", not a regular file" : std::string("it is not a regular file");
}

std::string ReportsFolder::refusal(Outcome outcome, const std::string& what, Language language, const char* verb) const
{
    const bool ru = language == Language::Russian;
    const std::string dir = printable(std::string_view(path_.constData(), static_cast<std::size_t>(path_.size())));
    const std::string cannot = std::string(verb     ? verb
                                               : ru ? "не удалось записать "
                                                    : "cannot write ")
        + what + (ru ? " в " : " in ") + dir + ": ";
    switch (outcome) {
    case Outcome::Opened:
    case Outcome::Failed: break;
    case Outcome::UntrustedPath:
        return cannot + printable(std::string_view(untrusted_.constData(), static_cast<std::size_t>(untrusted_.size())))
            + (ru ? " может изменить другой пользователь" : " may be changed by another user");
    case Outcome::InUse:
        if (ru)
            return "папка " + dir + " занята другой проверкой";
        return (what == "the reports" ? "reports folder " : "folder ") + dir + " is in use by another check";
    case Outcome::SymbolicLink: return cannot + (ru ? "это символьная ссылка" : "it is a symbolic link");
    case Outcome::NotOwned:
        return cannot + (ru ? "она принадлежит другому пользователю" : "it belongs to another user");
    case Outcome::GroupWritable:
        return cannot
            + (ru ? "в неё может писать её группа или пользователь или группа, названные в её ACL"
                  : "its group, or a user or group named in its ACL, may write in it");
    case Outcome::OthersWritable:
        return cannot + (ru ? "в неё могут писать другие пользователи" : "other users may write in it");
    }
    return cannot + systemErrorText(error_, language);
}

} // namespace gw
