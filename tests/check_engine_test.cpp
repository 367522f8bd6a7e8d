// Whole checks without windows: real trees, real ACLs, real grantwise-acl.

#include "RecordingView.h"
#include "TempTree.h"
#include "engine/paced/CheckEngine.h"
#include "engine/paced/ReadVerification.h"
#include "engine/run/BatchCheck.h"
#include "platform/ReportsFolder.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QRegularExpression>

#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace gw;
using gwtest::RecordingView;
using gwtest::TempTree;

namespace {

const TimeFormat kFormat = TimeFormat::fromPattern("%T", "", "");

class CheckTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::setenv("TMPDIR", work.root().c_str(), 1);
        engine.FormShow();
        ::unsetenv("TMPDIR");
        engine.setListingProgram(QByteArray::fromStdString(gwtest::aclProgram()));
        engine.setWaitLimits(std::chrono::milliseconds(123450), std::chrono::milliseconds(123450));
    }
    void TearDown() override { engine.FormClose(); }

    std::string report(const QByteArray& path) const
    {
        const std::string text = gwtest::readFile(path.toStdString());
        // The first line holds the time and the date of the report.
        const std::size_t start = text.find(".  "), end = text.find("\r\n");
        return start == std::string::npos ? text : text.substr(0, start) + ".  T  D" + text.substr(end);
    }
    QString text(Control c) { return view.text(c); }

    TempTree work; // the working folder's parent
    TempTree t; // the folders to check
    RecordingView view;
    CheckEngine engine {view, kFormat};
    int viewSet = (view.engine = &engine, 0);
};

std::string block(const std::string& path, const std::string& entries)
{
    return path + " " + entries;
}

const std::string kEntries = "user root (owner):rwx\r\nuser 12345:r-x\r\ngroup root (owner):r-x\r\nmask:r-x\r\n"
                             "other:r-x\r\n";

} // namespace

