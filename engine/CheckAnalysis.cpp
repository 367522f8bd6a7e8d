#include "engine/CheckAnalysis.h"

#include "engine/MismatchAnalysis.h"
#include "platform/FolderTree.h"

#include <algorithm>

namespace gw {

Analysis analyseDump(const QByteArray& dumpText, const AnalysisInput& input, const FolderTree& tree,
                     const std::function<void(int)>& step)
{
    Analysis a;
    const int folders = tree.count();
    Comparison comparison = compareBlocks(dumpText, input.reference, input.root, folders, step, input.ignored);

    ReportInputs& in = a.inputs;
    in.targetPrintable = input.target;
    in.folderCount = folders;
    in.maxLevel = input.maxLevel;
    in.referenceText = input.reference;
    in.mismatchCount = comparison.mismatchCount;
    in.notRead = std::clamp(folders - (input.listingsCounted - 1), 0, folders);
    in.notListed = tree.unlistedCount();
    in.notChecked = input.notChecked;
    if (input.ignored.ownerName)
        in.notCompared = "owner names";
    if (input.ignored.groupName)
        in.notCompared += in.notCompared.isEmpty() ? "owning group names" : ", owning group names";
    if (in.notRead > 0 || in.notListed > 0) {
        const QSet<QByteArray> listed = listedPaths(dumpText);
        for (int i = 0; i < folders; ++i) {
            const FolderTree::NodeId id = tree.node(i);
            const QByteArray path = QByteArray::fromStdString(tree.printablePathOf(id));
            if (in.notRead > 0 && !listed.contains(path))
                in.notReadPaths.append(path);
            if (tree.isUnlisted(id))
                in.notListedPaths.append(path);
        }
    }

    // What differs in each mismatching block; only these are taken apart.
    const QList<QByteArray> referenceEntries = listingEntries(input.reference);
    const QByteArrayView blocks(comparison.mismatchText);
    for (qsizetype start = 0; start < blocks.size();) {
        qsizetype end = blocks.indexOf("\r\n\r\n", start);
        end = end < 0 ? blocks.size() : end + 4;
        const QByteArrayView block = blocks.sliced(start, end - start);
        FolderDifference d;
        d.path = blockPath(block);
        d.changes = entryChanges(referenceEntries, listingEntries(block), input.ignored);
        a.differences.append(std::move(d));
        start = end;
    }
    foldDifferences(a.differences, input.root);
    a.mismatchText = std::move(comparison.mismatchText);
    return a;
}

ReportTexts analysisReports(const Analysis& analysis, QByteArray fullDumpText, const std::function<QString()>& time,
                            const std::function<QString()>& date)
{
    ReportTexts texts = buildReports(analysis.inputs, std::move(fullDumpText), analysis.mismatchText, time, date);
    const ReportInputs& in = analysis.inputs;
    texts.differences = differencesReport(in.targetPrintable, analysis.differences, in.notReadPaths, in.notListedPaths,
                                          in.notCompared, in.notChecked);
    return texts;
}

} // namespace gw
