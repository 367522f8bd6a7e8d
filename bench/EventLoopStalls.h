#pragma once
// The longest time the event loop went without running a 5 ms timer, while
// a piece of work runs inside it: what a person feels as a window that does
// not answer.

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

namespace gwbench {

class EventLoopStalls {
public:
    EventLoopStalls()
    {
        tick_.setInterval(5);
        QObject::connect(&tick_, &QTimer::timeout, [this] { note(); });
    }
    // Starts a measured stretch; the clock begins at zero.
    void start()
    {
        last_ = 0;
        clock_.start();
        tick_.start();
    }
    // Ends it, counting the time since the timer last ran.
    void stop()
    {
        note();
        tick_.stop();
    }
    qint64 elapsedMs() const { return clock_.elapsed(); }
    double elapsedSeconds() const { return static_cast<double>(clock_.nsecsElapsed()) / 1e9; }
    qint64 longestMs() const { return longest_; }

private:
    void note()
    {
        const qint64 now = clock_.elapsed();
        longest_ = std::max(longest_, now - last_);
        last_ = now;
    }
    QElapsedTimer clock_;
    QTimer tick_;
    qint64 last_ = 0, longest_ = 0;
};

} // namespace gwbench
