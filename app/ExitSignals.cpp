#include "ExitSignals.h"

#include "platform/WorkingFolder.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};
int signalPipe[2] = {-1, -1};

// Runs in the signal handler: only what is async-signal-safe.
extern "C" void onSignal(int signal)
{
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signal);
    const ssize_t written = ::write(signalPipe[1], &byte, 1); // a full pipe already has a signal waiting
    (void)written;
    errno = saved;
}

void setHandler(int signal, void (*handler)(int))
{
    struct sigaction action { };
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signal, &action, nullptr);
}

// Never freed: the exit handler may run after every static object is gone.
QByteArray* const folderAtExit = new QByteArray;

void removeFolderAtExit()
{
    const QByteArray folder = *folderAtExit;
    folderAtExit->clear();
    gw::WorkingFolder::remove(folder);
}

} // namespace

ExitSignals::ExitSignals(std::function<void()> close, QObject* parent)
    : QObject(parent)
    , close_(std::move(close))
{
    if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // the signals keep ending the program as they would
    notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &ExitSignals::signalArrived);
    for (int signal : kSignals) {
        // A signal ignored from the start stays ignored: "nohup grantwise"
        // keeps its window when the terminal goes away.
        struct sigaction current { };
        if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN)
            continue;
        setHandler(signal, onSignal);
        handled_.push_back(signal);
    }
}

ExitSignals::~ExitSignals()
{
    for (int signal : handled_)
        setHandler(signal, SIG_DFL);
}

void ExitSignals::signalArrived()
{
    unsigned char bytes[16];
    while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
    }
    // Asked once: a program that does not end now can still be ended.
    for (int signal : handled_)
        setHandler(signal, SIG_DFL);
    notifier_->setEnabled(false);
    close_();
}

void removeAtExit(const QByteArray& workingFolder)
{
    static const bool registered = std::atexit(removeFolderAtExit) == 0;
    (void)registered;
    *folderAtExit = workingFolder;
}
