// grantwise-check: the whole check from the command line.
//
//   grantwise-check [--reports DIR] [--lang en|ru] [--jobs N] [--quiet] FOLDER
//
// Exit status: 0 every folder was read and matches; 1 mismatches, or folders
// not read or not listed; 2 an error. With --baseline: 0 nothing changed and
// everything was read; 1 anything changed or was not read.

#include "engine/BaselineDrift.h"
#include "engine/BaselineRun.h"
#include "engine/BatchCheck.h"
#include "engine/CheckState.h"
#include "engine/FixFile.h"
#include "engine/JsonLines.h"
#include "engine/MessageText.h"
#include "platform/DirectoryOpen.h"
#include "platform/FileDestination.h"
#include "platform/FolderTree.h"
#include "platform/InterruptCleanup.h"
#include "platform/PrintablePath.h"
#include "platform/PrintableText.h"
#include "platform/ReportsFolder.h"
#include "platform/UserGroups.h"
#include "platform/WorkingFolder.h"

#include <QCoreApplication>

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kUsage[] = "Usage: grantwise-check [OPTION]... FOLDER\n";

const char kHelp[] = "Checks that every subfolder of FOLDER carries the same permissions as FOLDER\n"
                     "itself, and writes the same reports as the Grantwise window: acl.txt, the\n"
                     "full detail report, acl_def.txt, the mismatch report, and acl_diff.txt, what\n"
                     "differs entry by entry and where the differences start.\n"
                     "\n"
                     "  --reports DIR    write the reports into DIR (made if missing, mode 0700; it\n"
                     "                   must be yours alone); without it, into a new private\n"
                     "                   folder under $TMPDIR or /tmp\n"
                     "  --lang en|ru     language of the summary and the verdict (default en);\n"
                     "                   the reports are always English\n"
                     "  --jobs N         walker threads (default: 16); 1 walks on one thread, for a\n"
                     "                   single spinning disk; the output is the same either way\n"
                     "  --quiet          print only the verdict and, without --reports, the folder\n"
                     "                   the reports are in\n"
                     "  --json           print JSON Lines instead: one object per folder that\n"
                     "                   differs, was not read or was not listed, then a summary\n"
                     "  --fix-file FILE  write FILE for setfacl --restore: it gives every folder that\n"
                     "                   differs the permissions of FOLDER (with --inheritance: every\n"
                     "                   item what its folder gives it); review it, then apply it\n"
                     "\n"
                     "What to check (the output and the reports say what was left out):\n"
                     "  --include-hidden     check folders whose names begin with \".\" too; without\n"
                     "                       it, their number is printed after the verdict\n"
                     "  --exclude PATTERN    leave out a folder whose name, or whose path relative\n"
                     "                       to FOLDER, matches the glob, with its subtree\n"
                     "                       (repeatable)\n"
                     "  --max-depth N        leave out folders more than N levels below FOLDER\n"
                     "  --one-file-system    do not enter other mounted file systems\n"
                     "  --ignore owner,group do not compare the owner's (or the owning group's)\n"
                     "                       name, only its rights\n"
                     "\n"
                     "The inheritance check:\n"
                     "  --inheritance        compare every subfolder with what its own folder gives\n"
                     "                       a new folder (default ACL, mask, setgid) instead of\n"
                     "                       with FOLDER; writes acl_inherit.txt\n"
                     "  --files              check regular files too: against what their own folder\n"
                     "                       gives (with --inheritance) or what FOLDER gives a new\n"
                     "                       file\n"
                     "  --umask MASK         where no default ACL decides the mode bits, compare them\n"
                     "                       with what this umask gives (such as 022)\n"
                     "\n"
                     "Who can do what:\n"
                     "  --who USER           instead of a verdict, what USER (a name or number) may\n"
                     "                       do in every folder (and file, with --files): read,\n"
                     "                       write, enter (or execute), whether it is reachable from\n"
                     "                       \"/\", and the entry that decides; writes acl_who.txt\n"
                     "  --who group:GROUP    the same for a member of GROUP and of no other group\n"
                     "  --who anyone         the same for the other class: a user named in no entry\n"
                     "                       and in no named group\n"
                     "Baselines (what changed since the state you accepted):\n"
                     "  --save-baseline FILE after the check, write the permissions of every folder\n"
                     "                       (and file, with --files) to FILE in the form getfacl -R\n"
                     "                       writes and setfacl --restore=FILE reads (gzip when FILE\n"
                     "                       ends in .gz)\n"
                     "  --baseline FILE      compare every folder (and file, with --files) with its\n"
                     "                       record in FILE instead of with FOLDER; writes\n"
                     "                       acl_drift.txt; with --quiet, prints nothing when\n"
                     "                       nothing changed\n"
                     "\n"
                     "  --help, --version\n"
                     "Options may also be written --reports=DIR; \"--\" ends them.\n"
                     "\n"
                     "Exit status: 0 when every folder was read and matches (with --inheritance:\n"
                     "every item carries what its folder gives it; with --files, the files too); 1\n"
                     "when anything differs or could not be read or listed; 2 on an error. With --who: 0\n"
                     "when everything was read, 1 when something was not (its rights are unknown).\n"
                     "With --baseline: 0 when nothing changed and everything was read; 1 when anything\n"
                     "changed or could not be read.\n";

