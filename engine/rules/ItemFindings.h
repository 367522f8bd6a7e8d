#pragma once
// Items compared with what a folder gives them: what was found, what was
// not read, and the lines that show one finding, as every report that lists
// items shows it.

#include "engine/rules/ItemDifference.h"

#include <QByteArray>
#include <QList>

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

} // namespace gw
