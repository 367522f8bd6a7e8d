#include "engine/reports/RecordSink.h"

#include <QJsonDocument>

namespace gw {

bool feedRecords(QByteArrayView lines, const std::vector<RecordSink*>& sinks)
{
    while (!lines.isEmpty()) {
        const qsizetype end = lines.indexOf('\n');
        const QByteArrayView line = end < 0 ? lines : lines.first(end);
        lines = end < 0 ? QByteArrayView() : lines.sliced(end + 1);
        if (line.isEmpty())
            continue;
        const QJsonDocument doc = QJsonDocument::fromJson(line.toByteArray());
        if (!doc.isObject())
            return false;
        const QJsonObject record = doc.object();
        for (RecordSink* sink : sinks)
            sink->take(record);
    }
    return true;
}

} // namespace gw
