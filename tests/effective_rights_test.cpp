// Who can do what, against the kernel itself: users and groups made for the
// test, a random tree of owners, modes, access ACLs, masks, named entries and
// sticky folders, and for every (principal, folder or file) pair the rights
// the check works out must be what the kernel lets that user do, asked as
// that user in a process of its own (faccessat, and whether the path opens).

#include "TempTree.h"
#include "engine/rules/EffectiveRights.h"
#include "engine/run/BatchCheck.h"
#include "platform/PrintablePath.h"
#include "platform/ReportsFolder.h"
#include "platform/UserGroups.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <fcntl.h>
#include <grp.h>
#include <map>
#include <pwd.h>
#include <random>
#include <sstream>
#include <sys/acl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace gw;
using gwtest::run;

namespace {

// The test's users and groups, removed again whatever happens.
struct Principals {
    static constexpr const char* kGroups[] = {"gwwho-a", "gwwho-b", "gwwho-c", "gwwho-d"};
    // name, primary group, supplementary groups
    struct User {
        const char* name;
        const char* primary;
        const char* others;
    };
    static constexpr User kUsers[] = {
        {"gwwho-one", "gwwho-a", ""}, // one group
        {"gwwho-many", "gwwho-b", "gwwho-a,gwwho-c"}, // several
        {"gwwho-c", "gwwho-c", "gwwho-b"},
        {"gwwho-d", "gwwho-a", "gwwho-d"}, // also in the group no entry names
        {"gwwho-member", "gwwho-a", ""}, // owns nothing, named nowhere: a member of gwwho-a and no other
        {"gwwho-nobody", "gwwho-d", ""}, // in no group any entry names: anyone
    };
    bool made = false;
    std::string problem;
    Principals()
    {
        for (const char* g : kGroups) {
            if (::getgrnam(g)) {
                problem = std::string("group ") + g + " exists on this machine";
                return;
            }
        }
        for (const User& u : kUsers) {
            if (::getpwnam(u.name)) {
                problem = std::string("user ") + u.name + " exists on this machine";
                return;
            }
        }
        made = true;
        for (const char* g : kGroups) {
            if (run({"groupadd", g}).status != 0)
                problem = std::string("groupadd ") + g + " failed";
        }
        for (const User& u : kUsers) {
            std::vector<std::string> args {"useradd", "-M", "-N", "-s", "/usr/sbin/nologin", "-g", u.primary};
            if (*u.others)
                args.insert(args.end(), {"-G", u.others});
            args.push_back(u.name);
            if (run(args).status != 0)
                problem = std::string("useradd ") + u.name + " failed";
        }
    }
    ~Principals()
    {
        if (!made)
            return;
        for (const User& u : kUsers)
            run({"userdel", u.name});
        for (const char* g : kGroups)
            run({"groupdel", g});
    }
};

uid_t uidOf(const char* name)
{
    const struct passwd* p = ::getpwnam(name);
    return p ? p->pw_uid : 0;
}

gid_t gidOf(const char* name)
{
    const struct group* g = ::getgrnam(name);
    return g ? g->gr_gid : 0;
}

struct Item {
    std::string path;
    bool folder;
};

// A random tree below `root`: folders and files, each with a random owner,
// owning group, mode and access ACL; some folders sticky.
std::vector<Item> randomTree(const std::string& root, std::mt19937& rng, int folders, int files)
{
    std::vector<uid_t> owners {0};
    for (const Principals::User& u : Principals::kUsers) {
        if (std::string(u.name) != "gwwho-member" && std::string(u.name) != "gwwho-nobody")
            owners.push_back(uidOf(u.name));
    }
    std::vector<gid_t> groups {0, gidOf("gwwho-a"), gidOf("gwwho-b"), gidOf("gwwho-c")};
    std::vector<uid_t> namedUsers = owners;
    namedUsers.push_back(61000); // a user without an account
    std::vector<gid_t> namedGroups = groups;
    namedGroups.push_back(61001);
    const auto pick = [&rng](const auto& v) {
        return v[std::uniform_int_distribution<std::size_t>(0, v.size() - 1)(rng)];
    };
    const auto chance = [&rng](int percent) { return std::uniform_int_distribution<int>(0, 99)(rng) < percent; };
    // Most rights generous, so that the tree has depth the users can reach.
    bool aFolder = true; // of the item whose ACL is being made: most folders may be searched
    const auto perm = [&]() -> std::string {
        static const int common[] = {7, 7, 5, 5, 4, 6, 3, 1, 0, 2};
        int p = chance(70) ? common[std::uniform_int_distribution<int>(0, 9)(rng)]
                           : std::uniform_int_distribution<int>(0, 7)(rng);
        if (aFolder && chance(75))
            p |= 1;
        return std::string((p & 4) ? "r" : "-") + ((p & 2) ? "w" : "-") + ((p & 1) ? "x" : "-");
    };
    std::vector<Item> items {{root, true}};
    std::vector<std::string> dirs {root};
    for (int i = 0; i < folders + files; ++i) {
        const bool folder = i < folders;
        const std::string path = pick(dirs) + (folder ? "/d" : "/f") + std::to_string(i);
        if (folder) {
            if (::mkdir(path.c_str(), 0755) != 0)
                return {};
            dirs.push_back(path);
        } else {
            const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            if (fd < 0)
                return {};
            ::close(fd);
        }
        items.push_back({path, folder});
    }
    for (const Item& item : items) {
        if (::chown(item.path.c_str(), pick(owners), pick(groups)) != 0)
            return {};
        aFolder = item.folder;
        std::ostringstream text;
        text << "u::" << perm() << ",g::" << perm() << ",o::" << perm();
        if (chance(65)) {
            const int users = std::uniform_int_distribution<int>(0, 2)(rng);
            const int named = std::uniform_int_distribution<int>(0, 3)(rng);
            std::map<unsigned, std::string> u, g;
            for (int k = 0; k < users; ++k)
                u[pick(namedUsers)] = perm();
            for (int k = 0; k < named; ++k)
                g[pick(namedGroups)] = perm();
            for (const auto& [id, p] : u)
                text << ",u:" << id << ":" << p;
            for (const auto& [id, p] : g)
                text << ",g:" << id << ":" << p;
            text << ",m::" << perm();
        }
        acl_t acl = acl_from_text(text.str().c_str());
        const bool set = acl && acl_set_file(item.path.c_str(), ACL_TYPE_ACCESS, acl) == 0;
        if (acl)
            acl_free(acl);
        if (!set)
            return {};
        struct stat st { };
        if (item.folder && chance(20)
            && (::stat(item.path.c_str(), &st) != 0 || ::chmod(item.path.c_str(), (st.st_mode & 07777) | S_ISVTX) != 0))
            return {};
    }
    return items;
}

// What the kernel lets the process do at `path`: read, write (for a folder:
// write and search at once, as creating an entry asks), execute or search,
// and whether the path opens at all.
std::string kernelAnswer(const Item& item)
{
    const auto may = [&](int mode) { return ::faccessat(AT_FDCWD, item.path.c_str(), mode, AT_EACCESS) == 0; };
    const int fd = ::open(item.path.c_str(), O_PATH | O_CLOEXEC);
    if (fd >= 0)
        ::close(fd);
    std::string a;
    a += may(R_OK) ? 'r' : '-';
    a += may(item.folder ? W_OK | X_OK : W_OK) ? 'w' : '-';
    a += may(X_OK) ? 'x' : '-';
    a += fd >= 0 ? '+' : '!';
    return a;
}

std::string engineAnswer(const WhoPlace& p)
{
    std::string a;
    a += p.rights.read ? 'r' : '-';
    a += p.rights.write != WriteRight::No ? 'w' : '-';
    a += p.rights.enter ? 'x' : '-';
    a += p.reach == Reach::Yes ? '+' : p.reach == Reach::No ? '!' : '?';
    return a;
}

// The kernel's answers for every item, asked by `user` (with the groups the
// system gives them), or by this process (root) when `user` is empty.
std::map<std::string, std::string> kernelAnswers(const std::string& user, const std::vector<Item>& items)
{
    std::map<std::string, std::string> answers;
    const std::string said = gwtest::inChild([&]() -> std::string {
        if (!user.empty()) {
            const struct passwd* p = ::getpwnam(user.c_str());
            if (!p || ::initgroups(user.c_str(), p->pw_gid) != 0 || ::setgid(p->pw_gid) != 0
                || ::setuid(p->pw_uid) != 0)
                return "cannot become " + user;
        }
        std::string out;
        for (const Item& item : items)
            out += kernelAnswer(item) + item.path + "\n";
        return out;
    });
    std::istringstream lines(said);
    for (std::string line; std::getline(lines, line);) {
        if (line.size() > 4)
            answers[line.substr(4)] = line.substr(0, 4);
    }
    return answers;
}

struct EngineRun {
    std::map<std::string, std::string> answers; // raw path -> engine's answer
    WhoFindings findings;
    bool complete = false;
};

EngineRun engineRun(const std::string& who, const std::string& folder, const std::string& reports)
{
    EngineRun r;
    ReportsFolder out;
    if (out.open(QByteArray::fromStdString(reports)) != ReportsFolder::Outcome::Opened)
        return r;
    BatchOptions options;
    options.folder = QByteArray::fromStdString(folder);
    options.reports = &out;
    options.files = true;
    options.jobs = 2;
    Principal principal;
    std::string error;
    if (!lookUpPrincipal(who, principal, error))
        return r;
    options.who = principal;
    options.whoPlaces = [&r](const WhoPlace& p) { r.answers[p.rawPath.toStdString()] = engineAnswer(p); };
    const BatchResult result = runBatchCheck(options);
    r.findings = *result.who;
    r.complete = result.complete;
    return r;
}

TEST(EffectiveRights, EveryAnswerIsTheKernels)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "making users and groups, and becoming them, needs root";
    Principals principals;
    if (!principals.made)
        GTEST_SKIP() << principals.problem;
    ASSERT_EQ(principals.problem, "");
    gwtest::TempTree work;
    std::mt19937 rng(20261207);
    int pairs = 0, mismatches = 0, unreachable = 0, writable = 0;
    // Two trees, each checked from its top and from a folder deep in it, so
    // that the folders above the checked one decide too.
    for (int round = 0; round < 2; ++round) {
        const std::string root = work.mkdir("tree" + std::to_string(round));
        const std::vector<Item> items = randomTree(root, rng, 70, 110);
        ASSERT_FALSE(items.empty()) << "the random tree was not made";
        std::string deep = root;
        for (const Item& item : items) {
            if (item.folder
                && std::count(item.path.begin(), item.path.end(), '/') > std::count(deep.begin(), deep.end(), '/'))
                deep = item.path;
        }
        const std::vector<std::pair<std::string, std::string>> whom {{"gwwho-one", "gwwho-one"},
                                                                     {"gwwho-many", "gwwho-many"},
                                                                     {"gwwho-c", "gwwho-c"},
                                                                     {"gwwho-d", "gwwho-d"},
                                                                     {"group:gwwho-a", "gwwho-member"},
                                                                     {"anyone", "gwwho-nobody"},
                                                                     {"root", ""}};
        for (const auto& [who, user] : whom) {
            const std::map<std::string, std::string> kernel = kernelAnswers(user, items);
            ASSERT_EQ(kernel.size(), items.size()) << who;
            for (const std::string& top : {root, deep}) {
                const EngineRun r = engineRun(who, top, work.path("reports"));
                EXPECT_TRUE(r.complete) << who;
                for (const auto& [path, answer] : r.answers) {
                    const auto k = kernel.find(path);
                    ASSERT_NE(k, kernel.end()) << path;
                    ++pairs;
                    unreachable += answer.back() == '!';
                    writable += answer[1] == 'w';
                    if (answer != k->second) {
                        ++mismatches;
                        ADD_FAILURE() << who << " at " << path << ": the check says " << answer << ", the kernel "
                                      << k->second << "\n"
                                      << run({"getfacl", "-n", "-p", path}).out
                                      << run({"getfacl", "-n", "-p", path.substr(0, path.rfind('/'))}).out;
                    }
                }
                if (top == root) {
                    EXPECT_EQ(r.answers.size(), items.size()) << who;
                }
            }
        }
    }
    std::printf("%d (principal, item) pairs compared with the kernel, %d unreachable, %d writable: %d mismatches\n",
                pairs, unreachable, writable, mismatches);
    EXPECT_GE(pairs, 1000);
    EXPECT_GT(unreachable, 50); // the tree has branches some cannot reach
    EXPECT_GT(writable, 50);
    EXPECT_EQ(mismatches, 0);
}

} // namespace

