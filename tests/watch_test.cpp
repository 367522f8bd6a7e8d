// The watch, with real kernel events: grantwise-check --watch --json runs as
// a process of its own while the test changes the tree, and every line it
// gives is checked; after many changes (and after the kernel's queue
// overflowed) what it says differs is what a fresh check finds.

#include "TempTree.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <acl/libacl.h>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <map>
#include <poll.h>
#include <random>
#include <set>
#include <spawn.h>
#include <sys/acl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// grantwise-check --watch --json ARGS, read line by line.
class Watcher {
public:
    explicit Watcher(const std::vector<std::string>& args, bool json = true)
    {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        std::vector<std::string> argv = {gwtest::checkProgram(), "--watch"};
        if (json)
            argv.push_back("--json");
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> raw;
        for (std::string& a : argv)
            raw.push_back(a.data());
        raw.push_back(nullptr);
        if (::posix_spawn(&pid, raw[0], &actions, nullptr, raw.data(), environ) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        fd = out[0];
    }
    ~Watcher()
    {
        stop();
        if (fd >= 0)
            ::close(fd);
    }
    // The next record, or an empty one when none comes within `ms`.
    QJsonObject next(int ms = 10000) { return QJsonDocument::fromJson(nextLine(ms)).object(); }
    // The next line, without its end; empty when none comes within `ms`.
    QByteArray nextLine(int ms = 10000)
    {
        const auto until = Clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            if (const qsizetype end = buffer.indexOf('\n'); end >= 0) {
                const QByteArray line = buffer.left(end);
                buffer.remove(0, end + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
            pollfd p {fd, POLLIN, 0};
            if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0)
                return {};
            char chunk[65536];
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n <= 0)
                return {};
            buffer.append(chunk, n);
        }
    }
    // Reads until the watch says it watches; false when it never does.
    bool ready()
    {
        for (QJsonObject o = next(30000); !o.isEmpty(); o = next(30000)) {
            if (o["type"] == "notice" && o["text"].toString().startsWith("Watching"))
                return true;
        }
        return false;
    }
    // The change records until none came for `quietMs` (long enough for a
    // watch slowed by a loaded machine).
    std::vector<QJsonObject> changes(int quietMs = 1500)
    {
        std::vector<QJsonObject> out;
        for (QJsonObject o = next(quietMs); !o.isEmpty(); o = next(quietMs))
            out.push_back(o);
        return out;
    }
    // Stops it (SIGSTOP), and waits until it is stopped.
    void pause()
    {
        ::kill(pid, SIGSTOP);
        int status = 0;
        ::waitpid(pid, &status, WUNTRACED);
    }
    int stop()
    {
        if (pid <= 0)
            return -1;
        ::kill(pid, SIGTERM);
        int status = 0;
        ::waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    pid_t pid = -1;
    int fd = -1;
    QByteArray buffer;
};

// "status path" of each record, for comparing whole sets of lines.
std::multiset<std::string> shown(const std::vector<QJsonObject>& records)
{
    std::multiset<std::string> out;
    for (const QJsonObject& o : records)
        out.insert(o["status"].toString().toStdString() + " " + o["path"].toString().toStdString());
    return out;
}

// The watch's view against a fresh check's, the differences named.
void expectSameView(const std::set<std::string>& view, const std::set<std::string>& fresh)
{
    std::vector<std::string> onlyWatch, onlyFresh;
    std::set_difference(view.begin(), view.end(), fresh.begin(), fresh.end(), std::back_inserter(onlyWatch));
    std::set_difference(fresh.begin(), fresh.end(), view.begin(), view.end(), std::back_inserter(onlyFresh));
    EXPECT_TRUE(onlyWatch.empty() && onlyFresh.empty())
        << "told by the watch only: " << testing::PrintToString(onlyWatch)
        << "\nfound by a fresh check only: " << testing::PrintToString(onlyFresh);
}

void sh(const std::vector<std::string>& argv)
{
    const gwtest::ProcessResult r = gwtest::run(argv);
    ASSERT_EQ(r.status, 0) << argv[0] << ": " << r.err;
}

} // namespace

