#pragma once
// Starting the listing program and keeping track of what it started; and
// running a helper program for its output (runForOutput).
//
// Processes are started with posix_spawn and an argument vector: no shell,
// no text round trip of a path. Their standard output is appended to a file
// (O_APPEND, created with mode 0600), standard error goes to /dev/null, and
// nothing waits for them. Finished ones are reaped by their recorded pids
// only, never by waitpid(-1), so other children of the program are untouched.

#include <QByteArray>
#include <QList>

#include <string>
#include <sys/types.h>
#include <vector>

namespace gw {

class ProcessStarter {
public:
    ProcessStarter() = default;
    ~ProcessStarter();
    ProcessStarter(const ProcessStarter&) = delete;
    ProcessStarter& operator=(const ProcessStarter&) = delete;

    // Starts `program` with `options`, "--" and the single argument
    // `argument`, appending its output to `outputFile`. Returns the pid, or -1
    // with errno set when it could not start (the program, or the output
    // file, could not be opened).
    [[nodiscard]] pid_t startAppending(const QByteArray& program, const QList<QByteArray>& options,
                                       const QByteArray& argument, const QByteArray& outputFile);

    // Reaps what has finished; returns how many are still running.
    int reap();
    bool isRunning(pid_t pid);
    // The exit status of a finished process: 0..255, -1 when it ended by a
    // signal, was never started or is still running.
    int exitStatus(pid_t pid);
    // Ends every child still running (SIGKILL) and reaps it: when this
    // returns, none of them runs or appends any more.
    void stopAll();

private:
    struct Child {
        pid_t pid;
        int status; // -2 while running
    };
    void reapOne(Child& child);
    std::vector<Child> children_;
};

// Runs `program` (looked for as the system looks for programs; no shell)
// with `arguments`, standard input and error on /dev/null, and gives its
// standard output in `output`, at most `limit` bytes of it. Waits at most
// `timeoutMs`: a program still running then is ended (SIGKILL) and reaped.
// Returns its exit status (0..255), or -1 when it could not start, ended by
// a signal or ran out of time.
int runForOutput(const char* program, const std::vector<std::string>& arguments, int timeoutMs, std::string& output,
                 std::size_t limit = 64 * 1024);

// The path of a program that lies beside this program's own executable.
QByteArray besideOwnExecutable(const QByteArray& name);

} // namespace gw