// Reads a whole decimal number from `low` to `high` into `out`.
bool numberIn(const std::string& text, long low, long high, int& out)
{
    char* end = nullptr;
    const long n = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || n < low || n > high)
        return false;
    out = static_cast<int>(n);
    return true;
}

// Writes `text` to standard error as it is.
void printError(const std::string& text)
{
    std::fputs(text.c_str(), stderr);
}

int fail(const std::string& message, bool usage = false)
{
    printError("grantwise-check: " + message + "\n");
    if (usage)
        printError(kUsage);
    return 2;
}

// Writes to standard output. Returns 0 or an errno value.
int writeOut(QByteArrayView bytes)
{
    errno = 0;
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return 0;
    return errno ? errno : EIO;
}

int outputFailed(int error)
{
    return fail(std::string("cannot write to standard output: ") + std::strerror(error));
}

// FOLDER made absolute against the current folder, with ".", ".." and
// repeated or trailing slashes removed by text: links are not resolved and
// blanks are never trimmed. Returns 0, or the errno value of a current
// folder that cannot be told (deleted, for one).
int absoluteByText(const QByteArray& path, QByteArray& full)
{
    full = path;
    if (!full.startsWith('/')) {
        std::string cwd(4096, '\0');
        while (!::getcwd(cwd.data(), cwd.size())) {
            if (errno != ERANGE)
                return errno;
            cwd.resize(cwd.size() * 2);
        }
        // Linux marks a folder it cannot reach from the root by "(unreachable)".
        if (cwd[0] != '/')
            return ENOENT;
        full = QByteArray(cwd.c_str()) + '/' + full;
    }
    QList<QByteArray> kept;
    for (const QByteArray& part : full.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..") {
            if (!kept.isEmpty())
                kept.removeLast();
            continue;
        }
        kept.append(part);
    }
    full = '/' + kept.join('/');
    return 0;
}

// Why FOLDER cannot be checked, as one line; empty when it can. The folder is
// opened piece by piece when its path is long, as the tree opens it.
std::string folderProblem(const QByteArray& folder)
{
    const int fd = gw::openDirectory(gw::rawView(folder));
    if (fd >= 0) {
        ::close(fd);
        return std::string();
    }
    const int error = errno;
    if (folder.size() < PATH_MAX) {
        struct stat st { };
        if (::stat(folder.constData(), &st) != 0) {
            if (errno == ENOENT)
                return "no such folder: " + gw::printable(folder);
            return gw::printable(folder) + ": " + std::strerror(errno);
        }
        if (!S_ISDIR(st.st_mode))
            return "not a folder: " + gw::printable(folder);
    } else if (error == ENOENT) {
        return "no such folder: " + gw::printable(folder);
    }
    // The tree has the last word on a folder that does not open for reading;
    // its error is given with the reason the folder did not open.
    try {
        gw::FolderTree probe(folder);
    } catch (const gw::FolderTreeError& e) {
        return e.what() + std::string(": ") + std::strerror(error);
    }
    return std::string();
}

