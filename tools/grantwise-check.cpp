// grantwise-check: the whole check from the command line.
//
//   grantwise-check [--reports DIR] [--lang en|ru] [--jobs N] [--quiet] FOLDER
//
// Exit status: 0 every folder was read and matches; 1 mismatches, or folders
// not read or not listed; 2 an error. With --baseline: 0 nothing changed and
// everything was read; 1 anything changed or was not read.

#include "check/CommandLine.h"
#include "check/WatchRun.h"
#include "engine/checks/JsonLines.h"
#include "engine/checks/baseline/BaselineDrift.h"
#include "engine/checks/folder/FixFile.h"
#include "engine/paced/CheckState.h"
#include "engine/reports/MessageText.h"
#include "engine/run/BaselineRun.h"
#include "engine/run/BatchCheck.h"
#include "engine/run/RecordReports.h"
#include "engine/run/RunRecords.h"
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
#include <QDateTime>

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

using gwcheck::fail;
using gwcheck::outputFailed;
using gwcheck::writeOut;

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
        gwcheck::printError(std::string(line) + "\033[K");
    }
    ~ProgressLine() { gwcheck::printError("\r\033[K"); }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point last_;
};

QByteArray unixLines(const QString& text)
{
    return text.toUtf8().replace("\r\n", "\n");
}

// The console's text: the scan summary, each check's verdict on its own
// line, what was left out, the time and where the reports are.
QByteArray consoleText(const gwcheck::CommandLine& cl, const gw::BatchResult& result, const gw::BaselineRun& baselines,
                       const gw::ReportsFolder& reports)
{
    const bool ru = gw::isRussian(cl.options.lang);
    const auto line = [ru](const char* english, const char* russian, const QByteArray& path) {
        return (ru ? QByteArray(russian) : QByteArray(english)) + gw::printableUtf8(path) + "\n";
    };
    QByteArray out;
    if (!cl.quiet)
        out += unixLines(result.reportHeader) + "\n";
    out += unixLines(result.verdict) + "\n";
    if (const QString notSaved = baselines.notSavedLine(); !notSaved.isEmpty())
        out += notSaved.toUtf8() + "\n";
    if (cl.quiet) {
        // Named even here: a report nobody can find is lost.
        if (cl.reportsDir.isEmpty())
            out += line("Reports folder: ", "Папка отчетов: ", reports.path());
        return out;
    }
    if (!result.notCheckedLine.isEmpty()) // the verdict covers only what was checked
        out += unixLines(result.notCheckedLine) + "\n";
    if (result.hiddenLeftOut > 0) {
        // The verdict covers only what was checked: say what the default left out.
        const QByteArray count = QByteArray::number(result.hiddenLeftOut);
        out += ru ? "Скрытые папки не проверены (со всем, что в них): " + count + " (проверяет --include-hidden)\n"
                  : "Hidden folders not checked, with all below them: " + count + " (--include-hidden checks them)\n";
    }
    if (result.hiddenFilesLeftOut > 0) {
        const QByteArray count = QByteArray::number(result.hiddenFilesLeftOut);
        out += ru ? "Скрытые файлы не проверены: " + count + " (проверяет --include-hidden)\n"
                  : "Hidden files not checked: " + count + " (--include-hidden checks them)\n";
    }
    out += unixLines(result.processingTime) + "\n";
    out += line("Full detail report: ", "Полный подробный отчет: ", result.fullReportPath);
    out += line("Mismatches report: ", "Отчет о несоответствиях: ", result.mismatchReportPath);
    out += line("Differences report: ", "Отчет о различиях: ", result.differencesReportPath);
    if (!result.inheritanceReportPath.isEmpty())
        out += line("Inheritance report: ", "Отчёт о наследовании: ", result.inheritanceReportPath);
    if (result.who)
        out += line("Rights report: ", "Отчёт о правах: ", result.whoReportPath);
    if (!cl.fixFile.isEmpty())
        out += line("Fix file: ", "Файл исправления: ", cl.fixFile);
    if (baselines.drift())
        out += line("Drift report: ", "Отчёт об изменениях: ", result.driftReportPath);
    if (baselines.saved())
        out += line("Baseline saved: ", "Базовый снимок: ", cl.saveBaselineFile);
    return out;
}

