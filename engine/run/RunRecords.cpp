#include "engine/run/RunRecords.h"

#include "engine/checks/JsonLines.h"
#include "engine/checks/folder/FolderRecords.h"
#include "platform/PrintablePath.h"
#include "platform/PrintableText.h"

namespace gw {
namespace {

// The records of a check among several: each says which check it is of,
// and, where `who` is given, whose inventory.
QByteArray ofCheck(const QByteArray& lines, const char* kind, const QByteArray& who = {})
{
    QByteArray out;
    for (QByteArray line : lines.split('\n')) {
        // A summary that names its check on its own, as it does alone
        // ("baseline", "checked_folder"), names it once, as the others do.
        if (const qsizetype at = line.indexOf(",\"check\":\""); at >= 0)
            line.remove(at, line.indexOf('"', at + 10) + 1 - at);
        if (line.startsWith('{'))
            out += "{\"check\":\"" + QByteArray(kind) + "\","
                + (who.isEmpty() || line.startsWith("{\"type\":\"summary\"") ? QByteArray()
                                                                             : "\"who\":" + jsonString(who) + ",")
                + line.mid(1) + "\n";
    }
    return out;
}

// The records and summary of the checks against folders (the checked one,
// or each one's own with the inheritance check).
QByteArray itemsJson(const BatchOptions& options, const BatchResult& result, const QByteArray& folderLines,
                     const QByteArray& itemLines, bool inheritance)
{
    const ReportInputs& in = result.analysis.inputs;
    JsonSummary summary;
    summary.folder = in.targetPrintable;
    summary.subfolders = in.folderCount - 1;
    summary.maxLevel = in.maxLevel;
    summary.mismatches = in.mismatchCount;
    summary.notRead = in.notRead;
    summary.notListed = in.notListed;
    summary.fullReport = printableUtf8(result.fullReportPath);
    summary.mismatchReport = printableUtf8(result.mismatchReportPath);
    summary.differencesReport = printableUtf8(result.differencesReportPath);
    summary.seconds = result.seconds;
    summary.notChecked = in.notChecked;
    summary.notCompared = in.notCompared;
    summary.hiddenNotChecked = result.hiddenLeftOut;
    summary.hiddenFilesNotChecked = result.hiddenFilesLeftOut;
    QByteArray lines = inheritance ? QByteArray() : folderLines;
    if (inheritance || options.files) {
        summary.items = &result.items;
        summary.inheritance = inheritance;
        summary.inheritanceReport = printableUtf8(result.inheritanceReportPath);
        // Each item that differs from what its folder gives it, then what was not read.
        lines += itemLines;
        for (const ItemNotRead& n : result.items.notRead) {
            if (inheritance || n.kind == ItemKind::File)
                lines += jsonItemNotReadLine(n);
        }
        if (inheritance) {
            for (const QByteArray& path : result.items.notListed)
                lines += jsonFolderLine(path, QByteArray::fromStdString(rawFromPrintable(path.toStdString())),
                                        "not_listed", nullptr, {});
        }
    }
    return lines + jsonSummaryLine(summary);
}

} // namespace

void RunRecords::attach(BatchOptions& options, BaselineDrift* drift)
{
    drift_ = drift;
    if (drift)
        drift->gatherJson();
    const bool folderJudged = !options.inheritance && !options.who && !drift;
    if (options.inheritance || (options.files && folderJudged)) {
        const char* itemStatus = options.inheritance ? "not_inherited" : "differs";
        options.itemLine = [this, itemStatus](const ItemDifference& d) { itemLines_ += jsonItemLine(d, itemStatus); };
    }
    if (folderJudged) {
        options.folderLines = [this](const QByteArray& printablePath, const QByteArray& rawPath, const char* status,
                                     const FolderDifference* difference, const QByteArray& reason) {
            folderLines_ += jsonFolderLine(printablePath, rawPath, status, difference, reason);
        };
    }
}

QByteArray RunRecords::lines(const BatchOptions& options, const BatchResult& result, Naming naming) const
{
    QByteArray out;
    std::size_t who = 0;
    const bool named = naming == Naming::Always || result.verdicts.size() > 1;
    QByteArray whose; // the principal of each inventory, where it is named
    for (const CheckVerdict& v : result.verdicts) {
        const std::string_view kind = v.kind;
        QByteArray lines;
        if (kind == "who") {
            const WhoFindings& f = who == 0 ? *result.who : result.moreWho[who - 1];
            ++who;
            lines = whoJsonLines(f) + whoJsonSummary(f, printableUtf8(result.whoReportPath), result.seconds);
            if (!result.moreWho.empty() || naming == Naming::Always)
                whose = QByteArray::fromStdString(f.who.name);
        } else if (kind == "drift") {
            DriftSummary summary {drift_, result.analysis.inputs.targetPrintable, printableUtf8(result.driftReportPath),
                                  result.seconds};
            lines = drift_->jsonLines() + jsonDriftSummaryLine(summary);
        } else {
            lines = itemsJson(options, result, folderLines_, itemLines_, kind == "inheritance");
        }
        out += named ? ofCheck(lines, v.kind, whose) : lines;
        whose.clear();
    }
    return out;
}

QByteArray folderRecords(const FolderTree& tree, const BatchResult& result)
{
    QByteArray lines;
    folderRecords(result.analysis, tree,
                  [&lines](const QByteArray& printablePath, const QByteArray& rawPath, const char* status,
                           const FolderDifference* difference, const QByteArray& reason) {
                      lines += jsonFolderLine(printablePath, rawPath, status, difference, reason);
                  });
    return ofCheck(itemsJson(BatchOptions(), result, lines, {}, false), "folder");
}

} // namespace gw
