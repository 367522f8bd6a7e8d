#pragma once
// The results page's texts that follow the kind of check it shows: the
// report button, which opens that kind's own report, and the help beside it.

#include <QString>

namespace gw {

enum class CheckKind {
    Folder, // against the checked folder: the mismatch report
    Inheritance, // acl_inherit.txt
    Drift, // acl_drift.txt
    Who, // acl_who.txt
};

QString reportButtonText(CheckKind kind, const QString& lang);
QString resultsHelpText(CheckKind kind, const QString& lang);

} // namespace gw
