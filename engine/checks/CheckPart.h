#pragma once
// A kind of check, as one walk of the tree runs it beside the others.
//
// The conductor (runBatchCheck) walks the tree once and hands every folder,
// in tree order, to each check it runs: the folder's listing with its files,
// its printable path, the permissions of the folder that holds it and those
// of the checked folder. A check keeps what it needs; once the walk is over
// it is told what the walk found out (the folders not read or not listed),
// then gives its reports, its verdict in each language, whether everything
// it needed was read and whether it is green.
//
// The kinds: the check against the checked folder (FolderCheck), the
// inheritance check (InheritanceCheck), the drift from a baseline
// (DriftCheck) and who can do what (WhoCheck); saving a baseline
// (BaselineRecorder) goes with any of them and has no verdict.

#include "engine/rules/CheckAnalysis.h"
#include "engine/rules/ItemDifference.h"
#include "engine/walk/ListingReader.h"
#include "platform/FolderTree.h"
#include "platform/ReportsFolder.h"

#include <QByteArray>
#include <QString>

#include <string>
#include <vector>

namespace gw {

// A folder as the walk hands it to the checks.
struct WalkedFolder {
    const Listing& listing; // with its files, when they are asked for
    const std::string& path; // printable
    const Permissions* parent; // the holding folder's permissions; null for the top, or when not read
    const Permissions* top; // the checked folder's, once read; null when not read
};

// What the walk found out, for the checks' reports and verdicts.
struct WalkEnd {
    const FolderTree& tree;
    const Analysis& analysis; // the listings' analysis: folders not read, not listed, differing
    QByteArray root; // the checked folder, printable
    QByteArray notChecked; // what the options left out, in words (English), for the reports
    QByteArray reportsDir;
    // Folders whose files could not be listed, beyond those not listed at all.
    const QList<QByteArray>& filesNotListed;
    // Folders the tree found that the walk could not enter, so never handed
    // to the checks (printable paths, in tree order).
    const QList<QByteArray>& notEntered;
};

// One item as a check judges it alone, outside a walk (the watch judges a
// change this way): its permissions, its folder's and the checked folder's,
// and, for the drift check, its record in the baseline.
struct ItemAlone {
    ItemKind kind = ItemKind::Folder;
    QByteArray path; // printable
    const Permissions* permissions = nullptr; // null: not read
    const Permissions* folder = nullptr; // the holding folder's; null for the top, or when not read
    const Permissions* top = nullptr; // the checked folder's; null when not read
    const Permissions* recorded = nullptr; // its record; null when the baseline has none
};

// What a check says of one item alone.
struct Judgement {
    bool judged = false; // false: this check says nothing of it (see `note`)
    bool green = true; // it carries what it should
    ItemDifference difference; // when not green: how it differs (its path and kind set)
    QByteArray note; // why it was not judged, or a word on it ("new", "gone")
};

class CheckPart {
public:
    virtual ~CheckPart() = default;
    // Its name in JSON records and option texts: "folder", "inheritance",
    // "drift", "who"; "baseline" for the recorder.
    virtual const char* kind() const = 0;
    // What it asks of each folder's files; nothing unless it says so.
    virtual void askFiles(FileCheck&) const { }
    // True when it needs the holding folder's permissions with each folder.
    virtual bool needsParent() const { return false; }
    virtual void take(const WalkedFolder& folder) = 0;
    virtual void finish(const WalkEnd&) { }
    // Its reports, appended to `out` (their parts stay valid while it lives).
    virtual void addReports(std::vector<ReportsFolder::Report>& out, const WalkEnd& end) = 0;
    // The reports it writes; the conductor removes an earlier run's of any
    // other name, so that the folder holds this run's reports only.
    virtual std::vector<const char*> reportNames() const = 0;
    // Judges one item alone, with the same rules and texts as in the walk;
    // a check that cannot says so (judged false).
    virtual Judgement judge(const ItemAlone&) const { return {}; }
    virtual bool hasVerdict() const { return true; }
    virtual QString verdict(const QString& lang) const = 0;
    virtual bool complete() const = 0;
    virtual bool green() const = 0;
};

} // namespace gw
