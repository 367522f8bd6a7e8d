// The HTML and CSV reports as an auditor opens them: the CSV read by Python's
// csv module and by LibreOffice against the JSON records, one for one; the
// HTML opened by headless Chromium, its places and its filter read from the
// page as the browser built it.

#include "RecordingView.h"
#include "TempTree.h"

#include "engine/paced/CheckEngine.h"
#include "engine/reports/CsvReport.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

#include <regex>
#include <set>

#include <sys/stat.h>
#include <unistd.h>

using gwtest::run;
using gwtest::TempTree;

namespace {

gwtest::ProcessResult check(const std::vector<std::string>& args)
{
    std::vector<std::string> argv {gwtest::checkProgram()};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv);
}

void writeFile(const std::string& path, const std::string& text)
{
    std::FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_TRUE(f);
    std::fputs(text.c_str(), f);
    std::fclose(f);
}

const std::string kMarkup = "<img src=x onerror=\"document.title='pwned'\">";

// What reports get wrong: a comma and quotes, markup, bytes that are not
// UTF-8, differences that fold (a/b and below carry what a carries), a file.
void makeTree(const TempTree& t)
{
    t.mkdir("a/b/c");
    t.mkdir("a/b/d");
    t.mkdir("plain");
    t.mkdir("co,ma \"quoted\"");
    t.mkdir(kMarkup);
    t.mkdir("\xff\xfe");
    gwtest::setfacl({"-R", "-m", "u:12345:rwx", t.path("a")});
    for (const std::string& name : {std::string("co,ma \"quoted\""), kMarkup, std::string("\xff\xfe")})
        gwtest::setfacl({"-m", "u:12346:r-x", t.path(name)});
    writeFile(t.path("plain/f.txt"), "x");
    gwtest::setfacl({"-m", "u:12347:rw-", t.path("plain/f.txt")});
}

// Every CSV row against its JSON record, column by column, as a script
// reads them; prints the number of rows.
const char kCompare[] = R"PY(
import base64, csv, json, sys
records = [json.loads(l) for l in open(sys.argv[1], encoding='utf-8') if l.strip()]
records = [r for r in records if r['type'] != 'summary']
with open(sys.argv[2], newline='', encoding='utf-8') as f:
    text = f.read()
assert text.endswith('\r\n'), 'CR LF line ends'
rows = list(csv.DictReader(text.splitlines(keepends=True)))
if len(rows) != len(records):
    sys.exit('%d rows, %d records' % (len(rows), len(records)))
def cell(v):
    return 'yes' if v is True else 'no' if v is False else '' if v is None else v
def changes(cs):
    return '\n'.join('changed %s -> %s' % (c['from'], c['to']) if c['change'] == 'changed'
                     else '%s %s' % (c['change'], c['entry']) for c in cs)
for row, r in zip(rows, records):
    want = {'check': r['check'], 'who': r.get('who', ''), 'path': r['path'], 'path_base64': r['path_base64'],
            'kind': 'folder' if r['type'] == 'folder' else r['kind'], 'status': r.get('status', ''),
            'reasons': ';'.join(r.get('reasons', [])), 'changes': changes(r.get('changes', [])),
            'owner': r.get('owner', ''), 'group': r.get('group', ''), 'mode': r.get('mode', ''),
            'read': cell(r.get('read')), 'write': cell(r.get('write')),
            'enter': cell(r['execute'] if 'execute' in r else r.get('enter')),
            'reachable': cell(r.get('reachable')), 'via': cell(r.get('via')),
            'reason': 'stopped at ' + r['stopped_at'] if 'stopped_at' in r else r.get('reason', '')}
    for key, value in want.items():
        if value[:1] in ('=', '+', '-', '@'):
            value = "'" + value
        if row[key] != value:
            sys.exit('%s of %s: %r, not %r' % (key, r['path'], row[key], value))
    if base64.b64decode(row['path_base64']).decode('utf-8', 'backslashreplace') == row['path'] and '\\' in row['path']:
        sys.exit('not the raw bytes: ' + row['path'])
