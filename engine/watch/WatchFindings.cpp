#include "engine/watch/WatchFindings.h"

#include <algorithm>

namespace gw {

const char* WatchFindings::statusKey(Status s)
{
    switch (s) {
    case Differs: return "differs";
    case NotInherited: return "not_inherited";
    case Changed: return "changed";
    case New: return "new";
    case Gone: return "gone";
    }
    return "differs";
}

void WatchFindings::reset(std::size_t checks)
{
    byFolder_.assign(checks, {});
    files_.clear();
    away_.clear();
}

WatchFindings::Finding WatchFindings::get(std::size_t check, Id folder, const QByteArray& file) const
{
    if (file.isEmpty()) {
        const std::vector<Finding>& table = byFolder_[check];
        return folder < table.size() ? table[folder] : 0;
    }
    const auto it = files_.find(folder);
    return it == files_.end() ? 0 : it->second.value(fileKey(check, file), 0);
}

void WatchFindings::set(std::size_t check, Id folder, const QByteArray& file, Finding f)
{
    if (file.isEmpty()) {
        std::vector<Finding>& table = byFolder_[check];
        if (folder >= table.size()) {
            if (f == 0)
                return;
            table.resize(std::max<std::size_t>(folder + 1, table.size() + table.size() / 2), 0);
        }
        table[folder] = f;
        return;
    }
    if (f != 0) {
        files_[folder].insert(fileKey(check, file), f);
        return;
    }
    if (const auto it = files_.find(folder); it != files_.end()) {
        it->second.remove(fileKey(check, file));
        if (it->second.isEmpty())
            files_.erase(it);
    }
}

WatchFindings::Finding WatchFindings::away(std::size_t check, const QByteArray& raw) const
{
    const auto it = away_.find({raw, check});
    return it == away_.end() ? 0 : it->second;
}

WatchFindings::Finding WatchFindings::takeAway(std::size_t check, const QByteArray& raw)
{
    const auto it = away_.find({raw, check});
    if (it == away_.end())
        return 0;
    const Finding f = it->second;
    away_.erase(it);
    return f;
}

void WatchFindings::setAway(std::size_t check, const QByteArray& raw, Finding f)
{
    if (f == 0)
        away_.erase({raw, check});
    else
        away_[{raw, check}] = f;
}

} // namespace gw
