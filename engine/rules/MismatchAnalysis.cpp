#include "engine/rules/MismatchAnalysis.h"
#include "engine/reports/MessageText.h"
#include "platform/PrintableText.h"

#include "engine/reports/Reports.h"
#include "platform/PrintablePath.h"
#include "platform/WorkingFile.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace gw {

void appendTrimmedLines(QByteArray& out, QByteArrayView file, const std::function<void(qsizetype)>& step)
{
    // A line gives at most its bytes and two: room for that, written
    // through a pointer, then cut to what was written.
    const char* const data = file.data();
    const qsizetype size = file.size();
    const qsizetype start = out.size();
    out.resize(start + size + std::count(data, data + size, '\n') + 2);
    char* to = out.data() + start;
    qsizetype pos = 0, k = 0;
    do {
        const void* newline = size > pos ? std::memchr(data + pos, '\n', static_cast<std::size_t>(size - pos))
                                         : nullptr;
        const qsizetype end = newline ? static_cast<const char*>(newline) - data : size;
        qsizetype a = pos, b = end;
        while (a < b && static_cast<unsigned char>(data[a]) <= 0x20)
            ++a;
        while (b > a && static_cast<unsigned char>(data[b - 1]) <= 0x20)
            --b;
        if (b > a)
            std::memcpy(to, data + a, static_cast<std::size_t>(b - a));
        to += b - a;
        *to++ = '\r';
        *to++ = '\n';
        pos = end + 1;
        if (step)
            step(++k);
    } while (pos < size);
    out.resize(to - out.constData());
}

QByteArray trimmedLines(const QByteArray& file, const std::function<void(qsizetype)>& step)
{
    QByteArray text;
    appendTrimmedLines(text, file, step);
    return text;
}

bool isCompleteListing(const QByteArray& file, const QByteArray& root)
{
    return !root.isEmpty() && file.startsWith(root + ' ') && file.contains("\n\n");
}

QByteArray referenceText(const QByteArray& loaded, const QByteArray& root)
{
    QByteArray text = loaded;
    const qsizetype at = root.isEmpty() ? -1 : text.indexOf(root);
    if (at >= 0)
        text.remove(at, root.size());
    return text;
}

QByteArray withoutSentinel(QByteArray dumpText, const QByteArray& root)
{
    const QByteArray line = root + "\r\n";
    for (qsizetype at = dumpText.indexOf(line); at >= 0; at = dumpText.indexOf(line, at + 1)) {
        if (at == 0 || dumpText[at - 1] == '\n') {
            dumpText.remove(at, line.size());
            break;
        }
    }
    return dumpText;
}

QSet<QByteArray> listedPaths(const QByteArray& dumpText)
{
    QSet<QByteArray> paths;
    static const QByteArrayView owner(" user ");
    qsizetype start = 0;
    while (start < dumpText.size()) {
        qsizetype end = dumpText.indexOf("\r\n", start);
        if (end < 0)
            end = dumpText.size();
        const QByteArrayView head = QByteArrayView(dumpText).sliced(start, end - start);
        // The owner's entry ends the head line, and a name holds no blank.
        const qsizetype at = head.lastIndexOf(owner);
        if (at > 0)
            paths.insert(head.first(at).toByteArray());
        // On to the next listing: past the empty line that ends this one.
        const qsizetype next = dumpText.indexOf("\r\n\r\n", end);
        if (next < 0)
            break;
        start = next + 4;
    }
    return paths;
}

BlockComparison::BlockComparison(const QByteArray& reference, const IgnoredParts& ignored)
    : reference_(ignored.any() ? comparableListing(reference, ignored) : reference)
    , ignored_(ignored)
{
    // Every folder's block is searched for the one reference: the distance
    // from each byte's last place in it (the final byte aside) to its end is
    // worked out once.
    const qsizetype m = reference_.size();
    skip_.fill(m);
    for (qsizetype i = 0; i + 1 < m; ++i)
        skip_[static_cast<unsigned char>(reference_[i])] = m - 1 - i;
}

qsizetype BlockComparison::find(QByteArrayView block) const
{
    const qsizetype m = reference_.size(), n = block.size();
    const char* const ref = reference_.constData();
    const char* const data = block.data();
    for (qsizetype at = 0; at + m <= n; at += skip_[static_cast<unsigned char>(data[at + m - 1])]) {
        if (data[at + m - 1] == ref[m - 1] && std::memcmp(data + at, ref, static_cast<std::size_t>(m - 1)) == 0)
            return at;
    }
    return -1;
}

namespace {

// True when `text` holds ":(" (a colon found with memchr, then the next byte).
bool holdsSadFace(QByteArrayView text)
{
    const char* at = text.data();
    const char* const end = at + text.size();
    while (end - at >= 2) {
        at = static_cast<const char*>(std::memchr(at, ':', static_cast<std::size_t>(end - at - 1)));
        if (!at)
            return false;
        if (at[1] == '(')
            return true;
        ++at;
    }
    return false;
}

} // namespace

bool BlockComparison::mismatches(QByteArrayView shown) const
{
    const QByteArray comparable = ignored_.any() ? comparableListing(shown, ignored_) : QByteArray();
    const QByteArrayView block = ignored_.any() ? QByteArrayView(comparable) : shown;
    const qsizetype r = reference_.isEmpty() ? -1 : find(block);
    if (r < 0)
        return true;
    // What is left once the reference is taken out, without copying it: a
    // ":(" before it, after it, or where the two ends meet.
    const QByteArrayView before = block.first(r), after = block.sliced(r + reference_.size());
    return holdsSadFace(before) || holdsSadFace(after) || (before.endsWith(':') && after.startsWith('('));
}

Comparison compareBlocks(const QByteArray& dumpText, const QByteArray& reference, const QByteArray& root, int folders,
                         const std::function<void(int)>& step, const IgnoredParts& ignored)
{
    const BlockComparison rule(reference, ignored);
    Comparison result;
    const QByteArray key = "\r\n\r\n" + root;
    qsizetype offset = 0; // the dump is consumed from its front by moving this
    for (int k = 1; k <= folders + 1; ++k) {
        const qsizetype p = dumpText.indexOf(key, offset);
        if (p >= 0) {
            const QByteArrayView shown = QByteArrayView(dumpText).sliced(offset, p + 4 - offset);
            if (rule.mismatches(shown)) {
                result.mismatchText.append(shown);
                ++result.mismatchCount;
            }
            offset = p + 4;
        }
        if (step)
            step(k);
    }
    return result;
}

} // namespace gw