TEST_F(CheckTest, AllEqualGivesGreenAndExactReports)
{
    for (const char* d : {"A/A1", "B"})
        t.mkdir(d);
    gwtest::setfacl({"-R", "-m", "u:12345:r-x", t.root()});
    view.answers = {};
    engine.state().Lang = "EN";
    gwtest::runCheck(engine, view, t.root(), true);

    const std::string r = t.root();
    EXPECT_EQ(engine.state().ReportHeader.toStdString(),
              "The checked folder is " + r + "\r\n\r\nIt contains 3 subfolders\r\nThe max subfolder level - 2");
    EXPECT_TRUE(view.asked.empty());
    EXPECT_EQ(engine.state().MismatchCount, 0);
    EXPECT_EQ(view.light, Light::Green);
    EXPECT_EQ(text(Control::RichEdit3),
              "There are no mismatches between POSIX permissions of the checked folder and "
              "the subfolders. POSIX permissions of all the folders are the same. The details "
              "are in the report.");
    EXPECT_TRUE(view.enabled[Control::Button1] && view.enabled[Control::Button4] && view.visible[Control::GroupBox5]);
    EXPECT_FALSE(view.timer(Timer::Timer4));

    const std::string summary = "The target folder is: " + r
        + "\r\n\r\nIt contains 3 subfolders.\r\n"
          "Max subfolder level is:2\r\n\r\n\r\nPOSIX permissions of target folder are:\r\n\r\n "
        + kEntries + "\r\n" + "\r\n\r\n\r\n\r\n\r\n\r\n";
    EXPECT_EQ(report(engine.dumpPath()),
              "Full detail report.  T  D\r\n\r\n\r\n" + summary + "POSIX permissions of subfolders are:\r\n\r\n\r\n"
                  + block(r, kEntries) + "\r\n" + block(r + "/A", kEntries) + "\r\n" + block(r + "/A/A1", kEntries)
                  + "\r\n" + block(r + "/B", kEntries) + "\r\n");
    EXPECT_EQ(report(engine.mismatchPath()),
              "Mismatches report.  T  D\r\n\r\n\r\n" + summary
                  + "The all subfolders have the same POSIX permissions like target folder.\r\n\r\n\r\n\r\n");
    struct stat st { };
    ASSERT_EQ(::stat(engine.mismatchPath().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // The scan text, exactly.
    const QString scan = text(Control::RichEdit1);
    const QString expectedTail = "\r\n\r\n" + QString::fromStdString(r) + "\r\n     " + QString::fromStdString(r)
        + "/A\r\n          " + QString::fromStdString(r) + "/A/A1\r\n     " + QString::fromStdString(r) + "/B";
    EXPECT_TRUE(scan.startsWith(engine.state().ReportHeader + "\r\nProcessing time  - 00:00:0")) << scan.toStdString();
    EXPECT_TRUE(scan.endsWith(expectedTail)) << scan.toStdString();

    // The report buttons open their own files.
    engine.Button1Click();
    engine.Button4Click();
    EXPECT_EQ(view.opened, (std::vector<QByteArray> {engine.dumpPath(), engine.mismatchPath()}));
}

TEST_F(CheckTest, EachKindOfDifferenceIsOneWholeMismatchingBlock)
{
    for (const char* d : {"same", "extra", "missing", "changed", "default", "owner"})
        t.mkdir(d);
    gwtest::setfacl({"-R", "-m", "u:12345:r-x,g:12345:rwx", t.root()});
    gwtest::setfacl({"-m", "u:12346:r--", t.path("extra")});
    gwtest::setfacl({"-x", "g:12345", t.path("missing")});
    gwtest::setfacl({"-m", "u:12345:rwx", t.path("changed")});
    gwtest::setfacl({"-d", "-m", "u:12345:rwx", t.path("default")});
    ASSERT_EQ(::chown(t.path("owner").c_str(), 65534, static_cast<gid_t>(-1)), 0);
    gwtest::runCheck(engine, view, t.root());

    EXPECT_EQ(engine.state().MismatchCount, 5);
    EXPECT_EQ(view.light, Light::Red);
    const std::string mismatches = report(engine.mismatchPath());
    EXPECT_NE(mismatches.find("Mismatches have been found. The number of mismatches is:   5.\r\n\r\n\r\n\r\n"),
              std::string::npos);
    for (const char* d : {"extra", "missing", "changed", "default", "owner"})
        EXPECT_NE(mismatches.find("\r\n" + t.path(d) + " user "), std::string::npos) << d;
    EXPECT_EQ(mismatches.find(t.path("same") + " "), std::string::npos);
    EXPECT_NE(mismatches.find(t.path("default")
                              + " user root (owner):rwx\r\nuser 12345:r-x\r\ngroup root (owner):r-x"
                                "\r\ngroup 12345:rwx\r\nmask:rwx\r\nother:r-x\r\ncreator owner:(default)rwx"
                                "\r\nuser 12345:(default)rwx\r\n"),
              std::string::npos);
    EXPECT_NE(mismatches.find(t.path("owner") + " user nobody (owner):rwx\r\n"), std::string::npos);
    EXPECT_EQ(text(Control::RichEdit3).toStdString(),
              "Обнаружены несоответствия POSIX разрешений вложенных папок разрешениям проверяемой папки. "
              "Количество несоответствий: 5. Подробности смотрите в отчете.");

    // What differs, entry by entry, and the fix for it.
    EXPECT_TRUE(view.enabled[Control::Menu_File_Differences] && view.enabled[Control::Menu_File_FixFile]);
    const std::string differences = gwtest::readFile(engine.differencesPath().toStdString());
    EXPECT_NE(differences.find("5 folders differ from the checked folder; the differences start in 5 places.\n"),
              std::string::npos);
    EXPECT_NE(differences.find("\n" + t.path("owner") + "\n    ~ user root (owner):rwx -> user nobody (owner):rwx\n"),
              std::string::npos)
        << differences;
    EXPECT_NE(differences.find("\n" + t.path("missing") + "\n    - group 12345:rwx\n"), std::string::npos);
    EXPECT_TRUE(engine.saveFixFile(QByteArray::fromStdString(work.path("fix.acl"))).isEmpty());
    const std::string fix = gwtest::readFile(work.path("fix.acl"));
    EXPECT_NE(fix.find("# file: " + t.path("owner") + "\n# owner: 0\nuser::rwx\nuser:12345:r-x\n"), std::string::npos)
        << fix;
    // Its refusals speak the window's language.
    EXPECT_EQ(
        engine.saveFixFile(QByteArray::fromStdString(work.path("fix.acl/"))),
        QString::fromStdString("Не удалось записать файл исправления " + work.path("fix.acl/") + ": это не имя файла"));
    ASSERT_EQ(::mkfifo(work.path("fifo.acl").c_str(), 0600), 0);
    EXPECT_EQ(engine.saveFixFile(QByteArray::fromStdString(work.path("fifo.acl"))),
              QString::fromStdString("Не удалось записать " + work.path("fifo.acl") + ": это FIFO, а не обычный файл"));
    engine.state().Lang = "EN";
    EXPECT_EQ(engine.saveFixFile(QByteArray::fromStdString(work.path("fix.acl/"))),
              QString::fromStdString("Cannot write the fix file " + work.path("fix.acl/") + ": not a file name"));
    EXPECT_EQ(engine.saveFixFile(QByteArray::fromStdString(work.path("fifo.acl"))),
              QString::fromStdString("Cannot write " + work.path("fifo.acl") + ": it is a FIFO, not a regular file"));
    engine.state().Lang = "RU";
    // A new check: nothing to open or save until it ends.
    engine.Button2Click();
    EXPECT_FALSE(view.enabled[Control::Menu_File_Differences] || view.enabled[Control::Menu_File_FixFile]);
}

TEST_F(CheckTest, LostListingWarnsRetriesAndThenSaysWhatWasNotRead)
{
    for (const char* d : {"a", "b", "c", "d", "e", "f", "gone"})
        t.mkdir(d); // eight folders with the root
    engine.ShellTreeView1Change(QByteArray::fromStdString(t.root()));
    engine.Button7Click();
    ASSERT_EQ(::rmdir(t.path("gone").c_str()), 0); // vanishes between scan and reading
    view.answers = {true, false};
    bool switched = false;
    view.onEvents = [&] {
        if (!view.asked.empty() && !switched) { // the second box comes in English
            engine.state().Lang = "EN";
            setWarningTexts(engine.state(), true);
            switched = true;
        }
    };
    engine.Button2Click();
    gwtest::runTimers(engine, view);

    ASSERT_EQ(view.asked.size(), 2u);
    EXPECT_EQ(view.asked[0].first, "ПРЕДУПРЕЖДЕНИЕ.");
    EXPECT_TRUE(view.asked[0].second.startsWith("В ходе проверки обнаружено:  12% информации НЕ БЫЛО ПРОЧИТАНО. \r\n"));
    EXPECT_EQ(view.asked[1].first, "WARNING.");
    EXPECT_TRUE(view.asked[1].second.startsWith("It is found out during the handling:  12% of data HES BEEN MISSED."));
    EXPECT_EQ(view.slider, 4); // the Yes moved the slider one stop towards slow
    EXPECT_EQ(engine.state().SpeedFactor, 16);
    EXPECT_EQ(view.intervals[Timer::Timer1], 400);
    EXPECT_EQ(engine.state().MismatchCount, 0);
    EXPECT_EQ(view.light, Light::Red);
    EXPECT_TRUE(text(Control::RichEdit3).startsWith("There are no mismatches"));
    EXPECT_TRUE(
        text(Control::RichEdit3)
            .endsWith(" The permissions of 1 folder were not read and not compared. The details are in the report."));
    EXPECT_NE(report(engine.mismatchPath()).find("The permissions of 1 folder were not read and not compared.\r\n"),
              std::string::npos);
}

TEST_F(CheckTest, AFolderSwappedForALinkIsNotReadThroughIt)
{
    for (const char* d : {"a/x", "b"})
        t.mkdir(d);
    work.mkdir("elsewhere/x"); // the same permissions as every folder checked
    engine.ShellTreeView1Change(QByteArray::fromStdString(t.root()));
    engine.Button7Click();
    // Between the scan and the reading "a" is moved aside and a link takes its place.
    ASSERT_EQ(::rename(t.path("a").c_str(), t.path(".a").c_str()), 0);
    ASSERT_EQ(::symlink(work.path("elsewhere").c_str(), t.path("a").c_str()), 0);
    view.slider = 11; // no offer to read again
    engine.state().Lang = "EN";
    engine.Button2Click();
    gwtest::runTimers(engine, view);

    EXPECT_EQ(view.light, Light::Red);
    EXPECT_EQ(engine.state().MismatchCount, 0);
    EXPECT_TRUE(text(Control::RichEdit3).contains(" The permissions of 2 folders were not read and not compared."))
        << text(Control::RichEdit3).toStdString();
    EXPECT_NE(report(engine.mismatchPath())
                  .find("Folders whose permissions were not read:\r\n" + t.path("a") + "\r\n" + t.path("a/x") + "\r\n"),
              std::string::npos);
    const std::string full = report(engine.dumpPath());
    EXPECT_EQ(full.find("\n" + t.path("a") + " "), std::string::npos); // nothing read through the link
    EXPECT_EQ(full.find("\n" + t.path("a/x") + " "), std::string::npos);
    EXPECT_NE(full.find("\n" + t.path("b") + " "), std::string::npos);
}

TEST_F(CheckTest, MissingReferenceOrListingProgramIsNeverGreen)
{
    t.mkdir("a");
    t.mkdir("b");
    // The reference listing fails: acl_1.txt stays empty.
    engine.ShellTreeView1Change(QByteArray::fromStdString(t.root()));
    engine.Button7Click();
    engine.Button2Click();
    while (view.timer(Timer::Timer1))
        engine.Timer1Timer();
    engine.setListingProgram("/bin/false");
    engine.Timer2Timer();
    engine.Timer3Timer();
    EXPECT_EQ(engine.state().MismatchCount, 3); // every block, the chosen folder's own too
    EXPECT_EQ(view.light, Light::Red);

    // acl_1.txt missing altogether.
    engine.setListingProgram(QByteArray::fromStdString(gwtest::aclProgram()));
    engine.Button2Click();
    while (view.timer(Timer::Timer1))
        engine.Timer1Timer();
    engine.Timer2Timer();
    ::usleep(300000);
    ::unlink(engine.referencePath().constData());
    engine.Timer3Timer();
    EXPECT_EQ(engine.state().MismatchCount, 3);
    EXPECT_NE(report(engine.dumpPath()).find("target folder are:\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n"), std::string::npos);

    // No listing program at all: only the sentinel arrives. At the slowest
    // stop no question is asked, and the verdict says what was not read.
    engine.setListingProgram("/nonexistent/grantwise-acl");
    view.slider = 11;
    view.asked.clear();
    engine.Button2Click();
    gwtest::runTimers(engine, view);
    EXPECT_TRUE(view.asked.empty());
    EXPECT_EQ(engine.state().MismatchCount, 0);
    EXPECT_EQ(view.light, Light::Red);
    EXPECT_TRUE(text(Control::RichEdit3).contains("Разрешения 3 папок не были прочитаны и не сравнивались."));
}

TEST_F(CheckTest, AFailedReadingNeverShowsTheLastVerdict)
{
    t.mkdir("a");
    gwtest::runCheck(engine, view, t.root());
    ASSERT_EQ(view.light, Light::Green);
    gwtest::setfacl({"-m", "u:12345:rwx", t.path("a")});

    // The dump cannot be written: a folder stands in its way.
    const std::string dump = engine.dumpPath().toStdString();
    ::unlink(dump.c_str());
    ASSERT_EQ(::mkdir(dump.c_str(), 0700), 0);
    engine.Button2Click();
    gwtest::runTimers(engine, view);
    const QString notCompleted = "Проверку не удалось завершить: разрешения папок не прочитаны.";
    ASSERT_EQ(view.errors.size(), 1u);
    // Messages speak the window's language, the system's reason included.
    EXPECT_EQ(view.errors[0], "Не удалось записать " + QString::fromStdString(dump) + ": Это каталог");
    EXPECT_EQ(view.light, Light::Red);
    EXPECT_EQ(text(Control::RichEdit3), notCompleted);
    EXPECT_FALSE(view.enabled[Control::Button1]);
    EXPECT_FALSE(view.enabled[Control::Button4]);
    EXPECT_TRUE(view.visible[Control::GroupBox5]);
    EXPECT_FALSE(view.timer(Timer::Timer1) || view.timer(Timer::Timer2) || view.timer(Timer::Timer3));
    ::rmdir(dump.c_str());

    // The dump vanishes before the analysis: the same, in English.
    engine.state().Lang = "EN";
    view.errors.clear();
    engine.Button2Click();
    while (view.timer(Timer::Timer1))
        engine.Timer1Timer();
    ::unlink(dump.c_str());
    engine.Timer2Timer();
    EXPECT_TRUE(view.asked.empty());
    engine.Timer3Timer();
    ASSERT_EQ(view.errors.size(), 1u);
    EXPECT_EQ(view.errors[0], "Cannot read " + QString::fromStdString(dump) + ": No such file or directory");
    EXPECT_EQ(view.light, Light::Red);
    EXPECT_EQ(text(Control::RichEdit3), "The check could not be completed: no folder permissions were read.");
    EXPECT_FALSE(view.enabled[Control::Button4]);

    // Nothing at all counted, yet a dump at the analysis: "not read" never
    // exceeds the number of folders.
    engine.Button2Click();
    while (view.timer(Timer::Timer1))
        engine.Timer1Timer();
    ::unlink(dump.c_str());
    engine.Timer2Timer();
    ::close(::open(dump.c_str(), O_CREAT | O_WRONLY, 0600));
    engine.Timer3Timer();
    EXPECT_TRUE(text(Control::RichEdit3).contains(" The permissions of 2 folders were not read and not compared."))
        << text(Control::RichEdit3).toStdString();

    // A new scan puts out the light and clears the verdict.
    engine.Button7Click();
    EXPECT_EQ(view.light, Light::Off);
    EXPECT_TRUE(text(Control::RichEdit3).isEmpty());
}

TEST_F(CheckTest, NoCheckWithoutAPrivateWorkingFolder)
{
    RecordingView v;
    CheckEngine e {v, kFormat};
    v.engine = &e;
    const std::string missing = work.path("no such folder");
    ::setenv("TMPDIR", missing.c_str(), 1);
    e.FormShow();
    t.mkdir("a");
    e.ShellTreeView1Change(QByteArray::fromStdString(t.root()));
    e.Button7Click();
    ASSERT_EQ(v.errors.size(), 1u);
    EXPECT_EQ(
        v.errors[0],
        QString::fromStdString("Не удалось создать рабочую папку в " + missing + ": Нет такого файла или каталога"));
    e.state().Lang = "EN";
    e.Button7Click();
    ASSERT_EQ(v.errors.size(), 2u);
    EXPECT_EQ(v.errors[1],
              QString::fromStdString("Cannot create a working folder in " + missing + ": No such file or directory"));
    v.errors.pop_back();
    EXPECT_TRUE(e.state().WinDir.isEmpty());
    EXPECT_FALSE(v.enabled[Control::Button2]); // no check can start
    EXPECT_FALSE(v.visible[Control::GroupBox4]);

    // Each scan tries again.
    work.mkdir("no such folder");
    e.Button7Click();
    ::unsetenv("TMPDIR");
    EXPECT_EQ(v.errors.size(), 1u);
    EXPECT_EQ(e.state().WinDir.left(static_cast<qsizetype>(missing.size())), QByteArray::fromStdString(missing));
    EXPECT_TRUE(v.enabled[Control::Button2]);
    e.FormClose();
}

TEST_F(CheckTest, TheWorkingFolderIsNeverChecked)
{
    // Checking the folder that holds the working folder: its files change
    // while the check runs, but it is not one of the checked folders.
    t.mkdir("a");
    gwtest::runCheck(engine, view, work.root());
    EXPECT_EQ(engine.ShellTreeView2().count(), 1);
    EXPECT_EQ(view.light, Light::Green);
}

TEST_F(CheckTest, AwkwardNamesAreSafeAndCompared)
{
    const std::vector<std::string> names = {"new\nline", "trailing ",   "x:(y", "$(touch pwned)", ";rm -rf x",
                                            "quote\"'",  "back\\slash", "\xff", "Отчёты"};
    t.mkdir("x"); // ";rm -rf x" must not remove it
    for (const std::string& n : names) {
        t.mkdir("eq/" + n);
        t.mkdir("diff/" + n);
    }
    gwtest::setfacl({"-R", "-m", "u:12345:rwx", t.root()});
    for (const std::string& n : names)
        gwtest::setfacl({"-m", "u:12346:r-x", t.path("diff/" + n)});
    gwtest::runCheck(engine, view, t.root());

    EXPECT_EQ(engine.ShellTreeView2().count(), 2 + 2 + 2 * static_cast<int>(names.size()));
    EXPECT_EQ(engine.state().MismatchCount, static_cast<int>(names.size()));
    EXPECT_TRUE(view.asked.empty());
    const std::string mismatches = report(engine.mismatchPath());
    for (const char* printed :
         {"diff/new\\012line ", "diff/trailing\\040 ", "diff/x:\\050y ", "diff/$(touch pwned) ", "diff/;rm -rf x ",
          "diff/quote\"' ", "diff/back\\134slash ", "diff/\\377 ", "diff/Отчёты "})
        EXPECT_NE(mismatches.find(t.root() + "/" + printed + "user root (owner)"), std::string::npos) << printed;
    EXPECT_EQ(mismatches.find("/eq/"), std::string::npos);
    EXPECT_TRUE(gwtest::run({"find", t.root(), "/tmp", "-maxdepth", "3", "-name", "pwned"}).out.empty());
    struct stat st { };
    EXPECT_EQ(::stat(t.path("x").c_str(), &st), 0);
}

TEST_F(CheckTest, RootNameRepeatedBelowAndDeepPaths)
{
    // Folders that repeat the root's name, and a path of over 300 characters.
    const std::string top = t.mkdir("rep");
    t.mkdir("rep/rep/rep");
    t.mkdir("rep/x/rep");
    std::string deep = "rep";
    for (int i = 0; i < 12; ++i)
        deep += "/" + std::string(30, static_cast<char>('a' + i));
    t.mkdir(deep);
    gwtest::setfacl({"-R", "-m", "g:12345:r-x", top});
    gwtest::runCheck(engine, view, top);
    EXPECT_GT(t.path(deep).size(), 300u);
    EXPECT_TRUE(view.asked.empty());
    EXPECT_EQ(engine.state().MismatchCount, 0);
    EXPECT_EQ(view.light, Light::Green);

    // A second check in the same run, after a language switch.
    gwtest::setfacl({"-m", "g:12345:rwx", t.path(deep)});
    engine.state().Lang = "EN";
    engine.languageChanged();
    // The scan's own lines are in the new language at once, its listing kept.
    EXPECT_TRUE(text(Control::RichEdit1).startsWith("The checked folder is " + QString::fromStdString(top)));
    EXPECT_TRUE(text(Control::RichEdit1).contains(" " + QString::fromStdString(t.path(deep)) + "\r\n"));
    engine.Button2Click();
    gwtest::runTimers(engine, view);
    EXPECT_EQ(engine.state().MismatchCount, 1);
    EXPECT_TRUE(text(Control::RichEdit3).startsWith("There are mismatches"));
    EXPECT_TRUE(text(Control::RichEdit2).startsWith("The checked folder is "));
    EXPECT_TRUE(text(Control::RichEdit2).contains("\r\nProcessing time  - "));
    EXPECT_EQ(text(Control::Button4), "MISMATCHES REPORT");
    // Switched back once the results show: every text of the page follows.
    engine.state().Lang = "RU";
    engine.languageChanged();
    EXPECT_TRUE(text(Control::RichEdit2).startsWith("Проверяемая папка "));
    EXPECT_TRUE(text(Control::RichEdit3).startsWith("Обнаружены несоответствия"));
    EXPECT_EQ(text(Control::Button4), "ОТЧЕТ О СООТВЕТСВИЯХ");
}

TEST_F(CheckTest, LockedFoldersAreComparedAndUnlistedOnesMakeTheVerdictRed)
{
    t.mkdir("open");
    t.mkdir("closed/secret");
    ::chmod(t.path("closed").c_str(), 0311);
    ::chmod(work.root().c_str(), 01777);
    // Root reads everything: the check runs as an ordinary user.
    const std::string failed = gwtest::asNobody([&]() -> std::string {
        RecordingView v;
        CheckEngine e {v, kFormat};
        v.engine = &e;
        ::setenv("TMPDIR", work.root().c_str(), 1);
        e.FormShow();
        e.setListingProgram(QByteArray::fromStdString(gwtest::aclProgram()));
        gwtest::runCheck(e, v, t.root());
        const std::string report = gwtest::readFile(e.mismatchPath().toStdString());
        const bool ok = e.state().MismatchCount == 1 && v.light == Light::Red
            && v.text(Control::RichEdit3)
                   .contains(
                       "Количество несоответствий: 1. Не удалось получить список вложенных папок у 1 папки, они не проверены.")
            && report.find("\r\n" + t.path("closed") + " user root (owner):-wx\r\n") != std::string::npos
            && report.ends_with("Folders whose subfolders could not be listed:\r\n" + t.path("closed") + "\r\n\r\n");
        e.FormClose();
        if (!ok)
            return "the check of the tree: " + v.text(Control::RichEdit3).toStdString();
        // A folder that cannot be listed can be chosen: the check runs and says so.
        RecordingView v2;
        CheckEngine e2 {v2, kFormat};
        v2.engine = &e2;
        e2.FormShow();
        e2.setListingProgram(QByteArray::fromStdString(gwtest::aclProgram()));
        e2.ShellTreeView1Change(QByteArray::fromStdString(t.path("closed")));
        if (!v2.enabled[Control::Button7])
            return "a folder that cannot be listed cannot be chosen";
        gwtest::runCheck(e2, v2, t.path("closed"));
        const bool chosen = e2.state().MismatchCount == 0 && v2.light == Light::Red
            && v2.text(Control::RichEdit3)
                == "Расхождений между POSIX разрешениями вложенных папок и разрешениями проверяемой папки не "
                   "обнаружено. Не удалось получить список вложенных папок у 1 папки, они не проверены. "
                   "Подробности смотрите в отчете.";
        e2.FormClose();
        return chosen ? ""
                      : "the check of a folder that cannot be listed: " + v2.text(Control::RichEdit3).toStdString();
    });
    EXPECT_EQ(failed, "");
}

TEST_F(CheckTest, ReportThatCannotBeWrittenLeavesNoFileAndSaysWhy)
{
    t.mkdir("a");
    gwtest::runCheck(engine, view, t.root());
    ASSERT_TRUE(view.enabled[Control::Button4]);
    // A folder in the way of the mismatch report: the rename fails.
    ::unlink(engine.mismatchPath().constData());
    ASSERT_EQ(::mkdir(engine.mismatchPath().constData(), 0700), 0);
    ::close(::open((engine.mismatchPath() + "/keep").constData(), O_CREAT | O_WRONLY, 0600));
    engine.Button2Click();
    gwtest::runTimers(engine, view);
    ASSERT_EQ(view.errors.size(), 1u);
    EXPECT_TRUE(view.errors[0].startsWith("Не удалось записать " + QString::fromUtf8(engine.mismatchPath()) + ": "));
    EXPECT_TRUE(view.enabled[Control::Button1]);
    EXPECT_FALSE(view.enabled[Control::Button4]);
    EXPECT_TRUE(view.visible[Control::GroupBox5]); // the window does not stay stuck
    ::unlink((engine.mismatchPath() + "/keep").constData());
    ::rmdir(engine.mismatchPath().constData());
}

TEST_F(CheckTest, SentinelNeverOvertakesASlowListing)
{
    t.mkdir("a");
    t.mkdir("z-different");
    gwtest::setfacl({"-m", "u:12345:rwx", t.path("z-different")});
    // A listing program that takes its time: without the wait, the sentinel
    // would land before the last listing, which would then never be compared.
    const std::string slow = work.path("slow-acl");
    {
        std::FILE* f = std::fopen(slow.c_str(), "w");
        std::fprintf(f, "#!/bin/sh\nsleep 0.4\nexec '%s' \"$@\"\n", gwtest::aclProgram().c_str());
        std::fclose(f);
        ::chmod(slow.c_str(), 0755);
    }
    engine.setListingProgram(QByteArray::fromStdString(slow));
    gwtest::runCheck(engine, view, t.root());
    EXPECT_TRUE(view.asked.empty());
    EXPECT_EQ(engine.state().MismatchCount, 1);
    EXPECT_NE(report(engine.mismatchPath()).find(t.path("z-different") + " user"), std::string::npos);
}

TEST_F(CheckTest, TicksDoNotNestAndClosingEndsAPhaseQuietly)
{
    for (const char* d : {"a", "b", "c"})
        t.mkdir(d);
    engine.ShellTreeView1Change(QByteArray::fromStdString(t.root()));
    engine.Button7Click();
    engine.Button2Click();
    // A tick that falls due while a tick processes events is dropped.
    int nested = 0;
    view.onEvents = [&] {
        if (view.timer(Timer::Timer1) && nested++ < 50)
            engine.Timer1Timer();
    };
    engine.Timer1Timer();
    EXPECT_EQ(engine.state().FolderIndex, 1);
    view.onEvents = nullptr;
    gwtest::runTimers(engine, view, false);
    EXPECT_TRUE(view.asked.empty()); // every folder listed once: nothing missing
    EXPECT_EQ(engine.state().MismatchCount, 0);
    EXPECT_EQ(countListings(QByteArray::fromStdString(report(engine.dumpPath())), QByteArray::fromStdString(t.root())),
              4); // one listing per folder in the full report

    // Closed while the analysis runs: the files are gone and stay gone.
    engine.Button2Click();
    while (view.timer(Timer::Timer1))
        engine.Timer1Timer();
    engine.Timer2Timer();
    view.onEvents = [&] { engine.FormClose(); };
    view.errors.clear();
    engine.Timer3Timer();
    EXPECT_TRUE(view.errors.empty());
    struct stat st { };
    EXPECT_NE(::stat(engine.dumpPath().constData(), &st), 0);
    EXPECT_NE(::stat(engine.mismatchPath().constData(), &st), 0);
    EXPECT_NE(::stat(engine.state().WinDir.constData(), &st), 0);
}

// Stop, in each phase: no listing left running, no report half-written, the
// speed page again with the folder still chosen, and a check after it whole.
TEST_F(CheckTest, StopEndsEveryPhaseAndLeavesNothingHalfDone)
{
    for (int i = 0; i < 30; ++i)
        t.mkdir("d" + std::to_string(i));
    gwtest::setfacl({"-m", "u:12345:rwx", t.path("d7")});
    engine.ShellTreeView1Change(QByteArray::fromStdString(t.root()));

    // Nothing runs: Stop does nothing.
    engine.stopCheck();
    EXPECT_FALSE(view.enabled[Control::Button2]);

    // The paced reading, its listings still running.
    engine.setListingProgram(QByteArray::fromStdString(gwtest::slowListingProgram()));
    engine.Button7Click();
    ASSERT_TRUE(view.visible[Control::GroupBox4]);
    const int before = gwtest::runningChildren(); // an earlier test's may not be reaped yet
    engine.Button2Click();
    EXPECT_TRUE(engine.checking() && view.enabled[Control::ButtonStop]);
    for (int i = 0; i < 3; ++i)
        engine.Timer1Timer();
    ASSERT_EQ(gwtest::runningChildren(), before + 3);
    engine.stopCheck();
    EXPECT_EQ(gwtest::runningChildren(), before);
    EXPECT_FALSE(engine.checking() || view.enabled[Control::ButtonStop]);
    for (Timer timer : {Timer::Timer1, Timer::Timer2, Timer::Timer3, Timer::Timer4})
        EXPECT_FALSE(view.timer(timer));
    EXPECT_TRUE(view.visible[Control::GroupBox4] && !view.visible[Control::GroupBox1]);
    EXPECT_TRUE(view.enabled[Control::Button2] && view.enabled[Control::Button7]);
    EXPECT_EQ(engine.selectedPath(), QByteArray::fromStdString(t.root()));
    // The paced reading's reports are all gone: none half-written stays.
    for (const QByteArray& path : {engine.dumpPath(), engine.mismatchPath(), engine.differencesPath()})
        EXPECT_FALSE(QFileInfo::exists(QString::fromUtf8(path))) << path.constData();

    // Stopped in the verification, from inside its own event handling.
    engine.setListingProgram(QByteArray::fromStdString(gwtest::aclProgram()));
    engine.Button2Click();
    while (view.timer(Timer::Timer1))
        engine.Timer1Timer();
    view.onEvents = [&] { engine.stopCheck(); };
    engine.Timer2Timer();
    view.onEvents = nullptr;
    EXPECT_FALSE(view.timer(Timer::Timer3));
    EXPECT_TRUE(view.visible[Control::GroupBox4]);

    // A check after a stop is whole, and finds the one folder that differs.
    engine.Button2Click();
    gwtest::runTimers(engine, view);
    EXPECT_EQ(engine.state().MismatchCount, 1);
    EXPECT_TRUE(view.visible[Control::GroupBox5]);

    // The scan, stopped: back to the folder, which scans whole next time.
    view.onEvents = [&] { engine.stopCheck(); };
    engine.Button7Click();
    view.onEvents = nullptr;
    EXPECT_TRUE(view.visible[Control::GroupBox3] && !view.visible[Control::GroupBox4]);
    engine.Button7Click();
    EXPECT_EQ(engine.ShellTreeView2().count(), 31);
}

// A check run in-process, stopped as soon as it started: its walk's
// threads are joined, nothing of it is written, the earlier check's reports
// stay byte for byte.
TEST_F(CheckTest, StopInProcessKeepsTheEarlierReports)
{
    for (int i = 0; i < 40; ++i)
        for (int j = 0; j < 100; ++j)
            t.mkdir("d" + std::to_string(i) + "/e" + std::to_string(j));
    engine.setItemCheck(false, true);
    engine.ShellTreeView1Change(QByteArray::fromStdString(t.root()));
    engine.Button7Click();
    engine.Button2Click();
    ASSERT_TRUE(view.visible[Control::GroupBox5]);
    const std::string full = gwtest::readFile(engine.dumpPath().toStdString());
    const std::string mismatches = gwtest::readFile(engine.mismatchPath().toStdString());
    ASSERT_FALSE(full.empty());
    const auto threads = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                             std::filesystem::directory_iterator());
    };
    const auto before = threads();

    gwtest::setfacl({"-R", "-m", "u:12345:rwx", t.root()}); // this check would write other reports
    view.onEvents = [&] { engine.stopCheck(); }; // at its first look at the window
    engine.Button2Click();
    view.onEvents = nullptr;
    EXPECT_FALSE(engine.checking());
    EXPECT_TRUE(view.visible[Control::GroupBox4] && !view.visible[Control::GroupBox5]);
    EXPECT_EQ(threads(), before);
    EXPECT_EQ(gwtest::readFile(engine.dumpPath().toStdString()), full);
    EXPECT_EQ(gwtest::readFile(engine.mismatchPath().toStdString()), mismatches);
}

