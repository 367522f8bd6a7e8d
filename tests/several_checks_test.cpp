// Several kinds of check in one walk give each check exactly what the same
// check gives alone: its report byte for byte, its JSON records with only
// the "check" field added, its verdict line; whatever the number of walker
// threads. The exit status is 0 only when every check is green.

#include "TempTree.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <map>
#include <sys/stat.h>
#include <unistd.h>

using gwtest::run;

namespace {

class SeveralChecks : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root: items are given to other users and groups";
        share = work.mkdir("share");
        for (const char* d : {"a/b", "a/c", "d", "e/f/g"})
            must({"mkdir", "-p", at(d)});
        for (const char* f : {"a/x", "a/b/y", "d/z", "e/f/w"})
            must({"touch", at(f)});
        must({"setfacl", "-d", "-m", "g:4711:rwx", at("a")});
        must({"setfacl", "-m", "u:4713:rwx", at("d")});
        must({"mkdir", "-m", "0700", work.path("keep")});
        baseline = work.path("keep/base.acl");
        must({gwtest::checkProgram(), "--quiet", "--files", "--reports", work.path("keep/r0"), "--save-baseline",
              baseline, share},
             1);
        // Changes since the baseline.
        must({"chmod", "0750", at("e/f")});
        must({"setfacl", "-m", "u:4713:r", at("a/x")});
    }
    void must(const std::vector<std::string>& argv, int status = 0)
    {
        const gwtest::ProcessResult r = run(argv);
        ASSERT_EQ(r.status, status) << argv[0] << ": " << r.out << r.err;
    }
    std::string at(const std::string& relative) const { return share + "/" + relative; }

    struct Run {
        gwtest::ProcessResult result;
        std::string reports;
    };
    Run check(const std::string& name, std::vector<std::string> options)
    {
        const std::string reports = work.path("keep/" + name);
        std::vector<std::string> argv {gwtest::checkProgram(), "--reports", reports};
        argv.insert(argv.end(), options.begin(), options.end());
        argv.push_back(share);
        return {run(argv), reports};
    }

    gwtest::TempTree work;
    std::string share, baseline;
};

// A JSON line without the fields that differ from run to run, and without
// its "check" field.
std::string steady(const QByteArray& line)
{
    QJsonObject o = QJsonDocument::fromJson(line).object();
    o.remove("check");
    if (o.value("type").toString() == "who")
        o.remove("who"); // whose place it is, among several inventories
    o.remove("seconds");
    for (const char* report : {"full_report", "mismatch_report", "differences_report", "inheritance_report",
                               "drift_report", "rights_report", "report", "reports"})
        o.remove(report);
    return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
}

// The records of a run, by check (all under "" for a run of one).
std::map<std::string, std::string> byCheck(const std::string& out)
{
    std::map<std::string, std::string> records;
    for (const QByteArray& line : QByteArray::fromStdString(out).split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        records[o.value("check").toString().toStdString()] += steady(line) + "\n";
    }
    return records;
}

// Every record of a run of one check.
std::string records(const std::string& out)
{
    std::string all;
    for (const QByteArray& line : QByteArray::fromStdString(out).split('\n')) {
        if (!line.isEmpty())
            all += steady(line) + "\n";
    }
    return all;
}

} // namespace

