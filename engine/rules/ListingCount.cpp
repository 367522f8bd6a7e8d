#include "engine/rules/ListingCount.h"

namespace gw {

int countListings(const QByteArray& dump, const QByteArray& root, const std::function<void(int)>& step)
{
    if (root.isEmpty())
        return 0;
    int n = 0;
    qsizetype lineStart = 0;
    while (lineStart < dump.size()) {
        qsizetype end = dump.indexOf('\n', lineStart);
        if (end < 0)
            end = dump.size();
        if (QByteArrayView(dump).sliced(lineStart, end - lineStart).startsWith(root)) {
            ++n;
            if (step)
                step(n);
        }
        lineStart = end + 1;
    }
    return n;
}

} // namespace gw
