#pragma once
// Saving a baseline: every item read is recorded, in the walk's order, with
// whichever checks the walk runs. It has no verdict of its own.

#include "engine/checks/CheckPart.h"
#include "engine/checks/baseline/BaselineFile.h"

namespace gw {

class BaselineRecorder : public CheckPart {
public:
    BaselineRecorder(BaselineWriter& writer, bool files);

    const char* kind() const override { return "baseline"; }
    void askFiles(FileCheck& files) const override;
    void take(const WalkedFolder& folder) override;
    void addReports(std::vector<ReportsFolder::Report>&, const WalkEnd&) override { }
    std::vector<const char*> reportNames() const override { return {}; }
    bool hasVerdict() const override { return false; }
    QString verdict(const QString&) const override { return {}; }
    bool complete() const override { return true; }
    bool green() const override { return true; }

private:
    BaselineWriter& writer_;
    bool files_;
    std::string raw_, rawFile_; // room kept from folder to folder
};

} // namespace gw
