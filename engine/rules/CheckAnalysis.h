#pragma once
// The analysis of a check, one for the window and the command line: every
// listing in the dump against the chosen folder's, what was not read or not
// listed, and what differs, entry by entry. The window feeds it the dump its
// listing processes wrote; the command line, the listings it read itself.

#include "engine/reports/Reports.h"
#include "engine/rules/Differences.h"
#include "engine/rules/MismatchAnalysis.h"

#include <QByteArray>

#include <functional>

namespace gw {

class FolderTree;

struct AnalysisInput {
    QByteArray root; // the chosen folder's printable path, as the tree gives it: the key of the blocks
    QByteArray target; // the chosen folder's printable path as the reports show it
    QByteArray reference; // the reference text; empty when no reference listing arrived
    int maxLevel = 0;
    int listingsCounted = 0; // the verification's count: the listings that arrived, and the sentinel
    IgnoredParts ignored; // names left out of the comparison
    QByteArray notChecked; // what the tree left out on request, in words
};

struct Analysis {
    ReportInputs inputs;
    QByteArray mismatchText; // the mismatching blocks, in the order found
    QList<FolderDifference> differences; // the same folders, entry by entry, folded where they start
};

// The analysis block by block: each block of the trimmed dump (a listing and
// the empty line that ends it, as the dump is cut at "\r\n\r\n" + root) is
// compared with the reference as it comes, and what differs in a mismatching
// one is taken apart at once. The window hands it the blocks of its whole
// dump; the command line, each listing as it is read.
class ListingAnalyser {
public:
    // Takes the reference, the root and what is ignored from `input`.
    explicit ListingAnalyser(const AnalysisInput& input);
    // True when `block` mismatches; its differences are kept.
    bool add(QByteArrayView block);
    int mismatchCount() const { return mismatchCount_; }

    // The whole analysis once every block was added, with the counts of
    // `input` (the same folder and reference). `listed(index, path)`
    // tells whether the folder at tree index `index` (printable `path`) has a
    // listing in the dump; `reasonOf(index)`, when given, why a folder that
    // has none was not read. The mismatching blocks are the caller's.
    Analysis finish(const AnalysisInput& input, const FolderTree& tree,
                    const std::function<bool(int, const QByteArray&)>& listed,
                    const std::function<QByteArray(int)>& reasonOf = {});

private:
    IgnoredParts ignored_;
    BlockComparison rule_;
    QList<QByteArray> referenceEntries_;
    void addDifference(QByteArrayView listing);
    int mismatchCount_ = 0;
    QList<FolderDifference> differences_;
    QByteArray pending_; // the start of a listing whose end is in the next mismatching block
};

// Analyses `dumpText`, the trimmed dump with the sentinel line last, for the
// folders of `tree`. `step(k)` is called after block k of the comparison.
Analysis analyseDump(const QByteArray& dumpText, const AnalysisInput& input, const FolderTree& tree,
                     const std::function<void(int)>& step = {});

// The differences report of an analysis.
QByteArray analysisDifferences(const Analysis& analysis);

// The texts of the three reports. `fullDumpText` (the trimmed dump without
// its sentinel line) becomes the body of the full report without a copy.
ReportTexts analysisReports(const Analysis& analysis, QByteArray fullDumpText, const std::function<QString()>& time,
                            const std::function<QString()>& date);

} // namespace gw
