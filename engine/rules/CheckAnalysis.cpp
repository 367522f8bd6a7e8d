#include "engine/rules/CheckAnalysis.h"

#include "engine/rules/MismatchAnalysis.h"
#include "platform/FolderTree.h"

#include <algorithm>

namespace gw {

ListingAnalyser::ListingAnalyser(const AnalysisInput& input)
    : ignored_(input.ignored)
    , rule_(input.reference, input.ignored)
    , referenceEntries_(listingEntries(input.reference))
{
}

bool ListingAnalyser::add(QByteArrayView block)
{
    if (!rule_.mismatches(block))
        return false;
    ++mismatchCount_;
    // What differs, listing by listing, as the mismatching blocks run on one
    // after another: a block holds one listing, unless the listing program
    // wrote an empty line within it or none at its end.
    QByteArray joined;
    if (!pending_.isEmpty()) {
        joined = pending_;
        joined.append(block);
        pending_.clear();
        block = joined;
    }
    for (qsizetype start = 0; start < block.size();) {
        const qsizetype end = block.indexOf("\r\n\r\n", start);
        if (end < 0) {
            pending_ = block.sliced(start).toByteArray();
            break;
        }
        addDifference(block.sliced(start, end + 4 - start));
        start = end + 4;
    }
    return true;
}

void ListingAnalyser::addDifference(QByteArrayView listing)
{
    FolderDifference d;
    d.path = blockPath(listing);
    d.changes = entryChanges(referenceEntries_, listingEntries(listing), ignored_);
    differences_.append(std::move(d));
}

Analysis ListingAnalyser::finish(const AnalysisInput& input, const FolderTree& tree,
                                 const std::function<bool(int, const QByteArray&)>& listed,
                                 const std::function<QByteArray(int)>& reasonOf)
{
    Analysis a;
    const int folders = tree.count();
    ReportInputs& in = a.inputs;
    in.targetPrintable = input.target;
    in.folderCount = folders;
    in.maxLevel = input.maxLevel;
    in.referenceText = input.reference;
    in.mismatchCount = mismatchCount_;
    in.notRead = std::clamp(folders - (input.listingsCounted - 1), 0, folders);
    in.notListed = tree.unlistedCount();
    in.notChecked = input.notChecked;
    if (input.ignored.ownerName)
        in.notCompared = "owner names";
    if (input.ignored.groupName)
        in.notCompared += in.notCompared.isEmpty() ? "owning group names" : ", owning group names";
    if (in.notRead > 0 || in.notListed > 0) {
        for (int i = 0; i < folders; ++i) {
            const FolderTree::NodeId id = tree.node(i);
            const QByteArray path = QByteArray::fromStdString(tree.printablePathOf(id));
            if (in.notRead > 0 && !listed(i, path)) {
                in.notReadPaths.append(path);
                if (reasonOf)
                    in.notReadReasons.append(reasonOf(i));
            }
            if (tree.isUnlisted(id))
                in.notListedPaths.append(path);
        }
    }
    if (!pending_.isEmpty())
        addDifference(pending_);
    pending_.clear();
    a.differences = std::move(differences_);
    differences_.clear();
    foldDifferences(a.differences, input.root, input.ignored);
    return a;
}

Analysis analyseDump(const QByteArray& dumpText, const AnalysisInput& input, const FolderTree& tree,
                     const std::function<void(int)>& step)
{
    ListingAnalyser analyser(input);
    QByteArray mismatchText;
    const int folders = tree.count();
    const QByteArray key = "\r\n\r\n" + input.root;
    qsizetype offset = 0; // the dump is consumed from its front by moving this
    for (int k = 1; k <= folders + 1; ++k) {
        const qsizetype p = dumpText.indexOf(key, offset);
        if (p >= 0) {
            const QByteArrayView block = QByteArrayView(dumpText).sliced(offset, p + 4 - offset);
            if (analyser.add(block))
                mismatchText.append(block);
            offset = p + 4;
        }
        if (step)
            step(k);
    }
    QSet<QByteArray> listed;
    bool listedKnown = false;
    Analysis a = analyser.finish(input, tree, [&](int, const QByteArray& path) {
        if (!listedKnown) {
            listed = listedPaths(dumpText);
            listedKnown = true;
        }
        return listed.contains(path);
    });
    a.mismatchText = std::move(mismatchText);
    return a;
}

ReportTexts analysisReports(const Analysis& analysis, QByteArray fullDumpText, const std::function<QString()>& time,
                            const std::function<QString()>& date)
{
    ReportTexts texts = buildReports(analysis.inputs, std::move(fullDumpText), analysis.mismatchText, time, date);
    texts.differences = analysisDifferences(analysis);
    return texts;
}

QByteArray analysisDifferences(const Analysis& analysis)
{
    const ReportInputs& in = analysis.inputs;
    return differencesReport(in.targetPrintable, analysis.differences, in.notReadPaths, in.notListedPaths,
                             in.notCompared, in.notChecked, in.notReadReasons);
}

} // namespace gw
