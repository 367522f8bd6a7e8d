// grantwise-check as a user runs it: real trees, real ACLs, the real program.

#include "RecordingView.h"
#include "TempTree.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <climits>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <pwd.h>
#include <set>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

using gwtest::run;
using gwtest::TempTree;

namespace {

gwtest::ProcessResult check(const std::vector<std::string>& args)
{
    std::vector<std::string> argv {gwtest::checkProgram()};
    for (const std::string& a : args)
        argv.push_back(a);
    return run(argv);
}

// The window's engine, without the window, shown with its working folder in `tmp`.
void showWindow(gwtest::RecordingView& view, gw::CheckEngine& engine, const std::string& tmp)
{
    view.engine = &engine;
    ::setenv("TMPDIR", tmp.c_str(), 1);
    engine.FormShow();
    ::unsetenv("TMPDIR");
}

// A report without its first line, which holds the time and the date.
std::string body(const std::string& path)
{
    const std::string text = gwtest::readFile(path);
    return text.substr(text.find("\r\n"));
}

namespace fs = std::filesystem;

std::set<std::string> namesIn(const std::string& dir)
{
    std::set<std::string> names;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(dir, ignored))
        names.insert(entry.path().filename());
    return names;
}

const std::set<std::string> kReports {"acl.txt", "acl_def.txt", "acl_diff.txt"};

// A run with standard output to `out`; when `stopAt` is given, traced: stopped
// as it first enters one of those system calls, let go and sent `signal`.
gwtest::ProcessResult launch(std::vector<std::string> argv, const std::string& out,
                             const std::vector<long>& stopAt = {}, int signal = 0)
{
    TempTree io;
    const std::string errPath = io.path("err");
    argv.insert(argv.begin(), gwtest::checkProgram());
    std::vector<char*> args;
    for (std::string& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), e = ::creat(errPath.c_str(), 0600);
        if (o < 0 || e < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0
            || (!stopAt.empty() && ::ptrace(PTRACE_TRACEME, 0, 0, 0) != 0))
            ::_exit(126);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0); // a traced run stops at its start
    const auto word = [](long value) { return reinterpret_cast<void*>(value); };
    if (!stopAt.empty())
        ::ptrace(PTRACE_SETOPTIONS, pid, 0, word(PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL));
    for (int pass = 0; !stopAt.empty() && WIFSTOPPED(status);) {
        ::ptrace(PTRACE_SYSCALL, pid, 0, word(pass));
        ::waitpid(pid, &status, 0);
        pass = WIFSTOPPED(status) && WSTOPSIG(status) != (SIGTRAP | 0x80) ? WSTOPSIG(status) : 0;
        __ptrace_syscall_info info {};
        if (WIFSTOPPED(status) && pass == 0 && ::ptrace(PTRACE_GET_SYSCALL_INFO, pid, word(sizeof info), &info) > 0
            && info.op == PTRACE_SYSCALL_INFO_ENTRY
            && std::find(stopAt.begin(), stopAt.end(), static_cast<long>(info.entry.nr)) != stopAt.end()) {
            // Sent while the run is held, the signal waits for the call to
            // end: the run cannot finish before it arrives.
            ::kill(pid, signal);
            ::ptrace(PTRACE_DETACH, pid, 0, 0);
            ::waitpid(pid, &status, 0);
        }
    }
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, "", gwtest::readFile(errPath)};
}

const std::vector<long> kRename {
#ifdef SYS_renameat
    SYS_renameat,
#endif
    SYS_renameat2};

} // namespace

