#pragma once
// Items compared with what a folder gives a new one: every folder and file
// with what its own folder gives it (the inheritance check), or the files
// with what the checked folder gives them (the check against the checked
// folder, with files). Each finding's lines go to a spool of the reports
// folder as it is found, and to `itemLine` when given; the findings are
// kept only when asked for.

#include "engine/reports/ReportSpool.h"
#include "engine/rules/CheckAnalysis.h"
#include "engine/rules/ItemDifference.h"
#include "engine/rules/ItemFindings.h"
#include "platform/FolderFiles.h"

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace gw {

class ItemComparison {
public:
    ItemComparison(ReportsFolder& spools, bool files, std::optional<std::uint32_t> umask, bool keepItems,
                   bool compareGroup, std::function<void(const ItemDifference&)> itemLine);

    // Compares `item`, at the printable `path`, with what `folder` gives.
    void compare(const Permissions& folder, const Permissions& item, ItemKind kind, const std::string& path);
    // Counts a folder's files and compares each with what `folder` gives
    // (null: its permissions were not read, so each file is not compared).
    void compareFiles(const FolderFiles& files, const Permissions* folder, const std::string& folderPath);
    void countFolder() { ++findings_.folders; }

    // Once the walk is over: the folders not read or listed, then the files.
    void finish(const Analysis& analysis, const QList<QByteArray>& filesNotListed);

    ItemFindings& findings() { return findings_; }
    const ItemFindings& findings() const { return findings_; }
    Spool& body() { return body_; } // each finding's lines
    int filesNotRead() const { return filesNotReadCount_; }
    int filesNotListed() const { return filesNotListedCount_; }

private:
    ItemFindings findings_;
    Spool body_;
    PrincipalNames names_; // the walk's thread's
    bool compareGroup_;
    std::function<void(const ItemDifference&)> itemLine_;
    QList<ItemNotRead> filesNotRead_;
    QList<ItemNotRead> notCompared_; // items whose ACL model the check does not follow
    int filesNotReadCount_ = 0, filesNotListedCount_ = 0;
};

} // namespace gw