TEST(Watch, EachChangeToAPlainTreeGivesItsLine)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: the watch marks the whole file system";
    gwtest::TempTree t, work, outside;
    for (const char* d : {"a", "b", "d", "keep"})
        t.mkdir(d);
    ::umask(022);
    Watcher w({"--reports", work.path("r"), t.root()});
    ASSERT_TRUE(w.ready());

    sh({"chmod", "700", t.path("a")});
    sh({"chgrp", "nogroup", t.path("b")});
    sh({"setfacl", "-m", "u:nobody:rx", t.path("d")});
    std::vector<QJsonObject> got = w.changes();
    EXPECT_EQ(
        shown(got),
        (std::multiset<std::string> {"differs " + t.path("a"), "differs " + t.path("b"), "differs " + t.path("d")}));
    for (const QJsonObject& o : got) {
        EXPECT_EQ(o["type"], "change");
        EXPECT_EQ(o["check"], "folder");
        EXPECT_EQ(o["kind"], "folder");
        EXPECT_GT(o["pid"].toInt(), 0);
        EXPECT_FALSE(o["changes"].toArray().isEmpty());
    }
    // A folder made as a new one is made here carries what it should: nothing.
    t.mkdir("plain");
    sh({"setfacl", "-b", t.path("d")});
    sh({"mkdir", "-m", "700", t.path("private")});
    EXPECT_EQ(shown(w.changes()),
              (std::multiset<std::string> {"mended " + t.path("d"), "differs " + t.path("private")}));

    // A foreign folder copied in, and a subtree of 1,000 private folders moved in: walked whole.
    outside.mkdir("foreign/inner");
    sh({"chmod", "-R", "700", outside.path("foreign")});
    sh({"cp", "-a", outside.path("foreign"), t.path("copied")});
    EXPECT_EQ(shown(w.changes()),
              (std::multiset<std::string> {"differs " + t.path("copied"), "differs " + t.path("copied/inner")}));
    std::multiset<std::string> moved, removed;
    outside.mkdir("many");
    for (int i = 0; i < 100; ++i) {
        for (int j = 0; j < 10; ++j) {
            const std::string rel = "many/f" + std::to_string(i) + (j ? "/g" + std::to_string(j) : "");
            ::mkdir(outside.path(rel).c_str(), 0700);
            moved.insert("differs " + t.path(rel));
            removed.insert("removed " + t.path(rel));
        }
    }
    ::chmod(outside.path("many").c_str(), 0755);
    ASSERT_EQ(::rename(outside.path("many").c_str(), t.path("many").c_str()), 0);
    EXPECT_EQ(shown(w.changes(1500)), moved);
    sh({"rm", "-r", t.path("many")});
    EXPECT_EQ(shown(w.changes(1500)), removed);

    sh({"chmod", "755", t.path("a")});
    EXPECT_EQ(shown(w.changes()), (std::multiset<std::string> {"mended " + t.path("a")}));
    EXPECT_EQ(w.stop(), 0); // a clean stop
    EXPECT_TRUE(gwtest::readFile(work.path("r/acl.txt")).size() > 0); // the check's reports stay
}

