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
#include <sys/stat.h>
#include <unistd.h>

namespace gw {
namespace {

// Makes `dir` and its missing parents, mode 0700. Links among the parents are
// followed. Returns 0 or an errno value.
int makeFolders(const QByteArray& dir)
{
    struct stat st {};
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
    for (QByteArrayView part : report.parts) {
        if (error == 0)
            error = writeAll(fd, part);
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

ReportsFolder::Outcome ReportsFolder::open(const QByteArray& path)
{
    path_ = path;
    // With a trailing slash the system would follow a link in the last name.
    QByteArray bare = path;
    while (bare.size() > 1 && bare.endsWith('/'))
        bare.chop(1);
    struct stat st {};
    if (::lstat(bare.constData(), &st) == 0) {
        if (S_ISLNK(st.st_mode))
            return Outcome::SymbolicLink;
        if (!S_ISDIR(st.st_mode)) {
            error_ = ENOTDIR;
            return Outcome::Failed;
        }
    } else if (errno != ENOENT) {
        error_ = errno;
        return Outcome::Failed;
    } else if ((error_ = makeFolders(bare)) != 0) {
        return Outcome::Failed;
    }
    return openMade(bare);
}

ReportsFolder::Outcome ReportsFolder::makePrivate()
{
    QByteArray made;
    {
        // A signal between making the folder and registering it would leave it.
        InterruptCleanup::Hold hold;
        made = WorkingFolder::create();
        if (made.isEmpty()) {
            error_ = errno;
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
        struct stat st {};
        if (error == ELOOP && ::lstat(path.constData(), &st) == 0 && S_ISLNK(st.st_mode))
            return refuse(Outcome::SymbolicLink);
        return refuse(Outcome::Failed, error);
    }
    struct stat st {};
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
    identity_ = FolderIdentity {st.st_dev, st.st_ino};
    return Outcome::Opened;
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
    case Outcome::Failed:
        break;
    case Outcome::InUse:
        return (what == "the reports" ? "reports folder " : "folder ") + dir + " is in use by another check";
    case Outcome::SymbolicLink:
        return "cannot write " + what + " in " + dir + ": it is a symbolic link";
    case Outcome::NotOwned:
        return "cannot write " + what + " in " + dir + ": it belongs to another user";
    case Outcome::GroupWritable:
        return "cannot write " + what + " in " + dir + ": its group may write in it";
    case Outcome::OthersWritable:
        return "cannot write " + what + " in " + dir + ": other users may write in it";
    }
    return "cannot write " + what + " in " + dir + ": " + std::strerror(error_);
}

} // namespace gw
