#pragma once
// The folders of a watched tree, found by the file handles the kernel
// reports events with: each folder's handle, its name and the folder that
// holds it, so a path is made from the tree itself, never resolved again.
//
// A watch may hold millions of folders for weeks, so a folder costs a few
// dozen bytes: a fixed record, its name and handle in one shared store, and
// two cells in open-addressed indexes (by handle, and by holder and name).
// The numbers of removed folders are used again.

#include <QByteArray>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace gw {

class WatchedFolders {
public:
    using Id = std::uint32_t;
    static constexpr Id kNone = UINT32_MAX;

    // Starts anew with the checked folder: raw path and handle.
    void reset(const QByteArray& rootRaw, std::string_view rootHandle);
    // Adds `name` below `parent`; its handle, when it has one, finds it.
    // A handle already known is the folder moved: it is found at its newest
    // place.
    Id add(Id parent, const QByteArray& name, std::string_view handle);
    // The folder the kernel names by `handle`, or kNone: not in the tree.
    Id find(std::string_view handle) const;
    // The folder `name` directly below `parent`, or kNone.
    Id child(Id parent, std::string_view name) const;
    // Calls `each` for `id` and every folder below it, each before those it holds.
    template <class F> void forEachBelow(Id id, F&& each) const;
    // Forgets `id` and everything below it.
    void remove(Id id);

    QByteArray rawPath(Id id) const;
    std::string_view name(Id id) const;
    std::string_view handle(Id id) const;
    Id parentOf(Id id) const { return folders_[id].parent; }
    Id firstChild(Id id) const { return folders_[id].firstChild; }
    Id nextSibling(Id id) const { return folders_[id].nextSibling; }
    int depth(Id id) const;
    // How many folders are known.
    std::size_t size() const { return live_; }
    // One past the highest number a folder has now: the size of a table by folder.
    std::size_t idLimit() const { return folders_.size(); }

private:
    struct Folder {
        Id parent = kNone;
        Id firstChild = kNone;
        Id nextSibling = kNone;
        std::uint32_t nameAt = 0; // in bytes_
        std::uint32_t handleAt = 0;
        std::uint16_t nameLength = 0;
        std::uint8_t handleLength = 0;
        bool gone = false;
    };
    // Open-addressed cells holding folder numbers.
    struct Index {
        std::vector<Id> cells;
        std::size_t used = 0; // cells not empty: folders and removed marks
    };
    static constexpr Id kRemoved = UINT32_MAX - 1;
    std::size_t handleHash(std::string_view handle) const;
    std::size_t placeHash(Id parent, std::string_view name) const;
    void insert(Index& index, std::size_t hash, Id id);
    void erase(Index& index, std::size_t hash, Id id);
    void grow();
    std::uint32_t store(std::string_view bytes);
    void compact();

    std::vector<Folder> folders_;
    std::string bytes_; // every folder's name and handle
    std::size_t garbage_ = 0; // bytes_ of folders removed
    std::vector<Id> free_; // numbers of folders removed
    Index byHandle_, byPlace_;
    std::size_t live_ = 0;
    QByteArray rootRaw_;
};

template <class F> void WatchedFolders::forEachBelow(Id id, F&& each) const
{
    std::vector<Id> stack {id};
    while (!stack.empty()) {
        const Id f = stack.back();
        stack.pop_back();
        each(f);
        for (Id c = folders_[f].firstChild; c != kNone; c = folders_[c].nextSibling)
            stack.push_back(c);
    }
}

} // namespace gw
