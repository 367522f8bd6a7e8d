#pragma once
// What differs now in a watched tree, by kind of check and item, kept
// small: the watch holds it for every item for as long as it runs. A
// finding is a number: how the item differs (a hash of its record, so a
// new way of differing is told) and the status told. A folder's finding
// sits in a table by folder number, a file's beside its folder's, and an
// item not in the tree (a recorded one that is gone) by its raw path.

#include "engine/watch/WatchedFolders.h"

#include <QByteArray>
#include <QHash>

#include <cstdint>
#include <map>
#include <unordered_map>
#include <vector>

namespace gw {

class WatchFindings {
public:
    using Id = WatchedFolders::Id;
    // 0: none.
    using Finding = std::uint64_t;
    enum Status : std::uint8_t {
        Differs = 1,
        NotInherited,
        Changed,
        New,
        Gone
    };
    static Finding make(std::uint64_t signature, Status status)
    {
        return (signature & ~(std::uint64_t {15} << 60)) | (std::uint64_t {status} << 60) | 1;
    }
    static Status statusOf(Finding f) { return static_cast<Status>(f >> 60); }
    static const char* statusKey(Status s);

    void reset(std::size_t checks);
    // An item in the tree: the folder `folder` itself (`file` empty) or a file in it.
    Finding get(std::size_t check, Id folder, const QByteArray& file) const;
    void set(std::size_t check, Id folder, const QByteArray& file, Finding f);
    // An item not in the tree; take() forgets it too.
    Finding away(std::size_t check, const QByteArray& raw) const;
    Finding takeAway(std::size_t check, const QByteArray& raw);
    void setAway(std::size_t check, const QByteArray& raw, Finding f);

    // Calls `each(check, file, finding)` for the folder's findings and its
    // files', and forgets them (the folder is removed).
    template <class F> void takeFolder(Id folder, F&& each);
    // Calls `each(check, raw, finding)` for every item not in the tree.
    template <class F> void forEachAway(F&& each) const;
    // The same, for the files of one folder.
    template <class F> void forEachFile(Id folder, F&& each) const;
    // Calls `each(check, finding)` for the folder's own findings.
    template <class F> void forEachOfFolder(Id folder, F&& each) const;

private:
    // A file's key in its folder's table: its name, a zero byte (never in a
    // name), the check.
    static QByteArray fileKey(std::size_t check, const QByteArray& name)
    {
        return name + '\0' + static_cast<char>('0' + check);
    }
    template <class F> static void eachFile(const QHash<QByteArray, Finding>& files, F&& each)
    {
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            const QByteArray& key = it.key();
            each(static_cast<std::size_t>(key.back() - '0'), key.first(key.size() - 2), it.value());
        }
    }
    std::vector<std::vector<Finding>> byFolder_; // by check, then folder number
    std::unordered_map<Id, QHash<QByteArray, Finding>> files_;
    std::map<std::pair<QByteArray, std::size_t>, Finding> away_;
};

template <class F> void WatchFindings::takeFolder(Id folder, F&& each)
{
    forEachOfFolder(folder, [&](std::size_t check, Finding f) { each(check, QByteArray(), f); });
    for (std::vector<Finding>& table : byFolder_) {
        if (folder < table.size())
            table[folder] = 0;
    }
    if (const auto it = files_.find(folder); it != files_.end()) {
        const QHash<QByteArray, Finding> files = std::move(it->second);
        files_.erase(it);
        eachFile(files, each);
    }
}

template <class F> void WatchFindings::forEachAway(F&& each) const
{
    for (const auto& [key, finding] : away_)
        each(key.second, key.first, finding);
}

template <class F> void WatchFindings::forEachFile(Id folder, F&& each) const
{
    if (const auto it = files_.find(folder); it != files_.end())
        eachFile(it->second, each);
}

template <class F> void WatchFindings::forEachOfFolder(Id folder, F&& each) const
{
    for (std::size_t check = 0; check < byFolder_.size(); ++check) {
        if (folder < byFolder_[check].size() && byFolder_[check][folder] != 0)
            each(check, byFolder_[check][folder]);
    }
}

} // namespace gw
