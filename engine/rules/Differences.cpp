#include "engine/rules/Differences.h"
#include "engine/reports/CountText.h"

#include "platform/Nfs4Acl.h"
#include "platform/PrintablePath.h"

#include <QHash>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <utility>
#include <vector>

namespace gw {
namespace {

constexpr QByteArrayView kDefaultMark(":(default)");

// The principal part of an entry (before its rights) and whether it is a
// default entry. Rights hold no ":", and a name never holds ":(".
QByteArrayView principalOf(QByteArrayView entry, bool& isDefault)
{
    const qsizetype mark = entry.indexOf(kDefaultMark);
    isDefault = mark >= 0;
    if (isDefault)
        return entry.first(mark);
    const qsizetype colon = entry.lastIndexOf(':');
    return colon < 0 ? entry : entry.first(colon);
}

// Where an entry's kind stands in a listing, and its key.
struct EntryKey {
    int rank;
    QByteArray key;
};

// An NFSv4 ACE's key is its position among the ACEs (`aces` counts them):
// the order of the ACEs decides access, so the n-th ACE here is compared
// with the checked folder's n-th. An ACL without ACEs has a key of its own,
// so that against one with ACEs each of them shows as added or removed.
// Samba's Windows ACL is one entry.
EntryKey keyOf(QByteArrayView entry, int& aces)
{
    if (entry == QByteArrayView(kNoNfs4Aces))
        return {13, "nfs4 none"};
    if (entry.startsWith("nfs4 "))
        return {13, "nfs4 #" + QByteArray::number(aces++)};
    if (entry.startsWith("ntacl ")) {
        // The owner, the group, each ACL's flags: one key each.
        const qsizetype colon = entry.indexOf(':');
        const QByteArray head = entry.first(colon < 0 ? entry.size() : colon).toByteArray();
        return {head == "ntacl G" ? 15 : head == "ntacl D" ? 16 : head == "ntacl S" ? 18 : 14, head};
    }
    bool isDefault = false;
    const QByteArrayView principal = principalOf(entry, isDefault);
    const int base = isDefault ? 6 : 0;
    if (!isDefault && principal == "special")
        return {12, "special"};
    if (principal == "creator owner")
        return {6, "creator owner"};
    if (principal == "creator group")
        return {8, "creator group"};
    if (principal.endsWith(" (owner)"))
        return {principal.startsWith("user ") ? 0 : 2, principal.startsWith("user ") ? "owner" : "owning group"};
    const QByteArray key = (isDefault ? QByteArray("default ") : QByteArray()) + principal.toByteArray();
    if (principal.startsWith("user "))
        return {base + 1, key};
    if (principal.startsWith("group "))
        return {base + 3, key};
    if (principal == "mask")
        return {base + 4, key};
    return {base + 5, key}; // other
}

// An ACE of a Windows ACL, and the rank of its ACL: the DACL's ("ntacl (")
// or the SACL's ("ntacl S("); 0 for any other entry.
int windowsAceRank(QByteArrayView entry)
{
    if (entry.startsWith("ntacl ("))
        return 17;
    if (entry.startsWith("ntacl S("))
        return 19;
    return 0;
}

// The changes from the ACEs `from` to the ACEs `to`, in the ACL's order: the
// longest run of ACEs both keep in the same order is unchanged; between two
// kept ACEs, ACEs removed and added pair up as changed, the rest are removed
// or added. So one ACE added before the others is one "+", not a change at
// every position after it. Past a size where that costs too much, ACEs are
// compared position by position.
template <class Add> void aceChanges(const QList<QByteArray>& from, const QList<QByteArray>& to, Add add)
{
    qsizetype head = 0, tail = 0;
    while (head < from.size() && head < to.size() && from[head] == to[head])
        ++head;
    while (tail < from.size() - head && tail < to.size() - head
           && from[from.size() - 1 - tail] == to[to.size() - 1 - tail])
        ++tail;
    const qsizetype n = from.size() - head - tail, m = to.size() - head - tail;
    std::vector<std::pair<qsizetype, qsizetype>> kept; // (in from, in to), in order
    if (n > 0 && m > 0 && n * m <= 1'000'000) {
        // lengths[i][j]: the longest common run of from[i..n) and to[j..m).
        std::vector<std::uint16_t> lengths(static_cast<std::size_t>((n + 1) * (m + 1)), 0);
        const auto at = [&](qsizetype i, qsizetype j) -> std::uint16_t& {
            return lengths[static_cast<std::size_t>(i * (m + 1) + j)];
        };
        for (qsizetype i = n - 1; i >= 0; --i) {
            for (qsizetype j = m - 1; j >= 0; --j)
                at(i, j) = from[head + i] == to[head + j] ? static_cast<std::uint16_t>(at(i + 1, j + 1) + 1)
                                                          : std::max(at(i + 1, j), at(i, j + 1));
        }
        for (qsizetype i = 0, j = 0; i < n && j < m;) {
            if (from[head + i] == to[head + j])
                kept.emplace_back(head + i++, head + j++);
            else if (at(i + 1, j) >= at(i, j + 1))
                ++i;
            else
                ++j;
        }
    }
    kept.emplace_back(from.size() - tail, to.size() - tail);
    qsizetype i = head, j = head;
    for (const auto& [keptFrom, keptTo] : kept) {
        while (i < keptFrom && j < keptTo)
            add(EntryChange {EntryChange::Changed, from[i++], to[j++]});
        while (i < keptFrom)
            add(EntryChange {EntryChange::Removed, from[i++], {}});
        while (j < keptTo)
            add(EntryChange {EntryChange::Added, {}, to[j++]});
        ++i;
        ++j;
    }
}

} // namespace

QByteArray windowsSidNames(const QList<FolderDifference>& folders, SidLookup& sids)
{
    QList<QByteArray> seen;
    QByteArray named;
    const auto look = [&](const QByteArray& entry) {
        if (!entry.startsWith("ntacl "))
            return;
        for (qsizetype at = entry.indexOf("S-1-"); at >= 0; at = entry.indexOf("S-1-", at + 1)) {
            qsizetype end = at + 4;
            while (end < entry.size() && (std::isalnum(static_cast<unsigned char>(entry[end])) || entry[end] == '-'))
                ++end;
            const QByteArray sid = entry.mid(at, end - at);
            if (seen.contains(sid))
                continue;
            seen.append(sid);
            const std::string name = sids.nameOf(sid.toStdString());
            if (!name.empty())
                named += "    " + sid + " " + QByteArray::fromStdString(printable(name)) + "\n";
        }
    };
    for (const FolderDifference& f : folders) {
        for (const EntryChange& c : f.changes) {
            look(c.from);
            look(c.to);
        }
    }
    return named.isEmpty() ? QByteArray() : "\nWindows SIDs above, as winbind names them:\n" + named;
}

QList<QByteArray> listingEntries(QByteArrayView listing)
{
    QList<QByteArray> entries;
    qsizetype start = 0;
    bool first = true;
    while (start < listing.size()) {
        qsizetype end = listing.indexOf("\r\n", start);
        if (end < 0)
            end = listing.size();
        QByteArrayView line = listing.sliced(start, end - start);
        start = end + 2;
        if (line.isEmpty())
            break; // the empty line that ends the listing
        if (first) {
            // The head line: the path (or, in the reference, nothing), a blank
            // and the owner's entry, which holds no blank but the two around
            // its name.
            const qsizetype owner = line.lastIndexOf(QByteArrayView(" user "));
            line = owner >= 0 ? line.sliced(owner + 1) : line.trimmed();
            first = false;
        }
        entries.append(line.toByteArray());
    }
    return entries;
}

QByteArray blockPath(QByteArrayView block)
{
    qsizetype end = block.indexOf("\r\n");
    if (end < 0)
        end = block.size();
    const QByteArrayView head = block.first(end);
    const qsizetype owner = head.lastIndexOf(QByteArrayView(" user "));
    return (owner >= 0 ? head.first(owner) : head).toByteArray();
}

QByteArray comparableEntry(QByteArrayView entry, const IgnoredParts& ignored)
{
    const qsizetype owner = entry.indexOf(" (owner):");
    if (owner < 0 || entry.contains(kDefaultMark))
        return entry.toByteArray();
    if ((ignored.ownerName && entry.startsWith("user ")) || (ignored.groupName && entry.startsWith("group ")))
        return entry.first(entry.indexOf(' ')).toByteArray() + entry.sliced(owner).toByteArray();
    return entry.toByteArray();
}

QByteArray comparableListing(QByteArrayView listing, const IgnoredParts& ignored)
{
    QByteArray out;
    out.reserve(listing.size());
    qsizetype start = 0;
    bool head = true;
    while (start < listing.size()) {
        qsizetype end = listing.indexOf("\r\n", start);
        const qsizetype next = end < 0 ? listing.size() : end + 2;
        if (end < 0)
            end = listing.size();
        const QByteArrayView line = listing.sliced(start, end - start);
        // The head line holds the path, a blank and the owner's entry.
        const qsizetype at = head ? line.lastIndexOf(QByteArrayView(" user ")) + 1 : 0;
        out += line.first(at);
        out += comparableEntry(line.sliced(at), ignored);
        out += listing.sliced(end, next - end);
        head = false;
        start = next;
    }
    return out;
}

QList<EntryChange> entryChanges(const QList<QByteArray>& reference, const QList<QByteArray>& here,
                                const IgnoredParts& ignored)
{
    struct Ordered {
        int rank;
        int sequence;
        EntryChange change;
    };
    QHash<QByteArray, qsizetype> inReference;
    std::vector<int> referenceRank;
    int referenceAces = 0, aces = 0;
    // The ACEs of Windows ACLs are compared as sequences, each ACL apart.
    QList<QByteArray> windowsAces[2][2]; // [DACL, SACL][reference, here]
    const auto windowsAce = [&windowsAces](const QByteArray& entry, int side) {
        const int rank = windowsAceRank(entry);
        if (rank != 0)
            windowsAces[rank == 17 ? 0 : 1][side].append(entry);
        return rank != 0;
    };
    for (qsizetype i = 0; i < reference.size(); ++i) {
        if (windowsAce(reference[i], 0)) {
            referenceRank.push_back(-1); // compared as a sequence below
            continue;
        }
        EntryKey key = keyOf(reference[i], referenceAces);
        inReference.insert(std::move(key.key), i);
        referenceRank.push_back(key.rank);
    }
    std::vector<Ordered> changes;
    std::vector<bool> matched(static_cast<std::size_t>(reference.size()), false);
    int sequence = 0;
    for (const QByteArray& entry : here) {
        if (windowsAce(entry, 1))
            continue;
        const EntryKey key = keyOf(entry, aces);
        const auto it = inReference.constFind(key.key);
        if (it == inReference.constEnd()) {
            changes.push_back({key.rank, sequence++, {EntryChange::Added, {}, entry}});
            continue;
        }
        matched[static_cast<std::size_t>(*it)] = true;
        if (ignored.any() ? comparableEntry(reference[*it], ignored) != comparableEntry(entry, ignored)
                          : reference[*it] != entry)
            changes.push_back({key.rank, sequence++, {EntryChange::Changed, reference[*it], entry}});
    }
    for (int acl = 0; acl < 2; ++acl)
        aceChanges(windowsAces[acl][0], windowsAces[acl][1], [&](EntryChange c) {
            changes.push_back({acl == 0 ? 17 : 19, sequence++, std::move(c)});
        });
    for (qsizetype i = 0; i < reference.size(); ++i) {
        if (!matched[static_cast<std::size_t>(i)] && referenceRank[static_cast<std::size_t>(i)] >= 0)
            changes.push_back(
                {referenceRank[static_cast<std::size_t>(i)], sequence++, {EntryChange::Removed, reference[i], {}}});
    }
    std::stable_sort(changes.begin(), changes.end(),
                     [](const Ordered& a, const Ordered& b) { return a.rank < b.rank; });
    QList<EntryChange> result;
    result.reserve(static_cast<qsizetype>(changes.size()));
    for (Ordered& c : changes)
        result.append(std::move(c.change));
    return result;
}

void foldDifferences(QList<FolderDifference>& folders, const QByteArray& root, const IgnoredParts& ignored)
{
    // Without ignored names the changes are compared as they are.
    const auto sameChanges = [&ignored](const QList<EntryChange>& a, const QList<EntryChange>& b) {
        if (!ignored.any())
            return a == b;
        return std::equal(
            a.begin(), a.end(), b.begin(), b.end(), [&ignored](const EntryChange& x, const EntryChange& y) {
                return x.kind == y.kind && comparableEntry(x.from, ignored) == comparableEntry(y.from, ignored)
                    && comparableEntry(x.to, ignored) == comparableEntry(y.to, ignored);
            });
    };
    // Parents come before their subfolders in tree order; a printable path's
    // parent is the path up to its last "/", since names hold no "/".
    QHash<QByteArray, qsizetype> byPath;
    byPath.reserve(folders.size());
    std::vector<qsizetype> start(static_cast<std::size_t>(folders.size()));
    for (qsizetype i = 0; i < folders.size(); ++i) {
        FolderDifference& f = folders[i];
        f.startsHere = true;
        f.sameBelow = 0;
        start[static_cast<std::size_t>(i)] = i;
        if (f.path != root) {
            const qsizetype slash = f.path.lastIndexOf('/');
            const QByteArray parent = slash == 0 ? QByteArray("/") : f.path.left(slash);
            const auto it = byPath.constFind(parent);
            if (slash >= 0 && it != byPath.constEnd() && sameChanges(folders[*it].changes, f.changes)) {
                f.startsHere = false;
                start[static_cast<std::size_t>(i)] = start[static_cast<std::size_t>(*it)];
                ++folders[start[static_cast<std::size_t>(i)]].sameBelow;
            }
        }
        byPath.insert(f.path, i);
    }
}

QByteArray differencesReport(const QByteArray& root, const QList<FolderDifference>& folders,
                             const QList<QByteArray>& notReadPaths, const QList<QByteArray>& notListedPaths,
                             const QByteArray& notCompared, const QByteArray& notChecked,
                             const QList<QByteArray>& notReadReasons)
{
    const auto places = std::count_if(folders.begin(), folders.end(),
                                      [](const FolderDifference& f) { return f.startsHere; });
    QByteArray text = "Differences from the checked folder " + root + "\n"
        + counted(folders.size(), "folder differs", "folders differ")
        + " from the checked folder; the differences start in " + counted(places, "place", "places") + ".\n";
    if (!notChecked.isEmpty())
        text += "Not checked: " + notChecked + "\n";
    if (!notCompared.isEmpty())
        text += "Not compared: " + notCompared + "\n";
    for (const FolderDifference& f : folders) {
        if (!f.startsHere)
            continue;
        text += "\n" + f.path;
        if (f.sameBelow > 0)
            text += " (and " + counted(f.sameBelow, "subfolder", "subfolders") + " below it)";
        text += "\n";
        for (const EntryChange& c : f.changes) {
            switch (c.kind) {
            case EntryChange::Added: text += "    + " + c.to + "\n"; break;
            case EntryChange::Removed: text += "    - " + c.from + "\n"; break;
            case EntryChange::Changed: text += "    ~ " + c.from + " -> " + c.to + "\n"; break;
            }
        }
    }
    const auto list = [&text](const char* heading, const QList<QByteArray>& paths, const QList<QByteArray>& reasons) {
        if (paths.isEmpty())
            return;
        text += QByteArray("\n") + heading + "\n";
        for (qsizetype i = 0; i < paths.size(); ++i) {
            text += paths[i] + "\n";
            if (i < reasons.size() && !reasons[i].isEmpty())
                text += "    " + reasons[i] + "\n";
        }
    };
    text += windowsSidNames(folders, winbindLookup());
    list("Folders whose permissions were not read:", notReadPaths, notReadReasons);
    list("Folders whose subfolders could not be listed:", notListedPaths, {});
    return text;
}

} // namespace gw
