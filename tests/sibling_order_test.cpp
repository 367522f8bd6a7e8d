// The tree's order of siblings: the table that compares ASCII names orders
// them exactly as the collator does, and a sort gives the collator's order,
// ties by bytes, whether the names are ASCII or not.

#include "platform/SiblingOrder.h"

#include <gtest/gtest.h>

#include <QString>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>

using gw::SiblingOrder;

namespace {

int sign(int c)
{
    return (c > 0) - (c < 0);
}

QString text(const std::string& s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// Names made to meet the hard cases often: digits and runs of zeros,
// letters of both cases, signs, blanks, characters the collator passes over.
std::string randomName(std::mt19937& random)
{
    static const std::string pieces[] = {"0", "00", "1", "9", "10",   "007",  "42", "99999999999",
                                         "a", "A",  "b", "Z", "z",    " ",    "-",  "_",
                                         ".", "~",  "!", "(", "\x01", "\x7f", "\t", "Folder"};
    std::string name;
    const int n = std::uniform_int_distribution<int>(1, 5)(random);
    for (int k = 0; k < n; ++k)
        name += pieces[std::uniform_int_distribution<std::size_t>(0, std::size(pieces) - 1)(random)];
    return name;
}

} // namespace

TEST(SiblingOrder, AsciiTableOrdersAsTheCollator)
{
    const SiblingOrder order;
    ASSERT_TRUE(order.hasTable()) << "an English collation orders ASCII by the table";
    std::mt19937 random(12345);
    for (int k = 0; k < 200000; ++k) {
        const std::string a = randomName(random), b = randomName(random);
        ASSERT_EQ(sign(order.compareFast(a, b)), sign(order.collator().compare(text(a), text(b))))
            << "'" << a << "' against '" << b << "'";
    }
}

TEST(SiblingOrder, SortGivesTheCollatorsOrderTiesByBytes)
{
    const SiblingOrder order;
    std::mt19937 random(7);
    for (bool ascii : {true, false}) {
        std::vector<std::string> names;
        for (int k = 0; k < 300; ++k)
            names.push_back(randomName(random));
        names.insert(names.end(), {"a1", "a01", "A1", "a001"}); // equal to the collator: by their bytes
        if (!ascii)
            names.insert(names.end(), {"\xc3\xa9t\xc3\xa9", "ete", "\xff\xfe raw", "Zoo"});
        std::vector<std::string_view> views(names.begin(), names.end());
        std::vector<std::uint32_t> sorted(names.size());
        std::iota(sorted.begin(), sorted.end(), 0u);
        std::vector<QCollatorSortKey> keys;
        order.sort(sorted, views, keys);

        std::vector<std::uint32_t> expected(names.size());
        std::iota(expected.begin(), expected.end(), 0u);
        std::stable_sort(expected.begin(), expected.end(), [&](std::uint32_t a, std::uint32_t b) {
            const int c = order.collator().compare(text(names[a]), text(names[b]));
            return c != 0 ? c < 0 : names[a] < names[b];
        });
        for (std::size_t k = 0; k < names.size(); ++k)
            ASSERT_EQ(names[sorted[k]], names[expected[k]]) << "at " << k << (ascii ? ", ASCII" : ", with others");
    }
}
