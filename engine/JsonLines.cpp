#include "engine/JsonLines.h"

#include <QString>

namespace gw {

QByteArray jsonString(QByteArrayView utf8)
{
    static const char hex[] = "0123456789abcdef";
    const QByteArray valid = QString::fromUtf8(utf8).toUtf8(); // invalid bytes become U+FFFD
    QByteArray out;
    out.reserve(valid.size() + 2);
    out += '"';
    for (const char ch : valid) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += ch;
        }
    }
    out += '"';
    return out;
}

QByteArray jsonFolderLine(const QByteArray& printablePath, const QByteArray& rawPath, const char* status,
                          const FolderDifference* difference, const QByteArray& reason)
{
    QByteArray line = "{\"type\":\"folder\",\"path\":" + jsonString(printablePath) + ",\"path_base64\":\""
        + rawPath.toBase64() + "\",\"status\":\"" + status
        + "\",\"starts_here\":" + (difference && difference->startsHere ? "true" : "false") + ",\"same_below\":"
        + QByteArray::number(difference && difference->startsHere ? difference->sameBelow : 0) + ",\"changes\":[";
    if (difference) {
        bool first = true;
        for (const EntryChange& c : difference->changes) {
            line += first ? "" : ",";
            first = false;
            switch (c.kind) {
            case EntryChange::Added: line += "{\"change\":\"added\",\"entry\":" + jsonString(c.to) + "}"; break;
            case EntryChange::Removed: line += "{\"change\":\"removed\",\"entry\":" + jsonString(c.from) + "}"; break;
            case EntryChange::Changed:
                line += "{\"change\":\"changed\",\"from\":" + jsonString(c.from) + ",\"to\":" + jsonString(c.to) + "}";
                break;
            }
        }
    }
    line += "]";
    if (qstrcmp(status, "not_read") == 0)
        line += ",\"reason\":" + jsonString(reason);
    return line + "}\n";
}

QByteArray jsonSummaryLine(const JsonSummary& s)
{
    const char* verdict = s.mismatches > 0 ? "differ" : (s.notRead > 0 || s.notListed > 0) ? "incomplete" : "same";
    return "{\"type\":\"summary\",\"folder\":" + jsonString(s.folder)
        + ",\"subfolders\":" + QByteArray::number(s.subfolders) + ",\"max_level\":" + QByteArray::number(s.maxLevel)
        + ",\"mismatches\":" + QByteArray::number(s.mismatches) + ",\"not_read\":" + QByteArray::number(s.notRead)
        + ",\"not_listed\":" + QByteArray::number(s.notListed) + ",\"verdict\":\"" + verdict
        + "\",\"reports\":{\"full\":" + jsonString(s.fullReport) + ",\"mismatches\":" + jsonString(s.mismatchReport)
        + ",\"differences\":" + jsonString(s.differencesReport) + "},\"seconds\":"
        + QByteArray::number(s.seconds, 'f', 3) + ",\"not_checked\":" + jsonString(s.notChecked) + ",\"not_compared\":"
        + jsonString(s.notCompared) + ",\"hidden_not_checked\":" + QByteArray::number(s.hiddenNotChecked) + "}\n";
}

} // namespace gw