// Refuses two files to write that are one, or one to write that is the
// baseline compared with (save a baseline over it to roll it forward): told
// apart by what they name, not by their text, "./sv/x" and "/abs/sv/x" are
// one file. Returns -1, or the exit status.
int sameFileRefused(const gwcheck::CommandLine& cl)
{
    const std::pair<const char*, const QByteArray*> files[] = {{"--baseline", &cl.baselineFile},
                                                               {"--save-baseline", &cl.saveBaselineFile},
                                                               {"--fix-file", &cl.fixFile},
                                                               {"--html", &cl.htmlFile},
                                                               {"--csv", &cl.csvFile}};
    for (std::size_t i = 0; i < std::size(files); ++i) {
        for (std::size_t j = i + 1; j < std::size(files); ++j) {
            if (files[i].second == &cl.baselineFile && files[j].second == &cl.saveBaselineFile)
                continue; // the baseline rolled forward
            const QByteArray &a = *files[i].second, &b = *files[j].second;
            gw::FileDestination aTo, bTo;
            if (!a.isEmpty() && !b.isEmpty() && gw::fileDestination(a, aTo) == 0 && gw::fileDestination(b, bTo) == 0
                && aTo == bTo)
                return fail(std::string(files[i].first) + " " + gw::printable(a.toStdString()) + " and "
                                + files[j].first + " " + gw::printable(b.toStdString()) + " name the same file",
                            true);
        }
    }
    return -1;
}

// Opens the reports folder, and refuses a fix file or a baseline to save
// that would be refused at the end. Returns -1, or the exit status.
int prepare(gwcheck::CommandLine& cl, gw::ReportsFolder& reports, gw::BaselineRun& baselines)
{
    gw::BatchOptions& options = cl.options;
    if (const std::string problem = folderProblem(options.folder); !problem.empty())
        return fail(problem);
    // The head of a baseline to compare with is read first: a file that is
    // no baseline, or one of another folder, refuses the run before the
    // check. One malformed, cut short or out of order further on is found
    // as it is read with the walk, and fails the run then.
    if (!cl.baselineFile.isEmpty()) {
        if (const std::string problem = baselines.compareWith(cl.baselineFile, options.folder); !problem.empty())
            return fail(problem);
    }
    // Closing it at the end ends the lock; a private folder left empty by a
    // failed run is removed then.
    const gw::ReportsFolder::Outcome opened = cl.reportsDir.isEmpty() ? reports.makePrivate()
                                                                      : reports.open(cl.reportsDir);
    if (opened != gw::ReportsFolder::Outcome::Opened) {
        if (reports.path().isEmpty())
            return fail("cannot make a folder for the reports in " + gw::printable(gw::WorkingFolder::base()) + ": "
                        + std::strerror(reports.error()));
        return fail(reports.refusal(opened));
    }
    options.reports = &reports;
    options.inheritanceFix = options.inheritance && !cl.fixFile.isEmpty();
    // A fix file that would be refused at the end refuses the run now,
    // before a check that may take long and reports that would be replaced.
    if (!cl.fixFile.isEmpty()) {
        if (const std::string problem = gw::fixFileRefusal(cl.fixFile, &reports); !problem.empty())
            return fail(problem);
    }
    options.excluded.push_back(reports.excluded()); // its contents change while the check runs
    if (const int status = sameFileRefused(cl); status >= 0)
        return status;
    if (const std::string problem = gw::recordReportsRefusal({cl.htmlFile, cl.csvFile}, &reports); !problem.empty())
        return fail(problem);
    if (!cl.saveBaselineFile.isEmpty()) {
        if (const std::string problem = baselines.saveTo(cl.saveBaselineFile, reports); !problem.empty())
            return fail(problem);
    }
    return -1;
}

