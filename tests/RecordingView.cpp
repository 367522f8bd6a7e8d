#include "RecordingView.h"

#include "TempTree.h"

#include <thread>

namespace gwtest {

namespace {
int blankLines(const std::string& text)
{
    int n = 0;
    for (std::size_t at = text.find("\n\n"); at != std::string::npos; at = text.find("\n\n", at + 2))
        ++n;
    return n;
}
} // namespace

void runTimers(gw::CheckEngine& engine, RecordingView& view, bool inOrder)
{
    using namespace std::chrono;
    const auto start = steady_clock::now();
    while (steady_clock::now() - start < seconds(120)) {
        if (view.timer(gw::Timer::Timer1)) {
            const int before = engine.state().FolderIndex;
            engine.Timer1Timer();
            if (inOrder && engine.state().FolderIndex > before) {
                const auto waitStart = steady_clock::now();
                while (blankLines(readFile(engine.dumpPath().toStdString())) < engine.state().FolderIndex
                       && steady_clock::now() - waitStart < seconds(5))
                    std::this_thread::sleep_for(milliseconds(2));
            }
            if (engine.state().FolderIndex >= engine.ShellTreeView2().count())
                std::this_thread::sleep_for(milliseconds(2)); // the sentinel waits for the last listings
        } else if (view.timer(gw::Timer::Timer2)) {
            engine.Timer2Timer();
        } else if (view.timer(gw::Timer::Timer3)) {
            engine.Timer3Timer();
        } else {
            return;
        }
    }
}

void runCheck(gw::CheckEngine& engine, RecordingView& view, const std::string& folder, bool inOrder)
{
    engine.ShellTreeView1Change(QByteArray::fromStdString(folder));
    engine.Button7Click();
    engine.Button2Click();
    runTimers(engine, view, inOrder);
}

} // namespace gwtest
