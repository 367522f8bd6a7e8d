#pragma once
// The analysis of a check, one for the window and the command line: every
// listing in the dump against the chosen folder's, what was not read or not
// listed, and what differs, entry by entry. The window feeds it the dump its
// listing processes wrote; the command line, the listings it read itself.

#include "engine/Differences.h"
#include "engine/Reports.h"

#include <QByteArray>

#include <functional>

namespace gw {

class FolderTree;

struct AnalysisInput {
    QByteArray root;         // the chosen folder's printable path, as the tree gives it: the key of the blocks
    QByteArray target;       // the chosen folder's printable path as the reports show it
    QByteArray reference;    // the reference text; empty when no reference listing arrived
    int maxLevel = 0;
    int listingsCounted = 0; // the verification's count: the listings that arrived, and the sentinel
    IgnoredParts ignored;    // names left out of the comparison
    QByteArray notChecked;   // what the tree left out on request, in words
};

struct Analysis {
    ReportInputs inputs;
    QByteArray mismatchText;             // the mismatching blocks, in the order found
    QList<FolderDifference> differences; // the same folders, entry by entry, folded where they start
};

// Analyses `dumpText`, the trimmed dump with the sentinel line last, for the
// folders of `tree`. `step(k)` is called after block k of the comparison.
Analysis analyseDump(const QByteArray& dumpText, const AnalysisInput& input, const FolderTree& tree,
                     const std::function<void(int)>& step = {});

// The texts of the three reports. `fullDumpText` (the trimmed dump without
// its sentinel line) becomes the body of the full report without a copy.
ReportTexts analysisReports(const Analysis& analysis, QByteArray fullDumpText, const std::function<QString()>& time,
                            const std::function<QString()>& date);

} // namespace gw
