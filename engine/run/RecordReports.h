#pragma once
// The HTML and CSV reports of a run, written from its records (RunRecords,
// named as Naming::Always names them), each whole or not at all: through a
// file beside it and a rename, mode 0600, in a folder that is the user's own,
// as the fix file is written; a failed write keeps an earlier file.

#include "engine/reports/HtmlReport.h"
#include "platform/ReportsFolder.h"
#include "platform/SystemErrorText.h"

#include <QByteArray>

#include <string>

namespace gw {

struct RecordReportFiles {
    QByteArray html, csv; // raw paths; empty: not asked for
};

// Writes the reports asked for. Returns an empty text, or what went wrong in
// `language`: a report that could not be written, none of it left at its path.
[[nodiscard]] std::string writeRecordReports(const QByteArray& records, const HtmlHead& head,
                                             const RecordReportFiles& files, ReportsFolder* open = nullptr,
                                             Language language = Language::English);

// Why writeRecordReports would refuse one of the paths now; empty when it
// would write them. Nothing is made or written, so that a check can be
// refused before it runs.
[[nodiscard]] std::string recordReportsRefusal(const RecordReportFiles& files, ReportsFolder* open = nullptr);

} // namespace gw
