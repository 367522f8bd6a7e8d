#pragma once
// The check's results as JSON Lines, for scripts and log shippers: one
// object a line, UTF-8, keys in a fixed order.

#include "engine/rules/Differences.h"
#include "engine/rules/ItemFindings.h"

#include <QByteArray>

namespace gw {

// A JSON string: quoted, with '"', '\' and every control character escaped.
// Bytes that are not UTF-8 become U+FFFD; the printable form never has any.
QByteArray jsonString(QByteArrayView utf8);

// The fields ,"owner":...,"group":...,"mode":"2775" of an item that was
// read (ItemStatus), after the fields every record of its kind has; none
// for one that was not.
QByteArray jsonStatusFields(const std::optional<ItemStatus>& status);

// {"type":"folder",...} for a folder that differs ("differs"), was not read
// ("not_read") or whose subfolders were not listed ("not_listed"). A
// "not_read" line ends with "reason", why (empty when not known); a
// "differs" line read in-process ends with the folder's status.
QByteArray jsonFolderLine(const QByteArray& printablePath, const QByteArray& rawPath, const char* status,
                          const FolderDifference* difference, const QByteArray& reason = {});

// {"type":"item","kind":"folder"|"file",...} for an item that differs from
// what its folder gives it (`status` "not_inherited" in the inheritance
// check, "differs" for a file in the check against the checked folder), with
// its reasons and changes, then its status where it was read; and for one
// that was not read.
QByteArray jsonItemLine(const ItemDifference& d, const char* status);
QByteArray jsonItemNotReadLine(const ItemNotRead& n);
// {"type":"change",...} for an item whose verdict changed while it was
// watched: the time, the check, the item's fields as above, and `process`
// (",\"pid\":...", or empty) last.
QByteArray jsonChangeLine(const ItemDifference& d, const char* check, const char* status, const QByteArray& time,
                          const QByteArray& process);

struct JsonSummary {
    QByteArray folder; // printable
    int subfolders = 0;
    int maxLevel = 0;
    int mismatches = 0;
    int notRead = 0;
    int notListed = 0;
    QByteArray fullReport, mismatchReport, differencesReport; // printable paths
    double seconds = 0;
    QByteArray notChecked, notCompared; // what the options left out, in words; empty when nothing
    int hiddenNotChecked = 0; // hidden folders left out, with all below them
    long long hiddenFilesNotChecked = 0; // with files: hidden files left out
    // Items compared with what a folder gives them (files, or the inheritance
    // check); null when none were.
    const ItemFindings* items = nullptr;
    bool inheritance = false;
    QByteArray inheritanceReport; // printable path
};

// The last line: {"type":"summary",...} with the verdict "same", "differ"
// (mismatches found) or "incomplete" (none found, but not all was read).
QByteArray jsonSummaryLine(const JsonSummary& summary);

} // namespace gw
