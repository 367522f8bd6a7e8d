#pragma once
// The check against the checked folder: every folder's listing compared
// with the checked folder's, the full detail, mismatches and differences
// reports; with files (and no other kind of check that compares items),
// every file with what the checked folder gives a new file. Its listings'
// analysis runs in every walk, whatever else is checked: the other kinds
// learn from it which folders were not read or listed, and its three
// reports are written with theirs.

#include "engine/checks/CheckPart.h"
#include "engine/checks/ItemComparison.h"
#include "engine/checks/folder/FolderRecords.h"
#include "engine/reports/Reports.h"
#include "engine/reports/TimeText.h"

#include <QHash>

#include <functional>
#include <memory>
#include <optional>

namespace gw {

class FolderCheck : public CheckPart {
public:
    // `items` counts the folders and, with `compareItems` and files, compares
    // the files with what the checked folder gives; without `compareItems`
    // (another check compares the items), it only learns what was not read.
    FolderCheck(ReportsFolder& spools, const QByteArray& root, const IgnoredParts& ignored,
                std::unique_ptr<ItemComparison> items, bool compareItems, const TimeFormat& format);

    const char* kind() const override { return "folder"; }
    void askFiles(FileCheck& files) const override;
    void take(const WalkedFolder& folder) override;
    Judgement judge(const ItemAlone& item) const override;
    // The analysis of every listing taken, once the walk is over.
    const Analysis& analyse(const FolderTree& tree, int maxLevel, const QByteArray& notChecked);
    void finish(const WalkEnd& end) override;
    void addReports(std::vector<ReportsFolder::Report>& out, const WalkEnd& end) override;
    std::vector<const char*> reportNames() const override;
    QString verdict(const QString& lang) const override;
    bool complete() const override;
    bool green() const override;

    // Called for every folder that differs ("differs"), was not read
    // ("not_read", with why when known) or was not listed ("not_listed"), in
    // tree order, once the walk is over.
    void setFolderLines(FolderLine lines) { folderLines_ = std::move(lines); }
    void setTop(const Permissions& top) { top_ = top; } // what the files are compared with
    // Its differences report ends with what its files show (so it does with
    // files whenever no inheritance check runs, the drift check's included).
    void setFilesInReport(bool files) { filesInReport_ = files; }
    Analysis& analysis() { return analysis_; }
    ItemComparison& items() const { return *files_; }

private:
    bool comparesFiles() const;

    AnalysisInput input_;
    std::optional<ListingAnalyser> analyser_;
    Spool fullBody_, mismatchBody_;
    int listingsCounted_ = 0; // lines of the dump that begin with the root: one a listing
    std::vector<bool> read_; // by node id
    QHash<FolderTree::NodeId, QByteArray> reasons_; // why a folder was not read, when known
    // With records: the status of each folder that mismatches, by printable path, until analysed.
    QHash<QByteArray, ItemStatus> statuses_;
    PrincipalNames statusNames_; // for them, on the walk's thread
    QByteArray block_, trimmed_; // the folder taken now's listing, as listed and trimmed
    // The entries of the folder read last, trimmed as they stand after a
    // path, with the count of their lines that begin with the root: most
    // folders carry what the one before carried.
    struct TrimmedEntries {
        std::string entries;
        QByteArray trimmed;
        int listings = 0;
        bool valid = false;
    };
    TrimmedEntries lastEntries_;
    // The folder's listing, trimmed, into trimmed_; the lines that begin
    // with the root are counted.
    void trimListing(const WalkedFolder& folder);
    Analysis analysis_;
    std::unique_ptr<ItemComparison> files_;
    bool compareItems_;
    bool filesInReport_ = false;
    std::optional<Permissions> top_;
    TimeFormat format_;
    FolderLine folderLines_;
    mutable PrincipalNames names_; // for items judged alone
    // The reports' texts, valid while it lives.
    ReportFrame frame_;
    QByteArray differences_, filesTail_;
};

} // namespace gw