TEST(GrantwiseCheck, ErrorsAndArguments)
{
    TempTree t;
    const std::string file = t.path("file");
    ::close(::open(file.c_str(), O_CREAT | O_WRONLY, 0644));
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{t.path("missing\n")}, "grantwise-check: no such folder: " + t.root() + "/missing\\012\n"},
        {{file}, "grantwise-check: not a folder: " + file + "\n"},
        {{"--reports", file + "/r", t.root()},
         "grantwise-check: cannot write the reports in " + file + "/r: Not a directory\n"},
        {{}, "grantwise-check: no FOLDER given\n"},
        {{"--lang", "de", t.root()}, "grantwise-check: --lang takes en or ru\n"},
        {{"--jobs", "0", t.root()}, "grantwise-check: --jobs takes a number from 1 to 64\n"},
        {{"--frobnicate", t.root()}, "grantwise-check: unknown option --frobnicate\n"},
        {{t.root(), t.root()}, "grantwise-check: one FOLDER only\n"},
    };
    for (const auto& c : cases) {
        const gwtest::ProcessResult r = check(c.args);
        EXPECT_EQ(r.status, 2) << c.err;
        EXPECT_EQ(r.err.substr(0, c.err.size()), c.err);
        EXPECT_TRUE(r.out.empty());
    }
    EXPECT_EQ(check({"--bogus"}).err.find("Usage: grantwise-check"),
              std::string("grantwise-check: unknown option --bogus\n").size());
    const gwtest::ProcessResult help = check({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--reports DIR"), std::string::npos);
    EXPECT_EQ(check({"--version"}).out, "grantwise-check 2.0\n");
}

// The window's inheritance check with files runs the same check in-process:
// the same reports, byte for byte, the same verdict and light.
TEST(GrantwiseCheck, SameInheritanceReportsAsTheWindow)
{
    TempTree t, work;
    gwtest::setfacl({"-d", "-m", "u::rwx,g::r-x,u:12345:rwx,m::rwx,o::---", t.root()});
    ::mkdir(t.path("made").c_str(), 0777); // as a new folder is made: it inherits
    ::close(::open(t.path("made/notes.txt").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0666));
    ::close(::open(t.path("made/private.txt").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600));
    ::mkdir(t.path("narrow").c_str(), 0700);

    gwtest::RecordingView view;
    gw::CheckEngine engine {view, gw::TimeFormat::fromPattern("%T", "", "")};
    showWindow(view, engine, work.root());
    engine.state().Lang = "EN";
    engine.setItemCheck(true, true);
    gwtest::runCheck(engine, view, t.root(), true);
    EXPECT_EQ(view.light, gw::Light::Red);
    EXPECT_TRUE(view.visible[gw::Control::GroupBox5]);
    EXPECT_TRUE(view.enabled[gw::Control::Button4]);
    // The speed page counted the files too.
    EXPECT_TRUE(view.texts[gw::Control::RichEdit1].contains("\nFiles and other entries in them - 2"))
        << view.texts[gw::Control::RichEdit1].toStdString();

    const std::string reports = work.path("reports/inherit");
    const gwtest::ProcessResult r = check({"--inheritance", "--files", "--reports", reports, t.root()});
    EXPECT_EQ(r.status, 1);
    const std::string inherit = gwtest::readFile(reports + "/acl_inherit.txt");
    EXPECT_EQ(inherit, gwtest::readFile(engine.inheritancePath().toStdString()));
    EXPECT_NE(inherit.find("\n1 folder and 1 file do not carry what their folder gives them.\n"), std::string::npos)
        << inherit;
    EXPECT_EQ(gwtest::readFile(reports + "/acl_diff.txt"), gwtest::readFile(engine.differencesPath().toStdString()));
    EXPECT_EQ(body(reports + "/acl.txt"), body(engine.dumpPath().toStdString()));
    const QString verdict = view.texts[gw::Control::RichEdit3];
    EXPECT_NE(r.out.find(verdict.toStdString() + "\n"), std::string::npos) << verdict.toStdString() << "\n" << r.out;
    ASSERT_EQ(engine.lastItems().items.size(), 2);
    // The results page's report button opens the inheritance report, also
    // once the menu asks for another kind of check for the next one.
    engine.setItemCheck(false, false);
    engine.Button4Click();
    EXPECT_EQ(view.opened.back(), engine.inheritancePath());
    EXPECT_TRUE(engine.lastWasInheritance());
    engine.FormClose();
}

// A baseline without its second line, which holds the time and the host.
std::string withoutTaken(const std::string& baseline)
{
    const std::size_t second = baseline.find('\n') + 1;
    return baseline.substr(0, second) + baseline.substr(baseline.find('\n', second) + 1);
}

// The window saves a baseline and compares with one as grantwise-check does:
// the same baseline (but for when it was taken), the same drift report and
// verdict; what is refused is said in the window's language before anything
// starts, and the results shown stay.
TEST(GrantwiseCheck, SameBaselinesAndDriftReportsAsTheWindow)
{
    TempTree t, work;
    t.mkdir("a/b");
    t.mkdir("gone");
    t.mkdir("tail /x\ny");
    ::close(::open(t.path("a/notes.txt").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0640));
    gwtest::setfacl({"-m", "u:12345:r-x", t.path("a")});
    gwtest::setfacl({"-d", "-m", "g:12345:rwx", t.path("a/b")});

    gwtest::RecordingView view;
    gw::CheckEngine engine {view, gw::TimeFormat::fromPattern("%T", "", "")};
    showWindow(view, engine, work.root());
    engine.state().Lang = "EN";
    engine.setItemCheck(false, true);
    EXPECT_FALSE(view.enabled[gw::Control::Menu_File_SaveBaseline]);
    gwtest::runCheck(engine, view, t.root(), true);
    ASSERT_TRUE(view.enabled[gw::Control::Menu_File_SaveBaseline]);
    EXPECT_TRUE(view.enabled[gw::Control::Menu_File_CompareBaseline]);

    // Saved by the window (compressed) and by grantwise-check (plain).
    const std::string saved = work.mkdir("baselines") + "/window.acl.gz";
    engine.saveBaseline(QByteArray::fromStdString(saved));
    ASSERT_TRUE(view.errors.empty()) << view.errors.front().toStdString();
    EXPECT_TRUE(view.texts[gw::Control::RichEdit2].endsWith(QString::fromStdString("\r\nBaseline saved: " + saved)));
    const std::string cli = work.path("baselines/cli.acl");
    const gwtest::ProcessResult taken = check(
        {"--files", "--reports", work.path("r1"), "--save-baseline", cli, t.root()});
    ASSERT_EQ(taken.status, 1) << taken.err; // the check with files finds differences
    const gwtest::ProcessResult unzipped = run({"/usr/bin/gzip", "-dc", saved});
    ASSERT_EQ(unzipped.status, 0);
    EXPECT_EQ(withoutTaken(unzipped.out), withoutTaken(gwtest::readFile(cli)));
    EXPECT_NE(unzipped.out.find("\n# folders: 6, files: 1\n"), std::string::npos) << unzipped.out;

    // What changed since, compared by both with the window's baseline.
    gwtest::setfacl({"-m", "u:12345:rwx", t.path("a")});
    ::rmdir(t.path("gone").c_str());
    t.mkdir("new");
    engine.compareWithBaseline(QByteArray::fromStdString(saved));
    ASSERT_TRUE(view.errors.empty()) << view.errors.front().toStdString();
    EXPECT_EQ(view.light, gw::Light::Red);
    EXPECT_TRUE(view.visible[gw::Control::GroupBox5]);
    const gwtest::ProcessResult drift = check({"--files", "--reports", work.path("r2"), "--baseline", saved, t.root()});
    EXPECT_EQ(drift.status, 1) << drift.err;
    const std::string report = gwtest::readFile(work.path("r2/acl_drift.txt"));
    EXPECT_EQ(report, gwtest::readFile(engine.driftPath().toStdString()));
    EXPECT_NE(report.find("\n1 changed, 1 new, 1 gone; 0 not read\n"), std::string::npos) << report;
    EXPECT_EQ(gwtest::readFile(work.path("r2/acl_diff.txt")), gwtest::readFile(engine.differencesPath().toStdString()));
    const std::string verdict = view.texts[gw::Control::RichEdit3].toStdString();
    EXPECT_NE(drift.out.find("\n" + verdict + "\n"), std::string::npos) << verdict << "\n" << drift.out;
    engine.Button4Click();
    EXPECT_EQ(view.opened.back(), engine.driftPath());
    // For the differences window: each item reported, with its status.
    ASSERT_EQ(engine.lastDriftItems().size(), 3u);
    EXPECT_EQ(engine.lastDriftItems()[0].status, gw::DriftItem::Changed);
    EXPECT_EQ(engine.lastDriftItems()[0].item.path, QByteArray::fromStdString(t.path("a")));
    EXPECT_FALSE(view.enabled[gw::Control::Menu_File_FixFile]);

    // Refused before anything starts, in Russian: the results stay.
    engine.state().Lang = "RU";
    const QString shown = view.texts[gw::Control::RichEdit3];
    view.visible[gw::Control::GroupBox5] = true;
    engine.ShellTreeView1Change(QByteArray::fromStdString(t.path("a")));
    engine.compareWithBaseline(QByteArray::fromStdString(saved));
    engine.ShellTreeView1Change(QByteArray::fromStdString(t.root()));
    engine.compareWithBaseline(QByteArray::fromStdString(work.path("baselines/missing.acl")));
    ::chmod(cli.c_str(), 0662);
    engine.compareWithBaseline(QByteArray::fromStdString(cli));
    engine.saveBaseline(QByteArray::fromStdString(work.path("baselines") + "/"));
    ASSERT_EQ(view.errors.size(), 4u);
    EXPECT_EQ(view.errors[0].toStdString(), saved + " — снимок папки " + t.root() + ", а не " + t.path("a"));
    EXPECT_EQ(view.errors[1].toStdString(),
              "Не удалось прочитать базовый снимок " + work.path("baselines/missing.acl")
                  + ": Нет такого файла или каталога");
    EXPECT_TRUE(view.errors[2].startsWith(QString::fromStdString("Базовый снимок " + cli + " может изменить")))
        << view.errors[2].toStdString();
    EXPECT_TRUE(view.errors[3].startsWith("Не удалось записать базовый снимок")) << view.errors[3].toStdString();
    EXPECT_EQ(view.texts[gw::Control::RichEdit3], shown);
    EXPECT_TRUE(view.visible[gw::Control::GroupBox5]);
    EXPECT_EQ(gwtest::readFile(engine.driftPath().toStdString()), report);

    // A baseline found malformed only on the way fails the check: no verdict, no drift report.
    const std::string bad = work.path("baselines/bad.acl");
    {
        std::FILE* f = std::fopen(bad.c_str(), "w");
        std::fputs(("# grantwise baseline of " + t.root()
                    + "\n# taken X on h\n# folders: 1, files: not recorded\n\n# file: " + t.root() + "\nno entry\n")
                       .c_str(),
                   f);
        std::fclose(f);
    }
    engine.compareWithBaseline(QByteArray::fromStdString(bad));
    ASSERT_EQ(view.errors.size(), 5u);
    EXPECT_EQ(view.errors[4].toStdString().rfind(bad + ": строка ", 0), 0u) << view.errors[4].toStdString();
    EXPECT_EQ(view.light, gw::Light::Red);
    EXPECT_TRUE(view.texts[gw::Control::RichEdit3].startsWith("Проверку не удалось"))
        << view.texts[gw::Control::RichEdit3].toStdString();
    EXPECT_FALSE(view.enabled[gw::Control::Button4]);
    EXPECT_FALSE(fs::exists(engine.driftPath().toStdString()));
    // Closed after a drift check, the window leaves no working folder behind.
    engine.compareWithBaseline(QByteArray::fromStdString(saved));
    ASSERT_TRUE(fs::exists(engine.driftPath().toStdString()));
    const std::string workingFolder = engine.state().WinDir.toStdString();
    engine.FormClose();
    EXPECT_FALSE(fs::exists(workingFolder));
}

TEST(GrantwiseCheck, SameReportsAsTheWindowAndExitStatus)
{
    TempTree t, work;
    t.mkdir("A/A1");
    t.mkdir("B");
    t.mkdir("new\nline");
    t.mkdir("\xff");
    t.mkdir("B/tail /a:(b"); // escaped in the middle of a path, built from its parent's
    gwtest::setfacl({"-R", "-m", "u:12345:r-x", t.root()});
    gwtest::setfacl({"-m", "g:12345:rwx", t.path("A/A1")});

    // The window's engine, without the window.
    gwtest::RecordingView view;
    gw::CheckEngine engine {view, gw::TimeFormat::fromPattern("%T", "", "")};
    showWindow(view, engine, work.root());
    engine.setListingProgram(QByteArray::fromStdString(gwtest::aclProgram()));
    EXPECT_FALSE(view.enabled[gw::Control::Menu_File_Differences]);
    gwtest::runCheck(engine, view, t.root(), true);
    ASSERT_EQ(engine.state().MismatchCount, 1);
    EXPECT_TRUE(view.enabled[gw::Control::Menu_File_Differences]);

    const std::string reports = work.path("reports/new");
    const gwtest::ProcessResult r = check({"--reports", reports, t.root()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(body(reports + "/acl.txt"), body(engine.dumpPath().toStdString()));
    EXPECT_EQ(body(reports + "/acl_def.txt"), body(engine.mismatchPath().toStdString()));
    EXPECT_EQ(gwtest::readFile(reports + "/acl_diff.txt"), gwtest::readFile(engine.differencesPath().toStdString()));
    EXPECT_EQ(gwtest::readFile(reports + "/acl_diff.txt"),
              "Differences from the checked folder " + t.root()
                  + "\n"
                    "1 folder differs from the checked folder; the differences start in 1 place.\n\n"
                  + t.path("A/A1") + "\n    + group 12345:rwx\n    ~ mask:r-x -> mask:rwx\n");
    EXPECT_EQ(
        r.out.substr(0, r.out.find("Processing time")),
        "The checked folder is " + t.root()
            + "\n\nIt contains 7 subfolders\nThe max subfolder level - 3\n"
              "There are mismatches between POSIX permissions of the checked folder and the subfolders. The number "
              "of mismatches: 1. The details are in the report.\n");
    EXPECT_NE(r.out.find("\nFull detail report: " + reports + "/acl.txt\nMismatches report: " + reports
                         + "/acl_def.txt\nDifferences report: " + reports + "/acl_diff.txt\n"),
              std::string::npos);

    // Read at full speed, the window gives the same reports byte for byte;
    // its speed page greys the slider and says why, with the time measured.
    EXPECT_TRUE(view.enabled[gw::Control::TrackBar1]);
    EXPECT_TRUE(view.texts[gw::Control::Label21].startsWith("Без пауз проверка заняла бы около 00:00:0"))
        << view.texts[gw::Control::Label21].toStdString();
    engine.setFullSpeed(true);
    EXPECT_FALSE(view.enabled[gw::Control::TrackBar1]);
    EXPECT_EQ(view.texts[gw::Control::Label21],
              "Чтение без пауз (меню Файл): ползунок не действует, время измерено здесь.");
    EXPECT_EQ(view.texts[gw::Control::Label20], "Предполагаемое время выполнения : 00:00:01");
    engine.Button2Click();
    ASSERT_TRUE(view.visible[gw::Control::GroupBox5]);
    for (const char* name : {"/acl.txt", "/acl_def.txt"})
        EXPECT_EQ(body(reports + name), body(engine.state().WinDir.toStdString() + name)) << name;
    EXPECT_EQ(gwtest::readFile(reports + "/acl_diff.txt"), gwtest::readFile(engine.differencesPath().toStdString()));
    EXPECT_EQ(view.light, gw::Light::Red);
    engine.setFullSpeed(false);
    // Files and inheritance are always read so: their estimate is measured too.
    const QString paced = view.texts[gw::Control::Label20];
    engine.setItemCheck(false, true);
    EXPECT_FALSE(view.enabled[gw::Control::TrackBar1]);
    EXPECT_EQ(view.texts[gw::Control::Label20], "Предполагаемое время выполнения : 00:00:01");
    EXPECT_TRUE(view.texts[gw::Control::Label21].startsWith("Файлы и наследование читаются без пауз"));
    engine.setItemCheck(false, false);
    EXPECT_TRUE(view.enabled[gw::Control::TrackBar1]);
    EXPECT_EQ(view.texts[gw::Control::Label20], paced);
    engine.FormClose();

    // Russian, quiet; the folder given relative and untidy; all equal now.
    gwtest::setfacl({"-x", "g:12345", t.path("A/A1")});
    const std::string relative = "./" + t.root().substr(t.root().rfind('/') + 1) + "/A/..//";
    ::chdir(t.root().substr(0, t.root().rfind('/')).c_str());
    const gwtest::ProcessResult ru = check({"--lang", "ru", "--quiet", "--reports", reports, relative});
    EXPECT_EQ(ru.status, 0) << ru.err;
    EXPECT_EQ(ru.out,
              "Расхождений между POSIX разрешениями вложенных папок и разрешениями проверяемой папки не "
              "обнаружено. POSIX разрешения ВСЕХ папок идентичны. Подробности смотрите в отчете.\n");
    EXPECT_NE(gwtest::readFile(reports + "/acl.txt").find("The target folder is: " + t.root() + "\r\n"),
              std::string::npos);

    // Without --reports: a new private folder under TMPDIR, named in the output.
    ::setenv("TMPDIR", work.root().c_str(), 1);
    const gwtest::ProcessResult fresh = check({t.root()});
    ::unsetenv("TMPDIR");
    const std::size_t at = fresh.out.find("Full detail report: " + work.root() + "/grantwise-");
    ASSERT_NE(at, std::string::npos) << fresh.out;
}

TEST(GrantwiseCheck, OneOrTwoThreadsGiveTheSameReports)
{
    TempTree t, work;
    for (int i = 0; i < 1000; ++i)
        t.mkdir("d" + std::to_string(i % 10) + "/sub" + std::to_string(i));
    for (int i : {17, 333, 901})
        gwtest::setfacl({"-m", "u:" + std::to_string(20000 + i) + ":r--",
                         t.path("d" + std::to_string(i % 10) + "/sub" + std::to_string(i))});
    const gwtest::ProcessResult one = check({"--jobs", "1", "--quiet", "--reports", work.path("one"), t.root()});
    const gwtest::ProcessResult two = check({"--jobs", "2", "--quiet", "--reports", work.path("two"), t.root()});
    EXPECT_EQ(one.status, 1);
    EXPECT_EQ(one.out, two.out);
    EXPECT_NE(one.out.find("The number of mismatches: 3."), std::string::npos);
    EXPECT_EQ(body(work.path("one/acl.txt")), body(work.path("two/acl.txt")));
    EXPECT_EQ(body(work.path("one/acl_def.txt")), body(work.path("two/acl_def.txt")));
}

TEST(GrantwiseCheck, OneJobOrManyGiveTheSameOutputOnAMixedTree)
{
    TempTree t, work;
    // A few thousand folders, some differing alone, one differing with its
    // whole subtree (folded in the differences report).
    for (int i = 0; i < 3000; ++i)
        t.mkdir("p" + std::to_string(i % 37) + "/q" + std::to_string(i % 11) + "/r" + std::to_string(i));
    for (int i : {3, 250, 1999})
        gwtest::setfacl(
            {"-m", "u:" + std::to_string(21000 + i) + ":r--",
             t.path("p" + std::to_string(i % 37) + "/q" + std::to_string(i % 11) + "/r" + std::to_string(i))});
    gwtest::setfacl({"-R", "-m", "g:31000:rwx", t.path("p5")});
    // A chain deeper than the walk keeps folders open, differing near its end.
    std::string chain = "chain";
    for (int level = 0; level < 320; ++level)
        chain += "/c";
    t.mkdir(chain);
    gwtest::setfacl({"-d", "-m", "u:21001:r-x", t.path(chain.substr(0, chain.size() - 40))});
    // Reached but not read, and read but not searched (for the user below).
    for (const char* locked : {"p7/q1", "p12", "p30/q2"})
        ::chmod(t.path(locked).c_str(), 0311);
    ::chmod(t.path("p20/q3").c_str(), 0744);
    // Names of every kind, one of them differing.
    for (const std::string& name :
         {std::string("new\nline"), std::string("\xff\xfe bad"), std::string("tab\there"), std::string(" lead"),
          std::string("trail "), std::string("-dash"), std::string("back\\slash"),
          std::string("\xe2\x80\xae"
                      "evil"),
          std::string("\xc3\xbc"
                      "n\xc3\xaf"
                      "c\xc3\xb8"
                      "d\xc3\xa9"),
          std::string(255, 'L')})
        t.mkdir("names/" + name + "/in");
    gwtest::setfacl({"-m", "u:21002:rwx", t.path("names/new\nline/in")});
    ::chmod(work.root().c_str(), 01777);

    const std::string failed = gwtest::asNobody([&]() -> std::string {
        const gwtest::ProcessResult one = check({"--jobs", "1", "--quiet", "--reports", work.path("one"), t.root()});
        // The default: as many walker threads as suit the machine.
        const gwtest::ProcessResult two = check({"--quiet", "--reports", work.path("two"), t.root()});
        if (one.status != 1 || two.status != 1 || one.out != two.out)
            return "exit statuses or verdict lines differ: " + std::to_string(one.status) + " " + one.out + one.err
                + " / " + std::to_string(two.status) + " " + two.out + two.err;
        // JSON Lines, the fix file and the baseline; the inheritance check
        // of folders and files, with its fix file.
        std::string first;
        for (const char* jobs : {"1", "7", "64"}) {
            const std::string out = work.path(std::string("out-") + jobs);
            if (::mkdir(out.c_str(), 0700) != 0)
                return "cannot make " + out;
            const gwtest::ProcessResult json = check({"--jobs", jobs, "--json", "--fix-file", out + "/fix",
                                                      "--save-baseline", out + "/baseline", "--reports", out + "/r",
                                                      t.root()});
            const gwtest::ProcessResult inheritance = check({"--jobs", jobs, "--inheritance", "--files", "--json",
                                                             "--fix-file", out + "/fix-inherit", "--reports",
                                                             out + "/ri", t.root()});
            if (json.status != 1 || inheritance.status != 1)
                return std::string("exit statuses with --jobs ") + jobs;
            const auto timeless = [](std::string text) {
                const std::size_t at = text.find(",\"seconds\":");
                return at == std::string::npos ? text : text.erase(at, text.find(',', at + 1) - at);
            };
            const auto reportsLess = [&](std::string text) {
                for (std::size_t at; (at = text.find(out)) != std::string::npos;)
                    text.replace(at, out.size(), "OUT");
                return timeless(text);
            };
            std::string files;
            for (const char* name : {"fix", "baseline", "fix-inherit", "ri/acl_inherit.txt", "r/acl_diff.txt"})
                files += gwtest::readFile(out + "/" + name) + "\f";
            files += reportsLess(json.out) + "\f" + reportsLess(inheritance.out);
            if (std::string(jobs) == "1")
                first = files;
            else if (files != first)
                return std::string("JSON Lines, fix files, baseline or item reports differ with --jobs ") + jobs;
            if (files.find("names/new\\\\012line/in") == std::string::npos)
                return "the name with a line break is not in the output";
        }
        if (one.out.find("The number of mismatches: ") == std::string::npos
            || one.out.find(" folders were not read and not compared.") == std::string::npos
            || one.out.find("The subfolders of 3 folders could not be listed") == std::string::npos)
            return "the verdict: " + one.out;
        for (const char* report : {"acl.txt", "acl_def.txt"}) {
            if (body(work.path(std::string("one/") + report)) != body(work.path(std::string("two/") + report)))
                return std::string("the reports differ: ") + report;
        }
        const std::string differences = gwtest::readFile(work.path("one/acl_diff.txt"));
        if (differences != gwtest::readFile(work.path("two/acl_diff.txt")))
            return "the differences reports differ";
        // The whole chain is in the full report, in tree order, and the
        // subtree that differs as a whole is folded into its top.
        const std::string full = gwtest::readFile(work.path("one/acl.txt"));
        if (full.find("\r\n" + t.path(chain) + " user root (owner)") == std::string::npos
            || full.find("\r\n" + t.path("chain/c") + " user") > full.find("\r\n" + t.path(chain) + " user"))
            return "the chain in the full report";
        if (differences.find("\n" + t.path("p5") + " (and ") == std::string::npos)
            return "the folded subtree: " + differences;
        return {};
    });
    EXPECT_EQ(failed, "");
}

TEST(GrantwiseCheck, LockedFoldersAreComparedAndWhatWasMissedIsNamed)
{
    TempTree t, work;
    t.mkdir("open");
    t.mkdir("closed/secret");
    ::chmod(t.path("closed").c_str(), 0311); // reached, not read: compared, not listed
    t.mkdir("blind/unreachable");
    ::chmod(t.path("blind").c_str(), 0744); // read, not searched: its subfolder is not read
    ::chmod(work.root().c_str(), 01777);
    const std::string failed = gwtest::asNobody([&]() -> std::string {
        const gwtest::ProcessResult r = check({"--quiet", "--reports", work.path("r"), t.root()});
        if (r.status != 1)
            return "exit status " + std::to_string(r.status) + ": " + r.err;
        if (r.out.find("The number of mismatches: 2. The permissions of 1 folder were not read and not compared. The "
                       "subfolders of 1 folder could not be listed and were not checked.")
            == std::string::npos)
            return "the verdict: " + r.out;
        const std::string report = gwtest::readFile(work.path("r/acl_def.txt"));
        const std::string lists = "Folders whose permissions were not read:\r\n" + t.path("blind/unreachable")
            + "\r\n\r\nFolders whose subfolders could not be listed:\r\n" + t.path("closed") + "\r\n\r\n";
        return report.size() > lists.size() && report.substr(report.size() - lists.size()) == lists
                && report.find("\r\n" + t.path("closed") + " user root (owner):-wx\r\n") != std::string::npos
            ? ""
            : "the mismatch report: " + report;
    });
    EXPECT_EQ(failed, "");
}

TEST(GrantwiseCheck, NamesThatLookLikeIdsOrEntriesAreNotTakenForThem)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "making users and groups needs root";
    if (::getgrgid(4242) || ::getgrnam("4242") || ::getpwnam("amy user gwbob") || ::getpwnam("gwbob"))
        GTEST_SKIP() << "gid 4242 or one of the test's names is taken on this machine";
    struct Principals {
        std::string passwd = gwtest::readFile("/etc/passwd");
        ~Principals()
        {
            if (std::FILE* f = std::fopen("/etc/passwd", "w")) { // without the second "gwbob"
                std::fwrite(passwd.data(), 1, passwd.size(), f);
                std::fclose(f);
            }
            run({"userdel", "amy user gwbob"});
            run({"userdel", "gwbob"});
            run({"groupdel", "4242"});
        }
    } principals;
    ASSERT_EQ(run({"useradd", "--badname", "-M", "-N", "-s", "/usr/sbin/nologin", "amy user gwbob"}).status, 0);
    ASSERT_EQ(run({"useradd", "-M", "-N", "-s", "/usr/sbin/nologin", "gwbob"}).status, 0);
    ASSERT_EQ(run({"groupadd", "4242"}).status, 0);
    const struct group* named = ::getgrnam("4242");
    ASSERT_TRUE(named && named->gr_gid != 4242);
    const gid_t namedGid = named->gr_gid;

    // A folder named like the rest of an owner's name, owned by that rest.
    TempTree owners, work;
    const std::string x = owners.mkdir("x user amy");
    ASSERT_EQ(::chown(owners.root().c_str(), ::getpwnam("amy user gwbob")->pw_uid, 0), 0);
    ASSERT_EQ(::chown(x.c_str(), ::getpwnam("gwbob")->pw_uid, 0), 0);
    const gwtest::ProcessResult listed = run({gwtest::aclProgram(), owners.root()});
    EXPECT_EQ(listed.out.rfind(owners.root() + " user amy\\040user\\040gwbob (owner):rwx\n", 0), 0u) << listed.out;
    gwtest::ProcessResult r = check({"--quiet", "--reports", work.path("owners"), owners.root()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("The number of mismatches: 1."), std::string::npos) << r.out;

    // A group named 4242 and gid 4242 without a name.
    TempTree groups;
    const std::string numeric = groups.mkdir("numeric");
    ASSERT_EQ(::chown(groups.root().c_str(), 0, namedGid), 0);
    ASSERT_EQ(::chown(numeric.c_str(), 0, 4242), 0);
    const gwtest::ProcessResult both = run({gwtest::aclProgram(), groups.root(), numeric});
    EXPECT_NE(both.out.find("    group \\064242 (owner):r-x\n"), std::string::npos) << both.out;
    EXPECT_NE(both.out.find("    group 4242 (owner):r-x\n"), std::string::npos) << both.out;
    r = check({"--quiet", "--reports", work.path("groups"), groups.root()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("The number of mismatches: 1."), std::string::npos) << r.out;

    // Two ids with one name (a local user and a directory one look like this):
    // the one the name does not lead back to is listed by its number.
    const uid_t first = ::getpwnam("gwbob")->pw_uid;
    const uid_t second = first + 7919;
    ASSERT_EQ(::getpwuid(second), nullptr);
    if (std::FILE* f = std::fopen("/etc/passwd", "a")) {
        std::fprintf(f, "gwbob:x:%u:%u::/nonexistent:/usr/sbin/nologin\n", second, second);
        std::fclose(f);
    }
    TempTree twins;
    twins.mkdir("sub");
    gwtest::setfacl({"-m", "u:" + std::to_string(first) + ":rwx", twins.root()});
    gwtest::setfacl({"-m", "u:" + std::to_string(second) + ":rwx", twins.path("sub")});
    r = check({"--quiet", "--reports", work.path("twins"), twins.root()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("The number of mismatches: 1."), std::string::npos) << r.out;
    EXPECT_NE(
        run({gwtest::aclProgram(), twins.path("sub")}).out.find("\n    user " + std::to_string(second) + ":rwx\n"),
        std::string::npos);
}

TEST(GrantwiseCheck, ReportsGoOnlyIntoAFolderOfTheCallersOwn)
{
    TempTree t, work;
    t.mkdir("A");
    // A link planted where the reports are to go is refused, not followed.
    const std::string victim = work.mkdir("victim");
    ::close(::open((victim + "/acl.txt").c_str(), O_CREAT | O_WRONLY, 0644));
    ::symlink(victim.c_str(), work.path("rep").c_str());
    for (const std::string& link : {work.path("rep"), work.path("rep/")}) {
        const gwtest::ProcessResult r = check({"--reports", link, t.root()});
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, "grantwise-check: cannot write the reports in " + link + ": it is a symbolic link\n");
    }
    EXPECT_EQ(gwtest::readFile(victim + "/acl.txt"), "");

    for (const auto& [mode, owner, why] : {std::tuple {0700, 65534, "it belongs to another user"},
                                           {0770, 0, "its group, or a user or group named in its ACL, may write in it"},
                                           {0703, 0, "other users may write in it"}}) {
        const std::string dir = work.mkdir("refused");
        ::chmod(dir.c_str(), static_cast<mode_t>(mode));
        ::chown(dir.c_str(), static_cast<uid_t>(owner), 0);
        const gwtest::ProcessResult r = check({"--reports", dir, t.root()});
        EXPECT_EQ(r.err, "grantwise-check: cannot write the reports in " + dir + ": " + why + "\n");
        EXPECT_TRUE(r.status == 2 && namesIn(dir).empty());
        ::rmdir(dir.c_str());
    }

    // Nor through a folder or link on the way that another user may change:
    // as root, that would write wherever that user points it.
    const std::string home = work.mkdir("home/user");
    const std::string secret = work.mkdir("secret");
    ::chmod(secret.c_str(), 0700);
    ASSERT_EQ(::chown(home.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::symlink(secret.c_str(), (home + "/r").c_str()), 0);
    ASSERT_EQ(::lchown((home + "/r").c_str(), 65534, 65534), 0);
    for (const std::vector<std::string>& args : {std::vector<std::string> {"--reports", home + "/r/new"},
                                                 {"--reports", work.path("ok"), "--fix-file", home + "/r/fix.acl"}}) {
        std::vector<std::string> argv = args;
        argv.push_back(t.root());
        const gwtest::ProcessResult r = check(argv);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(": " + home + " may be changed by another user\n"), std::string::npos) << r.err;
    }
    EXPECT_TRUE(namesIn(secret).empty());

    // A new folder, and its parents, are the caller's alone; so are the reports.
    const std::string made = work.path("new/deeper");
    ASSERT_EQ(check({"--reports", made, t.root()}).status, 0);
    EXPECT_EQ(namesIn(made), kReports);
    for (const std::string& p : {work.path("new"), made, made + "/acl.txt", made + "/acl_def.txt"})
        EXPECT_EQ(fs::status(p).permissions(),
                  fs::is_directory(p) ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_write)
            << p;
}

TEST(GrantwiseCheck, ASecondRunIntoTheSameFolderIsRefused)
{
    TempTree t, work;
    const std::string dir = work.path("r");
    ASSERT_EQ(check({"--reports", dir, t.root()}).status, 0);
    const std::string before = gwtest::readFile(dir + "/acl.txt");
    const int held = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    const gwtest::ProcessResult r = check({"--reports", dir, t.root()});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "grantwise-check: reports folder " + dir + " is in use by another check\n");
    EXPECT_EQ(gwtest::readFile(dir + "/acl.txt"), before);
}

TEST(GrantwiseCheck, AFailedWriteLeavesNoReportAndSaysWhy)
{
    TempTree t, work;
    t.mkdir("A");
    // A file-size limit: the write fails, the run is not ended by SIGXFSZ,
    // and the earlier reports go too, so none can pass for this run's.
    const std::string dir = work.path("r");
    ASSERT_EQ(check({"--reports", dir, t.root()}).status, 0);
    const gwtest::ProcessResult r = run({"prlimit", "--fsize=100", gwtest::checkProgram(), "--reports", dir, t.root()});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "grantwise-check: cannot write " + dir + "/acl.txt: File too large\n");
    EXPECT_TRUE(namesIn(dir).empty());

    // The private folder of a run that wrote nothing is removed.
    const std::string tmp = work.mkdir("tmp");
    ::setenv("TMPDIR", tmp.c_str(), 1);
    EXPECT_EQ(run({"prlimit", "--fsize=100", gwtest::checkProgram(), t.root()}).status, 2);
    EXPECT_TRUE(namesIn(tmp).empty());

    // Neither is a failed standard output success.
    const gwtest::ProcessResult full = launch({t.root()}, "/dev/full");
    EXPECT_EQ(full.status, 2);
    EXPECT_EQ(full.err, "grantwise-check: cannot write to standard output: No space left on device\n");

    ::setenv("TMPDIR", work.path("missing").c_str(), 1);
    const gwtest::ProcessResult missing = check({t.root()});
    ::unsetenv("TMPDIR");
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err,
              "grantwise-check: cannot make a folder for the reports in " + work.path("missing")
                  + ": No such file or directory\n");
}

TEST(GrantwiseCheck, SignalsRemoveWhatTheRunLeftUnfinished)
{
    TempTree t, work;
    t.mkdir("A");
    const std::string dir = work.path("r");
    ASSERT_EQ(check({"--reports", dir, t.root()}).status, 0);
    const std::string before = gwtest::readFile(dir + "/acl.txt");

    // While the new reports are written: the earlier ones stay as they were.
    EXPECT_EQ(launch({"--jobs", "1", "--reports", dir, t.root()}, "/dev/null", {SYS_fdatasync}, SIGINT).status, 130);
    EXPECT_EQ(namesIn(dir), kReports);
    EXPECT_EQ(gwtest::readFile(dir + "/acl.txt"), before);

    // While they are renamed in: no set of two runs is left.
    EXPECT_EQ(launch({"--jobs", "1", "--reports", dir, t.root()}, "/dev/null", kRename, SIGHUP).status, 129);
    EXPECT_TRUE(namesIn(dir).empty());

    // A private folder with nothing in it goes with the run.
    const std::string tmp = work.mkdir("tmp");
    ::setenv("TMPDIR", tmp.c_str(), 1);
    EXPECT_EQ(launch({"--jobs", "1", t.root()}, "/dev/null", {SYS_fdatasync}, SIGTERM).status, 143);
    ::unsetenv("TMPDIR");
    EXPECT_TRUE(namesIn(tmp).empty());
}

TEST(GrantwiseCheck, TheRunsOwnFoldersAreNotChecked)
{
    TempTree t;
    t.mkdir("A");
    // The reports folder (mode 0700) inside the checked folder, on a first
    // run and on a later one; then the private folder under a TMPDIR there.
    for (int run = 0; run < 2; ++run) {
        const gwtest::ProcessResult r = check({"--reports", t.path("reports"), t.root()});
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find("It contains 1 subfolders\n"), std::string::npos) << r.out;
    }
    gwtest::run({"rm", "-r", t.path("reports")});
    ::setenv("TMPDIR", t.mkdir("tmp").c_str(), 1);
    const gwtest::ProcessResult r = check({t.root()});
    ::unsetenv("TMPDIR");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("It contains 2 subfolders\n"), std::string::npos) << r.out;
}

