// The inheritance check on what administrators do to a share: each item made,
// moved, copied or changed in it by the real tools is a finding exactly when
// it should be, with exactly the reasons it should have; the fix file makes
// every item carry what its folder gives it.

#include "TempTree.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <map>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using gwtest::run;

namespace {

using Findings = std::map<std::string, std::set<std::string>>; // relative path -> reasons

void must(const std::vector<std::string>& argv)
{
    const gwtest::ProcessResult r = run(argv);
    ASSERT_EQ(r.status, 0) << argv[0] << " " << (argv.size() > 1 ? argv[1] : "") << ": " << r.err;
}

// The check's findings below `top`, keyed by path relative to it.
Findings findings(const std::string& top, const std::string& reports, const std::vector<std::string>& extra,
                  int& status, std::string& fixFile)
{
    std::vector<std::string> argv {gwtest::checkProgram(), "--inheritance", "--files", "--json", "--reports", reports};
    argv.insert(argv.end(), extra.begin(), extra.end());
    if (!fixFile.empty())
        argv.insert(argv.end(), {"--fix-file", fixFile});
    argv.push_back(top);
    const gwtest::ProcessResult r = run(argv);
    status = r.status;
    Findings out;
    for (const QByteArray& line : QByteArray::fromStdString(r.out).split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.value("type").toString() != "item")
            continue;
        std::string path = o.value("path").toString().toStdString();
        EXPECT_EQ(path.rfind(top + "/", 0), 0u) << path;
        path = path.substr(top.size() + 1);
        std::set<std::string>& reasons = out[path];
        if (o.value("status").toString() == "not_read")
            reasons.insert("not_read");
        for (const QJsonValue& v : o.value("reasons").toArray())
            reasons.insert(v.toString().toStdString());
    }
    return out;
}

std::string show(const Findings& f)
{
    std::string text;
    for (const auto& [path, reasons] : f) {
        text += "  " + path + ":";
        for (const std::string& r : reasons)
            text += " " + r;
        text += "\n";
    }
    return text;
}

class InheritanceScenarios : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root: the share belongs to a team group";
        previousUmask = ::umask(022);
    }
    void TearDown() override
    {
        if (::geteuid() == 0)
            ::umask(previousUmask);
    }
    mode_t previousUmask = 022;
    gwtest::TempTree work;
    // A C program to compile, for an executable made as a compiler makes one.
    std::string program()
    {
        const std::string source = work.path("tool.c");
        if (std::FILE* f = std::fopen(source.c_str(), "w")) {
            std::fputs("int main(void) { return 0; }\n", f);
            std::fclose(f);
        }
        return source;
    }
    static constexpr const char* kTeam = "4711"; // the team's group
    static constexpr const char* kOther = "4712"; // another group
    static constexpr const char* kUser = "4713"; // a user given rights by hand
};

} // namespace

