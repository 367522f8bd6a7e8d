#pragma once
// The mismatch analysis: every folder's listing against the chosen folder's.

#include "engine/rules/Differences.h"

#include <QByteArray>
#include <QSet>

#include <array>
#include <functional>

namespace gw {

// The lines of a working file, each trimmed of bytes 0x00-0x20 at both ends
// and followed by "\r\n"; lines are kept whole. An empty file gives one empty
// line. `step(k)` is called after line k.
QByteArray trimmedLines(const QByteArray& file, const std::function<void(qsizetype)>& step = {});
// The same, appended to `out`.
void appendTrimmedLines(QByteArray& out, QByteArrayView file, const std::function<void(qsizetype)>& step = {});

// True when `file` holds a whole listing of the folder `root`: it begins
// with the printable path and a blank, and an empty line ends the listing.
bool isCompleteListing(const QByteArray& file, const QByteArray& root);

// The reference: the loaded listing with the first occurrence of the chosen
// folder's path removed. It begins with the blank after the path and ends
// with two line ends.
QByteArray referenceText(const QByteArray& loaded, const QByteArray& root);

// The dump for the full report: the sentinel line (the first line that is the
// bare path of the chosen folder) removed.
QByteArray withoutSentinel(QByteArray dumpText, const QByteArray& root);

// The printable paths of the folders whose listings stand in the trimmed
// dump: each listing's first line is the path, a blank and the owner's entry.
QSet<QByteArray> listedPaths(const QByteArray& dumpText);

// The comparison rule for one block of the dump: a block matches when it
// contains the reference and what is left holds no ":(". An empty reference
// matches nothing. With `ignored` names, blocks and reference are compared as
// comparableListing() gives them.
class BlockComparison {
public:
    BlockComparison(const QByteArray& reference, const IgnoredParts& ignored);
    bool mismatches(QByteArrayView block) const;

private:
    // Where the reference first stands in `block`, or -1.
    qsizetype find(QByteArrayView block) const;

    QByteArray reference_;
    IgnoredParts ignored_;
    // How far the search moves on past a byte at the end of the window.
    std::array<qsizetype, 256> skip_ {};
};

struct Comparison {
    int mismatchCount = 0;
    QByteArray mismatchText; // the mismatching blocks, in the order found
};

// Cuts `dumpText` into blocks at "\r\n\r\n" + root and compares each with the
// reference, for `folders` + 1 iterations. A block matches when it contains
// the reference and what is left holds no ":(". An empty reference matches
// nothing. `step(k)` is called after iteration k.
// With `ignored` names, blocks and reference are compared as comparableListing() gives them.
Comparison compareBlocks(const QByteArray& dumpText, const QByteArray& reference, const QByteArray& root, int folders,
                         const std::function<void(int)>& step = {}, const IgnoredParts& ignored = {});

} // namespace gw