TEST(GrantwiseCheck, TheFolderArgumentAtItsEdges)
{
    TempTree t, work;
    // The current folder deleted: "." is not "/".
    const std::string gone = t.mkdir("gone");
    ASSERT_EQ(::chdir(gone.c_str()), 0);
    ::rmdir(gone.c_str());
    const gwtest::ProcessResult r = check({"--reports", work.path("r"), "."});
    ::chdir("/");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "grantwise-check: cannot resolve . against the current folder: No such file or directory\n");

    // A folder deeper than PATH_MAX is checked like any other.
    std::string deep = t.root();
    for (int fd = ::open(deep.c_str(), O_RDONLY), next; fd >= 0; ::close(fd), fd = next) {
        const std::string name = deep.size() > PATH_MAX ? "sub" : std::string(200, 'd');
        ::mkdirat(fd, name.c_str(), 0755);
        next = name == "sub" ? -1 : ::openat(fd, name.c_str(), O_RDONLY);
        deep += name == "sub" ? "" : "/" + name;
    }
    const gwtest::ProcessResult longOne = check({"--reports", work.path("r"), deep});
    EXPECT_EQ(longOne.status, 0) << longOne.err;
    EXPECT_NE(longOne.out.find("It contains 1 subfolders\n"), std::string::npos);

    // A folder that cannot be reached says why.
    ::chmod(t.path(std::string(200, 'd')).c_str(), 0700);
    const std::string failed = gwtest::asNobody([&]() -> std::string {
        const gwtest::ProcessResult n = check({deep});
        return n.status == 2 && n.err == "grantwise-check: Error setting path: \"" + deep + "\": Permission denied\n"
            ? ""
            : "a folder that cannot be reached: " + n.err;
    });
    EXPECT_EQ(failed, "");
}

