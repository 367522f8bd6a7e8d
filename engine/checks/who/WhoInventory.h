#pragma once
// Who can do what, where: one principal's rights on every folder (and file)
// of the check, as the walk takes them in tree order, and the report of
// them (acl_who.txt, LF line ends, UTF-8) and their JSON Lines.
//
// A place is reachable when the principal may search every folder on the way
// from "/" down to it: the folders above the checked folder are read once at
// the start, and what they allow is carried down the walk. Where it is not
// reachable the principal can do nothing there, and the report names the
// folder that stops them. A place with the same rights as the one above it,
// for the same reason, is counted below that one instead of being listed, as
// the differences report does. A file is counted in its folder when it has
// the folder's rights, else in the first file with its rights in the same
// folder, or in a folder above that is counted with this one. Where
// permissions were not read, or the ACL that decides cannot be evaluated
// (rightsAnswer), the rights are unknown and never guessed.

#include "engine/rules/EffectiveRights.h"
#include "engine/rules/ItemStatus.h"
#include "platform/FolderFiles.h"
#include "platform/FolderTree.h"

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace gw {

enum class Reach : std::uint8_t {
    Yes,
    No,
    Unknown, // a folder on the way was not read, or the rights there are unknown
};

struct WhoPlace {
    QByteArray path; // printable
    QByteArray rawPath;
    ItemKind kind = ItemKind::Folder;
    bool known = false; // the rights are known: its permissions, and those of every folder on the way, were read
    Rights rights; // what the principal may do there: nothing where it is not reachable
    Reach reach = Reach::Unknown;
    QByteArray via; // the entry that decides there, when its permissions were read
    QByteArray stoppedAt; // where it is not reachable: the folder on the way that the principal may not search
    QByteArray reason; // where its permissions were not read: why, when known
    qint64 sameBelow = 0; // places below it with the same rights, for the same reason, not listed
    std::optional<ItemStatus> status {}; // where its permissions were read
};

struct WhoFindings {
    Principal who;
    QByteArray folder; // printable
    QList<WhoPlace> places; // where the rights change, in tree order
    qint64 folders = 0, files = 0; // places looked at
    qint64 canRead = 0, canWrite = 0, canReach = 0;
    qint64 unknown = 0; // places whose rights are unknown
    QList<QByteArray> notListed; // folders whose entries could not be listed
    QByteArray aboveNotRead; // a folder above the checked one whose permissions were not read, and why
    int hiddenLeftOut = 0; // hidden folders left out, with all below them
    bool complete() const { return unknown == 0 && notListed.isEmpty(); }
};

class WhoInventory {
public:
    // Reads the permissions of every folder above `rawFolder` (absolute), from "/" down.
    WhoInventory(Principal who, const QByteArray& rawFolder, const QByteArray& printableFolder);

    // A folder as the walk takes it, after its parent: its permissions when
    // `read` (else why not), and its files when they are asked for.
    void take(FolderTree::NodeId id, FolderTree::NodeId parent, const std::string& printablePath, bool read,
              const Permissions& p, const std::string& reason, const FolderFiles* files);

    WhoFindings& findings() { return f_; }
    const WhoFindings& findings() const { return f_; }
    // Called for every place in tree order, listed or counted below another.
    void setEveryPlace(std::function<void(const WhoPlace&)> f) { everyPlace_ = std::move(f); }

private:
    struct Key {
        bool known = false;
        Rights rights;
        Reach reach = Reach::Unknown;
        QByteArray via; // where reachable
        QByteArray stoppedAt; // where not
        QByteArray unknown; // where reachable but the rights are unknown: why
        bool operator==(const Key&) const = default;
    };
    struct Frame {
        FolderTree::NodeId id;
        Reach childReach;
        QByteArray childStoppedAt;
        Key key;
        qsizetype place; // the listed place it is counted in, or its own
        // The listed files its own files are counted in, by their key: those
        // of the folder above when this one is counted in it too.
        std::vector<std::pair<Key, qsizetype>> fileKeys;
    };
    // Lists a place, or counts it below `above` when it has the same key;
    // `read` is its permissions, when they were read.
    qsizetype place(const std::string& printablePath, ItemKind kind, const Key& key, const QByteArray& reason,
                    const Frame* above, const Permissions* read);

    WhoFindings f_;
    PrincipalNames names_;
    Reach topReach_ = Reach::Yes;
    QByteArray topStoppedAt_;
    std::vector<Frame> stack_;
    std::function<void(const WhoPlace&)> everyPlace_;
};

// The report acl_who.txt.
QByteArray whoReport(const WhoFindings& f, const QByteArray& notChecked);

// One JSON line a listed place, then the summary.
QByteArray whoJsonLines(const WhoFindings& f);
QByteArray whoJsonSummary(const WhoFindings& f, const QByteArray& reportPath, double seconds);

// The console's lines, in `lang` ("RU" or English): what the principal can
// do, in counts.
QString whoVerdict(const QString& lang, const WhoFindings& f);

} // namespace gw
