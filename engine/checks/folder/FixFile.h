#pragma once
// The fix file: a text for `setfacl --restore` that gives every folder that
// differs the checked folder's permissions. Grantwise only writes it; the
// administrator reviews it and applies it.

#include "engine/rules/CheckAnalysis.h"
#include "platform/ReportsFolder.h"
#include "platform/RestoreFile.h"
#include "platform/SystemErrorText.h"

#include <QByteArray>

namespace gw {

// One "# file:" record for every folder that differs and whose subfolders
// were listed, in tree order, with absolute paths and numeric ids. The owner
// and group lines stand only where the owner or the owning group differs
// (and is compared); a comment at the top says what was left out and why.
QByteArray fixFileText(const Analysis& analysis, const RestorePermissions& checked, const IgnoredParts& ignored = {});

// Reads the permissions of `checkedFolder` (raw) and writes the fix file at
// `path` (raw): mode 0600, replaced whole, through a folder that is the
// caller's own, as the reports are written. Only a regular file at `path` is
// replaced: a device, FIFO, socket, symbolic link or folder there is refused.
// `open`, when it is that folder, is used as it is, and the fix file may not
// take the place of one of the reports in it. Returns an empty text, or what
// went wrong, in `language`.
[[nodiscard]] std::string saveFixFile(const QByteArray& path, const Analysis& analysis, const QByteArray& checkedFolder,
                                      const IgnoredParts& ignored = {}, ReportsFolder* open = nullptr,
                                      Language language = Language::English);

// Writes `text`, a whole fix file, at `path` as saveFixFile does.
[[nodiscard]] std::string saveFixText(const QByteArray& path, const QByteArray& text, ReportsFolder* open = nullptr,
                                      Language language = Language::English);

// Writes `parts`, one after the other, as the file at `path`, as saveFixText
// writes the fix file; `what` names it in refusals ("the baseline").
[[nodiscard]] std::string saveRestoreParts(const QByteArray& path, const std::vector<ReportsFolder::Part>& parts,
                                           const char* what, ReportsFolder* open = nullptr,
                                           Language language = Language::English);

// Why saveRestoreParts would refuse `path` now, as fixFileRefusal says it,
// in `language`.
[[nodiscard]] std::string restoreFileRefusal(const QByteArray& path, const char* what, ReportsFolder* open = nullptr,
                                             Language language = Language::English);

// Why saveFixFile would refuse `path` now, in the words it would use; empty
// when it would write there. Nothing is made or written, so a check can be
// refused before it runs; saveFixFile checks again, as the folder may change.
[[nodiscard]] std::string fixFileRefusal(const QByteArray& path, ReportsFolder* open = nullptr);

} // namespace gw