TEST(GrantwiseCheck, NoPrivateFolderInATemporaryFolderAnotherUserMayChange)
{
    TempTree t, work;
    const std::string theirs = work.mkdir("theirs");
    ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
    ::setenv("TMPDIR", theirs.c_str(), 1);
    const gwtest::ProcessResult r = check({"--quiet", t.root()});
    ::unsetenv("TMPDIR");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(theirs + " may be changed by another user"), std::string::npos) << r.err;
    EXPECT_TRUE(namesIn(theirs).empty());
}

TEST(GrantwiseCheck, QuietRunsNameTheirPrivateFolder)
{
    TempTree t, work;
    ::setenv("TMPDIR", work.root().c_str(), 1);
    const gwtest::ProcessResult en = check({"--quiet", t.root()});
    const gwtest::ProcessResult ru = check({"--quiet", "--lang", "ru", t.root()});
    ::unsetenv("TMPDIR");
    for (const auto& [r, label] :
         {std::pair {en, std::string("Reports folder: ")}, std::pair {ru, std::string("Папка отчетов: ")}}) {
        const std::string second = r.out.substr(r.out.find('\n') + 1); // after the verdict's line
        EXPECT_EQ(second.substr(0, label.size() + work.root().size() + 11), label + work.root() + "/grantwise-");
        EXPECT_EQ(namesIn(second.substr(label.size(), second.size() - label.size() - 1)), kReports);
    }
}