TEST(Watch, AShareJudgedByWhatEachFolderGives)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: the watch marks the whole file system";
    gwtest::TempTree t, work;
    sh({"setfacl", "-d", "-m", "u::rwx,g::rwx,g:12345:rwx,m::rwx,o::---", t.root()});
    sh({"chmod", "2770", t.root()});
    ::umask(0);
    ::mkdir(t.path("team").c_str(), 0777);
    ::umask(022);
    Watcher w({"--inheritance", "--files", "--reports", work.path("r"), t.root()});
    ASSERT_TRUE(w.ready());

    // Made in the share as the share makes them: nothing to say.
    ::mkdir(t.path("team/new").c_str(), 0777);
    ::close(::open(t.path("team/notes.txt").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0666));
    EXPECT_TRUE(w.changes().empty());

    sh({"chmod", "g-s", t.path("team/new")});
    std::vector<QJsonObject> got = w.changes();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0]["status"], "not_inherited");
    EXPECT_EQ(got[0]["check"], "inheritance");
    EXPECT_EQ(got[0]["reasons"].toArray().first().toString(), "setgid_lost");

    sh({"setfacl", "-b", t.path("team/notes.txt")});
    got = w.changes();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0]["kind"], "file");
    EXPECT_EQ(got[0]["path"], QString::fromStdString(t.path("team/notes.txt")));

    sh({"chmod", "g+s", t.path("team/new")});
    EXPECT_EQ(shown(w.changes()), (std::multiset<std::string> {"mended " + t.path("team/new")}));

    // A folder's group set and set back: each time what it holds is judged
    // again, not only the first time the folder is opened.
    ::close(::open(t.path("team/new/plan.txt").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0666));
    for (const char* group : {"12345", "0", "12345", "0"}) {
        sh({"chgrp", group, t.path("team/new")});
        const std::string status = std::string(group) == "0" ? "mended " : "not_inherited ";
        EXPECT_EQ(shown(w.changes()),
                  (std::multiset<std::string> {status + t.path("team/new"), status + t.path("team/new/plan.txt")}))
            << "chgrp " << group;
    }
    EXPECT_EQ(w.stop(), 0);
}

TEST(Watch, TheProcessThatMadeTheChangeIsNamed)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: the watch marks the whole file system";
    gwtest::TempTree t, work;
    t.mkdir("a");
    Watcher w({"--reports", work.path("r"), t.root()});
    ASSERT_TRUE(w.ready());
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::chmod(t.path("a").c_str(), 0700);
        char c;
        (void)!::read(go[0], &c, 1); // stays alive until the line is read
        ::_exit(0);
    }
    const std::vector<QJsonObject> got = w.changes();
    (void)!::write(go[1], "x", 1);
    ::waitpid(child, nullptr, 0);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0]["pid"].toInt(), child);
    EXPECT_EQ(got[0]["command"].toString(), QString("watch_test"));
    EXPECT_EQ(got[0]["user"].toString(), QString("root"));
}

namespace {

// The folders a fresh check finds differing, and those the watch's lines
// leave differing.
std::set<std::string> freshDiffering(const std::string& root, const std::string& reports)
{
    const gwtest::ProcessResult r = gwtest::run({gwtest::checkProgram(), "--json", "--reports", reports, root});
    std::set<std::string> out;
    for (const QByteArray& line : QByteArray::fromStdString(r.out).split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o["type"] == "folder" && o["status"] == "differs")
            out.insert(o["path"].toString().toStdString());
    }
    return out;
}

void follow(std::set<std::string>& view, const std::vector<QJsonObject>& records)
{
    for (const QJsonObject& o : records) {
        if (o["type"] != "change")
            continue;
        const std::string path = o["path"].toString().toStdString();
        if (o["status"] == "differs")
            view.insert(path);
        else
            view.erase(path);
    }
}

bool setNamedUser(const std::string& path, bool on)
{
    acl_t acl = acl_from_text(on ? "u::rwx,u:65534:r-x,g::r-x,m::r-x,o::r-x" : "u::rwx,g::r-x,o::r-x");
    const bool ok = acl && acl_set_file(path.c_str(), ACL_TYPE_ACCESS, acl) == 0;
    acl_free(acl);
    return ok;
}

} // namespace

