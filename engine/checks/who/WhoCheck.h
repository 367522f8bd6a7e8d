#pragma once
// Who can do what: the rights of one principal on every folder (and file),
// and acl_who.txt. An inventory rather than a verdict: green when
// everything was read.

#include "engine/checks/CheckPart.h"
#include "engine/checks/who/WhoInventory.h"

namespace gw {

class WhoCheck : public CheckPart {
public:
    WhoCheck(const Principal& who, const QByteArray& rawFolder, const QByteArray& printableFolder, bool files);

    const char* kind() const override { return "who"; }
    void askFiles(FileCheck& files) const override;
    void take(const WalkedFolder& folder) override;
    void finish(const WalkEnd& end) override;
    void addReports(std::vector<ReportsFolder::Report>& out, const WalkEnd& end) override;
    std::vector<const char*> reportNames() const override;
    QString verdict(const QString& lang) const override;
    bool complete() const override;
    bool green() const override;

    WhoInventory& inventory() { return inventory_; }
    const QByteArray& reportText() const { return text_; }

private:
    WhoInventory inventory_;
    bool files_;
    QByteArray text_; // the report's, valid while it lives
};

} // namespace gw