TEST(GrantwiseCheck, JsonLinesNameEveryFolderThatDiffersOrWasMissed)
{
    TempTree t, work;
    const std::string odd = t.mkdir("new\nline \xff \"q\"");
    t.mkdir("new\nline \xff \"q\"/below");
    t.mkdir("same");
    gwtest::setfacl({"-R", "-m", "u:12345:r-x", odd});
    const gwtest::ProcessResult r = check({"--json", "--reports", work.path("r"), t.root()});
    EXPECT_EQ(r.status, 1);
    std::vector<QJsonObject> lines;
    for (const QByteArray& line : QByteArray::fromStdString(r.out).split('\n')) {
        if (line.isEmpty())
            continue;
        QJsonParseError error {};
        const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        lines.push_back(doc.object());
    }
    ASSERT_EQ(lines.size(), 3u) << r.out;
    EXPECT_EQ(lines[0]["status"].toString(), "differs");
    EXPECT_EQ(QByteArray::fromBase64(lines[0]["path_base64"].toString().toLatin1()).toStdString(), odd);
    EXPECT_TRUE(lines[0]["starts_here"].toBool());
    EXPECT_EQ(lines[0]["same_below"].toInt(), 1);
    EXPECT_EQ(lines[0]["changes"].toArray()[0].toObject()["entry"].toString(), "user 12345:r-x");
    EXPECT_FALSE(lines[1]["starts_here"].toBool());
    const QJsonObject summary = lines[2];
    EXPECT_EQ(summary["type"].toString(), "summary");
    EXPECT_EQ(summary["verdict"].toString(), "differ");
    EXPECT_EQ(summary["mismatches"].toInt(), 2);
    EXPECT_EQ(summary["subfolders"].toInt(), 3);
    EXPECT_EQ(summary["reports"].toObject()["differences"].toString().toStdString(), work.path("r/acl_diff.txt"));
}

