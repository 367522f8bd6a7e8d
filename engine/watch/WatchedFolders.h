#pragma once
// The folders of a watched tree, found by the file handles the kernel
// reports events with: each folder's handle, its name and the folder that
// holds it, so a path is made from the tree itself, never resolved again.

#include <QByteArray>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace gw {

class WatchedFolders {
public:
    using Id = std::uint32_t;
    static constexpr Id kNone = UINT32_MAX;

    // Starts anew with the checked folder: raw path and handle.
    void reset(const QByteArray& rootRaw, const std::string& rootHandle);
    // Adds `name` below `parent`; its handle, when it has one, finds it.
    Id add(Id parent, const QByteArray& name, const std::string& handle);
    // The folder the kernel names by `handle`, or kNone: not in the tree.
    Id find(const std::string& handle) const;
    // The folder `name` directly below `parent`, or kNone.
    Id child(Id parent, const QByteArray& name) const;
    // Forgets `id` and everything below it.
    void remove(Id id);

    QByteArray rawPath(Id id) const;
    Id parentOf(Id id) const { return folders_[id].parent; }
    const std::vector<Id>& childrenOf(Id id) const { return folders_[id].children; }
    int depth(Id id) const;
    std::size_t size() const { return byHandle_.size(); }

private:
    struct Folder {
        Id parent;
        bool gone = false;
        QByteArray name;
        std::vector<Id> children;
    };
    std::vector<Folder> folders_;
    // A folder removed keeps its entry here; find() passes it over.
    std::unordered_map<std::string, Id> byHandle_;
    QByteArray rootRaw_;
};

} // namespace gw