// A seeded random script of 1,000 changes made by this process: the watch's
// view of what differs is a fresh check's; so it is after the kernel's queue
// overflowed while the watch was stopped.
TEST(Watch, AfterManyChangesAndAnOverflowTheViewIsAFreshChecks)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: the watch marks the whole file system";
    gwtest::TempTree t, work;
    std::vector<std::string> folders;
    for (int i = 0; i < 60; ++i)
        folders.push_back(t.mkdir("d" + std::to_string(i % 12) + "/e" + std::to_string(i)));
    // The kernel's own bounded queue, so that it overflows.
    ::setenv("GRANTWISE_WATCH_BACKLOG", "0", 1);
    Watcher w({"--reports", work.path("r"), t.root()});
    ::unsetenv("GRANTWISE_WATCH_BACKLOG");
    ASSERT_TRUE(w.ready());
    std::set<std::string> view;
    std::mt19937 random(20261208);
    const mode_t modes[] = {0755, 0700, 0750, 0775};
    int made = 0;
    for (int step = 0; step < 1000; ++step) {
        const std::string& f = folders[random() % folders.size()];
        switch (random() % 5) {
        case 0:
        case 1: ::chmod(f.c_str(), modes[random() % 4]); break;
        case 2: setNamedUser(f, random() % 2 == 0); break;
        case 3: {
            const std::string fresh = f + "/n" + std::to_string(made++);
            ::mkdir(fresh.c_str(), modes[random() % 4]);
            folders.push_back(fresh);
            break;
        }
        case 4: {
            // A leaf moved elsewhere in the tree, or removed.
            const std::string& to = folders[random() % folders.size()];
            const std::string target = to + "/m" + std::to_string(made++);
            if (target.rfind(f + "/", 0) != 0 && ::rename(f.c_str(), target.c_str()) == 0)
                folders.push_back(target);
            break;
        }
        }
    }
    follow(view, w.changes(1500));
    expectSameView(view, freshDiffering(t.root(), work.path("fresh")));

    // Stopped while far more changes come than the kernel's queue holds.
    w.pause();
    // Events on items of distinct names: the kernel merges none of them.
    for (int i = 0; i < 20000; ++i) {
        const std::string name = folders[0] + "/burst" + std::to_string(i);
        ::mkdir(name.c_str(), 0700);
        ::rmdir(name.c_str());
    }
    ::chmod(folders[1].c_str(), 0700);
    ::chmod(folders[2].c_str(), 0755);
    setNamedUser(folders[3], true);
    ::kill(w.pid, SIGCONT);
    const std::vector<QJsonObject> after = w.changes(5000);
    ASSERT_FALSE(after.empty());
    bool lost = false;
    for (const QJsonObject& o : after)
        lost = lost || (o["type"] == "notice" && o["text"].toString().contains("lost"));
    EXPECT_TRUE(lost);
    follow(view, after);
    expectSameView(view, freshDiffering(t.root(), work.path("fresh")));
    EXPECT_EQ(w.stop(), 0);
}

// As root the kernel's queue is unbounded; beyond the watch's own bound
// what waits is dropped, said, and the tree checked whole again.
TEST(Watch, MoreWaitingThanItsBoundIsSaidAndCheckedWhole)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: the watch marks the whole file system";
    gwtest::TempTree t, work;
    const std::string a = t.mkdir("a"), b = t.mkdir("b");
    ::setenv("GRANTWISE_WATCH_BACKLOG", "2000", 1);
    Watcher w({"--reports", work.path("r"), t.root()});
    ::unsetenv("GRANTWISE_WATCH_BACKLOG");
    ASSERT_TRUE(w.ready());
    w.pause();
    // More than the watch takes from the queue at once, so that some wait
    // wherever it was stopped.
    for (int i = 0; i < 20000; ++i) {
        const std::string name = a + "/burst" + std::to_string(i);
        ::mkdir(name.c_str(), 0700);
        ::rmdir(name.c_str());
    }
    ::chmod(b.c_str(), 0700);
    ::kill(w.pid, SIGCONT);
    std::set<std::string> view;
    const std::vector<QJsonObject> after = w.changes(5000);
    bool lost = false;
    for (const QJsonObject& o : after)
        lost = lost || (o["type"] == "notice" && o["text"].toString().contains("more waited"));
    EXPECT_TRUE(lost) << after.size() << " lines, the first: "
                      << (after.empty() ? std::string() : QJsonDocument(after.front()).toJson().toStdString());
    follow(view, after);
    expectSameView(view, freshDiffering(t.root(), work.path("fresh")));
    EXPECT_EQ(w.stop(), 0);
}