TEST_F(InheritanceScenarios, WhatPeopleDoToAShareWithADefaultAcl)
{
    const std::string share = work.mkdir("share");
    const std::string elsewhere = work.mkdir("elsewhere"); // the same file system, outside the share
    must({"chgrp", kTeam, share});
    must({"chmod", "2770", share});
    must({"setfacl", "-m", std::string("g:") + kTeam + ":rwx", share});
    must({"setfacl", "-d", "-m", std::string("u::rwx,g::rwx,g:") + kTeam + ":rwx,m::rwx,o::---", share});
    const auto at = [&](const std::string& relative) { return share + "/" + relative; };

    // Made in place: all inherit.
    must({"mkdir", at("made")});
    must({"mkdir", "-p", at("deep/er/est")});
    must({"touch", at("made/notes.txt")});
    must({"cc", "-o", at("made/tool"), program()}); // made executable by the compiler
    // Narrowed by the creation mode: private folders, a copied private file.
    must({"mkdir", "-m", "700", at("private")});
    const gwtest::ProcessResult made = run({"mktemp", "-d", "-p", share, "tmp.XXXXXX"});
    ASSERT_EQ(made.status, 0) << made.err;
    const std::string temporary = made.out.substr(share.size() + 1, made.out.size() - share.size() - 2);
    must({"install", "-m", "0600", "/etc/hostname", elsewhere + "/secret"});
    must({"cp", elsewhere + "/secret", at("made/secret")});
    // Brought in from elsewhere with their own permissions: one finding each,
    // their insides agree with their own tops.
    const std::string source = work.mkdir("elsewhere/project/src");
    must({"touch", source + "/main.c"});
    must({"chmod", "0640", source + "/main.c"});
    must({"cp", "-a", elsewhere + "/project", at("copied-a")});
    must({"cp", "-r", elsewhere + "/project", at("copied-r")});
    must({"rsync", "-a", elsewhere + "/project/", at("rsynced-a")});
    must({"rsync", "-rA", elsewhere + "/project/", at("rsynced-A")});
    must({"tar", "-C", elsewhere, "-cf", work.path("project.tar"), "project"});
    must({"mkdir", at("untarred")});
    must({"tar", "-C", at("untarred"), "-xf", work.path("project.tar")});
    must({"mv", elsewhere + "/project", at("moved")});
    // Changed by hand.
    must({"mkdir", at("unsetgid")});
    must({"chmod", "g-s", at("unsetgid")});
    must({"mkdir", at("regrouped")});
    must({"chgrp", kOther, at("regrouped")});
    must({"mkdir", at("granted")});
    must({"setfacl", "-m", std::string("u:") + kUser + ":rwx", at("granted")});
    // A team folder with its own deliberate default ACL, and insides made in it.
    must({"mkdir", at("team-b")});
    must({"setfacl", "-m", std::string("g:") + kOther + ":rwx", at("team-b")});
    must({"setfacl", "-d", "-m", std::string("g:") + kOther + ":rwx", at("team-b")});
    must({"mkdir", "-p", at("team-b/plans/2027")});
    must({"touch", at("team-b/plans/budget.ods")});

    const Findings expected {
        // The linker sets the mode itself (0777 less the umask): others get
        // rights the default ACL does not give them.
        {"made/tool", {"acl_not_inherited"}},
        {"private", {"rights_narrowed"}},
        {temporary, {"rights_narrowed"}},
        {"made/secret", {"rights_narrowed"}},
        // cp -a and a move keep what the items had: other entries, no
        // default ACL, the source's group; cp -a keeps the setgid bit its
        // new folder got. Their insides agree with their own tops.
        {"copied-a", {"acl_not_inherited", "default_acl_not_inherited", "group_not_inherited"}},
        {"moved", {"acl_not_inherited", "default_acl_not_inherited", "setgid_lost", "group_not_inherited"}},
        // cp -r makes new items with the source's modes, which cut the
        // rights of the inherited entries.
        {"copied-r", {"rights_narrowed"}},
        {"copied-r/src", {"rights_narrowed"}},
        {"copied-r/src/main.c", {"rights_narrowed"}},
        // rsync -rA copies the source's ACLs: no default ACL, no setgid.
        {"rsynced-A", {"acl_not_inherited", "default_acl_not_inherited", "setgid_lost"}},
        // rsync -a and tar as root set the stored modes and groups on new
        // items: chmod gives others rights the default ACL does not, and the
        // setgid bit goes; the default ACL stays. Inside, a folder made 0755
        // gives others rights too, and a 0640 file is cut.
        {"rsynced-a", {"acl_not_inherited", "setgid_lost", "group_not_inherited"}},
        {"rsynced-a/src", {"acl_not_inherited"}},
        {"rsynced-a/src/main.c", {"rights_narrowed"}},
        {"untarred/project", {"acl_not_inherited", "setgid_lost", "group_not_inherited"}},
        {"untarred/project/src", {"acl_not_inherited"}},
        {"untarred/project/src/main.c", {"rights_narrowed"}},
        {"unsetgid", {"setgid_lost"}},
        {"regrouped", {"group_not_inherited"}},
        {"granted", {"acl_not_inherited"}},
        {"team-b", {"acl_not_inherited", "default_acl_not_inherited"}},
    };
    int status = -1;
    std::string fix = work.path("fix.acl");
    const Findings found = findings(share, work.path("reports"), {}, status, fix);
    EXPECT_EQ(found, expected) << "found:\n" << show(found) << "expected:\n" << show(expected);
    EXPECT_EQ(status, 1);

    // The fix, applied with setfacl, leaves nothing to find.
    must({"setfacl", "--restore=" + fix});
    std::string none;
    const Findings after = findings(share, work.path("reports"), {}, status, none);
    EXPECT_TRUE(after.empty()) << show(after);
    EXPECT_EQ(status, 0);
}

