#pragma once
// Ending the program cleanly when it is told to, or loses its display.
//
// SIGTERM, SIGHUP and SIGINT, unless ignored from the start, are caught by a
// handler that only writes the signal's number into a pipe; the event loop
// reads it and runs the given close action, as File > Close would. The working folder that the window
// has not removed yet is also removed by an exit handler, since Qt ends the
// process with exit() when the connection to the display is lost.

#include <QByteArray>
#include <QObject>

#include <functional>
#include <vector>

class QSocketNotifier;

class ExitSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers. `close` runs in the event loop when one of the
    // signals arrives; a second signal then ends the program at once.
    explicit ExitSignals(std::function<void()> close, QObject* parent = nullptr);
    ~ExitSignals() override;
    ExitSignals(const ExitSignals&) = delete;
    ExitSignals& operator=(const ExitSignals&) = delete;

private:
    void signalArrived();

    std::function<void()> close_;
    QSocketNotifier* notifier_ = nullptr;
    std::vector<int> handled_;
};

// The working folder to remove when the program ends before the window has
// removed it; an empty path once it has. Removing it more than once is
// harmless.
void removeAtExit(const QByteArray& workingFolder);
