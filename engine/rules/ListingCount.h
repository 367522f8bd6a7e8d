#pragma once
// Counting the listings of a dump: did every listing arrive?

#include <QByteArray>

#include <functional>

namespace gw {

// Counts the lines of `dump` that begin with `root` (the chosen folder's
// printable path): one per listing that arrived, plus the sentinel line.
// Continuation lines are indented and never count. `step(n)` is called after
// each line counted.
int countListings(const QByteArray& dump, const QByteArray& root, const std::function<void(int)>& step = {});

} // namespace gw