TEST(GrantwiseCheck, ScopeOptionsChangeWhatIsCheckedNeverTheLayout)
{
    TempTree t, work;
    t.mkdir(".hidden");
    t.mkdir("a/b/c");
    t.mkdir("skip/x");
    t.mkdir("team/made-by-nobody");
    gwtest::setfacl({"-m", "u:12345:rwx", t.path(".hidden")});
    gwtest::setfacl({"-m", "u:12345:rwx", t.path("a/b/c")});
    gwtest::setfacl({"-m", "u:12345:rwx", t.path("skip/x")});
    ASSERT_EQ(::chown(t.path("team/made-by-nobody").c_str(), 65534, 65534), 0);
    const auto mismatches = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--quiet", "--reports=" + work.path("r")});
        args.push_back(t.root());
        const gwtest::ProcessResult r = check(args);
        const std::size_t at = r.out.find("The number of mismatches: ");
        return at == std::string::npos ? (r.status == 0 ? 0 : -r.status) : std::atoi(r.out.c_str() + at + 26);
    };
    EXPECT_EQ(mismatches({}), 3); // c, x, made-by-nobody
    EXPECT_EQ(mismatches({"--include-hidden"}), 4); // and .hidden
    EXPECT_EQ(mismatches({"--exclude", "skip"}), 2); // a name
    EXPECT_EQ(mismatches({"--exclude=a/b", "--exclude", "sk*"}), 1); // a path below the folder, and a glob
    EXPECT_EQ(mismatches({"--exclude", "b/c"}), 3); // a path is matched from the folder on
    EXPECT_EQ(mismatches({"--max-depth=2"}), 2); // c lies three levels down
    EXPECT_EQ(mismatches({"--ignore", "owner,group"}), 2); // only the names differ
    EXPECT_EQ(mismatches({"--ignore=owner"}), 3); // the owning group still differs

    // The reports keep their layout: one line says what was left out.
    const gwtest::ProcessResult r = check(
        {"--quiet", "--jobs=1", "--reports", work.path("r"), "--ignore", "owner,group", "--", t.root()});
    EXPECT_EQ(r.status, 1);
    const std::string full = gwtest::readFile(work.path("r/acl_def.txt"));
    EXPECT_NE(
        full.find(
            "\r\n\r\n\r\n\r\n\r\n\r\nNot compared: owner names, owning group names\r\nMismatches have been found."),
        std::string::npos);
    EXPECT_NE(
        gwtest::readFile(work.path("r/acl_diff.txt")).find("places.\nNot compared: owner names, owning group names\n"),
        std::string::npos);
    const gwtest::ProcessResult scoped = check(
        {"--json", "--reports", work.path("r"), "--exclude", "skip", "--max-depth=2", "--one-file-system", t.root()});
    const std::string said = "Not checked: folders matching skip, folders more than 2 levels below, other file systems";
    EXPECT_NE(gwtest::readFile(work.path("r/acl.txt")).find("\r\n" + said + "\r\n"), std::string::npos);
    EXPECT_NE(gwtest::readFile(work.path("r/acl_diff.txt")).find("\n" + said + "\n"), std::string::npos);
    EXPECT_NE(scoped.out.find("\"not_checked\":\"folders matching skip, folders more than 2 levels below, other file "
                              "systems\",\"not_compared\":\"\",\"hidden_not_checked\":1}"),
              std::string::npos)
        << scoped.out;
    // A hidden folder left out by default is never passed over in silence.
    t.mkdir("a/.also-hidden/deeper");
    // The console says what the options left out, in either language.
    const std::vector<std::string> leftOut {"--exclude", "skip", "--max-depth=2", "--one-file-system"};
    std::vector<std::string> args {"--reports", work.path("r")};
    args.insert(args.end(), leftOut.begin(), leftOut.end());
    args.push_back(t.root());
    EXPECT_NE(check(args).out.find(".\n" + said + "\nHidden folders not checked"), std::string::npos);
    args.insert(args.begin(), {"--lang", "ru"});
    EXPECT_NE(check(args).out.find(
                  ".\nНе проверены: папки по шаблону skip, папки глубже уровня 2, другие файловые системы\nСкрытые"),
              std::string::npos)
        << check(args).out;
    EXPECT_EQ(check({"--reports", work.path("r"), t.root()}).out.find("Not checked"), std::string::npos);
    // A reports folder inside the checked one is left out with all below it,
    // and said so: what is below it was not seen.
    t.mkdir("reports-here/below");
    const gwtest::ProcessResult inside = check({"--json", "--reports", t.path("reports-here"), t.root()});
    EXPECT_NE(inside.out.find("\"not_checked\":\"the reports folder, with all below it\""), std::string::npos)
        << inside.out;
    EXPECT_NE(check({"--lang", "ru", "--reports", t.path("reports-here"), t.root()})
                  .out.find("\nНе проверены: папка отчётов со всем, что в ней\n"),
              std::string::npos);
    EXPECT_NE(check({"--max-depth=1", "--reports", work.path("r"), t.root()})
                  .out.find("Not checked: folders more than 1 level below\n"),
              std::string::npos);
    const std::string hidden = "Hidden folders not checked, with all below them: 2 (--include-hidden checks them)\n";
    EXPECT_NE(check({"--reports", work.path("r"), t.root()}).out.find(".\n" + hidden + "Processing time"),
              std::string::npos);
    EXPECT_EQ(check({"--reports", work.path("r"), "--include-hidden", t.root()}).out.find("Hidden folders"),
              std::string::npos);
    // Only those nothing else left out: not an excluded one, nor the reports.
    EXPECT_NE(check({"--reports", t.path(".reports"), "--exclude", ".hidden", t.root()})
                  .out.find("Hidden folders not checked, with all below them: 1 "),
              std::string::npos);
    gwtest::run({"rm", "-r", t.path(".reports")});
    EXPECT_NE(check({"--json", "--reports", work.path("r"), "--include-hidden", t.root()})
                  .out.find("\"hidden_not_checked\":0}"),
              std::string::npos);
    EXPECT_EQ(check({"--ignore", "mode", t.root()}).status, 2);
    EXPECT_EQ(check({"--max-depth", "-1", t.root()}).status, 2);
    EXPECT_EQ(check({"--reports"}).err.rfind("grantwise-check: --reports needs a value\n", 0), 0u);
}

