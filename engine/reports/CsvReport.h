#pragma once
// The CSV report: RFC 4180, UTF-8 without a byte order mark, CR LF line ends,
// a header row, then one row for every record of the run but its summaries,
// in the records' order. A field with a comma, a quote or a line break is
// quoted, its quotes doubled; a field that begins with = + - @, a tab or a
// carriage return is prefixed with ' so that no spreadsheet program takes it
// for a formula.
//
// Columns: check, who, path (printable), path_base64 (the raw bytes), kind,
// status, reasons (";" between them), changes (one a line: "added ENTRY",
// "removed ENTRY", "changed FROM -> TO"), owner, group, mode, then who can:
// read, write, enter (execute, for a file), reachable ("yes", "no", "own" for
// write, empty where not known) and via, and reason (why it was not read,
// or where the way stopped).

#include "engine/reports/RecordSink.h"

#include <QByteArray>
#include <QStringView>

namespace gw {

class CsvReport : public RecordSink {
public:
    CsvReport();
    void take(const QJsonObject& record) override;
    const QByteArray& text() const { return text_; }

    // One field, quoted where it must be and guarded against formulas.
    static QByteArray field(QStringView value);

private:
    QByteArray text_;
};

} // namespace gw
