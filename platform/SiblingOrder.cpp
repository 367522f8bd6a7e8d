#include "platform/SiblingOrder.h"

#include "platform/FolderTree.h"

#include <QString>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

namespace gw {
namespace {

constexpr std::uint8_t kIgnored = 0;
constexpr std::uint8_t kDigit = 255;

bool isDigit(unsigned char c)
{
    return c >= '0' && c <= '9';
}

// Each ASCII character's place in the collator's order, and the place of
// the digits, which come as numbers.
struct AsciiTable {
    std::array<std::uint8_t, 128> rank {};
    std::uint8_t digitRank = 0;
};

int sign(int c)
{
    return (c > 0) - (c < 0);
}

QString text(std::string_view bytes)
{
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// Names that the table and the collator must order alike, between slashes:
// numbers against numbers, leading zeros, numbers against letters and
// signs, long numbers, case, characters the collator passes over, prefixes.
constexpr std::string_view kProbes
    = "a/A/b/ab/aB/a b/a-b/a_b/a.b/a1/a01/a001/a2/a10/a1b/a1 b/a 1/a\x01"
      "b/0/00/000/1/01/007/7/9/10/1.5/1.10/1-2/1_2/1 2/12/123456789/99999/100000/"
      "12345678901234567890/12345678901234567891/12345678901234567890a/10000000/10000000a/10000001/"
      "1000000000000a/1000000000001/Folder 7_12/Folder 10_3/folder 7_12/Folder7_12/~x/!x/#x/(x)/[x]/{x}/x~/x!/"
      "@/`/^/$/%/&/*/+/,/:/;/</=/>/?/\\/|/'/\"/\t/\x7f/z/Z/zz/-/_/./ /";

// True when the table orders the probes as the collator does: each next
// to the next in the collator's order, which makes the two orders one.
bool agrees(const SiblingOrder& order, const QCollator& collator)
{
    std::vector<std::string_view> probes;
    for (std::size_t at = 0; at < kProbes.size();) {
        const std::size_t end = std::min(kProbes.find('/', at), kProbes.size());
        probes.push_back(kProbes.substr(at, end - at));
        at = end + 1;
    }
    std::stable_sort(probes.begin(), probes.end(),
                     [&](std::string_view a, std::string_view b) { return collator.compare(text(a), text(b)) < 0; });
    for (std::size_t k = 1; k < probes.size(); ++k) {
        if (sign(order.compareFast(probes[k - 1], probes[k]))
            != sign(collator.compare(text(probes[k - 1]), text(probes[k]))))
            return false;
    }
    return true;
}

// The table for `collator`, or none when it does not order ASCII names as
// one place for each character and numbers for digits would.
std::unique_ptr<AsciiTable> tableFor(const QCollator& collator)
{
    const auto one = [](const char& c) { return text(std::string_view(&c, 1)); };
    std::vector<char> chars;
    for (int c = 1; c < 128; ++c) {
        // Beside a letter: Qt takes an empty text for less than any other.
        if (collator.compare(QStringLiteral("a") + one(static_cast<char>(c)), QStringLiteral("a")) != 0)
            chars.push_back(static_cast<char>(c));
    }
    std::stable_sort(chars.begin(), chars.end(),
                     [&](const char& a, const char& b) { return collator.compare(one(a), one(b)) < 0; });
    auto table = std::make_unique<AsciiTable>();
    std::uint8_t rank = 0;
    int digitsSeen = 0;
    for (std::size_t k = 0; k < chars.size(); ++k) {
        const auto c = static_cast<unsigned char>(chars[k]);
        const int step = k == 0 ? 1 : collator.compare(one(chars[k - 1]), one(chars[k]));
        // The digits, all ten apart, stand together: numbers have their
        // place among the other characters.
        if (isDigit(c) && ((digitsSeen > 0 && !isDigit(static_cast<unsigned char>(chars[k - 1]))) || step == 0))
            return nullptr;
        if (step != 0 && (!isDigit(c) || digitsSeen == 0)) {
            ++rank;
            // Neighbours differ in their first weight, not only in one that
            // counts after the whole name's first weights.
            if (k > 0
                && collator.compare(text(std::string(1, chars[k - 1]) + 'z'), text(std::string(1, chars[k]) + 'a'))
                    >= 0)
                return nullptr;
        }
        if (isDigit(c)) {
            table->digitRank = rank;
            table->rank[c] = kDigit;
            ++digitsSeen;
        } else {
            table->rank[c] = rank;
        }
    }
    if (digitsSeen != 10 || rank >= kDigit)
        return nullptr;
    return table;
}

// Tables by locale, made once each for the process.
const AsciiTable* sharedTable(const QCollator& collator)
{
    static std::mutex mutex;
    static std::map<QString, std::unique_ptr<AsciiTable>> tables;
    // Other locales may order letters of ASCII otherwise ("ch" in Czech):
    // only English's order, which is the common collation's, is taken.
    if (collator.locale().language() != QLocale::English || !collator.numericMode()
        || collator.caseSensitivity() != Qt::CaseInsensitive || collator.ignorePunctuation())
        return nullptr;
    const QString name = collator.locale().bcp47Name();
    std::lock_guard lock(mutex);
    const auto it = tables.find(name);
    if (it != tables.end())
        return it->second.get();
    std::unique_ptr<AsciiTable> table = tableFor(collator);
    return tables.emplace(name, std::move(table)).first->second.get();
}

} // namespace

SiblingOrder::SiblingOrder()
    : collator_(siblingCollator())
{
    static_assert(sizeof(AsciiTable::rank) == 128);
    const AsciiTable* table = sharedTable(collator_);
    if (!table)
        return;
    table_ = table->rank.data();
    digitRank_ = table->digitRank;
    // The probes are compared once for each table: the first order made
    // with it tells.
    static std::mutex mutex;
    static std::map<const AsciiTable*, bool> checked;
    std::lock_guard lock(mutex);
    const auto it = checked.find(table);
    const bool good = it != checked.end() ? it->second : checked.emplace(table, agrees(*this, collator_)).first->second;
    if (!good)
        table_ = nullptr;
}

bool SiblingOrder::fast(std::string_view name) const
{
    // A run of more than 254 digits is more than one number to the
    // collator: only a name of 255 bytes can hold one.
    if (!table_ || name.size() >= 255)
        return false;
    for (char c : name) {
        if (static_cast<unsigned char>(c) >= 128)
            return false;
    }
    return true;
}

int SiblingOrder::compareFast(std::string_view a, std::string_view b) const
{
    const auto at = [](std::string_view s, std::size_t i) { return static_cast<unsigned char>(s[i]); };
    // The bytes both begin with read alike, but for a number that goes on
    // past them.
    std::size_t same = 0;
    const std::size_t shorter = std::min(a.size(), b.size());
    while (same < shorter && a[same] == b[same])
        ++same;
    while (same > 0 && isDigit(at(a, same - 1)))
        --same;
    std::size_t i = same, j = same;
    for (;;) {
        while (i < a.size() && table_[at(a, i)] == kIgnored)
            ++i;
        while (j < b.size() && table_[at(b, j)] == kIgnored)
            ++j;
        if (i == a.size() || j == b.size())
            return int(i < a.size()) - int(j < b.size()); // a name that ends first comes first
        const std::uint8_t ra = table_[at(a, i)], rb = table_[at(b, j)];
        if (ra == kDigit && rb == kDigit) {
            // Numbers by their values: leading zeros count for nothing.
            std::size_t ea = i, eb = j;
            while (ea < a.size() && isDigit(at(a, ea)))
                ++ea;
            while (eb < b.size() && isDigit(at(b, eb)))
                ++eb;
            while (i + 1 < ea && a[i] == '0')
                ++i;
            while (j + 1 < eb && b[j] == '0')
                ++j;
            if (ea - i != eb - j)
                return ea - i < eb - j ? -1 : 1;
            if (const int c = std::memcmp(a.data() + i, b.data() + j, ea - i); c != 0)
                return sign(c);
            i = ea;
            j = eb;
            continue;
        }
        const std::uint8_t pa = ra == kDigit ? digitRank_ : ra, pb = rb == kDigit ? digitRank_ : rb;
        if (pa != pb)
            return pa < pb ? -1 : 1;
        ++i;
        ++j;
    }
}

void SiblingOrder::sort(std::vector<std::uint32_t>& order, const std::vector<std::string_view>& names,
                        std::vector<QCollatorSortKey>& keys, const std::function<void()>& step) const
{
    if (order.size() < 2)
        return;
    // A folder of many thousands of subfolders takes a while: the caller's
    // progress goes on meanwhile.
    constexpr std::uint32_t kStepEvery = 1 << 14;
    std::uint32_t steps = 0;
    const auto stepped = [&] {
        if (++steps % kStepEvery == 0 && step)
            step();
    };
    const bool allFast = std::all_of(order.begin(), order.end(), [&](std::uint32_t k) { return fast(names[k]); });
    if (allFast) {
        std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
            stepped();
            const int c = compareFast(names[a], names[b]);
            return c != 0 ? c < 0 : names[a] < names[b];
        });
        return;
    }
    keys.clear();
    keys.reserve(names.size());
    for (std::string_view name : names) {
        keys.push_back(collator_.sortKey(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()))));
        stepped();
    }
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        stepped();
        const int c = keys[a].compare(keys[b]);
        return c != 0 ? c < 0 : names[a] < names[b];
    });
}

} // namespace gw
