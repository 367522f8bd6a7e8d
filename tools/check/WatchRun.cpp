#include "WatchRun.h"

#include "platform/JournalWriter.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace gwcheck {

namespace {

int stopPipe[2] = {-1, -1};
int outputError = 0; // the first write to standard output that failed

// Writes lines out; a failure ends the watch (keepWatching says why), as
// lines lost would read as nothing changed. A write cut short by the signal
// that ends the watch is that end.
void writeLines(const QByteArray& lines)
{
    const int error = writeOut(lines);
    if (error == 0 || outputError != 0)
        return;
    if (error == EINTR) {
        std::clearerr(stdout);
        return;
    }
    outputError = error;
    const char c = 'o';
    (void)!::write(stopPipe[1], &c, 1);
}

void toJournal(const gw::WatchRecord& r)
{
    gw::JournalWriter::Fields fields {{"MESSAGE", r.sentence.toUtf8()},
                                      {"PRIORITY", r.status == "mended" || r.status == "notice" ? "5" : "4"},
                                      {"SYSLOG_IDENTIFIER", "grantwise-check"},
                                      {"GRANTWISE_STATUS", r.status}};
    if (!r.path.isEmpty()) {
        fields.push_back({"GRANTWISE_PATH", r.path});
        fields.push_back({"GRANTWISE_CHECK", r.check});
    }
    if (!r.reasons.isEmpty())
        fields.push_back({"GRANTWISE_REASONS", r.reasons});
    if (r.pid > 0)
        fields.push_back({"GRANTWISE_PID", QByteArray::number(r.pid)});
    fields.push_back({"GRANTWISE_JSON", r.json.trimmed()});
    if (gw::JournalWriter::send(fields) != 0)
        writeLines(r.json); // no journal to take it: standard output still does
}

} // namespace

std::unique_ptr<gw::TreeWatch> startWatch(const CommandLine& cl, int& status)
{
    const bool journal = gw::JournalWriter::startedBySystemd();
    const bool json = cl.json;
    gw::BatchOptions options = cl.options;
    // Lines are held while a burst of events is judged, and written at
    // once before the watch waits again.
    auto held = std::make_shared<QByteArray>();
    gw::WatchOutput output;
    output.sentences = journal || !json;
    output.line = [journal, json, held](const gw::WatchRecord& r) {
        if (journal) {
            toJournal(r);
            return;
        }
        *held += json ? r.json : r.sentence.toUtf8() + '\n';
        if (held->size() >= 1 << 16) {
            writeLines(*held);
            held->clear();
        }
    };
    output.flush = [held] {
        if (!held->isEmpty())
            writeLines(*held);
        held->clear();
    };
    auto watch = std::make_unique<gw::TreeWatch>(options, std::move(output));
    if (const std::string problem = watch->open(); !problem.empty()) {
        status = fail("cannot watch " + gw::printable(cl.options.folder.toStdString()) + ": " + problem);
        return nullptr;
    }
    return watch;
}

namespace {
extern "C" void stopWatching(int)
{
    const char c = 's';
    (void)!::write(stopPipe[1], &c, 1);
}
} // namespace

int keepWatching(gw::TreeWatch& watch, const CommandLine& cl)
{
    // The signals that end the watch wake it through a pipe, on whichever
    // thread they arrive.
    if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return fail("cannot watch: the signals that end it cannot be taken");
    struct sigaction action { };
    action.sa_handler = stopWatching;
    sigemptyset(&action.sa_mask);
    for (const int s : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(s, &action, nullptr);
    const int stopFd = stopPipe[0];
    if (const std::string problem = watch.learn(); !problem.empty()) {
        ::close(stopFd);
        return fail("cannot watch " + gw::printable(cl.options.folder.toStdString()) + ": " + problem);
    }
    watch.announce();
    gw::BatchOptions again = cl.options;
    again.itemLine = nullptr;
    again.folderLines = nullptr;
    again.progress = nullptr;
    std::string why;
    const bool stopped = watch.run(
        stopFd, [&again] { (void)gw::runBatchCheck(again); }, why);
    ::close(stopFd);
    if (outputError != 0)
        return outputFailed(outputError);
    if (!stopped)
        return fail("the watch of " + gw::printable(cl.options.folder.toStdString()) + " ended: " + why);
    return 0;
}

} // namespace gwcheck
