#pragma once
// What the inheritance check found, and the words for it: the inheritance
// report (acl_inherit.txt, LF line ends, UTF-8) and the verdict. The same
// item lines serve the files of the check against the checked folder in the
// differences report.

#include "engine/checks/inheritance/ItemDifference.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace gw {

struct ItemNotRead {
    QByteArray path; // printable
    QByteArray rawPath;
    ItemKind kind = ItemKind::Folder;
    QByteArray reason; // in words; empty when not known
};

struct ItemFindings {
    bool files = false; // files were checked too
    int folders = 0; // folders checked, the top included
    int filesChecked = 0; // regular files checked
    int otherKinds = 0; // entries that are neither folders nor regular files: counted, not compared
    int foldersDiffering = 0;
    int filesDiffering = 0;
    // In tree order; only when kept (the window shows them): the command
    // line writes each one as it is found and holds none.
    QList<ItemDifference> items;
    bool keepItems = true;
    QList<ItemNotRead> notRead; // folders and files, in tree order
    QList<QByteArray> notListed; // printable paths of folders whose entries could not be listed
    std::optional<std::uint32_t> umask;

    void add(ItemDifference d);
    bool complete() const { return notRead.isEmpty() && notListed.isEmpty(); }
    bool anyDiffer() const { return foldersDiffering + filesDiffering > 0; }
};

// "folder PATH" or "file PATH", its reasons (in the inheritance check), then
// its + / - / ~ lines.
QByteArray itemLines(const ItemDifference& d, bool reasons);

// The inheritance report of the check of `folder` (printable): its head (the
// counts), the item lines of each finding (itemLines), then its tail (what
// was not read or listed).
QByteArray inheritanceReportHead(const QByteArray& folder, const ItemFindings& f, const QByteArray& notChecked);
QByteArray inheritanceReportTail(const ItemFindings& f);
// The whole report, from the items kept.
QByteArray inheritanceReport(const QByteArray& folder, const ItemFindings& f, const QByteArray& notChecked);

// The console's verdict of the inheritance check, in `lang` ("RU" or English).
QString inheritanceVerdict(const QString& lang, const ItemFindings& f);

// The sentence the check against the checked folder adds about its files.
QString filesVerdict(const QString& lang, const ItemFindings& f);

} // namespace gw
