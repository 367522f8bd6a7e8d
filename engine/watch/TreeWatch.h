#pragma once
// The watch: after one whole check, every change the kernel reports in the
// checked tree is judged at once by the same kinds of check (against the
// checked folder, inheritance, drift from a baseline), each item alone, and every change of an
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
#include "engine/watch/OpenFolders.h"
#include "engine/watch/RecordedItems.h"
#include "engine/watch/WatchFindings.h"
#include "engine/watch/WatchedFolders.h"
#include "platform/FanotifyEvents.h"
#include "platform/MountPoints.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <unordered_map>

struct stat;

namespace gw {

// One line of the watch: the JSON record and the console's sentence, with
// the fields a journal wants.
struct WatchRecord {
    QByteArray json; // one line, with its line end
    QString sentence; // in the chosen language, without a line end
    QByteArray path; // printable; empty for a notice
    QByteArray status; // "differs", "not_inherited", "changed", "new", "gone", "mended", "removed"; "notice"
    QByteArray check; // "folder", "inheritance", "drift"
    QByteArray reasons; // the reasons' keys, comma-separated
    pid_t pid = 0;
};

// Where the watch's lines go.
struct WatchOutput {
    std::function<void(const WatchRecord&)> line;
    // Called once the events at hand are judged, before waiting for more:
    // lines may be held until then.
    std::function<void()> flush;
    bool sentences = true; // the lines need the console's sentence
};

class TreeWatch {
public:
    // `options` as the first check ran, its reports folder open while the
    // watch lives.
    TreeWatch(const BatchOptions& options, WatchOutput output);
    ~TreeWatch();
    TreeWatch(const TreeWatch&) = delete;
    TreeWatch& operator=(const TreeWatch&) = delete;

    // Starts listening, before the first check, so nothing made during it is
    // missed. An empty text, or why the tree cannot be watched.
    std::string open();
    // Learns the tree's folders and every item's verdict, after the check.
    // An empty text, or why the tree cannot be watched (a mark limit, a file
    // system mounted in the tree that cannot be watched).
    std::string learn();
    // Judges each change until `stopFd` can be read (a signal), or the
    // events fail (false, with why). `fullCheck` makes the whole check again.
    bool run(int stopFd, const std::function<void()>& fullCheck, std::string& why);

    std::size_t watchedFolders() const { return folders_.size(); }
    // Says the watch has begun: from this line on every change is told.
    void announce();

private:
    using Id = WatchedFolders::Id;
    using Finding = WatchFindings::Finding;
    // An item of the tree: a folder (`file` empty), or a file in it.
    struct Item {
        Id folder;
        QByteArray file;
    };
    // An item as it is judged: where it is, and what it and its folder carry.
    struct Judged {
        const Item* item; // null: not in the tree (a recorded item gone)
        ItemKind kind;
        const QByteArray& raw;
        const QByteArray& printable;
        const Permissions* permissions; // null: not read
        const Permissions* folder; // null: not read, or not needed
        RecordedItems::Index recorded;
    };
    // Verdicts before a whole walk, by check (one byte) and raw path: what
    // the walk finds is told against them.
    struct Before {
        Finding finding;
        ItemKind kind;
    };
    using Snapshot = QHash<QByteArray, Before>;

    void handle(const WatchEvent& e);
    std::string learnTree(const WatchEvent* e);
    // Why some of the tree is not watched (a mark limit, a file system
    // that cannot be), or empty.
    std::string partlyWatched() const;
    // Walks `id`'s subtree (open as `fd`), learning its folders and
    // judging each item; says what changed when `tell`.
    void walk(Id id, int fd, const Permissions* parent, bool tell, const WatchEvent* e);
    void walkEntries(Id id, int fd, const Permissions* own, bool tell, const WatchEvent* e);
    Id learnFolder(Id parent, const QByteArray& name, int fd, const struct stat& st, const WatchEvent* e);
    // `above` is `id` or holds it.
    bool holds(Id above, Id id) const;
    bool leftOut(const QByteArray& name, const QByteArray& raw, int depth, const struct stat& st) const;
    // Judges the folder `id` again, and with the inheritance check what
    // is directly in it.
    void judgeFolder(Id id, const WatchEvent* e);
    void judgeHeld(Id id, int fd, const Permissions* own, const WatchEvent* e);
    void judgeFile(Id dir, const QByteArray& name, const WatchEvent* e);
    void judgeFileIn(Id dir, int fd, const Permissions* folder, const QByteArray& name, const WatchEvent* e);
    void judgeMade(Id dir, const QByteArray& name, const WatchEvent* e);
    void judge(const Item& item, ItemKind kind, const QByteArray& raw, const Permissions* permissions,
               const Permissions* folder, const WatchEvent* e, bool tell);
    void judgeBy(std::size_t check, const Judged& j, const WatchEvent* e, bool tell);
    Finding previous(std::size_t check, const Judged& j);
    void keep(std::size_t check, const Judged& j, Finding f);
    void removedFolder(Id id, const WatchEvent* e);
    void removedItem(std::size_t check, ItemKind kind, const QByteArray& raw, const WatchEvent* e);
    // Drift: each recorded item at or below `raw` not there now is gone.
    void recordedGone(const QByteArray& raw, const WatchEvent* e, bool tell, bool unseenOnly);
    // Learns the whole tree again and tells what changed (the queue
    // overflowed, or the checked folder changed).
    void relearn(const WatchEvent* e, const std::function<void()>& fullCheck);
    Snapshot snapshot() const;
    // Drops the events waiting beyond the watch's bound and checks the
    // tree whole; false when there were not so many.
    bool dropBacklog(const std::function<void()>& fullCheck);
    // The mount table changed: when it did inside the tree, the tree is
    // learned again.
    void mountsChanged();
    void tell(const char* check, const char* status, const ItemDifference& d, const WatchEvent* e);
    QString sentence(const char* check, const char* status, const ItemDifference& d, const QByteArray& time,
                     const QString& by) const;
    void tellPlain(std::size_t check, const char* status, ItemKind kind, const QByteArray& raw, const WatchEvent* e);
    void notice(const QString& english, const QString& russian);
    int openFolder(Id id);
    // The folder, open: kept open a while for the changes that follow.
    OpenFolders::Held folderFd(Id id);

    BatchOptions options_;
    WatchOutput output_;
    Judges judges_;
    std::size_t drift_ = SIZE_MAX; // the drift check's place in judges_.judged
    bool needsFolder_ = false; // a check judges an item by its folder's permissions
    FanotifyEvents events_;
    WatchedFolders folders_;
    WatchFindings findings_;
    OpenFolders open_;
    RecordedItems records_;
    Snapshot* before_ = nullptr; // while the tree is walked again
    bool wholeFileSystem_ = false;
    // Events that may wait in the kernel's queue (as root); SIZE_MAX: two
    // a folder, at least 262,144.
    std::size_t backlogLimit_ = SIZE_MAX;
    dev_t rootDevice_ = 0;
    // As root: a descriptor on each file system in the tree, to open its
    // folders by handle; by the file system's part of a handle.
    std::unordered_map<std::string, int> fileSystems_;
    std::string unwatchable_; // a file system in the tree that cannot be watched
    std::optional<Permissions> top_;
    bool markLimitHit_ = false;
    std::string broken_; // why the watch cannot go on
    MountPoints mounts_;
    std::vector<std::string> mountsBelow_;
};

} // namespace gw