TEST_F(InheritanceScenarios, AShareWithSetgidAndNoDefaultAclAndAKnownUmask)
{
    const std::string share = work.mkdir("plain");
    must({"chgrp", kTeam, share});
    must({"chmod", "2775", share});
    const auto at = [&](const std::string& relative) { return share + "/" + relative; };
    must({"mkdir", at("made")});
    must({"touch", at("made/notes.txt")});
    must({"cc", "-o", at("made/tool"), program()});
    // install sets the mode it is given: others may write.
    must({"install", "-m", "0777", "/bin/true", at("made/installed")});
    must({"mkdir", "-m", "700", at("private")});
    must({"mkdir", at("unsetgid")});
    must({"chmod", "g-s", at("unsetgid")});
    must({"mkdir", at("regrouped")});
    must({"chgrp", kOther, at("regrouped")});
    must({"mkdir", at("granted")});
    must({"setfacl", "-m", std::string("u:") + kUser + ":rwx", at("granted")});
    const std::string source = work.mkdir("elsewhere/project");
    must({"mv", source, at("moved")});

    const Findings expected {
        {"private", {"mode_differs"}},       {"made/installed", {"mode_differs"}},
        {"unsetgid", {"setgid_lost"}},       {"regrouped", {"group_not_inherited"}},
        {"granted", {"extended_acl_added"}}, {"moved", {"setgid_lost", "group_not_inherited"}},
    };
    int status = -1;
    std::string fix = work.path("fix.acl");
    const Findings found = findings(share, work.path("reports"), {"--umask", "022"}, status, fix);
    EXPECT_EQ(found, expected) << "found:\n" << show(found) << "expected:\n" << show(expected);
    EXPECT_EQ(status, 1);
    // Without --umask the mode bits are not compared.
    std::string none;
    Findings unknown = findings(share, work.path("reports"), {}, status, none);
    EXPECT_EQ(unknown.count("private"), 0u) << show(unknown);

    must({"setfacl", "--restore=" + fix});
    const Findings after = findings(share, work.path("reports"), {"--umask", "022"}, status, none);
    EXPECT_TRUE(after.empty()) << show(after);
    EXPECT_EQ(status, 0);
}

