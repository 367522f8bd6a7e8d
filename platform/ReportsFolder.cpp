#include "platform/ReportsFolder.h"

#include "platform/InterruptCleanup.h"
#include "platform/PrintablePath.h"
#include "platform/WorkingFile.h"
#include "platform/WorkingFolder.h"

#include <cerrno>
#include <chrono>
#include <cstring>
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

QByteArray randomSuffix()
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[6];
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
        suffix[static_cast<qsizetype>(i)] = letters[bytes[i] % (sizeof letters - 1)];
    return suffix;
}

// Copies the first `size` bytes of `from` to the end of `to`, in the kernel
// where it can. Returns 0 or an errno value.
int copyAll(int from, qint64 size, int to)
{
    loff_t offset = 0;
    bool kernelCopy = true, sendFile = true;
    std::vector<char> buffer;
    while (offset < size) {
        const std::size_t want = static_cast<std::size_t>(std::min<qint64>(size - offset, qint64(1) << 30));
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

struct Temporary {
    QByteArray name;
    int slot = -1; // registered for removal by a signal
};

// Writes one report to a new temporary file beside it and syncs it to disk.
// Returns 0 or an errno value; `temporary` names the file whenever one was made.
int writeTemporary(int dirFd, const ReportsFolder::Report& report, Temporary& temporary)
{
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        const QByteArray name = report.name + '.' + randomSuffix();
        // Registered before it exists, so that no moment leaves it behind.
        temporary.slot = InterruptCleanup::addFile(dirFd, name.constData());
        fd = ::openat(dirFd, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
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
    int error = 0;
    for (const ReportsFolder::Part& part : report.parts) {
        if (error == 0)
            error = part.error     ? part.error
                : part.source >= 0 ? copyAll(part.source, part.size, fd)
                                   : writeAll(fd, part.bytes);
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

int ReportsFolder::replace(const std::vector<Report>& reports, QByteArray& failedName)
{
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
            ::unlinkat(fd_, r.name.constData(), 0);
        for (int slot : finalSlots)
            InterruptCleanup::forget(slot);
        return error;
    };

    for (std::size_t i = 0; i < reports.size(); ++i) {
        if (const int error = writeTemporary(fd_, reports[i], temporaries[i]))
            return giveUp(i, error);
    }
    // From here on a signal removes the earlier and the new reports alike, so
    // that an interrupted replacement leaves no mixed set.
    for (const Report& r : reports)
        finalSlots.push_back(InterruptCleanup::addFile(fd_, r.name.constData()));
    for (std::size_t i = 0; i < reports.size(); ++i) {
        if (::unlinkat(fd_, reports[i].name.constData(), 0) != 0 && errno != ENOENT)
            return giveUp(i, errno);
    }
    for (std::size_t i = 0; i < reports.size(); ++i) {
        if (::renameat(fd_, temporaries[i].name.constData(), fd_, reports[i].name.constData()) != 0)
            return giveUp(i, errno);
        InterruptCleanup::forget(temporaries[i].slot);
        temporaries[i] = Temporary {};
    }
    for (int slot : finalSlots)
        InterruptCleanup::forget(slot);
    return 0;
}

std::string ReportsFolder::refusal(Outcome outcome, const std::string& what) const
{
    const std::string dir = printable(std::string_view(path_.constData(), static_cast<std::size_t>(path_.size())));
    switch (outcome) {
    case Outcome::Opened:
    case Outcome::Failed: break;
    case Outcome::UntrustedPath:
        return "cannot write " + what + " in " + dir + ": "
            + printable(std::string_view(untrusted_.constData(), static_cast<std::size_t>(untrusted_.size())))
            + " may be changed by another user";
    case Outcome::InUse:
        return (what == "the reports" ? "reports folder " : "folder ") + dir + " is in use by another check";
    case Outcome::SymbolicLink: return "cannot write " + what + " in " + dir + ": it is a symbolic link";
    case Outcome::NotOwned: return "cannot write " + what + " in " + dir + ": it belongs to another user";
    case Outcome::GroupWritable:
        return "cannot write " + what + " in " + dir
            + ": its group, or a user or group named in its ACL, may write in it";
    case Outcome::OthersWritable: return "cannot write " + what + " in " + dir + ": other users may write in it";
    }
    return "cannot write " + what + " in " + dir + ": " + std::strerror(error_);
}

} // namespace gw
