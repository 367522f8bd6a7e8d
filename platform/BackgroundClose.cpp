#include "platform/BackgroundClose.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace gw {
namespace {

struct Closer {
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<int> waiting;
    bool ending = false;
    std::thread thread;

    // The process ends once every descriptor handed here is closed.
    ~Closer()
    {
        {
            std::lock_guard lock(mutex);
            ending = true;
        }
        ready.notify_one();
        if (thread.joinable())
            thread.join();
    }

    void run()
    {
        std::unique_lock lock(mutex);
        for (;;) {
            ready.wait(lock, [this] { return ending || !waiting.empty(); });
            if (waiting.empty())
                return;
            const int fd = waiting.front();
            waiting.pop_front();
            lock.unlock();
            ::close(fd);
            lock.lock();
        }
    }
};

} // namespace

void closeInBackground(int fd)
{
    if (fd < 0)
        return;
    static Closer closer;
    std::unique_lock lock(closer.mutex);
    if (closer.ending) { // the process is ending: nothing runs on meanwhile
        lock.unlock();
        ::close(fd);
        return;
    }
    if (!closer.thread.joinable()) {
        try {
            closer.thread = std::thread([] { closer.run(); });
        } catch (const std::system_error&) {
            lock.unlock();
            ::close(fd);
            return;
        }
    }
    closer.waiting.push_back(fd);
    lock.unlock();
    closer.ready.notify_one();
}

} // namespace gw