print(len(rows))
)PY";

int count(const std::string& text, const std::string& what)
{
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// The page as headless Chromium built it, scripts run, at `fragment`.
std::string dom(const TempTree& work, const std::string& html, const std::string& fragment = {})
{
    const gwtest::ProcessResult r = run({"/usr/bin/chromium", "--headless", "--no-sandbox", "--disable-gpu",
                                         "--user-data-dir=" + work.path("chromium"), "--dump-dom",
                                         "file://" + html + fragment});
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
}

} // namespace

TEST(RecordReports, CsvFieldsAreQuotedAndGuardedAgainstFormulas)
{
    EXPECT_EQ(gw::CsvReport::field(u"/srv/plain"), "/srv/plain");
    EXPECT_EQ(gw::CsvReport::field(u"a,b \"c\"\nd"), "\"a,b \"\"c\"\"\nd\"");
    for (const char16_t* formula : {u"=1+2", u"+1", u"-1", u"@SUM(A1)", u"\t=1"})
        EXPECT_EQ(gw::CsvReport::field(formula).front(), '\'') << QString::fromUtf16(formula).toStdString();
    EXPECT_EQ(gw::CsvReport::field(u"\r=1"), "\"'\r=1\"");
    EXPECT_EQ(gw::CsvReport::field(u"=HYPERLINK(\"x\",\"y\")"), "\"'=HYPERLINK(\"\"x\"\",\"\"y\"\")\"");
    EXPECT_EQ(gw::CsvReport::field(u"a=b"), "a=b");
}

