// Baselines: a baseline taken of a share, then changed by the real tools,
// reports exactly the changes made, with the right status and lines;
// setfacl --restore of the baseline puts every recorded item back; a
// baseline that is not one, is cut short, damaged, out of order, of another
// folder or writable by others is refused naming why.

#include "TempTree.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using gwtest::run;

namespace {

void must(const std::vector<std::string>& argv)
{
    const gwtest::ProcessResult r = run(argv);
    ASSERT_EQ(r.status, 0) << argv[0] << " " << (argv.size() > 1 ? argv[1] : "") << ": " << r.err;
}

void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    ::chmod(path.c_str(), 0600);
}

// One item the drift check reports: its status and its change lines.
struct Drift {
    std::string status;
    std::set<std::string> changes; // "+ entry", "- entry", "~ from -> to"
    bool operator==(const Drift&) const = default;
};
using Drifts = std::map<std::string, Drift>; // by path relative to the share

std::string show(const Drifts& d)
{
    std::string text;
    for (const auto& [path, drift] : d) {
        text += "  " + path + ": " + drift.status;
        for (const std::string& c : drift.changes)
            text += " [" + c + "]";
        text += "\n";
    }
    return text;
}

class Baselines : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root: items are given to other groups";
        previousUmask = ::umask(022);
        share = work.mkdir("share");
        must({"mkdir", "-m", "0700", work.path("keep")}); // the baselines: a folder of our own
    }
    void TearDown() override
    {
        if (::geteuid() == 0)
            ::umask(previousUmask);
    }

    // The drift check's items and summary; `status` is its exit status.
    Drifts drift(const std::string& baseline, const std::vector<std::string>& extra, int& status,
                 QJsonObject* summary = nullptr)
    {
        std::vector<std::string> argv {gwtest::checkProgram(), "--json",     "--reports",
                                       work.path("reports"),   "--baseline", baseline};
        argv.insert(argv.end(), extra.begin(), extra.end());
        argv.push_back(share);
        const gwtest::ProcessResult r = run(argv);
        status = r.status;
        EXPECT_TRUE(r.err.empty()) << r.err;
        Drifts out;
        for (const QByteArray& line : QByteArray::fromStdString(r.out).split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            if (o.value("type").toString() == "summary" && summary)
                *summary = o;
            if (o.value("type").toString() != "item")
                continue;
            std::string path = QByteArray::fromBase64(o.value("path_base64").toString().toLatin1()).toStdString();
            EXPECT_EQ(path.rfind(share + "/", 0), 0u) << path;
            path = path.substr(share.size() + 1);
            Drift& d = out[path];
            d.status = o.value("status").toString().toStdString();
            if (d.status == "new")
                continue; // its entries, as they are
            for (const QJsonValue& v : o.value("changes").toArray()) {
                const QJsonObject c = v.toObject();
                const std::string kind = c.value("change").toString().toStdString();
                if (kind == "added")
                    d.changes.insert("+ " + c.value("entry").toString().toStdString());
                else if (kind == "removed")
                    d.changes.insert("- " + c.value("entry").toString().toStdString());
                else
                    d.changes.insert("~ " + c.value("from").toString().toStdString() + " -> "
                                     + c.value("to").toString().toStdString());
            }
        }
        return out;
    }

    gwtest::ProcessResult save(const std::string& baseline, const std::vector<std::string>& extra = {"--files"})
    {
        std::vector<std::string> argv {gwtest::checkProgram(), "--quiet",         "--reports",
                                       work.path("reports"),   "--save-baseline", baseline};
        argv.insert(argv.end(), extra.begin(), extra.end());
        argv.push_back(share);
        return run(argv);
    }

    std::string at(const std::string& relative) const { return share + "/" + relative; }

    mode_t previousUmask = 022;
    gwtest::TempTree work;
    std::string share;
    static constexpr const char* kTeam = "4711";
    static constexpr const char* kOther = "4712";
    static constexpr const char* kUser = "4713";
};

} // namespace

