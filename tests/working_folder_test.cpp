#include "TempTree.h"
#include "engine/paced/CheckState.h"
#include "platform/ReportsFolder.h"
#include "platform/WorkingFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace gw;

namespace {
mode_t modeOf(const QByteArray& path)
{
    struct stat st { };
    EXPECT_EQ(::lstat(path.constData(), &st), 0) << path.constData();
    return st.st_mode & 07777;
}
bool exists(const QByteArray& path)
{
    struct stat st { };
    return ::lstat(path.constData(), &st) == 0;
}
} // namespace

TEST(WorkingFolder, PrivatePerRunAndRemovedAtClose)
{
    gwtest::TempTree t;
    ::setenv("TMPDIR", (t.root() + "/").c_str(), 1);
    CheckState a, b;
    FormShowDefaults(a);
    FormShowDefaults(b);
    ::unsetenv("TMPDIR");
    ASSERT_FALSE(a.WinDir.isEmpty());
    EXPECT_TRUE(a.WinDir.startsWith(QByteArray::fromStdString(t.root() + "/grantwise-")));
    EXPECT_NE(a.WinDir, b.WinDir);
    EXPECT_EQ(modeOf(a.WinDir), 0700u);
    EXPECT_EQ(a.SpeedFactor, 8);
    EXPECT_EQ(a.Lang, "RU");
    EXPECT_EQ(a.WarnCaption, "ПРЕДУПРЕЖДЕНИЕ.");

    // A second show keeps the folder of the run.
    const QByteArray first = a.WinDir;
    FormShowDefaults(a);
    EXPECT_EQ(a.WinDir, first);

    // Closing with no check run deletes nothing and removes the empty folder.
    FormClose(b);
    EXPECT_FALSE(exists(b.WinDir));

    // Closing after a check deletes the three files and then the folder.
    for (const QByteArray& f : {WorkingFolder::fullReportFile(a.WinDir), WorkingFolder::referenceFile(a.WinDir),
                                WorkingFolder::mismatchFile(a.WinDir)})
        ::close(::open(f.constData(), O_CREAT | O_WRONLY, 0600));
    FormClose(a);
    EXPECT_FALSE(exists(WorkingFolder::fullReportFile(a.WinDir)));
    EXPECT_FALSE(exists(a.WinDir));
}

TEST(WorkingFolder, ForeignFilesKeepTheFolder)
{
    gwtest::TempTree t;
    ::setenv("TMPDIR", t.root().c_str(), 1);
    const QByteArray dir = WorkingFolder::create();
    ::unsetenv("TMPDIR");
    ::close(::open(WorkingFolder::fullReportFile(dir).constData(), O_CREAT | O_WRONLY, 0600));
    ::close(::open((dir + "/other").constData(), O_CREAT | O_WRONLY, 0600));
    WorkingFolder::remove(dir);
    EXPECT_FALSE(exists(WorkingFolder::fullReportFile(dir)));
    EXPECT_TRUE(exists(dir + "/other"));
}

// A report's text spooled in a file without a name is the report's to close
// once copied: closed whether the reports are written or refused, so that a
// run never keeps a large spool's room, nor its descriptor.
TEST(ReportsFolder, SpoolsHandedToTheReportsAreClosedWhateverHappens)
{
    gwtest::TempTree t;
    gw::ReportsFolder folder;
    ASSERT_EQ(folder.open(QByteArray::fromStdString(t.path("r"))), gw::ReportsFolder::Outcome::Opened);
    const auto spool = [&folder](const char* text) {
        const int fd = folder.unnamedFile();
        EXPECT_GE(fd, 0);
        EXPECT_EQ(::write(fd, text, std::strlen(text)), static_cast<ssize_t>(std::strlen(text)));
        return fd;
    };
    const auto closedSoon = [](int fd) {
        for (int i = 0; i < 200 && ::fcntl(fd, F_GETFD) != -1; ++i)
            ::usleep(10000);
        return ::fcntl(fd, F_GETFD) == -1 && errno == EBADF;
    };
    QByteArray failed;
    // Written: the spools' text follows each head, and the earlier report of
    // the name is replaced.
    {
        const std::string earlier = t.path("r/a.txt");
        const int fd = ::open(earlier.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, "earlier", 7), 7);
        ::close(fd);
    }
    int one = spool("body one\n"), two = spool("body two\n");
    ASSERT_EQ(folder.replace({{"a.txt", {QByteArrayView("head\n"), gw::ReportsFolder::Part::copyOf(one, 9, 0, true)}},
                              {"b.txt", {gw::ReportsFolder::Part::copyOf(two, 9, 0, true)}}},
                             failed),
              0);
    EXPECT_EQ(gwtest::readFile(t.path("r/a.txt")), "head\nbody one\n");
    EXPECT_EQ(gwtest::readFile(t.path("r/b.txt")), "body two\n");
    EXPECT_TRUE(closedSoon(one));
    EXPECT_TRUE(closedSoon(two));
    // Refused before anything is written (a folder has the second name):
    // both are closed all the same.
    t.mkdir("r/d.txt");
    one = spool("x\n");
    two = spool("y\n");
    EXPECT_EQ(folder.replace({{"c.txt", {gw::ReportsFolder::Part::copyOf(one, 2, 0, true)}},
                              {"d.txt", {gw::ReportsFolder::Part::copyOf(two, 2, 0, true)}}},
                             failed),
              EISDIR);
    EXPECT_TRUE(closedSoon(one));
    EXPECT_TRUE(closedSoon(two));
}