// The scan takes up the scope: a scope changed after it changes neither the
// reading nor the analysis of that scan, only the next scan; the speed page
// and the reports say what it left out.
TEST_F(CheckTest, TheScopeIsTheScansUntilTheNextScan)
{
    for (const char* d : {"a/b", "skip", ".hidden"})
        gwtest::setfacl({"-m", "u:12345:rwx", t.mkdir(d)});
    engine.state().Lang = "EN";
    FolderScope scope;
    scope.excludePatterns = {"skip"};
    engine.setScope(scope, {});
    engine.ShellTreeView1Change(QByteArray::fromStdString(t.root()));
    engine.Button7Click();
    EXPECT_EQ(engine.ShellTreeView2().count(), 3); // the root, a, a/b
    EXPECT_TRUE(text(Control::RichEdit1)
                    .contains("\r\nNot checked: folders matching skip\r\nHidden folders not checked, with all below "
                              "them: 1 (File > What to check… checks them)\r\n"))
        << text(Control::RichEdit1).toStdString();

    scope.excludePatterns.clear();
    scope.includeHidden = true;
    engine.setScope(scope, {true, true});
    engine.Button2Click();
    gwtest::runTimers(engine, view, true);
    EXPECT_EQ(engine.state().MismatchCount, 1); // a/b alone
    EXPECT_NE(report(engine.dumpPath()).find("\r\nNot checked: folders matching skip\r\n"), std::string::npos);
    EXPECT_EQ(report(engine.mismatchPath()).find("Not compared"), std::string::npos);
    EXPECT_TRUE(text(Control::RichEdit2).contains("Not checked: folders matching skip"));

    // The next scan takes the new scope up.
    engine.Button7Click();
    EXPECT_EQ(engine.ShellTreeView2().count(), 5);
    EXPECT_FALSE(text(Control::RichEdit1).contains("Not checked"));
    engine.Button2Click();
    gwtest::runTimers(engine, view, true);
    EXPECT_EQ(engine.state().MismatchCount, 3);
    EXPECT_NE(report(engine.mismatchPath()).find("Not compared: owner names, owning group names\r\n"),
              std::string::npos);
}