// A file system mounted inside the tree is watched too (its own mark), and
// its folders are told by their own handles.
TEST(Watch, AFileSystemMountedInTheTreeIsWatchedToo)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: the watch marks the whole file system";
    gwtest::TempTree t, work;
    const std::string inner = t.mkdir("inner");
    if (::mount("tmpfs", inner.c_str(), "tmpfs", 0, "size=1m,mode=0755") != 0)
        GTEST_SKIP() << "mounting a tmpfs is not allowed here: " << std::strerror(errno);
    const struct Unmount {
        std::string at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount {inner};
    const std::string deep = t.mkdir("inner/deep");
    ::chmod(t.root().c_str(), 0755);
    ::chmod(deep.c_str(), 0755);
    Watcher w({"--reports", work.path("r"), t.root()});
    ASSERT_TRUE(w.ready());
    ::chmod(deep.c_str(), 0700);
    EXPECT_EQ(shown(w.changes()), std::multiset<std::string>({"differs " + deep}));
    // One mounted while watched is walked and marked at once.
    const std::string later = t.mkdir("later");
    ASSERT_EQ(::mount("tmpfs", later.c_str(), "tmpfs", 0, "size=1m,mode=0755"), 0);
    const Unmount unmountLater {later};
    (void)w.changes();
    const std::string made = later + "/made";
    ::mkdir(made.c_str(), 0700);
    EXPECT_EQ(shown(w.changes()), std::multiset<std::string>({"differs " + made}));
    EXPECT_EQ(w.stop(), 0);
}

