#pragma once
// What the inheritance check found, and the words for it: the inheritance
// report (acl_inherit.txt, LF line ends, UTF-8) and the verdict. The same
// item lines serve the files of the check against the checked folder in the
// differences report.

#include "engine/rules/ItemFindings.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace gw {

// The inheritance report of the check of `folder` (printable): its head (the
// counts), the item lines of each finding (itemLines), then its tail (what
// was not read or listed).
QByteArray inheritanceReportHead(const QByteArray& folder, const ItemFindings& f, const QByteArray& notChecked);
QByteArray inheritanceReportTail(const ItemFindings& f);
// The whole report, from the items kept.
QByteArray inheritanceReport(const QByteArray& folder, const ItemFindings& f, const QByteArray& notChecked);

// The console's verdict of the inheritance check, in `lang` ("RU" or English).
QString inheritanceVerdict(const QString& lang, const ItemFindings& f);

} // namespace gw