TEST_F(Baselines, ScriptedChangesAreReportedExactlyAndRestoreTakesThemBack)
{
    // A share whose names sort otherwise by collation than by their bytes.
    must({"chgrp", kTeam, share});
    must({"chmod", "2775", share});
    must({"setfacl", "-d", "-m", std::string("g:") + kTeam + ":rwx", share});
    for (const char* folder : {"a10", "a9", "B10", "b2", "Zeta", "alpha", "alpha/inner", "team", "gone", "old name",
                               "private", "granted", "revoked", "defaults", "regrouped", "unsetgid"})
        must({"mkdir", at(folder)});
    // Names getfacl escapes, and names that collate apart from their bytes.
    for (const char* folder : {"back\\slash", "new\nline", "\xff\xfe", "\xc3\x89mile 2", "\xc3\xa9mile", "tab\tbed"})
        must({"mkdir", at(folder)});
    must({"touch", at("tab\tbed/\x01odd")});
    must({"setfacl", "-m", std::string("g:") + kOther + ":rx", at("revoked")});
    for (const char* file : {"alpha/report.txt", "alpha/B.txt", "team/plan.ods", "team/old.ods", "b2/x"})
        must({"touch", at(file)});
    const std::string baseline = work.path("keep/share.acl");
    const gwtest::ProcessResult saved = save(baseline);
    ASSERT_EQ(saved.status, 1) << saved.out << saved.err; // the folders differ from the share: a check all the same
    EXPECT_EQ(saved.err, "");
    const std::string text = gwtest::readFile(baseline);
    EXPECT_EQ(text.rfind("# grantwise baseline of " + share + "\n# taken ", 0), 0u) << text.substr(0, 200);
    EXPECT_NE(text.find("\n# folders: 23, files: 6\n\n# file: " + share + "\n"), std::string::npos)
        << text.substr(0, 300);
    struct stat st { };
    ASSERT_EQ(::stat(baseline.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    // Unchanged: exit 0, and with --quiet not a word.
    const gwtest::ProcessResult quiet = run({gwtest::checkProgram(), "--quiet", "--files", "--reports",
                                             work.path("reports"), "--baseline", baseline, share});
    EXPECT_EQ(quiet.status, 0) << quiet.err;
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(quiet.err, "");

    // The scripted changes.
    must({"chmod", "0750", at("private")});
    must({"setfacl", "-m", std::string("u:") + kUser + ":rwx", at("granted")});
    must({"setfacl", "-x", std::string("g:") + kOther, at("revoked")});
    must({"setfacl", "-d", "-m", std::string("u:") + kUser + ":rx", at("defaults")});
    must({"chgrp", kOther, at("regrouped")});
    must({"chmod", "g-s", at("unsetgid")});
    must({"mkdir", at("b2/made")});
    must({"rmdir", at("gone")});
    must({"mv", at("old name"), at("new name")});
    must({"chmod", "0600", at("alpha/report.txt")});
    must({"touch", at("team/new.ods")});
    must({"chmod", "0700", at("new\nline")});
    must({"chmod", "0600", at("tab\tbed/\x01odd")});
    must({"rm", at("team/old.ods")});

    const std::string group = "group " + std::to_string(4711) + " (owner)";
    const Drifts expected {
        {"private",
         {"changed",
          {"~ group 4711 (owner):rwx -> group 4711 (owner):r-x", "~ mask:rwx -> mask:r-x",
           "~ other:r-x -> other:---"}}},
        {"granted", {"changed", {"+ user 4713:rwx"}}},
        {"revoked", {"changed", {"- group 4712:r-x"}}},
        {"defaults", {"changed", {"+ user 4713:(default)r-x"}}},
        {"regrouped", {"changed", {"~ group 4711 (owner):rwx -> group 4712 (owner):rwx"}}},
        {"unsetgid", {"changed", {"- special:setgid"}}},
        {"b2/made", {"new", {}}},
        {"gone", {"gone", {}}},
        {"old name", {"gone", {}}},
        {"new name", {"new", {}}},
        {"alpha/report.txt",
         {"changed",
          {"~ group 4711 (owner):rw- -> group 4711 (owner):---", "~ mask:rw- -> mask:---",
           "~ other:r-- -> other:---"}}},
        {"team/new.ods", {"new", {}}},
        {"team/old.ods", {"gone", {}}},
        {"new\nline", {"changed", {}}},
        {"tab\tbed/\x01odd", {"changed", {}}},
    };
    int status = -1;
    QJsonObject summary;
    Drifts found = drift(baseline, {"--files"}, status, &summary);
    EXPECT_EQ(status, 1);
    // What the entries of a changed item are named depends on the system's
    // names: compare the statuses exactly, and the lines where they are known.
    std::map<std::string, std::string> statuses, expectedStatuses;
    for (const auto& [path, d] : found)
        statuses[path] = d.status;
    for (const auto& [path, d] : expected)
        expectedStatuses[path] = d.status;
    EXPECT_EQ(statuses, expectedStatuses) << "found:\n" << show(found);
    for (const char* path : {"granted", "revoked", "defaults", "unsetgid"})
        EXPECT_EQ(found[path], expected.at(path)) << path << "\n" << show(found);
    EXPECT_EQ(found["private"].changes.count("~ other:r-x -> other:---"), 1u) << show(found);
    EXPECT_EQ(found["alpha/report.txt"].changes.count("~ other:r-- -> other:---"), 1u) << show(found);
    EXPECT_EQ(found["regrouped"].changes.size(), 1u) << show(found);
    EXPECT_EQ(summary.value("changed").toInt(), 9);
    EXPECT_EQ(summary.value("new").toInt(), 3);
    EXPECT_EQ(summary.value("gone").toInt(), 3);
    EXPECT_EQ(summary.value("not_read").toInt(), 0);
    EXPECT_EQ(summary.value("verdict").toString(), "changed");
    EXPECT_EQ(summary.value("baseline").toString().toStdString(), baseline);
    EXPECT_FALSE(summary.value("baseline_taken").toString().isEmpty());

    // The report says the same, in the notation of the differences report.
    const std::string report = gwtest::readFile(work.path("reports/acl_drift.txt"));
    EXPECT_EQ(report.rfind("Changes since the baseline of " + share + " taken ", 0), 0u) << report;
    EXPECT_NE(report.find("\n9 changed, 3 new, 3 gone; 0 not read\n"), std::string::npos) << report;
    EXPECT_NE(report.find("\nfolder " + at("unsetgid") + "\n    - special:setgid\n"), std::string::npos) << report;
    EXPECT_NE(report.find("\nGone (in the baseline, no longer there):\nfolder " + at("gone") + "\n"), std::string::npos)
        << report;
    EXPECT_NE(report.find("\nfile " + at("team/old.ods") + "\n"), std::string::npos) << report;

    // The console's verdict, in both languages.
    const gwtest::ProcessResult ru = run({gwtest::checkProgram(), "--quiet", "--lang", "ru", "--files", "--reports",
                                          work.path("reports"), "--baseline", baseline, share});
    EXPECT_EQ(ru.status, 1);
    EXPECT_NE(ru.out.find("изменено 9, новых 3, исчезло 3; не прочитано 0"), std::string::npos) << ru.out;

    // setfacl --restore puts back every recorded item that is still there
    // (it says so of those that are gone); only the new and gone remain.
    run({"setfacl", "--restore=" + baseline});
    found = drift(baseline, {"--files"}, status);
    statuses.clear();
    for (const auto& [path, d] : found)
        statuses[path] = d.status;
    const std::map<std::string, std::string> newAndGone {{"b2/made", "new"},      {"gone", "gone"},
                                                         {"old name", "gone"},    {"new name", "new"},
                                                         {"team/new.ods", "new"}, {"team/old.ods", "gone"}};
    EXPECT_EQ(statuses, newAndGone) << show(found);
    EXPECT_EQ(status, 1);
}

TEST_F(Baselines, CompressedBaselineIsTheSameTextAndRestoresThroughZcat)
{
    must({"mkdir", "-p", at("a/b"), at("c")});
    must({"touch", at("a/f")});
    must({"setfacl", "-m", std::string("u:") + kUser + ":rwx", at("a/b")});
    ASSERT_NE(save(work.path("keep/plain.acl")).status, 2);
    const gwtest::ProcessResult gz = save(work.path("keep/packed.acl.gz"));
    ASSERT_NE(gz.status, 2) << gz.err;
    const std::string packed = gwtest::readFile(work.path("keep/packed.acl.gz"));
    ASSERT_GE(packed.size(), 2u);
    EXPECT_EQ(packed.substr(0, 2), "\x1f\x8b");
    const gwtest::ProcessResult unpacked = run({"zcat", work.path("keep/packed.acl.gz")});
    ASSERT_EQ(unpacked.status, 0) << unpacked.err;
    // The same text, but for the time it was taken.
    const auto withoutTaken = [](std::string text) {
        const std::size_t from = text.find("\n# taken ");
        return from == std::string::npos ? text : text.erase(from, text.find('\n', from + 1) - from);
    };
    EXPECT_EQ(withoutTaken(unpacked.out), withoutTaken(gwtest::readFile(work.path("keep/plain.acl"))));

    must({"setfacl", "-b", at("a/b")});
    must({"chmod", "0700", at("a/f")});
    int status = -1;
    EXPECT_EQ(drift(work.path("keep/packed.acl.gz"), {"--files"}, status).size(), 2u);
    writeFile(work.path("keep/restore.acl"), unpacked.out);
    must({"setfacl", "--restore=" + work.path("keep/restore.acl")});
    EXPECT_TRUE(drift(work.path("keep/packed.acl.gz"), {"--files"}, status).empty());
    EXPECT_EQ(status, 0);
}

TEST_F(Baselines, ItemsTheScopeLeavesOutAreNotGone)
{
    must({"mkdir", "-p", at("a/deep/deeper"), at(".hidden/in"), at("skipped/in"), at("kept")});
    must({"touch", at("a/f"), at("kept/g")});
    ASSERT_NE(save(work.path("keep/all.acl"), {"--files", "--include-hidden"}).status, 2);
    int status = -1;
    QJsonObject summary;
    const Drifts found = drift(work.path("keep/all.acl"), {"--max-depth", "1", "--exclude", "skipped"}, status,
                               &summary);
    EXPECT_TRUE(found.empty()) << show(found);
    EXPECT_EQ(status, 0);
    // a/deep, a/deep/deeper, .hidden, .hidden/in, skipped, skipped/in, a/f, kept/g
    EXPECT_EQ(summary.value("left_out").toInt(), 8);
    EXPECT_NE(gwtest::readFile(work.path("reports/acl_drift.txt")).find("Not compared: 8 recorded items"),
              std::string::npos);

    // A baseline without files, checked with them: the files are not new.
    ASSERT_NE(save(work.path("keep/folders.acl"), {}).status, 2);
    EXPECT_TRUE(drift(work.path("keep/folders.acl"), {"--files"}, status, &summary).empty());
    EXPECT_EQ(summary.value("files_not_recorded").toBool(), true);
    EXPECT_EQ(status, 0);

    // The console says what the default left out, as the other checks do.
    must({"touch", at("kept/.h")});
    const gwtest::ProcessResult console = run({gwtest::checkProgram(), "--files", "--reports", work.path("reports"),
                                               "--baseline", work.path("keep/all.acl"), share});
    EXPECT_NE(console.out.find("\nHidden folders not checked, with all below them: 1 (--include-hidden checks them)\n"
                               "Hidden files not checked: 1 (--include-hidden checks them)\n"),
              std::string::npos)
        << console.out;
}

TEST_F(Baselines, WhatIsNoWholeBaselineOfThisFolderIsRefusedNamingTheLine)
{
    must({"mkdir", "-p", at("a/b"), at("c")});
    const std::string good = work.path("keep/good.acl");
    ASSERT_NE(save(good).status, 2);
    const std::string text = gwtest::readFile(good);
    const auto lineAt = [&](std::size_t at) {
        return std::to_string(std::count(text.begin(), text.begin() + static_cast<long>(at), '\n') + 1);
    };
    const auto lineOf = [&](const std::string& what) { return lineAt(text.find(what)); };
    const auto refused = [&](const std::string& baseline, const std::string& expected) {
        const gwtest::ProcessResult r = run(
            {gwtest::checkProgram(), "--reports", work.path("reports"), "--baseline", baseline, share});
        EXPECT_EQ(r.status, 2) << baseline << ": " << r.out << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(expected), std::string::npos) << "expected: " << expected << "\nbut: " << r.err;
    };
    const std::string dir = work.path("keep/");
    writeFile(dir + "notes.txt", "shopping list\n");
    refused(dir + "notes.txt", dir + "notes.txt: line 1: not a grantwise baseline");
    writeFile(dir + "getfacl.acl", run({"getfacl", "-R", "-p", "-n", share}).out);
    refused(dir + "getfacl.acl", "line 1: not a grantwise baseline");

    const std::size_t cut = text.find("user::rwx", text.find("# file: " + at("a/b")));
    writeFile(dir + "cut.acl", text.substr(0, cut + 4));
    refused(dir + "cut.acl", ": cut short: the last line has no line end");
    writeFile(dir + "cut2.acl", text.substr(0, cut));
    refused(dir + "cut2.acl", "cut short: the file ends within the record of line " + lineOf("# file: " + at("a/b")));
    writeFile(dir + "short.acl", text.substr(0, text.find("# file: " + at("c"))));
    refused(dir + "short.acl", "cut short: its head announces 4 folders and 0 files, and it holds 3 and 0");

    std::string bad = text;
    bad.replace(cut, 9, "user::rwz");
    writeFile(dir + "bad.acl", bad);
    refused(dir + "bad.acl",
            "bad.acl: line " + lineAt(cut) + ": the rights are not three of r, w and x or -: user::rwz");
    // Two records swapped: out of the walk's order.
    const std::size_t b = text.find("# file: " + at("a/b")), c = text.find("# file: " + at("c"));
    const std::string swapped = text.substr(0, b) + text.substr(c) + text.substr(b, c - b);
    writeFile(dir + "swapped.acl", swapped);
    refused(dir + "swapped.acl", "out of the order this check walks the tree in");

    // A record whose path is not plain escapes the folder on restore: refused.
    for (const std::string& forged : {share + "/a/../../outside", share + "/./c", share + "//c", share + "/c/"}) {
        std::string dots = text;
        const std::size_t record = dots.find("# file: " + at("c") + "\n");
        dots.replace(record, ("# file: " + at("c")).size(), "# file: " + forged);
        writeFile(dir + "dots.acl", dots);
        refused(dir + "dots.acl", "line " + lineAt(record) + ": the path is not in its plain form");
    }
    // A line too long for any baseline is refused before it is held, and
    // quoted short.
    std::string longLine = text;
    longLine.replace(cut, 9, "user::rw" + std::string(100000, 'x'));
    writeFile(dir + "long.acl", longLine);
    refused(dir + "long.acl", "a line longer than 65536 bytes");
    EXPECT_LT(run({gwtest::checkProgram(), "--reports", work.path("reports"), "--baseline", dir + "long.acl", share})
                  .err.size(),
              1000u);

    // A cut-off compressed baseline.
    ASSERT_NE(save(dir + "good.acl.gz").status, 2);
    const std::string packed = gwtest::readFile(dir + "good.acl.gz");
    writeFile(dir + "cut.acl.gz", packed.substr(0, packed.size() - 12));
    refused(dir + "cut.acl.gz", "cut");

    // Of another folder.
    const std::string other = work.mkdir("other");
    const gwtest::ProcessResult r = run(
        {gwtest::checkProgram(), "--reports", work.path("reports"), "--baseline", good, other});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "grantwise-check: " + good + " is a baseline of " + share + ", not of " + other + "\n");

    // Others may write in it, or in its folder.
    must({"cp", good, work.path("keep/shared.acl")});
    must({"chmod", "0620", work.path("keep/shared.acl")});
    refused(work.path("keep/shared.acl"), "may be written by another user than you");
    const std::string open = work.mkdir("open");
    must({"chmod", "0777", open});
    must({"cp", good, open + "/good.acl"});
    refused(open + "/good.acl", "the baseline in " + open + ": other users may write in it");
    must({"ln", "-s", good, dir + "link.acl"});
    refused(dir + "link.acl", "it is a symbolic link");

    // Saving is refused before the check where it would be after.
    const gwtest::ProcessResult shared = run(
        {gwtest::checkProgram(), "--reports", work.path("fresh"), "--save-baseline", open + "/new.acl", share});
    EXPECT_EQ(shared.status, 2);
    EXPECT_NE(shared.err.find("cannot write the baseline in " + open + ": other users may write in it"),
              std::string::npos)
        << shared.err;
    EXPECT_NE(::access(work.path("fresh/acl.txt").c_str(), F_OK), 0) << "a check ran all the same";
    const gwtest::ProcessResult report = save(work.path("reports/acl_drift.txt"));
    EXPECT_EQ(report.status, 2);
    EXPECT_NE(report.err.find("would replace the report acl_drift.txt in the reports folder"), std::string::npos)
        << report.err;
}