// Progress bars on standard error, for a person watching a terminal.
class ProgressLine {
public:
    void operator()(const gw::BatchProgress& p)
    {
        using namespace std::chrono;
        const auto now = steady_clock::now();
        if (now - last_ < milliseconds(100) && p.done != p.total)
            return;
        last_ = now;
        char line[160];
        if (p.phase == gw::BatchProgress::Scan) {
            std::snprintf(line, sizeof line, "\rScanning: %d folders found", p.done);
        } else {
            const double share = p.total > 0 ? static_cast<double>(p.done) / p.total : 0.0;
            const double elapsed = duration<double>(now - start_).count();
            const long left = share > 0.01 ? static_cast<long>(elapsed / share * (1 - share)) : 0;
            const int filled = static_cast<int>(share * 30);
            std::snprintf(line, sizeof line, "\rReading:  [%-30s] %d/%d, %ld:%02ld:%02ld left ",
                          std::string(static_cast<std::size_t>(filled), '#').c_str(), p.done, p.total, left / 3600,
                          left / 60 % 60, left % 60);
        }
        printError(std::string(line) + "\033[K");
    }
    ~ProgressLine() { printError("\r\033[K"); }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point last_;
};

QByteArray unixLines(const QString& text)
{
    return text.toUtf8().replace("\r\n", "\n");
}

} // namespace

