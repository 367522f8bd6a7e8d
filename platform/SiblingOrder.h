#pragma once
// The order of siblings in the folder tree: as siblingCollator() orders
// their names (natural, case-insensitive, locale-aware), ties by their raw
// bytes.
//
// Most names are plain ASCII, and most systems collate in a locale that
// orders ASCII as the common collation does (English, and the C locale,
// which collates as English). For those, names are compared by a table of
// each character's place that the collator itself gives, digits as
// numbers: the same order, without making text and sort keys for every
// name. The table is taken only when the collator orders a set of tricky
// names the same way; any other name, and any other locale, goes through
// the collator.

#include <QCollator>

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace gw {

class SiblingOrder {
public:
    SiblingOrder();

    // Sorts `order`, indexes into `names` (raw bytes), into the tree's
    // order of those names. `keys` is room kept by the caller from one sort
    // to the next; `step()`, when given, is called now and then in a long
    // sort.
    void sort(std::vector<std::uint32_t>& order, const std::vector<std::string_view>& names,
              std::vector<QCollatorSortKey>& keys, const std::function<void()>& step = {}) const;

    // The comparison the table makes of two ASCII names: below, above or
    // equal to 0 as the collator orders them (before their bytes break a
    // tie). Only for names that fast() takes.
    int compareFast(std::string_view a, std::string_view b) const;
    // True when `name` is compared by the table.
    bool fast(std::string_view name) const;
    bool hasTable() const { return table_ != nullptr; }
    const QCollator& collator() const { return collator_; }

private:
    QCollator collator_;
    // Each ASCII character's place: 0 for those the collator passes over,
    // kDigit for digits; none where the table is not taken.
    const std::uint8_t* table_ = nullptr;
    std::uint8_t digitRank_ = 0;
};

} // namespace gw
