#include "engine/watch/WatchedFolders.h"

#include <algorithm>

namespace gw {

void WatchedFolders::reset(const QByteArray& rootRaw, const std::string& rootHandle)
{
    folders_.clear();
    byHandle_.clear();
    rootRaw_ = rootRaw;
    folders_.push_back({kNone, false, {}, {}});
    if (!rootHandle.empty())
        byHandle_[rootHandle] = 0;
}

WatchedFolders::Id WatchedFolders::add(Id parent, const QByteArray& name, const std::string& handle)
{
    const Id id = static_cast<Id>(folders_.size());
    folders_.push_back({parent, false, name, {}});
    folders_[parent].children.push_back(id);
    if (!handle.empty())
        byHandle_[handle] = id; // a handle met again is the folder moved: its newest place
    return id;
}

WatchedFolders::Id WatchedFolders::find(const std::string& handle) const
{
    const auto it = byHandle_.find(handle);
    return it == byHandle_.end() || folders_[it->second].gone ? kNone : it->second;
}

WatchedFolders::Id WatchedFolders::child(Id parent, const QByteArray& name) const
{
    for (const Id id : folders_[parent].children) {
        if (!folders_[id].gone && folders_[id].name == name)
            return id;
    }
    return kNone;
}

void WatchedFolders::remove(Id id)
{
    std::vector<Id> stack {id};
    while (!stack.empty()) {
        const Id f = stack.back();
        stack.pop_back();
        folders_[f].gone = true;
        for (const Id c : folders_[f].children)
            stack.push_back(c);
        folders_[f].children = {};
    }
    if (id != 0) {
        auto& siblings = folders_[folders_[id].parent].children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), id), siblings.end());
    }
}

QByteArray WatchedFolders::rawPath(Id id) const
{
    if (id == 0)
        return rootRaw_;
    const QByteArray holder = rawPath(folders_[id].parent);
    return (holder.endsWith('/') ? holder : holder + '/') + folders_[id].name;
}

int WatchedFolders::depth(Id id) const
{
    int d = 0;
    for (; id != 0 && id != kNone; id = folders_[id].parent)
        ++d;
    return d;
}

} // namespace gw