TEST_F(SeveralChecks, OneWalkGivesEachCheckWhatItGivesAlone)
{
    for (const char* jobs : {"1", "4"}) {
        SCOPED_TRACE(std::string("--jobs ") + jobs);
        const std::vector<std::string> common {"--jobs", jobs, "--files"};
        const auto with = [&](std::vector<std::string> more) {
            std::vector<std::string> all = common;
            all.insert(all.end(), more.begin(), more.end());
            return all;
        };
        const Run inheritance = check(std::string("inheritance-") + jobs, with({"--inheritance"}));
        const Run drift = check(std::string("drift-") + jobs, with({"--baseline", baseline}));
        const Run nobody = check(std::string("nobody-") + jobs, with({"--who", "nobody"}));
        const Run group = check(std::string("group-") + jobs, with({"--who", "group:4711"}));
        const Run all = check(
            std::string("all-") + jobs,
            with({"--inheritance", "--baseline", baseline, "--who", "nobody", "--who", "group:4711"}));
        EXPECT_EQ(inheritance.result.status, 1);
        EXPECT_EQ(drift.result.status, 1);
        EXPECT_EQ(nobody.result.status, 0);
        EXPECT_EQ(all.result.status, 1) << all.result.err;

        // The reports, byte for byte; the inventories one after the other.
        const auto report = [](const Run& r, const char* name) { return gwtest::readFile(r.reports + "/" + name); };
        EXPECT_EQ(report(all, "acl_inherit.txt"), report(inheritance, "acl_inherit.txt"));
        EXPECT_EQ(report(all, "acl_drift.txt"), report(drift, "acl_drift.txt"));
        EXPECT_EQ(report(all, "acl_who.txt"), report(nobody, "acl_who.txt") + "\n" + report(group, "acl_who.txt"));
        EXPECT_EQ(report(all, "acl_diff.txt"), report(inheritance, "acl_diff.txt"));

        // Each check's verdict on a line of its own, in the same words.
        const auto verdictOf = [](const Run& r) {
            const std::string& out = r.result.out;
            const std::size_t start = out.find("\n\n", out.find("The max subfolder level")) + 2;
            return out.substr(start, out.find('\n', start) + 1 - start);
        };
        const std::string& out = all.result.out;
        for (const Run* alone : {&inheritance, &drift, &nobody, &group})
            EXPECT_NE(out.find(verdictOf(*alone)), std::string::npos) << out << "\nlacks\n" << verdictOf(*alone);

        // JSON: each record names its check, and is the one the check gives alone.
        const auto json = [&](const char* name, std::vector<std::string> more) {
            more.push_back("--json");
            return check(name, with(more)).result.out;
        };
        const std::map<std::string, std::string> combined = byCheck(
            json("all-json", {"--inheritance", "--baseline", baseline, "--who", "nobody", "--who", "group:4711"}));
        EXPECT_EQ(combined.count(""), 0u) << "a record without its check";
        EXPECT_NE(json("who-json", {"--inheritance", "--who", "nobody", "--who", "group:4711"})
                      .find("{\"check\":\"who\",\"who\":\"a member of group 4711\",\"type\":\"who\""),
                  std::string::npos);
        EXPECT_EQ(combined.at("inheritance"), records(json("i-json", {"--inheritance"})));
        EXPECT_EQ(combined.at("drift"), records(json("d-json", {"--baseline", baseline})));
        EXPECT_EQ(combined.at("who"),
                  records(json("n-json", {"--who", "nobody"})) + records(json("g-json", {"--who", "group:4711"})));
    }
}

TEST_F(SeveralChecks, GreenOnlyWhenEveryCheckIsAndTheFixIsTheInheritanceChecks)
{
    // Who can do what is green; the drift is not: the run is not.
    const Run mixed = check("mixed", {"--who", "nobody", "--baseline", baseline});
    EXPECT_EQ(mixed.result.status, 1) << mixed.result.out << mixed.result.err;
    // A fix file needs a check that gives one.
    for (const std::vector<std::string>& options :
         {std::vector<std::string> {"--baseline", baseline}, std::vector<std::string> {"--who", "nobody"}}) {
        std::vector<std::string> argv = options;
        argv.insert(argv.end(), {"--fix-file", work.path("keep/fix.acl")});
        const Run refused = check("refused", argv);
        EXPECT_EQ(refused.result.status, 2);
        EXPECT_NE(refused.result.err.find("add --inheritance"), std::string::npos) << refused.result.err;
    }
    const Run fixing = check(
        "fixing", {"--inheritance", "--files", "--baseline", baseline, "--fix-file", work.path("keep/fix.acl")});
    EXPECT_EQ(fixing.result.status, 1) << fixing.result.err;
    const Run alone = check("fixing-alone", {"--inheritance", "--files", "--fix-file", work.path("keep/alone.acl")});
    const auto body = [](const std::string& text) { return text.substr(text.find("\n\n")); };
    EXPECT_EQ(body(gwtest::readFile(work.path("keep/fix.acl"))), body(gwtest::readFile(work.path("keep/alone.acl"))));
}

// A folder the scan finds but the walk cannot enter (its folder may be
// listed, not searched) is not read for every check alike: no check calls
// the run complete while another says what it could not read.
TEST_F(SeveralChecks, AFolderFoundButNotEnteredIsNotReadForEveryCheck)
{
    must({"mkdir", "-p", at("listable/c1/deep"), at("listable/c2")});
    must({"chmod", "0744", at("listable")}); // others may list it, not search it
    const std::string mine = work.mkdir("nobody");
    must({"chown", "nobody", mine});
    const std::string base = mine + "/base.acl";
    must({"cp", baseline, base});
    must({"chown", "nobody", base});
    const auto asNobody = [&](const std::vector<std::string>& options) {
        std::vector<std::string> argv {
            "setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", gwtest::checkProgram(),
            "--json",  "--reports",      mine + "/r"};
        argv.insert(argv.end(), options.begin(), options.end());
        argv.push_back(share);
        return run(argv);
    };
    const gwtest::ProcessResult probe = asNobody({});
    if (probe.status == 127 || probe.err.find("setpriv") != std::string::npos)
        GTEST_SKIP() << "cannot run as nobody here: " << probe.err;
    for (const std::vector<std::string>& options :
         {std::vector<std::string> {"--who", "nobody"}, std::vector<std::string> {"--baseline", base},
          std::vector<std::string> {"--inheritance", "--who", "nobody", "--baseline", base}}) {
        const gwtest::ProcessResult r = asNobody(options);
        EXPECT_EQ(r.status, 1) << options[0] << ": " << r.out << r.err;
        EXPECT_EQ(r.out.find("\"complete\":true"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(at("listable/c1")), std::string::npos) << r.out;
    }
}
