// Fuzzes reading a dump and a reference listing the way the verification
// and the analysis read them: any bytes in the working files, any root.

#include "engine/paced/ReadVerification.h"
#include "engine/rules/Differences.h"
#include "engine/rules/MismatchAnalysis.h"

#include <QByteArray>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Three texts, cut at the first two NUL bytes: the root, the reference
    // listing and the dump.
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QList<QByteArray> parts = input.split('\0');
    const QByteArray root = parts.value(0).left(200);
    const QByteArray referenceFile = parts.value(1);
    const QByteArray dumpFile = parts.value(2);

    const QByteArray dumpText = gw::trimmedLines(dumpFile);
    const int counted = gw::countListings(dumpText, root);
    if (counted < 0)
        std::abort();
    const QByteArray loaded = gw::trimmedLines(referenceFile);
    const QByteArray reference = gw::isCompleteListing(referenceFile, root) ? gw::referenceText(loaded, root)
                                                                            : QByteArray();
    for (const gw::IgnoredParts ignored : {gw::IgnoredParts {}, gw::IgnoredParts {true, true}}) {
        const gw::Comparison comparison = gw::compareBlocks(dumpText, reference, root, counted + 1, {}, ignored);
        if (comparison.mismatchCount < 0 || comparison.mismatchCount > counted + 2)
            std::abort();
        const QList<QByteArray> referenceEntries = gw::listingEntries(reference);
        QList<gw::FolderDifference> folders;
        const QByteArrayView blocks(comparison.mismatchText);
        for (qsizetype start = 0; start < blocks.size();) {
            qsizetype end = blocks.indexOf("\r\n\r\n", start);
            end = end < 0 ? blocks.size() : end + 4;
            gw::FolderDifference d;
            d.path = gw::blockPath(blocks.sliced(start, end - start));
            d.changes = gw::entryChanges(referenceEntries, gw::listingEntries(blocks.sliced(start, end - start)),
                                         ignored);
            folders.append(d);
            start = end;
        }
        gw::foldDifferences(folders, root);
        int places = 0, folded = 0;
        for (const gw::FolderDifference& f : folders) {
            places += f.startsHere ? 1 : 0;
            folded += f.startsHere ? f.sameBelow : 0;
        }
        if (places + folded != folders.size())
            std::abort(); // every folder that differs is a place or folded into one
        (void)gw::differencesReport(root, folders, {}, {});
    }
    (void)gw::withoutSentinel(dumpText, root);
    (void)gw::listedPaths(dumpText);
    return 0;
}