namespace {

gwtest::ProcessResult check(const std::vector<std::string>& args)
{
    std::vector<std::string> argv {gwtest::checkProgram()};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv);
}

std::vector<QJsonObject> jsonLines(const std::string& out)
{
    std::vector<QJsonObject> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(line)).object());
    return lines;
}

TEST(WhoCheck, ThePlacesWhereTheRightsChangeCountEveryOtherBelowThem)
{
    gwtest::TempTree t, work;
    const std::string share = t.mkdir("share");
    t.mkdir("share/open/one/two");
    t.mkdir("share/closed/x/y");
    t.mkdir("share/tmp");
    for (const char* file : {"share/a", "share/b", "share/open/one/c", "share/open/one/two/d"})
        ::close(::open(t.path(file).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
    ASSERT_EQ(::chmod(t.path("share/open/one/c").c_str(), 0755), 0);
    ASSERT_EQ(::chmod(t.path("share/closed").c_str(), 0700), 0);
    ASSERT_EQ(::chmod(t.path("share/tmp").c_str(), 01777), 0);
    gwtest::setfacl({"-m", "u:nobody:rwx", t.path("share/open")});

    const gwtest::ProcessResult r = check({"--who", "nobody", "--files", "--json", "--reports", work.path("r"), share});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<QJsonObject> lines = jsonLines(r.out);
    ASSERT_FALSE(lines.empty());
    const QJsonObject summary = lines.back();
    std::map<std::string, QJsonObject> places;
    qint64 counted = 0;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        places[lines[i]["path"].toString().toStdString()] = lines[i];
        counted += 1 + lines[i]["same_below"].toInteger();
    }
    // Every folder and file once: listed, or counted below one that is.
    EXPECT_EQ(summary["folders"].toInteger(), 8);
    EXPECT_EQ(summary["files"].toInteger(), 4);
    EXPECT_EQ(counted, 12);
    EXPECT_TRUE(summary["complete"].toBool());
    const QJsonObject top = places[share];
    EXPECT_EQ(top["via"].toString(), "other");
    EXPECT_EQ(top["write"].toBool(true), false);
    // A named entry: write, and the folders below (made 0755) are other's again.
    EXPECT_EQ(places[t.path("share/open")]["via"].toString(), "user nobody");
    EXPECT_EQ(places[t.path("share/open")]["write"].toBool(), true);
    // Files: a file with its folder's rights is counted in it; of the others
    // the first with its rights is listed, the rest counted below it.
    EXPECT_EQ(places[t.path("share/open/one")]["same_below"].toInteger(), 2); // two, and c (read, execute)
    EXPECT_EQ(places.count(t.path("share/open/one/c")), 0u);
    EXPECT_EQ(places[t.path("share/a")]["execute"].toBool(true), false);
    EXPECT_EQ(places[t.path("share/a")]["same_below"].toInteger(), 1); // b
    EXPECT_EQ(places.count(t.path("share/b")), 0u);
    EXPECT_EQ(places[t.path("share/open/one/two/d")]["read"].toBool(), true);
    // Sticky: only its own entries.
    EXPECT_EQ(places[t.path("share/tmp")]["write"].toString(), "own");
    // A folder the user may not enter, and what is below it.
    EXPECT_EQ(places[t.path("share/closed")]["enter"].toBool(true), false);
    EXPECT_EQ(places[t.path("share/closed")]["reachable"].toBool(), true);
    const QJsonObject x = places[t.path("share/closed/x")];
    EXPECT_EQ(x["reachable"].toBool(true), false);
    EXPECT_EQ(x["read"].toBool(true), false);
    EXPECT_EQ(x["stopped_at"].toString().toStdString(), t.path("share/closed"));
    EXPECT_EQ(x["same_below"].toInteger(), 1); // y

    const std::string report = gwtest::readFile(work.path("r/acl_who.txt"));
    EXPECT_EQ(report.rfind("What nobody can do below " + share + "\n", 0), 0u) << report;
    EXPECT_NE(report.find("\nfolder " + t.path("share/closed/x") + "\n    nothing: not reachable, "
                          + t.path("share/closed") + " does not let nobody enter\n    the same below: 1\n"),
              std::string::npos)
        << report;

    // root is said so once; the other reports of the folder stay this run's.
    const gwtest::ProcessResult root = check({"--who", "0", "--reports", work.path("r"), share});
    EXPECT_EQ(root.status, 0);
    EXPECT_NE(gwtest::readFile(work.path("r/acl_who.txt")).find("uid 0 is root"), std::string::npos);
    EXPECT_EQ(check({"--reports", work.path("r"), share}).status, 1); // the folders differ
    struct stat st { };
    EXPECT_NE(::stat(work.path("r/acl_who.txt").c_str(), &st), 0) << "an earlier run's report was left";

    // The folders above FOLDER count, those a symbolic link on the way leads through among them.
    t.mkdir("hidden/inner");
    ASSERT_EQ(::chmod(t.path("hidden").c_str(), 0700), 0);
    ASSERT_EQ(::symlink("hidden/inner", t.path("link").c_str()), 0);
    for (const std::string& folder : {t.path("hidden/inner"), t.path("link")}) {
        const gwtest::ProcessResult above = check({"--who", "nobody", "--json", "--reports", work.path("r"), folder});
        EXPECT_EQ(above.status, 0) << above.err;
        const std::vector<QJsonObject> got = jsonLines(above.out);
        ASSERT_EQ(got.size(), 2u) << above.out;
        EXPECT_EQ(got[0]["reachable"].toBool(true), false) << folder;
        EXPECT_EQ(got[0]["stopped_at"].toString().toStdString(), t.path("hidden")) << folder;
        EXPECT_EQ(got[1]["can_reach"].toInteger(), 0);
    }

    // A user number without an account, and a group number without a name, are asked about all the same.
    const gwtest::ProcessResult number = check({"--who", "61000", "--reports", work.path("r"), share});
    EXPECT_EQ(number.status, 0) << number.err;
    EXPECT_NE(gwtest::readFile(work.path("r/acl_who.txt")).find("\nuid 61000, without an account: no groups\n"),
              std::string::npos);
    EXPECT_EQ(check({"--who", "group:61001", "--reports", work.path("r"), share}).status, 0);

    // Refusals.
    for (const std::vector<std::string>& args : {std::vector<std::string> {"--who", "gwwho-no-such-user", share},
                                                 {"--who", "group:gwwho-no-such-group", share},
                                                 {"--who", "nobody", "--fix-file", work.path("fix.acl"), share},
                                                 {"--who", "nobody", "--baseline", work.path("none.acl"), share}}) {
        const gwtest::ProcessResult refused = check(args);
        EXPECT_EQ(refused.status, 2) << args[1];
        EXPECT_NE(refused.err.find("grantwise-check: "), std::string::npos);
    }
}

TEST(WhoCheck, WhatWasNotReadIsUnknownAndTheRunSaysSo)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "running the check as another user needs root";
    gwtest::TempTree t, work;
    const std::string share = t.mkdir("share");
    t.mkdir("share/closed/inside");
    ASSERT_EQ(::chmod(t.path("share/closed").c_str(), 0700), 0);
    ASSERT_EQ(::chown(work.root().c_str(), 65534, 65534), 0);
    // The check run by nobody, who cannot list the folder closed.
    const gwtest::ProcessResult r = run({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                         gwtest::checkProgram(), "--who", "nobody", "--json", "--reports",
                                         work.path("r"), share});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    const std::vector<QJsonObject> lines = jsonLines(r.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back()["complete"].toBool(true), false);
    EXPECT_EQ(lines.back()["not_listed"].toInteger(), 1);
    EXPECT_NE(gwtest::readFile(work.path("r/acl_who.txt"))
                  .find("Folders whose entries could not be listed:\n" + t.path("share/closed") + "\n"),
              std::string::npos);
}

} // namespace
