#pragma once
// What a check's scope left out of the tree, in words: the same line on the
// console, in the reports and in the window.

#include "platform/FolderTree.h"

#include <QByteArray>
#include <QString>

namespace gw {

// What the scope's patterns, depth and file-system limit left out, and the
// reports folder when the tree met it (`ownFoldersLeftOut` > 0), as one list
// of words; empty when nothing. `files`: the check takes in files too.
QByteArray notCheckedWords(const FolderScope& scope, int ownFoldersLeftOut, bool files, bool russian);

// The same as a line in `lang` ("Not checked: other file systems"); empty
// when nothing was left out.
QString notCheckedLine(const FolderScope& scope, int ownFoldersLeftOut, bool files, const QString& lang);

} // namespace gw