TEST(GrantwiseCheck, OneFileSystemStaysOnTheFoldersOwn)
{
    TempTree t, work;
    const std::string disk = t.mkdir("disk");
    const gwtest::Mount mount(disk, "tmpfs", "mode=0755");
    if (!mount.mounted())
        GTEST_SKIP() << "mounting a tmpfs needs root";
    t.mkdir("disk/inside");
    gwtest::setfacl({"-m", "u:12345:rwx", t.path("disk/inside")});
    EXPECT_EQ(check({"--quiet", "--reports", work.path("r"), t.root()}).status, 1);
    const gwtest::ProcessResult r = check({"--quiet", "--one-file-system", "--reports", work.path("r"), t.root()});
    EXPECT_EQ(r.status, 0) << r.out; // the mount point is checked, what is on it is not
    EXPECT_NE(gwtest::readFile(work.path("r/acl.txt")).find("It contains 1 subfolders."), std::string::npos);
}

// The kernel's own file systems are looked at, never gone into: with the
// files checked too, nothing in them is counted as not listed, and the tree
// can have a baseline.
TEST(GrantwiseCheck, TheKernelsFileSystemsAreNoPartOfAFileCheck)
{
    TempTree t, work;
    const std::string proc = t.mkdir("proc");
    t.mkdir("plain");
    const gwtest::Mount mount(proc, "proc");
    if (!mount.mounted())
        GTEST_SKIP() << "mounting proc needs root";
    for (const char* kind : {"--files", "--inheritance"}) {
        const gwtest::ProcessResult r = check({"--json", "--files", kind, "--reports", work.path("r"), t.root()});
        EXPECT_EQ(r.out.find("not_listed\","), std::string::npos) << kind << "\n" << r.out;
        EXPECT_NE(r.out.find("\"not_listed\":0,"), std::string::npos) << r.out;
    }
    const gwtest::ProcessResult saved = check(
        {"--quiet", "--files", "--save-baseline", work.path("base.acl"), "--reports", work.path("r"), t.root()});
    EXPECT_NE(saved.status, 2) << saved.err;
    EXPECT_NE(gwtest::readFile(work.path("base.acl")).find("# file: " + t.path("plain")), std::string::npos)
        << saved.out << saved.err;
}