// Runs the check, with a progress line on a terminal. Returns -1, or the
// exit status when it failed.
int run(const gw::BatchOptions& options, gw::BatchResult& result)
{
    std::optional<ProgressLine> progress; // cleared from the terminal when it ends
    gw::BatchOptions withProgress = options;
    const char* term = std::getenv("TERM");
    if (::isatty(2) && !(term && std::strcmp(term, "dumb") == 0)) {
        progress.emplace();
        withProgress.progress = [&progress](const gw::BatchProgress& p) { (*progress)(p); };
    }
    try {
        result = gw::runBatchCheck(withProgress);
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
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    // SIGINT, SIGTERM and SIGHUP remove what this run has not finished; a
    // file-size limit becomes a write error instead of ending the run.
    gw::InterruptCleanup::install();
    std::signal(SIGXFSZ, SIG_IGN);
    QCoreApplication app(argc, argv); // the locale's collation and time formats
    gwcheck::CommandLine cl;
    if (const int status = gwcheck::parseCommandLine(argc, argv, cl); status >= 0)
        return status;
    gw::BatchOptions& options = cl.options;
    gw::BaselineRun baselines(gw::language(options.lang));
    gw::ReportsFolder reports;
    if (const int status = prepare(cl, reports, baselines); status >= 0)
        return status;
    baselines.attach(options, cl.json);
    gw::BaselineDrift* const drift = baselines.drift();

    // The records, as the walk finds them: for --json, and the reports written from them.
    gw::RunRecords records;
    const bool recorded = cl.json || !cl.htmlFile.isEmpty() || !cl.csvFile.isEmpty();
    if (recorded)
        records.attach(options, drift);

    // The watch listens before the check, so nothing changed during it is missed.
    std::unique_ptr<gw::TreeWatch> watch;
    if (cl.watch) {
        int status = 0;
        if (!(watch = gwcheck::startWatch(cl, status)))
            return status;
    }
    gw::BatchResult result;
    if (const int status = run(options, result); status >= 0)
        return status;
    if (result.writeError)
        return fail("cannot write " + gw::printable(result.failedPath) + ": " + reports.failureText(result.writeError));
    // The reports were written: a failure of what follows names where they are.
    const std::string reportsAt = cl.reportsDir.isEmpty()
        ? " (the reports of the check are in " + gw::printable(reports.path().toStdString()) + ")"
        : std::string();
    if (const std::string problem = baselines.finish(options, result); !problem.empty())
        return fail(problem + reportsAt);
    const int status = result.green ? 0 : 1;
    if (!cl.fixFile.isEmpty()) {
        if (const std::string problem = options.inheritance
                ? gw::saveFixText(cl.fixFile, result.fixRecords, &reports)
                : gw::saveFixFile(cl.fixFile, result.analysis, options.folder, options.ignored, &reports);
            !problem.empty())
            return fail(problem + reportsAt);
    }
    if (!cl.htmlFile.isEmpty() || !cl.csvFile.isEmpty()) {
        gw::HtmlHead head;
        head.lang = options.lang;
        head.folder = QString::fromUtf8(result.analysis.inputs.targetPrintable);
        for (const gw::CheckVerdict& v : result.verdicts)
            head.verdicts << v.text;
        head.green = result.green;
        head.notChecked = result.notCheckedLine;
        head.time = QDateTime::currentDateTime().toString(Qt::ISODate);
        if (const std::string problem = gw::writeRecordReports(
                records.lines(options, result, gw::RunRecords::Naming::Always), head, {cl.htmlFile, cl.csvFile},
                &reports);
            !problem.empty())
            return fail(problem + reportsAt);
    }
    if (cl.json) {
        if (const int error = writeOut(records.lines(options, result)))
            return outputFailed(error);
        return watch ? gwcheck::keepWatching(*watch, cl) : status;
    }
    if (drift && cl.quiet && status == 0 && result.verdicts.size() == 1)
        return watch ? gwcheck::keepWatching(*watch, cl) : 0; // nothing changed: nothing to mail
    if (const int error = writeOut(consoleText(cl, result, baselines, reports)))
        return outputFailed(error);
    return watch ? gwcheck::keepWatching(*watch, cl) : status;
}
