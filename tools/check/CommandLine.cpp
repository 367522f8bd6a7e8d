#include "check/CommandLine.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <unistd.h>

namespace gwcheck {

extern const char kUsage[];
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
                     "  -q, --quiet      print only the verdict and, without --reports, the folder\n"
                     "                   the reports are in\n"
                     "  --json           print JSON Lines instead: one object per folder that\n"
                     "                   differs, was not read or was not listed, then a summary\n"
                     "  --fix-file FILE  write FILE for setfacl --restore: it gives every folder that\n"
                     "                   differs the permissions of FOLDER (with --inheritance: every\n"
                     "                   item what its folder gives it); review it, then apply it\n"
                     "  --html FILE      write the HTML report: one file for a browser, with the\n"
                     "                   verdict, the counts, each check's places and a filter box\n"
                     "  --csv FILE       write the CSV report: a row for each record --json prints\n"
                     "                   but the summaries, for a spreadsheet or a script\n"
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
                     "  --who USER           what USER (a name or number) may do in every folder\n"
                     "                       (and file, with --files): read, write, enter (or\n"
                     "                       execute), whether it is reachable from \"/\", and the\n"
                     "                       entry that decides; writes acl_who.txt\n"
                     "  --who group:GROUP    the same for a member of GROUP and of no other group\n"
                     "  --who anyone         the same for the other class: a user named in no entry\n"
                     "                       and in no named group; --who is repeatable\n"
                     "\n"
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
                     "Watching:\n"
                     "  --watch              after the check, keep watching FOLDER and judge every\n"
                     "                       change as it happens (against FOLDER, what its folder\n"
                     "                       gives it with --inheritance, or its record with\n"
                     "                       --baseline): one line (a JSON record with --json) for\n"
                     "                       each item whose verdict changes, with the process that\n"
                     "                       made the change; until SIGINT, SIGTERM or SIGHUP (exit\n"
                     "                       status 0). Root watches the whole file system; other\n"
                     "                       users mark every folder, within\n"
                     "                       fs.fanotify.max_user_marks\n"
                     "\n"
                     "--inheritance, --baseline, --who and --save-baseline go together: the tree is\n"
                     "read once, and each check gives its verdict on a line of its own.\n"
                     "\n"
                     "  -h, --help, --version\n"
                     "Options may also be written --reports=DIR; \"--\" ends them.\n"
                     "\n"
                     "Exit status: 0 when every folder was read and matches (with --inheritance:\n"
                     "every item carries what its folder gives it; with --files, the files too); 1\n"
                     "when anything differs or could not be read or listed; 2 on an error. With\n"
                     "--who: 0 when everything was read, 1 when something was not (its rights are\n"
                     "unknown). With --baseline: 0 when nothing changed and everything was read; 1\n"
                     "when anything changed or could not be read. With several checks: 0 only when\n"
                     "each would be 0.\n";

namespace {

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
    Watch,
    Html,
    Csv,
    Version
};
const option kLongOptions[] = {
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
    {"watch", no_argument, nullptr, Watch},
    {"html", required_argument, nullptr, Html},
    {"csv", required_argument, nullptr, Csv},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, Version},
    {nullptr, 0, nullptr, 0},
};

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

// Takes one option into `cl`. Returns -1, or the exit status when the run
// ends here (--help, --version, a bad value).
int takeOption(int c, const std::string& value, CommandLine& cl)
{
    switch (c) {
    case 'h': {
        const int error = writeOut(QByteArray(kUsage) + kHelp);
        return error ? outputFailed(error) : 0;
    }
    case Version: {
        const int error = writeOut("grantwise-check " GRANTWISE_VERSION "\n");
        return error ? outputFailed(error) : 0;
    }
    case 'q': cl.quiet = true; break;
    case Json: cl.json = true; break;
    case Watch: cl.watch = true; break;
    case FixFile:
        if (value.empty())
            return fail("--fix-file needs a file name", true);
        cl.fixFile = QByteArray::fromStdString(value);
        break;
    case Html:
    case Csv:
        if (value.empty())
            return fail(std::string(c == Html ? "--html" : "--csv") + " needs a file name", true);
        (c == Html ? cl.htmlFile : cl.csvFile) = QByteArray::fromStdString(value);
        break;
    case Reports:
        if (value.empty())
            return fail("--reports needs a folder", true);
        cl.reportsDir = QByteArray::fromStdString(value);
        break;
    case Lang:
        if (value != "en" && value != "ru")
            return fail("--lang takes en or ru", true);
        cl.options.lang = value == "ru" ? QStringLiteral("RU") : QStringLiteral("EN");
        break;
    case Jobs:
        if (!numberIn(value, 1, 64, cl.options.jobs))
            return fail("--jobs takes a number from 1 to 64", true);
        break;
    case IncludeHidden: cl.options.scope.includeHidden = true; break;
    case Exclude:
        if (value.empty())
            return fail("--exclude needs a pattern", true);
        cl.options.scope.excludePatterns.push_back(value);
        break;
    case MaxDepth:
        if (!numberIn(value, 0, 1000000, cl.options.scope.maxDepth))
            return fail("--max-depth takes a number from 0", true);
        break;
    case OneFileSystem: cl.options.scope.oneFileSystem = true; break;
    case Ignore:
        for (const QByteArray& part : QByteArray::fromStdString(value).split(',')) {
            if (part == "owner")
                cl.options.ignored.ownerName = true;
            else if (part == "group")
                cl.options.ignored.groupName = true;
            else
                return fail("--ignore takes owner, group or owner,group", true);
        }
        break;
    case Inheritance: cl.options.inheritance = true; break;
    case Files: cl.options.files = true; break;
    case Umask: {
        char* end = nullptr;
        const unsigned long mask = std::strtoul(value.c_str(), &end, 8);
        if (value.empty() || *end || value.find_first_not_of("01234567") != std::string::npos || mask > 0777)
            return fail("--umask takes an octal mask from 0 to 777, such as 022", true);
        cl.options.umask = static_cast<std::uint32_t>(mask);
        break;
    }
    case Who: {
        gw::Principal who;
        std::string problem;
        if (!gw::lookUpPrincipal(value, who, problem))
            return fail("--who: " + problem, true);
        const auto same = [&who](const gw::Principal& p) { return p.name == who.name; };
        if (cl.options.who
            && (same(*cl.options.who) || std::any_of(cl.options.moreWho.begin(), cl.options.moreWho.end(), same)))
            break; // asked once already: one inventory
        if (cl.options.who)
            cl.options.moreWho.push_back(std::move(who));
        else
            cl.options.who = std::move(who);
        break;
    }
    case SaveBaseline:
    case Baseline:
        if (value.empty())
            return fail(std::string(c == Baseline ? "--baseline" : "--save-baseline") + " needs a file name", true);
        (c == Baseline ? cl.baselineFile : cl.saveBaselineFile) = QByteArray::fromStdString(value);
        break;
    default: return -2; // not an option of ours: the caller says which
    }
    return -1;
}

