// The watch on a generated tree (run as root: it marks the file system):
//
//   watch_bench [DIR] [FOLDERS]
//
// Starts grantwise-check --watch --json on the tree, then measures:
// - latency: 1,000 chmods of distinct folders, each timed from the call to
//   the watch's line for it (p50, p99);
// - a burst: setfacl -R -m u:nobody:rx over the whole tree, until a line
//   came for every folder: how long after setfacl ended the last line came,
//   and the watch's CPU time for it against a fresh full check's (setfacl
//   itself takes many times a check, so its wall time says little);
// - the watch's peak memory (VmHWM) per watched folder, and its CPU time
//   while nothing changes for five seconds.

#include "BenchSupport.h"
#include "platform/ProcessStarter.h"

#include <QByteArray>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <unordered_set>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Watch {
    pid_t pid = -1;
    int fd = -1;
    std::string buffer;
    // The next line, or "" after `ms` without one.
    std::string line(int ms)
    {
        for (;;) {
            if (const std::size_t end = buffer.find('\n'); end != std::string::npos) {
                std::string l = buffer.substr(0, end);
                buffer.erase(0, end + 1);
                return l;
            }
            pollfd p {fd, POLLIN, 0};
            if (::poll(&p, 1, ms) <= 0)
                return {};
            char chunk[1 << 16];
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n <= 0)
                return {};
            buffer.append(chunk, static_cast<std::size_t>(n));
        }
    }
};

long statusField(pid_t pid, const char* field)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string l; std::getline(in, l);) {
        if (l.rfind(field, 0) == 0)
            return std::stol(l.substr(std::strlen(field)));
    }
    return -1;
}

double cpuSeconds(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    std::getline(in, stat);
    std::istringstream rest(stat.substr(stat.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14 || i == 15)
            ticks += std::stol(field);
    }
    return static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

std::vector<std::string> folders(const std::string& root)
{
    std::vector<std::string> out;
    std::vector<std::string> stack {root};
    while (!stack.empty()) {
        const std::string f = stack.back();
        stack.pop_back();
        out.push_back(f);
        if (DIR* d = ::opendir(f.c_str())) {
            while (const dirent* e = ::readdir(d)) {
                if (e->d_type == DT_DIR && e->d_name[0] != '.')
                    stack.push_back(f + "/" + e->d_name);
            }
            ::closedir(d);
        }
    }
    return out;
}

// CPU time (user and system) of the children waited for so far.
double childrenCpuSeconds()
{
    rusage usage {};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    const auto secs = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return secs(usage.ru_utime) + secs(usage.ru_stime);
}

} // namespace

int main(int argc, char** argv)
{
    const gwbench::BenchTree bench = gwbench::benchTree(argc, argv);
    if (bench.dir.empty())
        return 1;
    const std::string check = gw::besideOwnExecutable("../grantwise-check").toStdString();
    char reports[] = "/tmp/gw-watch-bench-XXXXXX";
    if (!::mkdtemp(reports))
        return 1;
    const double freshCpuBefore = childrenCpuSeconds();
    const double fresh = gwbench::runSeconds(
        {check, "--quiet", "--reports", std::string(reports) + "/fresh", bench.dir});
    const double freshCpu = childrenCpuSeconds() - freshCpuBefore;

    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return 1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::string reportsWatch = std::string(reports) + "/watch";
    std::vector<std::string> args = {check, "--watch", "--json", "--reports", reportsWatch, bench.dir};
    std::vector<char*> raw;
    for (std::string& a : args)
        raw.push_back(a.data());
    raw.push_back(nullptr);
    Watch w;
    if (::posix_spawn(&w.pid, raw[0], &actions, nullptr, raw.data(), environ) != 0)
        return 1;
    ::close(out[1]);
    w.fd = out[0];
    for (std::string l = w.line(120000); l.find("\"Watching") == std::string::npos; l = w.line(120000)) {
        if (l.empty())
            return 1;
    }
    const std::vector<std::string> all = folders(bench.dir);

    // Latency: each chmod to its line.
    std::vector<double> latency;
    for (int i = 0; i < 1000; ++i) {
        const std::string& f = all[1 + (static_cast<std::size_t>(i) * 97) % (all.size() - 1)];
        struct stat st { };
        ::stat(f.c_str(), &st);
        const auto start = Clock::now();
        ::chmod(f.c_str(), (st.st_mode & 07777) == 0700 ? 0755 : 0700);
        const std::string l = w.line(5000);
        if (l.empty())
            break;
        latency.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(latency.begin(), latency.end());
    while (!w.line(500).empty()) {
    }

    // Idle: no CPU while nothing changes.
    const double idleBefore = cpuSeconds(w.pid);
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const double idle = cpuSeconds(w.pid) - idleBefore;

    // The burst: every folder below the checked one gets a named user, so
    // each of them differs from it now (the checked folder's own change
    // would make them all the same again).
    const auto burstStart = Clock::now();
    std::vector<std::string> burst = {"setfacl", "-R", "-m", "u:nobody:rx"};
    for (const std::string& f : all) {
        if (f.rfind('/') == bench.dir.size())
            burst.push_back(f); // each folder directly below
    }
    const double burstCpuBefore = cpuSeconds(w.pid);
    const double setfaclSeconds = gwbench::runSeconds(burst);
    std::unordered_set<std::string> told;
    double burstSeconds = 0;
    int overflows = 0;
    for (std::string l = w.line(30000); !l.empty(); l = w.line(30000)) {
        overflows += l.find("Events were lost") != std::string::npos ? 1 : 0;
        const std::size_t at = l.find("\"path\":\"");
        if (at != std::string::npos)
            told.insert(l.substr(at + 8, l.find('"', at + 8) - at - 8));
        burstSeconds = std::chrono::duration<double>(Clock::now() - burstStart).count();
    }
    const double burstCpu = cpuSeconds(w.pid) - burstCpuBefore;
    const long peakKb = statusField(w.pid, "VmHWM:");
    ::kill(w.pid, SIGTERM);
    int status = 0;
    ::waitpid(w.pid, &status, 0);
    gwbench::runSeconds({"setfacl", "-R", "-b", bench.dir});

    std::printf("folders: %zu\n", all.size());
    if (!latency.empty())
        std::printf("latency chmod -> line over %zu changes: p50 %.2f ms, p99 %.2f ms (goal: p99 under 50 ms)\n",
                    latency.size(), latency[latency.size() / 2], latency[latency.size() * 99 / 100]);
    std::printf("burst setfacl -R below the top: %zu of %zu folders told; setfacl itself took %.2f s, the last line "
                "came %.2f s after it ended\n",
                told.size(), all.size() - 1, setfaclSeconds, burstSeconds - setfaclSeconds);
    std::printf("the kernel's queue overflowed %d times during the burst (each time a full check)\n", overflows);
    std::printf("the watch's CPU for the burst %.2f s; a fresh full check %.2f s CPU (%.2f s wall); ratio %.2f (goal "
                "at most 2)\n",
                burstCpu, freshCpu, fresh, burstCpu / freshCpu);
    const double peak = static_cast<double>(peakKb) * 1024.0;
    std::printf("peak memory: %.1f MB, %.0f bytes per folder beyond 32 MB (goal at most 100)\n", peak / 1048576.0,
                std::max(0.0, (peak - 32.0 * 1048576.0) / static_cast<double>(all.size())));
    std::printf("CPU while nothing changed for 5 s: %.3f s (goal 0)\n", idle);
    std::printf("exit status after SIGTERM: %d\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return 0;
}
