#pragma once
// The drift check: every item compared with its record in a baseline
// (BaselineDrift merges the records with the walk), and acl_drift.txt.

#include "engine/checks/CheckPart.h"
#include "engine/checks/baseline/BaselineDrift.h"

namespace gw {

class DriftCheck : public CheckPart {
public:
    DriftCheck(BaselineDrift& drift, bool files);

    const char* kind() const override { return "drift"; }
    void askFiles(FileCheck& files) const override;
    void take(const WalkedFolder& folder) override;
    Judgement judge(const ItemAlone& item) const override;
    void finish(const WalkEnd& end) override;
    void addReports(std::vector<ReportsFolder::Report>& out, const WalkEnd& end) override;
    std::vector<const char*> reportNames() const override;
    QString verdict(const QString& lang) const override;
    bool complete() const override;
    bool green() const override;
    bool wroteReport() const { return wrote_; }

private:
    BaselineDrift& drift_;
    bool files_;
    bool wrote_ = false;
    std::string raw_, filePath_, rawFile_; // room kept from folder to folder
    mutable PrincipalNames names_; // for items judged alone
};

} // namespace gw