// Several checks in one run, every kind of record: the CSV's rows are the
// JSON's records, read by Python's csv module and by LibreOffice.
TEST(RecordReports, CsvRowsAreTheJsonRecords)
{
    TempTree t, work;
    makeTree(t);
    const std::string csv = work.path("r.csv"), html = work.path("r.html");
    const gwtest::ProcessResult r = check({"--files", "--inheritance", "--who", "nobody", "--who", "daemon", "--json",
                                           "--csv", csv, "--html", html, "--reports", work.path("r"), t.root()});
    ASSERT_EQ(r.status, 1) << r.err;
    writeFile(work.path("r.json"), r.out);
    const gwtest::ProcessResult compared = run({"/usr/bin/python3", "-c", kCompare, work.path("r.json"), csv});
    ASSERT_EQ(compared.status, 0) << compared.err << compared.out;
    EXPECT_GE(std::stoi(compared.out), 12) << compared.out;
    struct stat st { };
    ASSERT_EQ(::stat(csv.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // LibreOffice reads the same cells, and writes them back unchanged: owner,
    // group and mode taken as text, as its import lets a user say, so that
    // the mode keeps its leading zero ("0755", not 755).
    if (::access("/usr/bin/soffice", X_OK) != 0)
        GTEST_SKIP() << "LibreOffice is not installed";
    const gwtest::ProcessResult office = run({"/usr/bin/soffice", "-env:UserInstallation=file://" + work.path("lo"),
                                              "--headless", "--infilter=CSV:44,34,76,1,9/2/10/2/11/2", "--convert-to",
                                              "csv:Text - txt - csv (StarCalc):44,34,76,1", "--outdir",
                                              work.path("office"), csv});
    ASSERT_EQ(office.status, 0) << office.err;
    const gwtest::ProcessResult same = run(
        {"/usr/bin/python3", "-c",
         "import csv, sys\nread = lambda p: list(csv.reader(open(p, newline='', encoding='utf-8')))\n"
         "sys.exit(0 if read(sys.argv[1]) == read(sys.argv[2]) else 'LibreOffice read other cells')",
         csv, work.path("office/r.csv")});
    EXPECT_EQ(same.status, 0) << same.err;
}

// Every check's record of an item it read carries the item's owner and group
// (a name, or the number where the system has none) and its mode with the
// special bits, as the CSV does; an item gone has none.
TEST(RecordReports, RecordsCarryTheOwnerGroupAndModeRead)
{
    TempTree t, work;
    t.mkdir("s");
    t.mkdir("gone");
    writeFile(t.path("s/f"), "x");
    const std::string baseline = work.path("base.acl");
    ASSERT_EQ(check({"--quiet", "--files", "--reports", work.path("r0"), "--save-baseline", baseline, t.root()}).status,
              0);
    ASSERT_EQ(::rmdir(t.path("gone").c_str()), 0);
    gwtest::setfacl({"-m", "u:12345:rwx", t.path("s")});
    ASSERT_EQ(::chown(t.path("s").c_str(), 12346, 1), 0); // group 1 is daemon
    ASSERT_EQ(::chmod(t.path("s").c_str(), 03750), 0);
    ASSERT_EQ(::chown(t.path("s/f").c_str(), 1, 12347), 0);
    ASSERT_EQ(::chmod(t.path("s/f").c_str(), 04640), 0);
    const std::string s = "\"path\":\"" + t.path("s") + "\"", f = "\"path\":\"" + t.path("s/f") + "\"";
    const std::string ofS = "\"owner\":\"12346\",\"group\":\"daemon\",\"mode\":\"3750\"";
    const std::string ofF = "\"owner\":\"daemon\",\"group\":\"12347\",\"mode\":\"4640\"";

    const std::string csv = work.path("r.csv");
    const gwtest::ProcessResult all = check({"--json", "--files", "--inheritance", "--baseline", baseline, "--who",
                                             "daemon", "--who", "nobody", "--csv", csv, "--reports", work.path("r1"),
                                             t.root()});
    const gwtest::ProcessResult folder = check({"--json", "--reports", work.path("r2"), t.root()});
    ASSERT_EQ(all.status, 1) << all.err;
    ASSERT_EQ(folder.status, 1) << folder.err;
    std::multiset<std::string> seen; // the check of each record of s or s/f
    for (const std::string& out : {all.out, folder.out}) {
        std::size_t start = 0;
        for (std::size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
            const std::string line = out.substr(start, end - start);
            const bool ofs = line.find(s + ",") != std::string::npos, off = line.find(f + ",") != std::string::npos;
            if (ofs || off) {
                EXPECT_NE(line.find(ofs ? ofS : ofF), std::string::npos) << line;
                seen.insert(line.substr(0, line.find(',')) + (ofs ? " s" : " f"));
            }
            if (line.find("\"status\":\"gone\"") != std::string::npos) {
                EXPECT_EQ(line.find("\"owner\""), std::string::npos) << line;
                seen.insert("gone");
            }
        }
    }
    for (const char* record : {"{\"check\":\"inheritance\" s", "{\"check\":\"drift\" s", "{\"check\":\"drift\" f",
                               "{\"check\":\"who\" s", "{\"check\":\"who\" f", "{\"type\":\"folder\" s", "gone"})
        EXPECT_GE(seen.count(record), 1u) << record << "\n" << all.out << folder.out;
    writeFile(work.path("r.json"), all.out);
    const gwtest::ProcessResult compared = run({"/usr/bin/python3", "-c", kCompare, work.path("r.json"), csv});
    EXPECT_EQ(compared.status, 0) << compared.err << compared.out;
}

TEST(RecordReports, HtmlOpensInChromiumWithItsPlacesAndFilter)
{
    TempTree t, work;
    makeTree(t);
    const std::string html = work.path("r.html");
    const gwtest::ProcessResult r = check({"--json", "--html", html, "--reports", work.path("r"), t.root()});
    ASSERT_EQ(r.status, 1) << r.err;
    // Where differences start: a (a/b and below fold into it), the comma
    // folder, the markup folder, the one that is not UTF-8.
    ASSERT_EQ(count(r.out, "\"starts_here\":true"), 4) << r.out;
    const std::string page = gwtest::readFile(html);
    EXPECT_EQ(count(page, "<script"), 2) << "the data and the script, nothing more";
    EXPECT_EQ(page.find("<link"), std::string::npos);
    EXPECT_NE(page.find("default-src 'none'"), std::string::npos);

    const std::string shown = dom(work, html);
    EXPECT_EQ(count(shown, "<div class=\"place "), 4) << shown;
    EXPECT_NE(shown.find(">4 places<"), std::string::npos);
    // The markup is a name: shown as text, never run.
    EXPECT_EQ(shown.find("pwned</title>"), std::string::npos);
    EXPECT_EQ(shown.find("<img"), std::string::npos);
    EXPECT_NE(shown.find("&lt;img src=x onerror=\"document.title='pwned'\"&gt;"), std::string::npos);
    EXPECT_NE(shown.find("/\\377\\376</span>"), std::string::npos) << "the printable form";
    EXPECT_NE(shown.find("co,ma \"quoted\"</span>"), std::string::npos);

    // A filter from the URL: every place whose path holds it, folded ones too.
    const std::string filtered = dom(work, html, "#filter=%2Fa%2Fb");
    EXPECT_EQ(count(filtered, "<div class=\"place "), 3) << filtered; // a/b, a/b/c, a/b/d
    EXPECT_NE(filtered.find(">3 places match the filter<"), std::string::npos);
    EXPECT_EQ(count(dom(work, html, "#filter=nothing-like-it"), "<div class=\"place "), 0);
}

// The window's check (the paced reading) gives the records grantwise-check
// gives, and saves its HTML report from them.
TEST(RecordReports, WindowSavesTheHtmlReportOfItsCheck)
{
    TempTree t, work;
    makeTree(t);
    gwtest::RecordingView view;
    gw::CheckEngine engine {view, gw::TimeFormat::fromPattern("%T", "", "")};
    view.engine = &engine;
    ::setenv("TMPDIR", work.root().c_str(), 1);
    engine.FormShow();
    ::unsetenv("TMPDIR");
    const QByteArray html = QByteArray::fromStdString(work.path("window.html"));
    EXPECT_FALSE(engine.saveHtmlReport(html).isEmpty()) << "no check has finished";
    EXPECT_NE(::access(html.constData(), F_OK), 0);

    engine.setListingProgram(QByteArray::fromStdString(gwtest::aclProgram()));
    gwtest::runCheck(engine, view, t.root(), true);
    ASSERT_TRUE(view.enabled[gw::Control::Menu_File_HtmlReport]);
    const gwtest::ProcessResult cli = check({"--json", "--reports", work.path("r"), t.root()});
    ASSERT_EQ(cli.status, 1) << cli.err;
    const QByteArray records = engine.lastRecords();
    QByteArray folderLines;
    for (const QByteArray& line : records.split('\n')) {
        if (line.startsWith("{\"check\":\"folder\",\"type\":\"folder\""))
            folderLines += "{" + line.mid(18) + "\n";
    }
    // But for the status: the paced reading has each listing as text, from grantwise-acl.
    const std::regex status(",\"owner\":\"[^\"]*\",\"group\":\"[^\"]*\",\"mode\":\"[0-7]{4}\"");
    EXPECT_EQ(folderLines.toStdString(),
              std::regex_replace(cli.out.substr(0, cli.out.find("{\"type\":\"summary\"")), status, ""));

    ASSERT_EQ(engine.saveHtmlReport(html), QString());
    const std::string page = gwtest::readFile(html.toStdString());
    EXPECT_NE(page.find("\\u003cimg src=x"), std::string::npos);
    EXPECT_TRUE(view.texts[gw::Control::RichEdit2].endsWith(QString::fromUtf8(html))) << "said where it was saved";
}
