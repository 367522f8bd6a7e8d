#include "engine/reports/CsvReport.h"

#include <QJsonArray>

namespace gw {
namespace {

const char* const kColumns[] = {"check",   "who",     "path",      "path_base64", "kind",  "status",
                                "reasons", "changes", "owner",     "group",       "mode",  "read",
                                "write",   "enter",   "reachable", "via",         "reason"};

// A right as a cell: "yes", "no", "own" (write to its own entries), empty
// where it is not known (null) or not said.
QString right(const QJsonValue& v)
{
    if (v.isBool())
        return v.toBool() ? QStringLiteral("yes") : QStringLiteral("no");
    return v.toString();
}

QString joined(const QJsonArray& values, QLatin1String separator)
{
    QString out;
    for (const QJsonValue& v : values)
        out += (out.isEmpty() ? QString() : separator) + v.toString();
    return out;
}

// The entry changes, one a line.
QString changes(const QJsonArray& changes)
{
    QString out;
    for (const QJsonValue& v : changes) {
        const QJsonObject c = v.toObject();
        const QString change = c.value(QLatin1String("change")).toString();
        out += out.isEmpty() ? QString() : QStringLiteral("\n");
        if (change == QLatin1String("changed"))
            out += QStringLiteral("changed ") + c.value(QLatin1String("from")).toString() + QStringLiteral(" -> ")
                + c.value(QLatin1String("to")).toString();
        else
            out += change + QLatin1Char(' ') + c.value(QLatin1String("entry")).toString();
    }
    return out;
}

} // namespace

CsvReport::CsvReport()
{
    for (const char* column : kColumns)
        text_ += (text_.isEmpty() ? "" : ",") + QByteArray(column);
    text_ += "\r\n";
}

QByteArray CsvReport::field(QStringView value)
{
    QByteArray out = value.toUtf8();
    if (!out.isEmpty() && QByteArrayView("=+-@\t\r").contains(out.front()))
        out.prepend('\'');
    if (out.contains(',') || out.contains('"') || out.contains('\n') || out.contains('\r'))
        out = '"' + out.replace("\"", "\"\"") + '"';
    return out;
}

void CsvReport::take(const QJsonObject& r)
{
    const QString type = r.value(QLatin1String("type")).toString();
    if (type == QLatin1String("summary"))
        return;
    const auto text = [&r](const char* key) { return r.value(QLatin1String(key)).toString(); };
    QString reason = text("reason");
    if (r.contains(QLatin1String("stopped_at")))
        reason = QStringLiteral("stopped at ") + text("stopped_at");
    const QJsonValue enter = r.contains(QLatin1String("execute")) ? r.value(QLatin1String("execute"))
                                                                  : r.value(QLatin1String("enter"));
    const QString kind = type == QLatin1String("folder") ? QStringLiteral("folder") : text("kind");
    const QString cells[] = {text("check"),
                             text("who"),
                             text("path"),
                             text("path_base64"),
                             kind,
                             text("status"),
                             joined(r.value(QLatin1String("reasons")).toArray(), QLatin1String(";")),
                             changes(r.value(QLatin1String("changes")).toArray()),
                             text("owner"),
                             text("group"),
                             text("mode"),
                             right(r.value(QLatin1String("read"))),
                             right(r.value(QLatin1String("write"))),
                             right(enter),
                             right(r.value(QLatin1String("reachable"))),
                             text("via"),
                             reason};
    static_assert(std::size(kColumns) == std::size(cells));
    bool first = true;
    for (const QString& cell : cells) {
        text_ += first ? "" : ",";
        text_ += field(cell);
        first = false;
    }
    text_ += "\r\n";
}

} // namespace gw