// A recorded folder replaced by a symbolic link, and the items whose paths
// now lead through it, are gone, and said so: setfacl --restore would follow
// the link.
TEST_F(Baselines, ItemsNowBehindASymbolicLinkAreGoneAndSaidSo)
{
    must({"mkdir", "-p", at("b/x")});
    const std::string baseline = work.path("keep/links.acl");
    ASSERT_EQ(save(baseline, {}).status, 0);
    const std::string outside = work.mkdir("outside/x");
    must({"rm", "-rf", at("b")});
    must({"ln", "-s", outside.substr(0, outside.size() - 2), at("b")});
    const gwtest::ProcessResult r = run(
        {gwtest::checkProgram(), "--reports", work.path("reports"), "--baseline", baseline, share});
    EXPECT_EQ(r.status, 1);
    const std::string drift = gwtest::readFile(work.path("reports/acl_drift.txt"));
    EXPECT_NE(drift.find("folder " + at("b") + " (now a symbolic link)\n"), std::string::npos) << drift;
    EXPECT_NE(drift.find("folder " + at("b/x") + " (its path now leads through a symbolic link)\n"), std::string::npos)
        << drift;
}

// A baseline is whole or not written: one that misses a folder that could
// not be listed would later call all of it new.
TEST_F(Baselines, NoBaselineIsSavedWhenSomethingCouldNotBeRead)
{
    must({"mkdir", "-p", at("open"), at("closed/inside")});
    must({"chmod", "0700", at("closed")});
    const std::string mine = work.mkdir("nobody");
    must({"chown", "nobody", mine});
    const gwtest::ProcessResult r = run({"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                         gwtest::checkProgram(), "--reports", mine + "/reports", "--save-baseline",
                                         mine + "/base.acl", share});
    if (r.status == 127 || r.err.find("setpriv") != std::string::npos)
        GTEST_SKIP() << "cannot run as nobody here: " << r.err;
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("Baseline not saved: not read or not listed: 1 (it would not be whole)\n"), std::string::npos)
        << r.out;
    EXPECT_NE(::access((mine + "/base.acl").c_str(), F_OK), 0);
}

