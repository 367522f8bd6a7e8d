// The texts of the verification and the analysis, on hand-made dumps.

#include "TempTree.h"
#include "engine/paced/CheckState.h"
#include "engine/paced/ReadVerification.h"
#include "engine/reports/Reports.h"
#include "engine/rules/CheckAnalysis.h"
#include "engine/rules/MismatchAnalysis.h"
#include "platform/FolderTree.h"

#include <gtest/gtest.h>

using namespace gw;

TEST(ReadVerification, CountsListingsByTheirFirstLinesOnly)
{
    // A root of "/" occurs in every path, and folders repeat their ancestors'
    // names: only lines that begin with the root count.
    const QByteArray dump = "/ user root (owner):rwx\n    other:r-x\n\n"
                            "/etc user root (owner):rwx\n    other:r-x\n\n"
                            "/etc/etc user root (owner):rwx\n    other:r-x\n\n"
                            "/\n";
    EXPECT_EQ(countListings(dump, "/"), 4);
    EXPECT_EQ(countListings(dump, "/etc"), 2);
    EXPECT_EQ(countListings("", "/x"), 0);
    EXPECT_EQ(countListings("/x", ""), 0);

    EXPECT_EQ(missingPercentage(8, 8), 12); // 1 of 8 is 12.5: halves go to even
    EXPECT_EQ(missingPercentage(4, 4), 25);
    EXPECT_EQ(missingPercentage(4, 5), 0);
    EXPECT_EQ(missingPercentage(4, 0), 100); // not even the sentinel arrived

    CheckState s;
    setWarningTexts(s, true);
    EXPECT_EQ(warningText(s, 25),
              "It is found out during the handling:  25% of data HES BEEN MISSED. \r\n"
              "It is recommended to read the data again not so quickly. Click YES if you agree.\r\n"
              "Click NO if you are sure it doesnt need to read again. In that case the ready part "
              "of the data will be analyzed.");
}

TEST(MismatchAnalysis, LinesAreTrimmedButKeptWhole)
{
    EXPECT_EQ(trimmedLines(""), "\r\n");
    EXPECT_EQ(trimmedLines("a\n"), "a\r\n");
    EXPECT_EQ(trimmedLines("  a \t\n    b\r\n\n"), "a\r\nb\r\n\r\n");
    const QByteArray longLine(5000, 'x');
    EXPECT_EQ(trimmedLines(longLine + "\n"), longLine + "\r\n");
    // Only bytes up to 0x20 are trimmed, never part of a UTF-8 character.
    EXPECT_EQ(trimmedLines("\xc2\xa0x\xc2\xa0\n"), "\xc2\xa0x\xc2\xa0\r\n");
    // Appended after what is there, in room a longer text left: blank lines
    // and one with no line end, the most a text can grow by.
    QByteArray out(100, 'y');
    out.resize(1);
    appendTrimmedLines(out, "\n \n\t\nz");
    EXPECT_EQ(out, "y\r\n\r\n\r\nz\r\n");
}

TEST(MismatchAnalysis, ReferenceSentinelAndBlocks)
{
    const QByteArray root = "/d";
    EXPECT_TRUE(isCompleteListing("/d user u (owner):rwx\n\n", root));
    EXPECT_FALSE(isCompleteListing("", root));
    EXPECT_FALSE(isCompleteListing("/d user u (owner):rwx\n", root)); // not ended
    EXPECT_FALSE(isCompleteListing("/dx user u (owner):rwx\n\n", root));

    const QByteArray reference = referenceText(trimmedLines("/d user u (owner):rwx\n    other:r-x\n\n"), root);
    EXPECT_EQ(reference, " user u (owner):rwx\r\nother:r-x\r\n\r\n");

    // The sentinel is the first line that is the bare path, not a line that ends with it.
    EXPECT_EQ(withoutSentinel("x/d\r\n/d\r\n", root), "x/d\r\n");

    const QByteArray dump = trimmedLines("/d user u (owner):rwx\n    other:r-x\n\n"
                                         "/d/same user u (owner):rwx\n    other:r-x\n\n"
                                         "/d/more user u (owner):rwx\n    user b:r-x\n    other:r-x\n\n"
                                         "/d/order other:r-x\n    user u (owner):rwx\n\n"
                                         "/d/inherit user u (owner):rwx\n    other:r-x\n\n"
                                         "junk creator owner:(default)rwx\n\n"
                                         "/d/last user u (owner):rwx\n    other:r-x\n\n"
                                         "/d\n");
    const Comparison c = compareBlocks(dump, reference, root, 7);
    EXPECT_EQ(c.mismatchCount, 3);
    EXPECT_EQ(c.mismatchText,
              "/d/more user u (owner):rwx\r\nuser b:r-x\r\nother:r-x\r\n\r\n"
              "/d/order other:r-x\r\nuser u (owner):rwx\r\n\r\n"
              "/d/inherit user u (owner):rwx\r\nother:r-x\r\n\r\n"
              "junk creator owner:(default)rwx\r\n\r\n");
    // No reference: every block is a mismatch; without the sentinel the last
    // listing has no key and is not compared.
    EXPECT_EQ(compareBlocks(dump, "", root, 7).mismatchCount, 6);
    EXPECT_EQ(compareBlocks(dump.left(dump.size() - 4), reference, root, 7).mismatchCount, 3);
    // A single line end as reference would be found everywhere: that is why
    // an empty reference file never reaches the comparison.
    EXPECT_EQ(compareBlocks(dump, "\r\n", root, 7).mismatchCount, 1);
}

