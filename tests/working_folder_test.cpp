#include "TempTree.h"
#include "engine/CheckState.h"
#include "platform/WorkingFolder.h"

#include <gtest/gtest.h>

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