int main(int argc, char** argv)
{
    // SIGINT, SIGTERM and SIGHUP remove what this run has not finished; a
    // file-size limit becomes a write error instead of ending the run.
    gw::InterruptCleanup::install();
    std::signal(SIGXFSZ, SIG_IGN);
    QCoreApplication app(argc, argv); // the locale's collation and time formats
    gw::BatchOptions options;
    QByteArray reportsDir;
    bool quiet = false;
    bool json = false;
    QByteArray fixFile;
    QByteArray jsonLines;
    QByteArray folder;
    bool haveFolder = false;
    QByteArray baselineFile, saveBaselineFile; // --baseline, --save-baseline
    enum Long {
        Reports = 256,
        Lang,
        Jobs,
        Json,
        FixFile,
        IncludeHidden,
        Exclude,
        MaxDepth,
        OneFileSystem,
        Ignore,
        Inheritance,
        Files,
        Umask,
        Who,
        SaveBaseline,
        Baseline,
        Version
    };
    static const option longOptions[] = {
        {"reports", required_argument, nullptr, Reports},
        {"lang", required_argument, nullptr, Lang},
        {"jobs", required_argument, nullptr, Jobs},
        {"quiet", no_argument, nullptr, 'q'},
        {"json", no_argument, nullptr, Json},
        {"fix-file", required_argument, nullptr, FixFile},
        {"include-hidden", no_argument, nullptr, IncludeHidden},
        {"exclude", required_argument, nullptr, Exclude},
        {"max-depth", required_argument, nullptr, MaxDepth},
        {"one-file-system", no_argument, nullptr, OneFileSystem},
        {"ignore", required_argument, nullptr, Ignore},
        {"inheritance", no_argument, nullptr, Inheritance},
        {"files", no_argument, nullptr, Files},
        {"umask", required_argument, nullptr, Umask},
        {"who", required_argument, nullptr, Who},
        {"save-baseline", required_argument, nullptr, SaveBaseline},
        {"baseline", required_argument, nullptr, Baseline},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, Version},
        {nullptr, 0, nullptr, 0},
    };
    opterr = 0; // the messages are ours
    for (int c; (c = ::getopt_long(argc, argv, ":qh", longOptions, nullptr)) != -1;) {
        const std::string value = optarg ? optarg : "";
        switch (c) {
        case 'h': {
            const int error = writeOut(QByteArray(kUsage) + kHelp);
            return error ? outputFailed(error) : 0;
        }
        case Version: {
            const int error = writeOut("grantwise-check " GRANTWISE_VERSION "\n");
            return error ? outputFailed(error) : 0;
        }
        case 'q': quiet = true; break;
        case Json: json = true; break;
        case FixFile:
            if (value.empty())
                return fail("--fix-file needs a file name", true);
            fixFile = optarg;
            break;
        case Reports:
            if (value.empty())
                return fail("--reports needs a folder", true);
            reportsDir = optarg;
            break;
        case Lang:
            if (value != "en" && value != "ru")
                return fail("--lang takes en or ru", true);
            options.lang = value == "ru" ? QStringLiteral("RU") : QStringLiteral("EN");
            break;
        case Jobs:
            if (!numberIn(value, 1, 64, options.jobs))
                return fail("--jobs takes a number from 1 to 64", true);
            break;
        case IncludeHidden: options.scope.includeHidden = true; break;
        case Exclude:
            if (value.empty())
                return fail("--exclude needs a pattern", true);
            options.scope.excludePatterns.push_back(value);
            break;
        case MaxDepth:
            if (!numberIn(value, 0, 1000000, options.scope.maxDepth))
                return fail("--max-depth takes a number from 0", true);
            break;
        case OneFileSystem: options.scope.oneFileSystem = true; break;
        case Ignore:
            for (const QByteArray& part : QByteArray::fromStdString(value).split(',')) {
                if (part == "owner")
                    options.ignored.ownerName = true;
                else if (part == "group")
                    options.ignored.groupName = true;
                else
                    return fail("--ignore takes owner, group or owner,group", true);
            }
            break;
        case Inheritance: options.inheritance = true; break;
        case Files: options.files = true; break;
        case Umask: {
            char* end = nullptr;
            const unsigned long mask = std::strtoul(value.c_str(), &end, 8);
            if (value.empty() || *end || value.find_first_not_of("01234567") != std::string::npos || mask > 0777)
                return fail("--umask takes an octal mask from 0 to 777, such as 022", true);
            options.umask = static_cast<std::uint32_t>(mask);
            break;
        }
        case Who: {
            gw::Principal who;
            std::string problem;
            if (!gw::lookUpPrincipal(value, who, problem))
                return fail("--who: " + problem, true);
            options.who = std::move(who);
            break;
        }
        case SaveBaseline:
        case Baseline:
            if (value.empty())
                return fail(std::string(c == Baseline ? "--baseline" : "--save-baseline") + " needs a file name", true);
            (c == Baseline ? baselineFile : saveBaselineFile) = optarg;
            break;
        case ':': return fail(std::string(argv[optind - 1]) + " needs a value", true);
        default:
            if (optopt != 0 && optopt < 256)
                return fail(std::string("unknown option -") + static_cast<char>(optopt), true);
            return fail("unknown option " + std::string(argv[optind - 1]), true);
        }
    }
    if (optind < argc) {
        folder = argv[optind];
        haveFolder = true;
        if (optind + 1 < argc)
            return fail("one FOLDER only", true);
    }
    if (!haveFolder || folder.isEmpty())
        return fail("no FOLDER given", true);
    if (options.umask && !options.inheritance && !options.files)
        return fail("--umask needs --inheritance or --files: only items compared with what a folder gives them "
                    "have mode bits an umask decides",
                    true);
    if (options.who && (options.inheritance || !fixFile.isEmpty() || !baselineFile.isEmpty()))
        return fail("--who is an inventory: it does not go with --inheritance, --baseline or --fix-file", true);

    if (const int error = absoluteByText(folder, options.folder))
        return fail("cannot resolve " + gw::printable(folder) + " against the current folder: " + std::strerror(error));
    // A baseline is named by its whole path: in a report read later, a
    // relative one would mean nothing. Only the current folder is put
    // before it; its names are left as they are.
    for (QByteArray* file : {&baselineFile, &saveBaselineFile}) {
        if (!file->isEmpty() && !file->startsWith('/')) {
            QByteArray cwd;
            if (const int error = absoluteByText(".", cwd))
                return fail("cannot resolve " + gw::printable(*file)
                            + " against the current folder: " + std::strerror(error));
            *file = (cwd == "/" ? cwd : cwd + '/') + *file;
        }
    }
    if (const std::string problem = folderProblem(options.folder); !problem.empty())
        return fail(problem);

    // The head of a baseline to compare with is read first: a file that is
    // no baseline, or one of another folder, refuses the run before the
    // check. One malformed, cut short or out of order further on is found
    // as it is read with the walk, and fails the run then.
    gw::BaselineRun baselines(gw::language(options.lang));
    if (!baselineFile.isEmpty()) {
        if (options.inheritance)
            return fail("--baseline is a check of its own: it does not go with --inheritance", true);
        if (!fixFile.isEmpty())
            return fail("--baseline does not go with --fix-file: setfacl --restore of the baseline puts it back", true);
        if (const std::string problem = baselines.compareWith(baselineFile, options.folder); !problem.empty())
            return fail(problem);
    }

    // Closing it at the end ends the lock; a private folder left empty by a
    // failed run is removed then.
    gw::ReportsFolder reports;
    const bool privateFolder = reportsDir.isEmpty();
    const gw::ReportsFolder::Outcome opened = privateFolder ? reports.makePrivate() : reports.open(reportsDir);
    if (opened != gw::ReportsFolder::Outcome::Opened) {
        if (reports.path().isEmpty())
            return fail("cannot make a folder for the reports in " + gw::printable(gw::WorkingFolder::base()) + ": "
                        + std::strerror(reports.error()));
        return fail(reports.refusal(opened));
    }
    options.reports = &reports;
    options.inheritanceFix = options.inheritance && !fixFile.isEmpty();
    if (!fixFile.isEmpty()) {
        // A fix file that would be refused at the end refuses the run now,
        // before a check that may take long and reports that would be replaced.
        if (const std::string problem = gw::fixFileRefusal(fixFile, &reports); !problem.empty())
            return fail(problem);
    }
    options.excluded.push_back(reports.excluded()); // its contents change while the check runs

    // Baselines: the one to save is refused now when it would be at the end.
    if (!saveBaselineFile.isEmpty()) {
        // Told apart by what they name, not by their text: "./sv/x" and "/abs/sv/x" are one file.
        gw::FileDestination baselineTo, fixTo;
        if (!fixFile.isEmpty() && gw::fileDestination(saveBaselineFile, baselineTo) == 0
            && gw::fileDestination(fixFile, fixTo) == 0 && baselineTo == fixTo)
            return fail("--save-baseline " + gw::printable(saveBaselineFile.toStdString()) + " and --fix-file "
                            + gw::printable(fixFile.toStdString()) + " name the same file",
                        true);
        if (const std::string problem = baselines.saveTo(saveBaselineFile, reports); !problem.empty())
            return fail(problem);
    }
    baselines.attach(options, json);
    gw::BaselineDrift* const drift = baselines.drift();

    // Each item that differs from what its folder gives it, as it is found.
    QByteArray itemLines;
    if (json && (options.inheritance || options.files) && !options.who && !drift) {
        const char* itemStatus = options.inheritance ? "not_inherited" : "differs";
        options.itemLine = [&itemLines, itemStatus](const gw::ItemDifference& d) {
            itemLines += gw::jsonItemLine(d, itemStatus);
        };
    }
    if (json && !options.inheritance && !options.who && !drift) {
        options.folderLines = [&jsonLines](const QByteArray& printablePath, const QByteArray& rawPath,
                                           const char* status, const gw::FolderDifference* difference,
                                           const QByteArray& reason) {
            jsonLines += gw::jsonFolderLine(printablePath, rawPath, status, difference, reason);
        };
    }

    gw::BatchResult result;
    {
        std::optional<ProgressLine> progress; // cleared from the terminal when it ends
        const char* term = std::getenv("TERM");
        if (::isatty(2) && !(term && std::strcmp(term, "dumb") == 0)) {
            progress.emplace();
            options.progress = [&progress](const gw::BatchProgress& p) { (*progress)(p); };
        }
        try {
            result = gw::runBatchCheck(options);
        } catch (const gw::FolderTreeError& e) {
            // The folder was there a moment ago: say why it is not now.
            progress.reset();
            const int fd = gw::openDirectory(gw::rawView(options.folder));
            const int error = fd < 0 ? errno : EAGAIN;
            if (fd >= 0)
                ::close(fd);
            return fail(e.what() + std::string(": ") + std::strerror(error));
        } catch (const std::exception& e) {
            progress.reset();
            return fail(e.what());
        }
    }
    if (result.writeError)
        return fail("cannot write " + gw::printable(result.failedPath) + ": " + reports.failureText(result.writeError));
    if (const std::string problem = baselines.finish(options, result); !problem.empty())
        return fail(problem);
    const gw::ReportInputs& in = result.analysis.inputs;
    const int status = result.green ? 0 : 1;
    if (!fixFile.isEmpty()) {
        if (const std::string problem = options.inheritance
                ? gw::saveFixText(fixFile, result.fixRecords, &reports)
                : gw::saveFixFile(fixFile, result.analysis, options.folder, options.ignored, &reports);
            !problem.empty())
            return fail(problem);
    }

    if (json && result.who) {
        if (const int error = writeOut(
                gw::whoJsonLines(*result.who)
                + gw::whoJsonSummary(*result.who, gw::printableUtf8(result.whoReportPath), result.seconds)))
            return outputFailed(error);
        return status;
    }
    if (json && drift) {
        gw::DriftSummary summary {drift, in.targetPrintable, gw::printableUtf8(result.driftReportPath), result.seconds};
        if (const int error = writeOut(drift->jsonLines() + gw::jsonDriftSummaryLine(summary)))
            return outputFailed(error);
        return status;
    }
    if (json) {
        gw::JsonSummary summary;
        summary.folder = in.targetPrintable;
        summary.subfolders = in.folderCount - 1;
        summary.maxLevel = in.maxLevel;
        summary.mismatches = in.mismatchCount;
        summary.notRead = in.notRead;
        summary.notListed = in.notListed;
        summary.fullReport = gw::printableUtf8(result.fullReportPath);
        summary.mismatchReport = gw::printableUtf8(result.mismatchReportPath);
        summary.differencesReport = gw::printableUtf8(result.differencesReportPath);
        summary.seconds = result.seconds;
        summary.notChecked = in.notChecked;
        summary.notCompared = in.notCompared;
        summary.hiddenNotChecked = result.hiddenLeftOut;
        summary.hiddenFilesNotChecked = result.hiddenFilesLeftOut;
        if (options.inheritance || options.files) {
            summary.items = &result.items;
            summary.inheritance = options.inheritance;
            summary.inheritanceReport = gw::printableUtf8(result.inheritanceReportPath);
            // Each item that differs from what its folder gives it, then what was not read.
            jsonLines += itemLines;
            if (options.inheritance) {
                for (const gw::ItemNotRead& n : result.items.notRead)
                    jsonLines += gw::jsonItemNotReadLine(n);
                for (const QByteArray& path : result.items.notListed)
                    jsonLines += gw::jsonFolderLine(path,
                                                    QByteArray::fromStdString(gw::rawFromPrintable(path.toStdString())),
                                                    "not_listed", nullptr, {});
            } else {
                for (const gw::ItemNotRead& n : result.items.notRead) {
                    if (n.kind == gw::ItemKind::File)
                        jsonLines += gw::jsonItemNotReadLine(n);
                }
            }
        }
        if (const int error = writeOut(jsonLines + gw::jsonSummaryLine(summary)))
            return outputFailed(error);
        return status;
    }

    const bool ru = gw::isRussian(options.lang);
    if (drift && quiet && status == 0)
        return 0; // nothing changed: nothing to mail
    QByteArray out;
    if (!quiet)
        out += unixLines(result.reportHeader) + "\n";
    out += unixLines(result.verdict) + "\n";
    if (const QString notSaved = baselines.notSavedLine(); !notSaved.isEmpty())
        out += notSaved.toUtf8() + "\n";
    if (!quiet && !result.notCheckedLine.isEmpty()) // the verdict covers only what was checked
        out += unixLines(result.notCheckedLine) + "\n";
    if (!quiet && result.hiddenLeftOut > 0) {
        // The verdict covers only what was checked: say what the default left out.
        const QByteArray count = QByteArray::number(result.hiddenLeftOut);
        out += ru ? "Скрытые папки не проверены (со всем, что в них): " + count + " (проверяет --include-hidden)\n"
                  : "Hidden folders not checked, with all below them: " + count + " (--include-hidden checks them)\n";
    }
    if (!quiet && result.hiddenFilesLeftOut > 0) {
        const QByteArray count = QByteArray::number(result.hiddenFilesLeftOut);
        out += ru ? "Скрытые файлы не проверены: " + count + " (проверяет --include-hidden)\n"
                  : "Hidden files not checked: " + count + " (--include-hidden checks them)\n";
    }
    if (!quiet) {
        out += unixLines(result.processingTime) + "\n";
        out += (ru ? QByteArray("Полный подробный отчет: ") : QByteArray("Full detail report: "))
            + gw::printableUtf8(result.fullReportPath) + "\n";
        out += (ru ? QByteArray("Отчет о несоответствиях: ") : QByteArray("Mismatches report: "))
            + gw::printableUtf8(result.mismatchReportPath) + "\n";
        out += (ru ? QByteArray("Отчет о различиях: ") : QByteArray("Differences report: "))
            + gw::printableUtf8(result.differencesReportPath) + "\n";
        if (options.inheritance)
            out += (ru ? QByteArray("Отчёт о наследовании: ") : QByteArray("Inheritance report: "))
                + gw::printableUtf8(result.inheritanceReportPath) + "\n";
        if (result.who)
            out += (ru ? QByteArray("Отчёт о правах: ") : QByteArray("Rights report: "))
                + gw::printableUtf8(result.whoReportPath) + "\n";
        if (!fixFile.isEmpty())
            out += (ru ? QByteArray("Файл исправления: ") : QByteArray("Fix file: ")) + gw::printableUtf8(fixFile)
                + "\n";
        if (drift)
            out += (ru ? QByteArray("Отчёт об изменениях: ") : QByteArray("Drift report: "))
                + gw::printableUtf8(result.driftReportPath) + "\n";
        if (baselines.saved())
            out += (ru ? QByteArray("Базовый снимок: ") : QByteArray("Baseline saved: "))
                + gw::printableUtf8(saveBaselineFile) + "\n";
    } else if (privateFolder) {
        // Named even here: a report nobody can find is lost.
        out += (ru ? QByteArray("Папка отчетов: ") : QByteArray("Reports folder: ")) + gw::printableUtf8(reports.path())
            + "\n";
    }
    if (const int error = writeOut(out))
        return outputFailed(error);
    return status;
}