// Why the checks asked for cannot run together; -1 when they can.
int combinationRefused(const CommandLine& cl)
{
    const gw::BatchOptions& o = cl.options;
    if (o.umask && !o.inheritance && !o.files)
        return fail("--umask needs --inheritance or --files: only items compared with what a folder gives them "
                    "have mode bits an umask decides",
                    true);
    // The fix file is the inheritance check's, or the check against FOLDER's
    // when no other kind runs: a baseline is put back by setfacl --restore
    // of the baseline itself, and who can do what is no finding to fix.
    const bool otherKinds = o.who || !cl.baselineFile.isEmpty();
    if (!cl.fixFile.isEmpty() && !o.inheritance && otherKinds)
        return fail(!cl.baselineFile.isEmpty()
                        ? "--fix-file gives no fix with --baseline (setfacl --restore of the baseline puts it back): "
                          "add --inheritance for the inheritance check's fix, or check FOLDER without --baseline"
                        : "--fix-file gives no fix with --who (an inventory finds nothing to fix): add --inheritance "
                          "for the inheritance check's fix, or check FOLDER without --who",
                    true);
    if (cl.watch && (o.who || !o.moreWho.empty() || !cl.saveBaselineFile.isEmpty()))
        return fail("--watch judges against FOLDER, what each folder gives (--inheritance) or a baseline "
                    "(--baseline): not with --who or --save-baseline",
                    true);
    return -1;
}

// The folder, and each baseline, by their whole paths: in a report read
// later, a relative one would mean nothing. Only the current folder is put
// before a baseline's; its names are left as they are.
int resolvePaths(CommandLine& cl)
{
    if (const int error = absoluteByText(cl.folder, cl.options.folder))
        return fail("cannot resolve " + gw::printable(cl.folder)
                    + " against the current folder: " + std::strerror(error));
    for (QByteArray* file : {&cl.baselineFile, &cl.saveBaselineFile}) {
        if (!file->isEmpty() && !file->startsWith('/')) {
            QByteArray cwd;
            if (const int error = absoluteByText(".", cwd))
                return fail("cannot resolve " + gw::printable(*file)
                            + " against the current folder: " + std::strerror(error));
            *file = (cwd == "/" ? cwd : cwd + '/') + *file;
        }
    }
    return -1;
}

} // namespace

void printError(const std::string& text)
{
    std::fputs(text.c_str(), stderr);
}

int fail(const std::string& message, bool usage)
{
    printError("grantwise-check: " + message + "\n");
    if (usage)
        printError(kUsage);
    return 2;
}

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

int parseCommandLine(int argc, char** argv, CommandLine& cl)
{
    opterr = 0; // the messages are ours
    for (int c; (c = ::getopt_long(argc, argv, ":qh", kLongOptions, nullptr)) != -1;) {
        const int status = takeOption(c, optarg ? optarg : "", cl);
        if (status >= 0)
            return status;
        if (status == -1)
            continue;
        if (c == ':')
            return fail(std::string(argv[optind - 1]) + " needs a value", true);
        if (optopt != 0 && optopt < 256)
            return fail(std::string("unknown option -") + static_cast<char>(optopt), true);
        return fail("unknown option " + std::string(argv[optind - 1]), true);
    }
    if (optind < argc) {
        cl.folder = argv[optind];
        if (optind + 1 < argc)
            return fail("one FOLDER only", true);
    }
    if (cl.folder.isEmpty())
        return fail("no FOLDER given", true);
    if (const int status = combinationRefused(cl); status >= 0)
        return status;
    return resolvePaths(cl);
}

} // namespace gwcheck
