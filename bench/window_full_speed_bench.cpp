// The window's check read at full speed (File > Read at full speed), against
// grantwise-check on the same tree, warm:
//
//   window_full_speed_bench [DIR] [FOLDERS]
//
// Prints the best and median of five runs of each (grantwise-check with its
// reports written into a folder of the benchmark's own), their ratio, the
// estimate the speed page showed, and the longest time the event loop went
// without running a 5 ms timer during the window's checks.

#include "BenchSupport.h"
#include "EventLoopStalls.h"
#include "TForm1.h"
#include "platform/ProcessStarter.h"

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kRuns = 5;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const gwbench::BenchTree bench = gwbench::benchTree(argc, argv);
    if (bench.dir.empty())
        return 1;
    const QByteArray root = QByteArray::fromStdString(bench.dir);
    char reports[] = "/tmp/gw-bench-reports-XXXXXX";
    if (!::mkdtemp(reports))
        return 1;
    const std::string check = gw::besideOwnExecutable("../grantwise-check").toStdString();
    std::vector<double> command;
    for (int i = 0; i < kRuns; ++i)
        command.push_back(gwbench::runSeconds({check, "--quiet", "--reports", reports, bench.dir}));

    QApplication app(argc, argv);
    TForm1 form;
    form.show();
    QApplication::processEvents();
    // Chosen in the folder tree, as a person chooses it: NEXT checks that one.
    form.ui.ShellTreeView1->setCurrentIndex(form.folderModel().indexForPath(root));
    form.Button7Click();
    form.ui.Menu_File_FullSpeed->setChecked(true);
    const QString estimate = form.ui.Label20->text();

    gwbench::EventLoopStalls stalls;
    std::vector<double> window;
    for (int i = 0; i < kRuns; ++i) {
        stalls.start();
        form.Button2Click(); // returns with the results page shown
        QApplication::processEvents();
        window.push_back(stalls.elapsedSeconds());
        stalls.stop();
        if (!form.ui.GroupBox5->isVisible()) {
            std::fprintf(stderr, "the window's check did not end on the results page\n");
            return 1;
        }
    }
    const auto minimum = [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); };
    std::printf("folders: %d\n", form.engine().ShellTreeView2().count());
    std::printf("grantwise-check: best %.3f s, median %.3f s\n", minimum(command), median(command));
    std::printf("window at full speed: best %.3f s, median %.3f s\n", minimum(window), median(window));
    std::printf("ratio of medians: %.2f (target at most 1.3)\n", median(window) / median(command));
    std::printf("speed page: %s\n", qPrintable(estimate));
    std::printf("longest event-loop stall: %lld ms (target under 100)\n", static_cast<long long>(stalls.longestMs()));
    form.FormClose();
    return 0;
}