// Started by systemd, each line goes to the journal as a record with fields
// of its own (here to a socket in the journal's place: no journal runs in
// the tests).
TEST(Watch, UnderSystemdEachLineIsAJournalRecord)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: the watch marks the whole file system";
    gwtest::TempTree t, work;
    t.mkdir("a");
    const std::string socketPath = work.path("journal");
    const int journal = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, socketPath.c_str());
    ASSERT_EQ(::bind(journal, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::setenv("GRANTWISE_JOURNAL_SOCKET", socketPath.c_str(), 1);
    ::setenv("JOURNAL_STREAM", "8:1234", 1);
    ::setenv("INVOCATION_ID", "0123456789abcdef0123456789abcdef", 1);
    Watcher w({"--reports", work.path("r"), t.root()});
    for (const char* name : {"GRANTWISE_JOURNAL_SOCKET", "JOURNAL_STREAM", "INVOCATION_ID"})
        ::unsetenv(name);
    const auto record = [journal]() -> std::string {
        pollfd p {journal, POLLIN, 0};
        if (::poll(&p, 1, 30000) <= 0)
            return {};
        char buffer[65536];
        const ssize_t n = ::recv(journal, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    };
    const std::string started = record(); // the watch begins
    EXPECT_NE(started.find("GRANTWISE_STATUS=notice\n"), std::string::npos) << started;
    sh({"chmod", "700", t.path("a")});
    const std::string change = record();
    const std::vector<std::string> fields = {"GRANTWISE_STATUS=differs\n",           "GRANTWISE_CHECK=folder\n",
                                             "GRANTWISE_PATH=" + t.path("a") + "\n", "PRIORITY=4\n",
                                             "SYSLOG_IDENTIFIER=grantwise-check\n",  "GRANTWISE_PID="};
    for (const std::string& field : fields)
        EXPECT_NE(change.find(field), std::string::npos) << field << " in " << change;
    EXPECT_EQ(w.stop(), 0);
    ::close(journal);
}

// Lines that cannot be written are not lost in silence: the watch ends, and
// says why.
TEST(Watch, LinesThatCannotBeWrittenEndTheWatch)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: the watch marks the whole file system";
    gwtest::TempTree t, work;
    t.mkdir("a");
    ::signal(SIGPIPE, SIG_IGN); // inherited: its writes fail (EPIPE) rather than kill it
    Watcher w({"--reports", work.path("r"), t.root()});
    ::signal(SIGPIPE, SIG_DFL);
    ASSERT_TRUE(w.ready());
    ::close(w.fd); // nobody reads its lines any more
    w.fd = -1;
    sh({"chmod", "700", t.path("a")});
    int status = 0;
    pid_t ended = 0;
    for (int tries = 0; tries < 100 && (ended = ::waitpid(w.pid, &status, WNOHANG)) == 0; ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(ended, w.pid) << "the watch goes on with its lines lost";
    w.pid = -1;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
}

// Another user marks every folder: a tree with more folders than the user's
// fanotify mark limit allows is refused, with the limit named, never watched
// in part.
TEST(Watch, WithoutRootATreeBeyondTheMarkLimitIsRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: the limit is lowered for the test, and the watch runs as nobody";
    const std::string limitFile = "/proc/sys/fs/fanotify/max_user_marks";
    const std::string limit = gwtest::readFile(limitFile);
    if (limit.empty())
        GTEST_SKIP() << "no fanotify mark limit to lower here";
    gwtest::TempTree t, work;
    for (int i = 0; i < 6; ++i)
        t.mkdir("f" + std::to_string(i));
    ::chmod(t.root().c_str(), 0755);
    ::chown(work.root().c_str(), 65534, 65534);
    const auto watchAsNobody = [&] {
        return gwtest::run({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", gwtest::checkProgram(),
                            "--watch", "--quiet", "--reports", work.path("r"), t.root()});
    };
    {
        std::FILE* f = std::fopen(limitFile.c_str(), "w");
        ASSERT_TRUE(f);
        std::fputs("4\n", f);
        std::fclose(f);
    }
    const gwtest::ProcessResult refused = watchAsNobody();
    {
        std::FILE* f = std::fopen(limitFile.c_str(), "w");
        std::fputs(limit.c_str(), f);
        std::fclose(f);
    }
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("more folders than this user may watch (fs.fanotify.max_user_marks = 4)"),
              std::string::npos)
        << refused.err;
}

// With a baseline, each item is judged against its record: changed, new,
// gone, and mended when it is as recorded again.
TEST(Watch, AgainstABaselineChangedNewGoneAndMended)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: the watch marks the whole file system";
    gwtest::TempTree t, work;
    for (const char* d : {"a", "b/c"})
        t.mkdir(d);
    const std::string baseline = work.path("base.acl");
    ASSERT_EQ(gwtest::run({gwtest::checkProgram(), "--quiet", "--save-baseline", baseline, "--reports",
                           work.path("first"), t.root()})
                  .status,
              0);
    {
        // Nothing changed since the baseline, and --quiet (as the service
        // runs): the watch still begins.
        Watcher quiet({"--quiet", "--baseline", baseline, "--reports", work.path("q"), t.root()}, false);
        EXPECT_TRUE(quiet.nextLine().contains("  Watching " + QByteArray::fromStdString(t.root())));
        EXPECT_EQ(quiet.stop(), 0);
    }
    Watcher w({"--baseline", baseline, "--reports", work.path("r"), t.root()});
    ASSERT_TRUE(w.ready());
    sh({"chmod", "700", t.path("a")});
    t.mkdir("fresh");
    sh({"rm", "-r", t.path("b")});
    std::vector<QJsonObject> got = w.changes();
    EXPECT_EQ(shown(got),
              (std::multiset<std::string> {"changed " + t.path("a"), "new " + t.path("fresh"), "gone " + t.path("b"),
                                           "gone " + t.path("b/c")}));
    for (const QJsonObject& o : got)
        EXPECT_EQ(o["check"], "drift");
    sh({"chmod", "755", t.path("a")});
    ::rmdir(t.path("fresh").c_str());
    t.mkdir("b/c");
    EXPECT_EQ(shown(w.changes()),
              (std::multiset<std::string> {"mended " + t.path("a"), "mended " + t.path("fresh"),
                                           "mended " + t.path("b"), "mended " + t.path("b/c")}));
    EXPECT_EQ(w.stop(), 0);
}
