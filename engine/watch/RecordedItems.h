#pragma once
// A baseline's records as the watch keeps them while it runs: every path,
// sorted (what is below a folder is one run of them), with its kind and its
// permissions, each distinct set of permissions kept once (a tree mostly
// repeats a few).

#include "engine/checks/baseline/BaselineFile.h"

#include <QByteArray>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace gw {

class RecordedItems {
public:
    using Index = std::uint32_t;
    static constexpr Index kNone = UINT32_MAX;

    // Reads the baseline; an empty text, or why it cannot be read.
    std::string load(const QByteArray& file);
    void clear();
    bool empty() const { return items_.empty(); }

    // The record of `raw`, or kNone.
    Index find(std::string_view raw) const;
    // Calls `each(index)` for the record of `raw`, then those below it.
    template <class F> void forEachAtOrBelow(std::string_view raw, F&& each) const
    {
        if (const Index at = find(raw); at != kNone)
            each(at);
        const auto [first, last] = runBelow(raw);
        for (Index i = first; i < last; ++i)
            each(i);
    }
    QByteArray rawPath(Index i) const;
    ItemKind kind(Index i) const { return items_[i].kind; }
    const Permissions& permissions(Index i) const { return distinct_[items_[i].permissions]; }

    // Which records the tree has shown, while it is learned.
    void forgetSeen() { seen_.assign(items_.size(), false); }
    void see(Index i)
    {
        if (i < seen_.size())
            seen_[i] = true;
    }
    bool seen(Index i) const { return i < seen_.size() && seen_[i]; }
    Index size() const { return static_cast<Index>(items_.size()); }

private:
    struct Item {
        std::uint64_t pathAt; // in paths_
        std::uint32_t pathLength;
        std::uint32_t permissions; // in distinct_
        ItemKind kind;
    };
    // The records below `raw` (not its own): [first, last).
    std::pair<Index, Index> runBelow(std::string_view raw) const;
    std::string_view path(const Item& item) const { return {paths_.data() + item.pathAt, item.pathLength}; }
    std::vector<Item> items_; // sorted by path
    std::string paths_;
    std::vector<Permissions> distinct_;
    std::vector<bool> seen_;
};

} // namespace gw