// Stopped once its walk is over, while the analysis runs: the run still
// writes nothing, and the earlier reports stay.
TEST_F(CheckTest, StopAfterTheWalkStillWritesNothing)
{
    t.mkdir("a/b");
    ReportsFolder reports;
    ASSERT_EQ(reports.open(QByteArray::fromStdString(work.path("r"))), ReportsFolder::Outcome::Opened);
    BatchOptions options;
    options.folder = QByteArray::fromStdString(t.root());
    options.reports = &reports;
    ASSERT_FALSE(runBatchCheck(options).stopped);
    const std::string earlier = gwtest::readFile(work.path("r/acl.txt"));
    gwtest::setfacl({"-m", "u:12345:rwx", t.path("a")});
    std::atomic<bool> stop {false};
    options.stop = &stop;
    options.progress = [&](const BatchProgress& p) {
        if (p.phase == BatchProgress::Read && p.total > 0 && p.done == p.total)
            stop = true; // the walk has ended
    };
    EXPECT_TRUE(runBatchCheck(options).stopped);
    EXPECT_EQ(gwtest::readFile(work.path("r/acl.txt")), earlier);
}

// Before any check has finished there is nothing to fix: no file is written
// that names no folder.
TEST_F(CheckTest, NoFixFileBeforeACheckHasFinished)
{
    t.mkdir("a");
    engine.ShellTreeView1Change(QByteArray::fromStdString(t.root()));
    const std::string file = work.path("fix.acl");
    EXPECT_EQ(engine.saveFixFile(QByteArray::fromStdString(file)), "Ни одна проверка не завершена: исправлять нечего.");
    struct stat st { };
    EXPECT_NE(::lstat(file.c_str(), &st), 0);
}
