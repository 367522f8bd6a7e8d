#pragma once
// The folders of a check against the checked folder as records: each folder
// of the tree that differs ("differs"), was not read ("not_read", with why
// when known) or was not listed ("not_listed"), in tree order. The walk's
// check and the window's paced reading give them alike.

#include "engine/rules/CheckAnalysis.h"
#include "platform/FolderTree.h"

#include <QByteArray>

#include <functional>

namespace gw {

using FolderLine = std::function<void(const QByteArray& printablePath, const QByteArray& rawPath, const char* status,
                                      const FolderDifference* difference, const QByteArray& reason)>;

void folderRecords(const Analysis& analysis, const FolderTree& tree, const FolderLine& line);

} // namespace gw