// What the check must neither miss nor break: hidden files are counted when
// left out, other ACL models on files are never passed over, a fix never
// makes a data file executable nor drops a setgid bit it was not asked about,
// and what an option leaves out is left out everywhere.
TEST_F(InheritanceScenarios, NothingMissedAndNothingBrokenByTheFix)
{
    const std::string share = work.mkdir("edges");
    must({"setfacl", "-d", "-m", std::string("u::rwx,g::rwx,o::r-x,g:") + kTeam + ":rwx", share});
    const auto at = [&](const std::string& relative) { return share + "/" + relative; };
    ASSERT_EQ(::mkdir(at("sub").c_str(), 0777), 0);
    ASSERT_EQ(::mkdir(at("own-setgid").c_str(), 0777), 0);
    must({"chmod", "g+s", at("own-setgid")});
    must({"touch", at("sub/data"), at("sub/.env"), at("sub/key.pem")});
    must({"setfacl", "-m", std::string("u:") + kUser + ":r", at("sub/data")}); // the mask stays rwx
    must({"chmod", "0600", at("sub/.env"), at("sub/key.pem")});
    must({"chown", kUser, at("sub/key.pem")});
    // Attributes of no ACL model, and bits the folder does not give, are the
    // file's own: it still carries what it was given.
    must({"touch", at("sub/labelled")});
    must({"setfattr", "-n", "user.note", "-v", "kept", at("sub/labelled")});
    must({"chmod", "u+s", at("sub/labelled")});

    int status = -1;
    std::string fix = work.path("edges.acl");
    Findings found = findings(share, work.path("reports"), {}, status, fix);
    const Findings expected {{"sub/data", {"acl_not_inherited"}}, {"sub/key.pem", {"rights_narrowed"}}};
    EXPECT_EQ(found, expected) << show(found);
    // The fix gives the data file what 0666 gives: not executable.
    const std::string text = gwtest::readFile(fix);
    const std::size_t record = text.find("# file: " + at("sub/data") + "\n");
    ASSERT_NE(record, std::string::npos) << text;
    EXPECT_NE(text.find("user::rw-\n", record), std::string::npos) << text;
    // The fix keeps a file's owner: it was read, not taken for root.
    const std::size_t key = text.find("# file: " + at("sub/key.pem") + "\n");
    ASSERT_NE(key, std::string::npos) << text;
    EXPECT_EQ(text.find("# owner: ", key), text.find(std::string("# owner: ") + kUser + "\n", key)) << text;
    EXPECT_EQ(text.find(at("own-setgid")), std::string::npos) << "a setgid bit nobody asked about is kept";

    // Hidden files are counted when left out, and checked when asked for.
    gwtest::ProcessResult r = run(
        {gwtest::checkProgram(), "--inheritance", "--files", "--reports", work.path("reports"), share});
    EXPECT_NE(r.out.find("\nHidden files not checked: 1 (--include-hidden checks them)\n"), std::string::npos) << r.out;
    std::string none;
    found = findings(share, work.path("reports"), {"--include-hidden"}, status, none);
    EXPECT_EQ(found.count("sub/.env"), 1u) << show(found);
    // A pattern leaves files out by name or by path.
    found = findings(share, work.path("reports"), {"--exclude", "sub/*.pem"}, status, none);
    EXPECT_EQ(found.count("sub/key.pem"), 0u) << show(found);
    found = findings(share, work.path("reports"), {}, status, none);
    EXPECT_EQ(found.count("sub/key.pem"), 1u) << show(found);

    // A file carrying another ACL model is not compared, and said so: the
    // check is not green.
    must({"setfattr", "-n", "security.NTACL", "-v", "0x0102", at("sub/data")});
    must({"setfacl", "--restore=" + fix});
    found = findings(share, work.path("reports"), {"--exclude", "*.pem"}, status, none);
    EXPECT_EQ(found.count("sub/data"), 1u) << show(found);
    EXPECT_EQ(found["sub/data"], std::set<std::string> {"not_read"});
    EXPECT_EQ(status, 1);
    must({"setfattr", "-x", "security.NTACL", at("sub/data")});
    must({"setfattr", "-n", "security.nfs4acl", "-v", "0x01", at("sub/data")});
    found = findings(share, work.path("reports"), {"--exclude", "*.pem"}, status, none);
    EXPECT_EQ(found["sub/data"], std::set<std::string> {"not_read"}) << show(found);
    must({"setfattr", "-x", "security.nfs4acl", at("sub/data")});

    // --ignore group: the owning group is compared nowhere.
    must({"chmod", "g+s", share});
    must({"chgrp", kOther, at("sub")});
    found = findings(share, work.path("reports"), {"--exclude", "*.pem", "--ignore", "group"}, status, none);
    EXPECT_EQ(found.count("sub"), 1u) << show(found); // setgid is lost all the same
    EXPECT_EQ(found["sub"].count("group_not_inherited"), 0u) << show(found);
    // --umask means nothing without a check that compares mode bits.
    EXPECT_EQ(run({gwtest::checkProgram(), "--umask", "022", share}).status, 2);
}
