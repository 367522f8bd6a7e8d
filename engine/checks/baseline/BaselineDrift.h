#pragma once
// The drift check: every item the walk reaches is compared with its record
// in a baseline, entries as entries, with the same comparison and notation
// as the other checks; what changed, what is new, what is gone and what was
// not read now are written to the drift report as they are found.
//
// Neither side is held in memory. The baseline was written in the order the
// walk reaches the items (WalkOrder), so the two are merged as two sorted
// streams: while the next record comes before the item the walk hands on,
// the record's item is gone (or left out of this run); when it is the
// item's, the two are compared; when it comes after, the item is new. Items
// made or removed anywhere in the tree only move the two streams apart until
// the next item both have. Each record must come after the one before it,
// by the same order; one that does not (a baseline taken where names
// collate otherwise) is refused, never read as items gone and new. Records
// matched to items one after the other are in order by the walk's own; only
// around a record the walk did not reach are two records compared, so that
// names are collated only where items were made or removed.
//
// A record the walk does not reach is "gone" only when its item is gone:
// one the options leave out now (files without --files, hidden folders,
// --max-depth), or that is still there but was not walked (--exclude,
// another file system, below a folder not listed), is counted as left out.

#include "engine/checks/baseline/BaselineFile.h"
#include "engine/reports/ReportSpool.h"
#include "engine/rules/ItemDifference.h"

#include <QByteArray>
#include <QCollator>
#include <QString>

#include <optional>
#include <string>
#include <string_view>

namespace gw {

// The order in which the walk reaches the items below `root` (raw): a folder,
// then its files by their bytes, then its subfolders in the tree's collation
// order, each with all below it.
class WalkOrder {
public:
    explicit WalkOrder(std::string root);
    // Negative, 0 or positive as `a` comes before, is, or comes after `b`.
    int compare(std::string_view a, ItemKind aKind, std::string_view b, ItemKind bKind) const;
    // The path below the root ("" for the root, else "/a/b"); false when
    // `raw` is not the root or below it.
    bool relative(std::string_view raw, std::string_view& out) const;

private:
    std::string root_;
    QCollator collator_;
};

// What the options take in now, for records the walk does not reach.
struct DriftScope {
    bool files = false; // files are checked now
    bool includeHidden = false;
    int maxDepth = -1;
};

struct DriftCounts {
    long changed = 0, added = 0, gone = 0, notRead = 0;
    long foldersCompared = 0, filesCompared = 0; // with their records
    long leftOut = 0; // records of items this run does not cover
    bool filesNotRecorded = false; // files were checked, but the baseline has none
    bool nothingChanged() const { return changed == 0 && added == 0 && gone == 0; }
};

// One item the drift check reports, kept for a window that shows them.
struct DriftItem {
    enum Status {
        Changed,
        New,
        Gone,
        NotRead
    } status;
    ItemDifference item; // changes: as recorded -> as now; a new item's entries as added
    QByteArray note; // why it was not read, or that a gone item is now a link
};

class BaselineDrift {
public:
    // `reader` has read the head of a baseline of `root`; `spools` holds the
    // report's text until it is written.
    BaselineDrift(BaselineReader& reader, QByteArray baselinePath, DriftScope scope, ReportsFolder& spools);

    // Each item the walk reaches, in its order: its permissions, or none with
    // why they were not read.
    void take(std::string_view rawPath, std::string_view printablePath, ItemKind kind, const Permissions* p,
              std::string_view reason);
    // A folder whose entries could not be listed: what was below it is not known.
    void notListed(const QByteArray& printablePath,
                   const QByteArray& why = "its entries could not be listed: what is below it was not compared");
    // The records the walk did not reach; call once, after the last item.
    void finish();

    const DriftCounts& counts() const { return counts_; }
    // The baseline turned out malformed, cut short or out of order on the way.
    const std::optional<BaselineError>& error() const { return error_; }
    const BaselineHead& head() const { return reader_.head(); }
    const QByteArray& baselinePath() const { return path_; }
    // One JSON line an item changed, new, gone or not read, in tree order:
    // gathered only once asked for (JSON output), before the check.
    void gatherJson() { json_.emplace(); }
    QByteArray jsonLines() const { return json_ ? *json_ : QByteArray(); }
    // Every item reported, in the report's order (changed, new, gone, not
    // read; each in the walk's order): kept only once asked for (the
    // window), before the check.
    void keepItems() { kept_.emplace(); }
    std::vector<DriftItem> keptItems() const;

    // The drift report (acl_drift.txt); `notChecked` names what the options
    // left out. Valid while this lives.
    std::vector<ReportsFolder::Part> reportParts(const QByteArray& notChecked);

private:
    // The next record, once the one before was `matched` to an item or not;
    // false at the end.
    bool advance(bool matched);
    // Why the record just read does not follow the one before it.
    BaselineError outOfOrder() const;
    std::string say(const char* english, const char* russian) const; // in the baseline reader's language
    void recordNotReached();
    void reportGone(const std::string& note); // the record not reached is gone
    bool leftOutNow(std::string_view relative, ItemKind kind) const;

    BaselineReader& reader_;
    QByteArray path_;
    DriftScope scope_;
    WalkOrder order_;
    PrincipalNames names_;
    BaselineRecord record_, previous_;
    bool haveRecord_ = false, havePrevious_ = false, previousMatched_ = false, finished_ = false;
    std::optional<BaselineError> error_;
    DriftCounts counts_;
    Spool changed_, added_, gone_, notRead_;
    std::optional<QByteArray> json_;
    std::optional<std::vector<DriftItem>> kept_;
    // The last parent folder of a record not reached that could not be
    // opened, and what that meant for the records below it.
    std::string unopened_;
    bool unopenedGone_ = false;
    std::string unopenedNote_;
    QByteArray head_, heads_[4];
};

// The last JSON line of the drift check: {"type":"summary","check":"baseline",...}
// with the counts, the baseline's path and date, and the verdict "same",
// "changed" or "incomplete" (nothing changed, but not all was read).
struct DriftSummary {
    const BaselineDrift* drift;
    QByteArray folder; // printable
    QByteArray driftReport; // printable path
    double seconds = 0;
};
QByteArray jsonDriftSummaryLine(const DriftSummary& summary);

// The drift check's verdict on the console, in `lang` ("RU" or English).
QString driftVerdict(const QString& lang, const BaselineDrift& drift);

} // namespace gw
