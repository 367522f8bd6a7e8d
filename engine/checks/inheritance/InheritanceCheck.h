#pragma once
// The inheritance check: every folder (and file) against what its own folder
// gives a new item, and the acl_inherit.txt report. With the fix, the text
// for setfacl --restore that gives every item what its folder gives it,
// from the top down: each item gets what its folder gives once that folder
// is fixed, so a subfolder that would differ from its fixed folder is in
// the file too.

#include "engine/checks/CheckPart.h"
#include "engine/checks/ItemComparison.h"
#include "engine/rules/InheritanceReference.h"

#include <memory>
#include <optional>
#include <vector>

namespace gw {

class InheritanceCheck : public CheckPart {
public:
    InheritanceCheck(std::unique_ptr<ItemComparison> items, FileScope fileScope, bool fix, bool compareGroup);

    const char* kind() const override { return "inheritance"; }
    void askFiles(FileCheck& files) const override;
    bool needsParent() const override { return true; }
    void take(const WalkedFolder& folder) override;
    Judgement judge(const ItemAlone& item) const override;
    void finish(const WalkEnd& end) override;
    void addReports(std::vector<ReportsFolder::Report>& out, const WalkEnd& end) override;
    std::vector<const char*> reportNames() const override;
    QString verdict(const QString& lang) const override;
    bool complete() const override;
    bool green() const override;

    ItemComparison& items() { return *items_; }
    // With the fix: the whole fix file, and how many items it gives their
    // inherited permissions.
    const QByteArray& fixRecords() const { return fixRecords_; }
    int fixRecordCount() const { return fixRecordCount_; }

private:
    Permissions fixItem(const FolderGift& fixedGift, const Permissions& item, const std::string& path);
    void fixFiles(const WalkedFolder& folder, const Permissions& fixedHere);
    const Permissions* fixedParent(const Listing& l);

    std::unique_ptr<ItemComparison> items_;
    FileScope fileScope_;
    bool fix_;
    bool compareGroup_;
    // What the fix gives each folder on the way to the one taken now.
    struct Fixed {
        FolderTree::NodeId id;
        Permissions permissions;
    };
    std::vector<Fixed> fixed_;
    int fixTooLong_ = 0;
    QByteArray fixRecords_;
    int fixRecordCount_ = 0;
    std::optional<Permissions> top_;
    QByteArray head_, tail_; // the report's, valid while it lives
    mutable PrincipalNames names_; // for items judged alone
};

} // namespace gw