TEST(GrantwiseCheck, WhatIsIgnoredIsIgnoredWhereDifferencesFold)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving folders other owners needs root";
    // A team share: 200 folders, each its maker's, five makers; one change of
    // the owner's (or the owning group's) rights over a subtree of 10.
    for (const bool group : {false, true}) {
        TempTree t, work;
        int n = 0;
        for (int top = 0; top < 20; ++top) {
            for (int sub = -1; sub < 9; ++sub, ++n) {
                const std::string path = t.mkdir("d" + std::to_string(top)
                                                 + (sub < 0 ? "" : "/s" + std::to_string(sub)));
                const unsigned id = 30001 + static_cast<unsigned>(n % 5);
                ASSERT_EQ(::chown(path.c_str(), group ? 0 : id, group ? id : 0), 0);
            }
        }
        ASSERT_EQ(n, 200);
        ASSERT_EQ(run({"chmod", "-R", group ? "g+w" : "u-w", t.path("d7")}).status, 0);
        const gwtest::ProcessResult r = check(
            {"--json", "--reports", work.path("r"), "--ignore", group ? "group" : "owner", t.root()});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(gwtest::readFile(work.path("r/acl_diff.txt"))
                      .find("10 folders differ from the checked folder; the differences start in 1 place.\n"),
                  std::string::npos)
            << gwtest::readFile(work.path("r/acl_diff.txt"));
        EXPECT_NE(
            gwtest::readFile(work.path("r/acl_diff.txt")).find("\n" + t.path("d7") + " (and 9 subfolders below it)\n"),
            std::string::npos);
        const auto count = [&r](const std::string& text) {
            int found = 0;
            for (std::size_t at = r.out.find(text); at != std::string::npos; at = r.out.find(text, at + 1))
                ++found;
            return found;
        };
        EXPECT_EQ(count("\"type\":\"folder\""), 10) << r.out;
        EXPECT_EQ(count("\"starts_here\":true,\"same_below\":9,"), 1) << r.out;
        EXPECT_EQ(count("\"starts_here\":true"), 1) << r.out;
    }
}

TEST(GrantwiseCheck, TemporariesOfKilledRunsAreRemovedAndNothingElse)
{
    TempTree t, work;
    t.mkdir("A");
    const std::string dir = work.path("r");
    ASSERT_EQ(check({"--reports", dir, t.root()}).status, 0);
    // Killed while it writes its first report: the temporary stays.
    EXPECT_EQ(launch({"--jobs", "1", "--reports", dir, t.root()}, "/dev/null", {SYS_fdatasync}, SIGKILL).status, -1);
    std::set<std::string> left = namesIn(dir);
    for (const std::string& report : kReports)
        left.erase(report);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left.begin()->rfind("acl.txt.", 0), 0u);

    // Files of the user's that look like ours, and some that are made like ours.
    const auto make = [](const std::string& path, mode_t mode) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        ::fchmod(fd, mode);
        ::close(fd);
    };
    const std::string fixDir = work.mkdir("fix");
    for (const char* ours : {"acl_def.txt.Zq09Ab", "acl_diff.txt.abcdef"})
        make(dir + "/" + ours, 0200);
    make(fixDir + "/fix.acl.Qw12Er", 0200);
    const std::set<std::string> kept {
        "acl.txt.before", "acl.txt.Ab3dE",  "acl.txt.Ab3dE99", "acl.txt.Ab-dE9", "xacl.txt.Ab3dE9",
        "acl.txt.LinkMe", "acl.txt.HardLn", "acl.txt.Folder",  "notes.Ab3dE9",   "hard"};
    make(dir + "/acl.txt.before", 0600); // a copy of a report, made by its user
    for (const char* name : {"acl.txt.Ab3dE", "acl.txt.Ab3dE99", "acl.txt.Ab-dE9", "xacl.txt.Ab3dE9", "notes.Ab3dE9"})
        make(dir + "/" + name, 0200);
    make(work.path("target"), 0200);
    ASSERT_EQ(::symlink(work.path("target").c_str(), (dir + "/acl.txt.LinkMe").c_str()), 0);
    make(dir + "/hard", 0200);
    ASSERT_EQ(::link((dir + "/hard").c_str(), (dir + "/acl.txt.HardLn").c_str()), 0);
    ASSERT_EQ(::mkdir((dir + "/acl.txt.Folder").c_str(), 0700), 0);
    make(fixDir + "/fix.acl.backup", 0600);
    if (::geteuid() == 0) { // another user's file is never taken for ours
        make(dir + "/acl_def.txt.Others", 0200);
        ASSERT_EQ(::chown((dir + "/acl_def.txt.Others").c_str(), 65534, 65534), 0);
    }

    const gwtest::ProcessResult r = check({"--reports", dir, "--fix-file", fixDir + "/fix.acl", t.root()});
    EXPECT_EQ(r.status, 0) << r.err;
    std::set<std::string> expected = kReports;
    expected.insert(kept.begin(), kept.end());
    if (::geteuid() == 0)
        expected.insert("acl_def.txt.Others");
    EXPECT_EQ(namesIn(dir), expected);
    EXPECT_EQ(namesIn(fixDir), (std::set<std::string> {"fix.acl", "fix.acl.backup"}));
    EXPECT_TRUE(fs::exists(work.path("target")));
    // The reports of the run are readable by their user, as before.
    for (const std::string& report : kReports)
        EXPECT_EQ(fs::status(dir + "/" + report).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

TEST(GrantwiseCheck, AReportNeverReplacesWhatIsNotARegularFile)
{
    TempTree t, work;
    t.mkdir("A");
    const std::string dir = work.path("r");
    ASSERT_EQ(check({"--reports", dir, t.root()}).status, 0);
    ASSERT_EQ(::unlink((dir + "/acl_diff.txt").c_str()), 0);
    ASSERT_EQ(::mkfifo((dir + "/acl_diff.txt").c_str(), 0600), 0);
    const gwtest::ProcessResult r = check({"--reports", dir, t.root()});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "grantwise-check: cannot write " + dir + "/acl_diff.txt: it is a FIFO, not a regular file\n");
    // The FIFO stays; no report of a run is left beside it.
    EXPECT_EQ(namesIn(dir), std::set<std::string> {"acl_diff.txt"});
    EXPECT_TRUE(fs::is_fifo(dir + "/acl_diff.txt"));
}