TEST(MismatchAnalysis, ABlockIsJudgedWhereTheReferenceFirstStands)
{
    // Taken out at its first place, ":" and "(" meet; at its last they would not.
    EXPECT_TRUE(BlockComparison("X", {}).mismatches(":X(X"));
    // Against the plain rule on many small blocks and references of few
    // letters, where a search that skips too far would miss a place.
    const auto byRule = [](QByteArrayView block, QByteArrayView reference) {
        const qsizetype r = block.indexOf(reference);
        if (r < 0)
            return true;
        const QByteArrayView before = block.first(r), after = block.sliced(r + reference.size());
        return before.contains(":(") || after.contains(":(") || (before.endsWith(':') && after.startsWith('('));
    };
    std::uint32_t seed = 12345;
    const auto next = [&seed](std::uint32_t n) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % n;
    };
    const char letters[] = "ab:(\r\n";
    for (int round = 0; round < 20000; ++round) {
        QByteArray reference, block;
        for (std::uint32_t i = 1 + next(6); i > 0; --i)
            reference += letters[next(6)];
        for (std::uint32_t i = next(24); i > 0; --i)
            block += letters[next(6)];
        if (next(2)) // the reference in it somewhere, perhaps more than once
            block.insert(next(static_cast<std::uint32_t>(block.size()) + 1), reference);
        ASSERT_EQ(BlockComparison(reference, {}).mismatches(block), byRule(block, reference))
            << block.toStdString() << " / " << reference.toStdString();
    }
}

TEST(Reports, VerdictsNeverReadGreenWhenSomethingWasNotChecked)
{
    ReportInputs in;
    in.targetPrintable = "/srv/x";
    in.folderCount = 1;
    EXPECT_EQ(reportVerdict(in), "The all subfolders have the same POSIX permissions like target folder.");
    EXPECT_EQ(verdictLight(in), Light::Green);
    in.notRead = 2;
    // Incomplete: no verdict says that all folders are the same.
    EXPECT_EQ(reportVerdict(in),
              "No mismatches were found among the folders that were read. "
              "The permissions of 2 folders were not read and not compared.");
    EXPECT_EQ(screenVerdict("EN", in),
              "There are no mismatches between POSIX permissions of the checked folder and the "
              "subfolders. The permissions of 2 folders were not read and not compared.");
    EXPECT_EQ(verdictLight(in), Light::Red);
    EXPECT_TRUE(unreadFolderLists(in).isEmpty());
    in.notReadPaths = {"/srv/x/a", "/srv/x/b\\012"};
    in.notListedPaths = {"/srv/x"};
    EXPECT_EQ(unreadFolderLists(in),
              "Folders whose permissions were not read:\r\n/srv/x/a\r\n/srv/x/b\\012\r\n\r\n"
              "Folders whose subfolders could not be listed:\r\n/srv/x\r\n\r\n");
    in.notReadPaths.clear();
    in.notListedPaths.clear();
    in.notRead = 0;
    in.notListed = 1;
    in.mismatchCount = 3;
    EXPECT_EQ(screenVerdict("RU", in),
              "Обнаружены несоответствия POSIX разрешений вложенных папок разрешениям "
              "проверяемой папки. Количество несоответствий: 3. Не удалось получить список "
              "вложенных папок у 1 папки, они не проверены.");
    EXPECT_EQ(screenVerdict("EN", in),
              "There are mismatches between POSIX permissions of the checked folder and the "
              "subfolders. The number of mismatches: 3. The subfolders of 1 folder could "
              "not be listed and were not checked.");
    EXPECT_EQ(verdictLight(in), Light::Red);

    // No reference listing: the heading is followed directly by six line ends.
    in.referenceText.clear();
    EXPECT_TRUE(targetSummary(in).endsWith("POSIX permissions of target folder are:\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n"));
    EXPECT_TRUE(targetSummary(in).contains("It contains 0 subfolders.\r\nMax subfolder level is:0\r\n"));
}

