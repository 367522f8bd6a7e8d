// The text work of a check on a generated dump of 100,000 listings, no
// processes: the verification count, the analysis and both reports. Then
// the scan's listing text for a 100,000-folder tree, without the expansion.
//
//   engine_bench [TREE_DIR]

#include "BenchSupport.h"
#include "engine/paced/ReadVerification.h"
#include "engine/reports/Reports.h"
#include "engine/reports/ScanText.h"
#include "engine/rules/MismatchAnalysis.h"
#include "platform/FolderTree.h"
#include "platform/WorkingFile.h"

#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

const QByteArray kRoot = "/srv/projects/Отчёты 2024";

QByteArray listing(const QByteArray& path, bool odd)
{
    return path
        + " user alice (owner):rwx\n    user bob:r-x\n    group staff (owner):r-x\n    group devs:rwx\n"
          "    mask:rwx\n    other:---\n    creator owner:(default)rwx\n"
        + (odd ? "    user carol:(default)rwx\n" : "    user bob:(default)r-x\n")
        + "    creator group:(default)r-x\n    mask:(default)r-x\n    other:(default)---\n\n";
}

QByteArray makeDump(int folders)
{
    QByteArray dump;
    for (int i = 0; i < folders; ++i) {
        const QByteArray path = i == 0
            ? kRoot
            : kRoot + "/Department " + QByteArray::number(i % 97) + "/Folder " + QByteArray::number(i);
        dump += listing(path, i % 10007 == 5);
    }
    return dump + kRoot + "\n";
}

// In a fresh process: read the dump, verify, analyse, build both reports.
int analysisChild(const char* dumpFile, int folders)
{
    const long before = gwbench::peakRssBytes();
    const auto start = std::chrono::steady_clock::now();
    QByteArray file;
    if (const int error = gw::readWholeFile(dumpFile, file)) {
        std::fprintf(stderr, "cannot read %s: %s\n", dumpFile, std::strerror(error));
        return 1;
    }
    const qsizetype dumpSize = file.size();
    const int n = gw::countListings(file, kRoot);
    const QByteArray reference = gw::referenceText(gw::trimmedLines(listing(kRoot, false)), kRoot);
    QByteArray dumpText = gw::trimmedLines(file);
    file = QByteArray();
    const gw::Comparison c = gw::compareBlocks(dumpText, reference, kRoot, folders);
    gw::ReportInputs in;
    in.targetPrintable = kRoot;
    in.folderCount = folders;
    in.referenceText = reference;
    in.mismatchCount = c.mismatchCount;
    const QByteArray summary = gw::targetSummary(in);
    const QByteArray full = gw::fullReport(summary, "12:00:00", "01/01/26",
                                           gw::withoutSentinel(std::move(dumpText), kRoot));
    const QByteArray mismatches = gw::mismatchReport(summary, "12:00:00", "01/01/26", gw::reportVerdict(in),
                                                     c.mismatchText);
    const double elapsed = gwbench::seconds(start);
    const long peak = gwbench::peakRssBytes() - before;
    std::printf("listings counted: %d, mismatches: %d, full report %lld bytes\n", n - 1, c.mismatchCount,
                static_cast<long long>(full.size()));
    std::printf("verification + analysis + both reports: %.3f s (target within 1 s)\n", elapsed);
    std::printf("peak memory: %.1f MB for a %.1f MB dump: %.2f times (target within 4)\n",
                static_cast<double>(peak) / 1e6, static_cast<double>(dumpSize) / 1e6,
                static_cast<double>(peak) / static_cast<double>(dumpSize));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const int folders = 100000;
    if (argc == 3 && std::string(argv[1]) == "--analysis-child")
        return analysisChild(argv[2], folders);

    const char* tmp = std::getenv("TMPDIR");
    const std::string base = tmp && *tmp ? tmp : "/tmp";
    const std::string treeDir = argc > 1 ? argv[1] : base + "/grantwise-bench-tree";
    const std::string dumpFile = base + "/grantwise-bench-dump.txt";
    gw::replaceFile(QByteArray::fromStdString(dumpFile), makeDump(folders));

    // The scan's listing text, excluding the expansion.
    gwbench::makeTree(treeDir, folders);
    gw::FolderTree tree(QByteArray::fromStdString(treeDir));
    tree.expandRecursively(0);
    double best = 1e9;
    for (int round = 0; round < 5; ++round) {
        const auto start = std::chrono::steady_clock::now();
        int maxLevel = 0;
        QString text;
        gw::appendFolderListing(text, tree, maxLevel);
        const QString shown = gw::reportHeader("EN", QString::fromUtf8(tree.printablePath(0)), "x") + text;
        best = std::min(best, gwbench::seconds(start));
        if (shown.isEmpty())
            return 1;
    }
    std::printf("scan listing text of %d folders: %.3f s, best of 5 (target within 0.3 s)\n", tree.count(), best);
    std::fflush(stdout);

    std::vector<std::string> child {"/proc/self/exe", "--analysis-child", dumpFile};
    std::vector<char*> args;
    for (std::string& s : child)
        args.push_back(s.data());
    args.push_back(nullptr);
    ::execv("/proc/self/exe", args.data());
    return 1;
}
