#pragma once
// What takes a run's records one by one: the HTML and CSV reports. Each
// record is one line of the run's JSON Lines (RunRecords), as --json prints
// it, so every report says what the JSON says.

#include <QByteArrayView>
#include <QJsonObject>

#include <vector>

namespace gw {

class RecordSink {
public:
    virtual ~RecordSink() = default;
    virtual void take(const QJsonObject& record) = 0;
};

// Hands every record of `lines` to each sink, in order. Returns false when a
// line is not a JSON object: the records are the program's own, so that is a
// fault, and what the sinks made of the lines before it is no report.
[[nodiscard]] bool feedRecords(QByteArrayView lines, const std::vector<RecordSink*>& sinks);

} // namespace gw
