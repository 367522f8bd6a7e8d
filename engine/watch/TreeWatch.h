#pragma once
// The watch: after one whole check, every change the kernel reports in the
// checked tree is judged at once by the same kinds of check (against the
// checked folder, inheritance), each item alone, and every change of an
// item's verdict is told as it happens, with the process that made it.
//
// Events come from fanotify (FanotifyEvents): as root one mark on the whole
// file system, filtered to the tree by the folders' file handles (learned
// by walking the tree once, after the check); otherwise a mark on every
// folder, refused when the tree has more folders than the user's mark
// limit allows. A folder made or moved in is walked whole; one removed or
// moved away takes its subtree with it. When the kernel's queue overflows,
// events were lost: that is said, the whole check is made again, and each
// verdict that changed meanwhile is told.

#include "engine/run/BatchCheck.h"
#include "engine/watch/WatchedFolders.h"
#include "platform/FanotifyEvents.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <functional>
#include <optional>
#include <string>

struct stat;

namespace gw {

// One line of the watch: the JSON record and the console's sentence, with
// the fields a journal wants.
struct WatchRecord {
    QByteArray json; // one line, with its line end
    QString sentence; // in the chosen language, without a line end
    QByteArray path; // printable; empty for a notice
    QByteArray status; // "differs", "not_inherited", "mended", "removed"; "notice"
    QByteArray check; // "folder", "inheritance"
    QByteArray reasons; // the reasons' keys, comma-separated
    pid_t pid = 0;
};

class TreeWatch {
public:
    // `options` as the first check ran, its reports folder open while the
    // watch lives; `sink` gets each line.
    TreeWatch(const BatchOptions& options, std::function<void(const WatchRecord&)> sink);

    // Starts listening, before the first check, so nothing made during it is
    // missed. An empty text, or why the tree cannot be watched.
    std::string open();
    // Learns the tree's folders and every item's verdict, after the check.
    // An empty text, or why the tree cannot be watched (a mark limit).
    std::string learn();
    // Judges each change until `stopFd` can be read (a signal), or the
    // events fail (false, with why). `fullCheck` makes the whole check again.
    bool run(int stopFd, const std::function<void()>& fullCheck, std::string& why);

    std::size_t watchedFolders() const { return folders_.size(); }
    // Says the watch has begun: from this line on every change is told.
    void announce();

private:
    using Id = WatchedFolders::Id;
    void handle(const WatchEvent& e);
    // Walks `id`'s subtree (open as `fd`), learning its folders and
    // judging each item; says what changed when `tell`.
    void walk(Id id, int fd, const Permissions* parent, bool tell, const WatchEvent* e = nullptr);
    bool leftOut(const QByteArray& name, const QByteArray& raw, int depth, const struct stat& st) const;
    // Judges the folder `id` again, and with the inheritance check what
    // is directly in it.
    void judgeFolder(Id id, const WatchEvent* e);
    void judgeFile(Id dir, const QByteArray& name, const WatchEvent* e);
    void judge(ItemKind kind, const QByteArray& raw, const Permissions* item, const Permissions* folder,
               const WatchEvent* e, bool tell);
    void removed(const QByteArray& raw, const WatchEvent* e);
    void overflow(const std::function<void()>& fullCheck);
    void tell(const char* check, const char* status, const ItemDifference& d, const WatchEvent* e);
    void notice(const QString& english, const QString& russian);
    int openFolder(Id id) const;

    BatchOptions options_;
    std::function<void(const WatchRecord&)> emit_;
    Judges judges_;
    FanotifyEvents events_;
    WatchedFolders folders_;
    bool wholeFileSystem_ = false;
    dev_t rootDevice_ = 0;
    std::optional<Permissions> top_;
    // Items that do not carry what they should, by check and raw path: how.
    struct Finding {
        QByteArray signature; // its JSON record, to tell a new way of differing
        ItemDifference difference;
    };
    QHash<QByteArray, Finding> differing_;
    bool markLimitHit_ = false;
};

} // namespace gw
