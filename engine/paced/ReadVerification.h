#pragma once
// The read verification: did every listing arrive?

#include <QByteArray>
#include <QString>

#include <functional>

namespace gw {

struct CheckState;

// Counts the lines of `dump` that begin with `root` (the chosen folder's
// printable path): one per listing that arrived, plus the sentinel line.
// Continuation lines are indented and never count. `step(n)` is called after
// each line counted.
int countListings(const QByteArray& dump, const QByteArray& root, const std::function<void(int)>& step = {});

// The share of `folders` listings missing when `counted` lines were found,
// in percent, rounded half to even and bounded to 0..100.
int missingPercentage(int folders, int counted);

// The text of the missing-data warning in the state's current language.
QString warningText(const CheckState& state, int percentage);

} // namespace gw
