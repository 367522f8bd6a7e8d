#include "engine/checks/JsonLines.h"

#include <QString>

#include <cstdio>

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

namespace {

// The changes of an item, as the elements of a JSON array.
QByteArray jsonChanges(const QList<EntryChange>& changes)
{
    QByteArray out;
    for (const EntryChange& c : changes) {
        out += out.isEmpty() ? "" : ",";
        switch (c.kind) {
        case EntryChange::Added: out += "{\"change\":\"added\",\"entry\":" + jsonString(c.to) + "}"; break;
        case EntryChange::Removed: out += "{\"change\":\"removed\",\"entry\":" + jsonString(c.from) + "}"; break;
        case EntryChange::Changed:
            out += "{\"change\":\"changed\",\"from\":" + jsonString(c.from) + ",\"to\":" + jsonString(c.to) + "}";
            break;
        }
    }
    return out;
}

const char* kindText(ItemKind kind)
{
    return kind == ItemKind::Folder ? "folder" : "file";
}

} // namespace

QByteArray jsonStatusFields(const std::optional<ItemStatus>& status)
{
    if (!status)
        return {};
    return ",\"owner\":" + jsonString(status->owner) + ",\"group\":" + jsonString(status->group) + ",\"mode\":\""
        + QByteArray::fromStdString(modeText(status->mode)) + "\"";
}

namespace {

// An item's fields, from "kind" to "changes", then its status.
QByteArray itemFields(const ItemDifference& d, const char* status)
{
    QByteArray reasons;
    for (const InheritanceReason r : d.finding.reasons)
        reasons += (reasons.isEmpty() ? "\"" : ",\"") + QByteArray(reasonKey(r)) + "\"";
    QByteArray line = "\"kind\":\"" + QByteArray(kindText(d.kind)) + "\",\"path\":" + jsonString(d.path)
        + ",\"path_base64\":\"" + d.rawPath.toBase64() + "\",\"status\":\"" + status + "\",\"reasons\":[" + reasons
        + "]";
    if (d.finding.narrowedMode != 0) {
        line += ",\"narrowed_mode\":\"" + QByteArray::fromStdString(modeText(d.finding.narrowedMode)) + "\"";
    }
    return line + ",\"changes\":[" + jsonChanges(d.changes) + "]" + jsonStatusFields(d.status);
}

} // namespace

QByteArray jsonItemLine(const ItemDifference& d, const char* status)
{
    return "{\"type\":\"item\"," + itemFields(d, status) + "}\n";
}

QByteArray jsonChangeLine(const ItemDifference& d, const char* check, const char* status, const QByteArray& time,
                          const QByteArray& process)
{
    return "{\"type\":\"change\",\"time\":\"" + time + "\",\"check\":\"" + check + "\"," + itemFields(d, status)
        + process + "}\n";
}

QByteArray jsonItemNotReadLine(const ItemNotRead& n)
{
    return "{\"type\":\"item\",\"kind\":\"" + QByteArray(kindText(n.kind)) + "\",\"path\":" + jsonString(n.path)
        + ",\"path_base64\":\"" + n.rawPath.toBase64() + "\",\"status\":\"not_read\",\"reason\":" + jsonString(n.reason)
        + "}\n";
}

QByteArray jsonFolderLine(const QByteArray& printablePath, const QByteArray& rawPath, const char* status,
                          const FolderDifference* difference, const QByteArray& reason)
{
    QByteArray line = "{\"type\":\"folder\",\"path\":" + jsonString(printablePath) + ",\"path_base64\":\""
        + rawPath.toBase64() + "\",\"status\":\"" + status
        + "\",\"starts_here\":" + (difference && difference->startsHere ? "true" : "false") + ",\"same_below\":"
        + QByteArray::number(difference && difference->startsHere ? difference->sameBelow : 0) + ",\"changes\":[";
    if (difference)
        line += jsonChanges(difference->changes);
    line += "]";
    if (difference)
        line += jsonStatusFields(difference->status);
    if (qstrcmp(status, "not_read") == 0)
        line += ",\"reason\":" + jsonString(reason);
    return line + "}\n";
}

namespace {

// The summary's part for items compared with what a folder gives them.
QByteArray itemsSummary(const JsonSummary& s)
{
    const ItemFindings& f = *s.items;
    QByteArray out = ",\"check\":\"" + QByteArray(s.inheritance ? "inheritance" : "checked_folder") + "\"";
    if (f.files)
        out += ",\"files\":" + QByteArray::number(f.filesChecked)
            + ",\"other_kinds\":" + QByteArray::number(f.otherKinds)
            + ",\"hidden_files_not_checked\":" + QByteArray::number(s.hiddenFilesNotChecked);
    const int differing = f.foldersDiffering + f.filesDiffering;
    if (s.inheritance)
        out += ",\"not_inherited\":" + QByteArray::number(differing)
            + ",\"folders_not_inherited\":" + QByteArray::number(f.foldersDiffering) + ",\"files_not_inherited\":"
            + QByteArray::number(f.filesDiffering) + ",\"inheritance_report\":" + jsonString(s.inheritanceReport);
    else if (f.files)
        out += ",\"files_differ\":" + QByteArray::number(f.filesDiffering);
    out += ",\"items_not_read\":" + QByteArray::number(f.notRead.size());
    if (f.umask) {
        out += ",\"umask\":\"" + QByteArray::fromStdString(modeText(*f.umask)) + "\"";
    }
    return out;
}

} // namespace

QByteArray jsonSummaryLine(const JsonSummary& s)
{
    const bool itemsDiffer = s.items && s.items->foldersDiffering + s.items->filesDiffering > 0;
    const bool itemsIncomplete = s.items && !s.items->complete();
    const char* verdict = s.inheritance                         ? (itemsDiffer           ? "not_inherited"
                                                                       : itemsIncomplete ? "incomplete"
                                                                                         : "inherited")
        : (s.mismatches > 0 || itemsDiffer)                     ? "differ"
        : (s.notRead > 0 || s.notListed > 0 || itemsIncomplete) ? "incomplete"
                                                                : "same";
    return "{\"type\":\"summary\",\"folder\":" + jsonString(s.folder)
        + ",\"subfolders\":" + QByteArray::number(s.subfolders) + ",\"max_level\":" + QByteArray::number(s.maxLevel)
        + ",\"mismatches\":" + QByteArray::number(s.mismatches) + ",\"not_read\":" + QByteArray::number(s.notRead)
        + ",\"not_listed\":" + QByteArray::number(s.notListed) + ",\"verdict\":\"" + verdict
        + "\",\"reports\":{\"full\":" + jsonString(s.fullReport) + ",\"mismatches\":" + jsonString(s.mismatchReport)
        + ",\"differences\":" + jsonString(s.differencesReport)
        + "},\"seconds\":" + QByteArray::number(s.seconds, 'f', 3) + ",\"not_checked\":" + jsonString(s.notChecked)
        + ",\"not_compared\":" + jsonString(s.notCompared) + ",\"hidden_not_checked\":"
        + QByteArray::number(s.hiddenNotChecked) + (s.items ? itemsSummary(s) : QByteArray()) + "}\n";
}

} // namespace gw