TEST(MismatchAnalysis, ListedPathsAreTheHeadsOfTheDumpsListings)
{
    // A path may hold " user "; a name never holds a blank.
    const QByteArray dump = "/d/a user x user u (owner):rwx\r\nuser bob:r-x\r\n\r\n/d/b user 7 (owner):r-x\r\n"
                            "other:---\r\n\r\n/d\r\n";
    EXPECT_EQ(listedPaths(dump), (QSet<QByteArray> {"/d/a user x", "/d/b"}));
    EXPECT_TRUE(listedPaths("\r\n").isEmpty());
}

TEST(MismatchAnalysis, BlockByBlockIsTheWholeDumpsAnalysis)
{
    gwtest::TempTree t;
    for (const char* name : {"a", "b", "c", "d", "e", "f"})
        t.mkdir(name);
    FolderTree tree(QByteArray::fromStdString(t.root()));
    tree.expandRecursively(0);
    const QByteArray root = QByteArray::fromStdString(t.root());
    const QByteArray listing = " user u (owner):rwx\n    other:r-x\n\n";
    // The listing program may write an empty line within a listing, or none
    // at its end: the differences run on from one mismatching block to the next.
    const QByteArray dump = trimmedLines(root + listing + root + "/a" + listing + root + "/b user u (owner):rwx\n\n"
                                         + "    user b:r-x\n    other:r-x\n\n\n" + root
                                         + "/c user u (owner):rwx\n    other:r-x\n" + root + "/d" + listing + root
                                         + "/e:" + listing + "(x\n\n" + root
                                         + "/f user v (owner):rwx\n    other:r-x\n\n" + root + "\n");
    AnalysisInput input;
    input.root = root;
    input.target = root;
    input.reference = referenceText(trimmedLines(root + listing), root);
    input.listingsCounted = countListings(dump, root);
    const Analysis whole = analyseDump(dump, input, tree);

    // The same, by the comparison of the whole dump and its mismatching blocks taken apart.
    const Comparison c = compareBlocks(dump, input.reference, root, tree.count());
    EXPECT_EQ(whole.inputs.mismatchCount, c.mismatchCount);
    EXPECT_EQ(whole.mismatchText, c.mismatchText);
    QList<FolderDifference> expected;
    const QList<QByteArray> referenceEntries = listingEntries(input.reference);
    for (qsizetype start = 0; start < c.mismatchText.size();) {
        qsizetype end = c.mismatchText.indexOf("\r\n\r\n", start);
        end = end < 0 ? c.mismatchText.size() : end + 4;
        const QByteArrayView one = QByteArrayView(c.mismatchText).sliced(start, end - start);
        expected.append(FolderDifference {blockPath(one), entryChanges(referenceEntries, listingEntries(one))});
        start = end;
    }
    ASSERT_EQ(whole.differences.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(whole.differences[i].path, expected[i].path) << i;
        EXPECT_EQ(whole.differences[i].changes, expected[i].changes) << i;
    }
    // /e holds the reference, but a ":(" where it was taken out: it differs.
    EXPECT_TRUE(c.mismatchText.contains(root + "/e:"));
    EXPECT_EQ(c.mismatchCount, 3); // /b, /e, /f
    // /b in two pieces, its last empty line run on into /e, which is in two too; /f.
    EXPECT_EQ(whole.differences.size(), 5);
}
