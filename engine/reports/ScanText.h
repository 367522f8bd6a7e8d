#pragma once
// The texts the folder scan builds from the folder list: the caption, the
// count and level lines, the indented listing and the scan summary.

#include <QByteArray>
#include <QString>

#include <functional>

namespace gw {

class FolderTree;

// The checked-folder caption that all four pages carry.
QString checkedFolderCaption(const QString& lang, const QString& printablePath);

// "It contains N subfolders" for a folder list of `count` folders.
QString countLine(const QString& lang, int count);

// The level line that follows the count line: "\r\n", the label, the level.
QString levelLine(const QString& lang, int maxLevel);

// Appends the indented listing to `out`: for every folder, in order, "\r\n",
// five blanks per level and its printable path. Sets `maxLevel` to the
// deepest level met. `step(i)` is called before folder i is added. The text
// is built where it is shown from, in one pass: no copy of it is made.
void appendFolderListing(QString& out, const FolderTree& tree, int& maxLevel,
                         const std::function<void(int)>& step = {});

// The scan summary: chosen folder, the count line and the level line.
QString reportHeader(const QString& lang, const QString& printablePath, const QString& countAndLevel);

} // namespace gw