// What the administrator accepted is never lost: a save that fails when the
// disk fills up leaves the earlier baseline, and the earlier fix file, byte
// for byte, and says so.
TEST_F(Baselines, AFailedSaveKeepsTheEarlierBaselineAndFixFile)
{
    const std::string full = work.mkdir("full");
    const gwtest::Mount small(full, "tmpfs", "size=64k,mode=0700");
    if (!small.mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here";
    must({"mkdir", "-p", at("a")});
    must({"setfacl", "-m", std::string("u:") + kUser + ":rwx", at("a")});
    const std::string baseline = full + "/base.acl", fix = full + "/fix.acl";
    ASSERT_EQ(save(baseline, {"--fix-file", fix}).status, 1);
    const std::string savedBaseline = gwtest::readFile(baseline), savedFix = gwtest::readFile(fix);
    ASSERT_FALSE(savedBaseline.empty());
    ASSERT_FALSE(savedFix.empty());

    // Far more than 64 KiB of records, and of fix records.
    for (int i = 0; i < 700; ++i)
        must({"mkdir", at("a/a-folder-with-a-name-long-enough-to-fill-the-disk-" + std::to_string(i))});
    must({"setfacl", "-R", "-m", std::string("u:") + kUser + ":rwx", at("a")});
    const gwtest::ProcessResult bigger = save(baseline);
    EXPECT_EQ(bigger.status, 2);
    EXPECT_NE(bigger.err.find("cannot write " + baseline + ": No space left on device; the earlier baseline is kept"),
              std::string::npos)
        << bigger.err;
    EXPECT_EQ(gwtest::readFile(baseline), savedBaseline);

    const gwtest::ProcessResult fixing = run(
        {gwtest::checkProgram(), "--quiet", "--reports", work.path("reports"), "--fix-file", fix, share});
    EXPECT_EQ(fixing.status, 2);
    EXPECT_NE(fixing.err.find("No space left on device; the earlier fix file is kept"), std::string::npos)
        << fixing.err;
    EXPECT_EQ(gwtest::readFile(fix), savedFix);
    // Nothing half-written is left beside them.
    EXPECT_EQ(run({"ls", "-A", full}).out, "base.acl\nfix.acl\n");

    // Where it fits, the new one takes the earlier one's place.
    must({"rm", "-r", at("a")});
    must({"mkdir", at("b")});
    ASSERT_EQ(save(baseline).status, 0);
    EXPECT_NE(gwtest::readFile(baseline).find("# file: " + at("b") + "\n"), std::string::npos);
}

// A destination is the file it names, however it is written; two of one run
// never name the same file, and none takes the name of a report of any kind.
TEST_F(Baselines, EveryFileARunWritesIsToldByWhatItNames)
{
    const std::string keep = work.path("keep");
    must({"ln", "-s", work.root(), work.path("work-link")});
    const auto refused = [&](const std::vector<std::string>& options, const std::string& expected) {
        std::vector<std::string> argv {gwtest::checkProgram(), "--quiet"};
        argv.insert(argv.end(), options.begin(), options.end());
        argv.push_back(share);
        const gwtest::ProcessResult r = run(argv);
        EXPECT_EQ(r.status, 2) << r.out << r.err;
        EXPECT_EQ(r.err.rfind("grantwise-check: " + expected + "\n", 0), 0u) << r.err;
        EXPECT_NE(::access((keep + "/x").c_str(), F_OK), 0) << "a check ran all the same";
    };
    refused({"--fix-file", keep + "/x", "--save-baseline", keep + "/./x"},
            "--save-baseline " + keep + "/./x and --fix-file " + keep + "/x name the same file");
    refused({"--fix-file", work.path("work-link/keep/x"), "--save-baseline", keep + "/../keep/x"},
            "--save-baseline " + keep + "/../keep/x and --fix-file " + work.path("work-link/keep/x")
                + " name the same file");
    // In a folder not made yet: the same names below the same folder.
    refused({"--fix-file", keep + "/new/x", "--save-baseline", keep + "/new/sub/../x"},
            "--save-baseline " + keep + "/new/sub/../x and --fix-file " + keep + "/new/x name the same file");

    // The baseline compared with is read, never written over by a report.
    const std::string accepted = work.path("keep/accepted.acl");
    ASSERT_EQ(save(accepted).status, 0);
    const std::string acceptedText = gwtest::readFile(accepted);
    refused({"--baseline", accepted, "--html", keep + "/./accepted.acl"},
            "--baseline " + accepted + " and --html " + keep + "/./accepted.acl name the same file");
    refused({"--baseline", accepted, "--inheritance", "--fix-file", accepted},
            "--baseline " + accepted + " and --fix-file " + accepted + " name the same file");
    EXPECT_EQ(gwtest::readFile(accepted), acceptedText);

    // Every report's name is kept for it, whichever kind of check runs.
    const std::string reports = work.path("keep/reports");
    refused({"--who", "anyone", "--reports", reports, "--save-baseline", reports + "/acl_who.txt"},
            "the baseline " + reports + "/acl_who.txt would replace the report acl_who.txt in the reports folder "
                + reports);
    refused({"--reports", reports, "--save-baseline", reports + "/acl_who.txt"},
            "the baseline " + reports + "/acl_who.txt would replace the report acl_who.txt in the reports folder "
                + reports);
    refused({"--reports", reports, "--fix-file", reports + "/acl_inherit.txt"},
            "the fix file " + reports
                + "/acl_inherit.txt would replace the report acl_inherit.txt in the reports "
                  "folder "
                + reports);
    // Beside the reports, any other name is the user's to choose.
    const gwtest::ProcessResult beside = run({gwtest::checkProgram(), "--quiet", "--reports", reports,
                                              "--save-baseline", reports + "/acl_who.txt.acl", share});
    EXPECT_EQ(beside.status, 0) << beside.err;
}

// A file that is no baseline costs little to refuse, and the refusal says
// what is wrong in the run's language, naming the baseline and the line.
TEST_F(Baselines, MalformedBaselinesAreRefusedQuicklyAndPlainly)
{
    must({"mkdir", "-p", at("a"), at("b")});
    must({"touch", at("a/f"), at("a/h"), at("b/g")});
    const std::string good = work.path("keep/good.acl");
    ASSERT_EQ(save(good).status, 0);
    const std::string text = gwtest::readFile(good);
    const auto refused = [&](const std::string& name, const std::string& content, const std::string& expected,
                             const std::vector<std::string>& extra = {}) {
        const std::string path = work.path("keep/" + name);
        writeFile(path, content);
        std::vector<std::string> argv {gwtest::checkProgram(), "--files",    "--reports",
                                       work.path("reports"),   "--baseline", path};
        argv.insert(argv.end(), extra.begin(), extra.end());
        argv.push_back(share);
        const gwtest::ProcessResult r = run(argv);
        EXPECT_EQ(r.status, 2) << name << ": " << r.out << r.err;
        EXPECT_NE(r.err.find(path + ": " + expected), std::string::npos)
            << "expected: " << expected << "\nbut: " << r.err;
        return r.err;
    };
    // A run of empty lines grows the work, not the records: refused at its second line.
    const std::size_t firstRecord = text.find("# file: ");
    std::string blank = text;
    blank.insert(firstRecord, std::string(1 << 20, '\n'));
    refused("blank.acl", blank, "line 5: more than one empty line between records");
    refused("blank-ru.acl", blank, "строка 5: больше одной пустой строки между записями", {"--lang", "ru"});

    // A file said to be a folder, and a folder said to be a file. The
    // first file of a: its sibling after it is then out of the order.
    const std::size_t file = text.find("# kind: file", text.find("# file: " + at("a/f")));
    const std::size_t sibling = text.find("# kind: file", text.find("# file: " + at("a/h")));
    ASSERT_NE(sibling, std::string::npos);
    const auto lineOf = [](const std::string& t, std::size_t at) {
        return std::to_string(std::count(t.begin(), t.begin() + static_cast<long>(at), '\n'));
    };
    std::string flipped = text;
    flipped.replace(file, 12, "# kind: folder");
    refused("flipped.acl", flipped,
            "line " + lineOf(text, file) + ": the record says \"# kind: folder\", but " + at("a/f")
                + " is not a folder: the kind line does not match the item");
    // The last file of a: only the counts tell it.
    std::string last = text;
    last.replace(sibling, 12, "# kind: folder");
    refused(
        "last.acl", last,
        "line " + lineOf(text, text.size())
            + ": its head announces 3 folders and 3 files, and its kind lines say 4 and 2: a record's \"# kind:\" line "
              "does not match its item");
    std::string holder = text;
    const std::size_t folder = holder.find("# kind: folder", holder.find("# file: " + at("a") + "\n"));
    holder.replace(folder, 14, "# kind: file");
    refused("holder.acl", holder,
            "line " + lineOf(text, folder)
                + ": the record says \"# kind: file\", but records below it make it a folder");

    // Entries of other ACL models: a who in UTF-8, as a baseline of an NFSv4
    // share writes it, is compared; control bytes, C1 controls and bytes
    // that are no UTF-8 are no entry a baseline writes.
    const std::size_t firstEntry = text.find("user::", text.find("# file: " + at("a") + "\n"));
    const auto withEntry = [&](const std::string& entry) {
        std::string forged = text;
        forged.insert(firstEntry, "# nfs4: " + entry + "\n");
        return forged;
    };
    const std::string utf8 = work.path("keep/utf8.acl");
    writeFile(utf8, withEntry("A::j\xc3\xbcrgen@example.com:rx"));
    const gwtest::ProcessResult compared = run(
        {gwtest::checkProgram(), "--files", "--reports", work.path("reports"), "--baseline", utf8, share});
    EXPECT_EQ(compared.status, 1) << compared.out << compared.err;
    EXPECT_NE(gwtest::readFile(work.path("reports/acl_drift.txt"))
                  .find("folder " + at("a") + "\n    - nfs4 A::j\xc3\xbcrgen@example.com:rx\n"),
              std::string::npos);
    const std::string notPrintable = ": an entry of another ACL model that is empty or not printable";
    const std::string forgedLine = std::to_string(std::stoi(lineOf(text, firstEntry)) + 1);
    for (const std::string& entry : {std::string("A::x\x1b[2J@example.com:rx"), std::string("A::x\xc2\x85@e:rx"),
                                     std::string("A::x\xff@e:rx"), std::string("A::x\x7f@e:rx")})
        refused("forged.acl", withEntry(entry), "line " + forgedLine + notPrintable);

    // A compressed baseline cut short names the baseline, never zlib's descriptor.
    ASSERT_EQ(save(work.path("keep/good.acl.gz")).status, 0);
    const std::string packed = gwtest::readFile(work.path("keep/good.acl.gz"));
    const std::string err = refused("cut.acl.gz", packed.substr(0, packed.size() - 12), "line ");
    EXPECT_EQ(err.find("<fd:"), std::string::npos) << err;
    EXPECT_NE(err.find("cut short or damaged after line"), std::string::npos) << err;
}
