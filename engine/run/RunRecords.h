#pragma once
// A run's records: what --json prints, one JSON object a line, and what the
// HTML and CSV reports are written from. The checks feed them as the walk
// finds them (the folders of the check against the checked folder, the
// items compared with what a folder gives them, the drift); the who
// inventories and every summary are added from the run's result.

#include "engine/checks/baseline/BaselineDrift.h"
#include "engine/run/BatchCheck.h"

#include <QByteArray>

namespace gw {

class RunRecords {
public:
    // Makes the checks of `options` feed this (it must outlive the run).
    void attach(BatchOptions& options, BaselineDrift* drift);

    // How the records say which check each is of.
    enum class Naming {
        // Only in a run of several checks, and the principal only among several
        // inventories: a run of one keeps the records as --json always gave them.
        AsJson,
        // Always, with the principal of every inventory: for the reports, whose
        // every row says its check.
        Always,
    };
    // Every judged check's records and summary, in the order of its verdict.
    QByteArray lines(const BatchOptions& options, const BatchResult& result, Naming naming = Naming::AsJson) const;

private:
    QByteArray folderLines_; // the check against the checked folder's, folder by folder
    QByteArray itemLines_; // items that differ from what their folder gives them
    const BaselineDrift* drift_ = nullptr;
};

// The records of a check against the checked folder that ran outside a
// walk (the window's paced reading), named as Naming::Always names them: each
// folder of `tree` that differs,
// was not read or was not listed, in tree order, then the summary.
// `result` has the analysis, the report paths and the time.
QByteArray folderRecords(const FolderTree& tree, const BatchResult& result);

} // namespace gw
