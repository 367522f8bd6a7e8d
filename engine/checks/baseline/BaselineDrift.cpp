#include "engine/checks/baseline/BaselineDrift.h"
#include "engine/reports/CountText.h"
#include "platform/DirectoryOpen.h"
#include "platform/PrintableText.h"

#include "engine/checks/JsonLines.h"
#include "engine/reports/LanguageText.h"
#include "engine/rules/ItemFindings.h"
#include "platform/FolderTree.h"
#include "platform/PrintablePath.h"
#include "platform/RestoreFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace gw {
namespace {

QByteArray number(long n)
{
    return QByteArray::number(n);
}

// The next name of `rel` from `at` (which is at a '/'), and where it ends.
std::string_view nameAt(std::string_view rel, std::size_t at, std::size_t& end)
{
    end = rel.find('/', at + 1);
    if (end == std::string_view::npos)
        end = rel.size();
    return rel.substr(at + 1, end - at - 1);
}

// True when `now` carries what `recorded` says: the permissions setfacl can
// set, and the entries of NFSv4 and Windows ACLs, in their order. A record
// without them for an item that has them now, or the other way round, differs.
bool sameAsRecorded(const Permissions& now, const Permissions& recorded)
{
    return now == recorded;
}

// What is reported of an item: made only for the few that are.
ItemDifference reported(std::string_view rawPath, std::string_view printablePath, ItemKind kind)
{
    ItemDifference d;
    d.kind = kind;
    d.path = byteArray(printablePath);
    d.rawPath = byteArray(rawPath);
    return d;
}

} // namespace

// ----- the walk's order -----

WalkOrder::WalkOrder(std::string root)
    : root_(std::move(root))
    , collator_(siblingCollator())
{
    while (root_.size() > 1 && root_.back() == '/')
        root_.pop_back();
}

bool WalkOrder::relative(std::string_view raw, std::string_view& out) const
{
    if (raw == root_) {
        out = {};
        return true;
    }
    if (root_ == "/") {
        out = raw;
        return raw.size() > 1 && raw[0] == '/';
    }
    if (raw.size() <= root_.size() + 1 || raw.substr(0, root_.size()) != root_ || raw[root_.size()] != '/')
        return false;
    out = raw.substr(root_.size());
    return true;
}

int WalkOrder::compare(std::string_view a, ItemKind aKind, std::string_view b, ItemKind bKind) const
{
    if (a == b)
        return 0;
    std::string_view ra, rb;
    if (!relative(a, ra) || !relative(b, rb))
        return a < b ? -1 : 1; // never both in one run
    std::size_t at = 0;
    for (;;) {
        // A folder comes before all below it.
        if (at >= ra.size())
            return at >= rb.size() ? 0 : -1;
        if (at >= rb.size())
            return 1;
        std::size_t endA = 0, endB = 0;
        const std::string_view na = nameAt(ra, at, endA), nb = nameAt(rb, at, endB);
        if (na == nb) {
            at = endA;
            continue;
        }
        // Siblings: a folder's files come before its subfolders.
        const ItemKind ka = endA == ra.size() ? aKind : ItemKind::Folder;
        const ItemKind kb = endB == rb.size() ? bKind : ItemKind::Folder;
        if (ka != kb)
            return ka == ItemKind::File ? -1 : 1;
        if (ka == ItemKind::Folder) {
            const int c = collator_.compare(QString::fromUtf8(na.data(), static_cast<qsizetype>(na.size())),
                                            QString::fromUtf8(nb.data(), static_cast<qsizetype>(nb.size())));
            if (c != 0)
                return c;
        }
        return na < nb ? -1 : 1;
    }
}

// ----- the merge -----

BaselineDrift::BaselineDrift(BaselineReader& reader, QByteArray baselinePath, DriftScope scope, ReportsFolder& spools)
    : reader_(reader)
    , path_(std::move(baselinePath))
    , scope_(scope)
    , order_(reader.head().rawFolder)
    , changed_(spools)
    , added_(spools)
    , gone_(spools)
    , notRead_(spools)
{
    counts_.filesNotRecorded = scope_.files && reader.head().files < 0;
    haveRecord_ = advance(false);
}

bool BaselineDrift::advance(bool matched)
{
    if (error_)
        return false;
    try {
        if (haveRecord_) {
            // Two records matched to items one after the other are in the
            // walk's order already; any other two are compared.
            if (havePrevious_ && !(matched && previousMatched_)
                && order_.compare(previous_.rawPath, previous_.kind, record_.rawPath, record_.kind) >= 0)
                throw outOfOrder();
            std::swap(previous_, record_); // the next record reuses the old one's room
            havePrevious_ = true;
            previousMatched_ = matched;
        }
        if (!reader_.next(record_))
            return false;
        std::string_view rel;
        if (!order_.relative(record_.rawPath, rel))
            throw BaselineError(record_.line,
                                say("the item is not below the baseline's folder", "элемент не в папке снимка"));
        if (!havePrevious_ && !rel.empty())
            throw BaselineError(record_.line,
                                say("the first record is not the baseline's folder", "первая запись не папка снимка"));
        // A file holds nothing: a record below one says the file is a folder.
        if (havePrevious_ && previous_.kind == ItemKind::File && record_.rawPath.size() > previous_.rawPath.size()
            && record_.rawPath.compare(0, previous_.rawPath.size(), previous_.rawPath) == 0
            && record_.rawPath[previous_.rawPath.size()] == '/')
            throw BaselineError(previous_.line,
                                say("the record says \"# kind: file\", but records below it make it a folder",
                                    "в записи \"# kind: file\", но записи под ней делают её папкой"));
        return true;
    } catch (const BaselineError& e) {
        error_ = e;
        return false;
    }
}

std::string BaselineDrift::say(const char* english, const char* russian) const
{
    return inLanguage(reader_.language(), english, russian);
}

BaselineError BaselineDrift::outOfOrder() const
{
    // A record whose kind line says otherwise than the item it names is out
    // of order for that reason: the order puts a folder's files before its
    // subfolders. The text alone cannot tell that from another collation, so
    // the items themselves are asked.
    for (const BaselineRecord* r : {&record_, &previous_}) {
        struct stat st { };
        if (::lstat(r->rawPath.c_str(), &st) != 0 || S_ISDIR(st.st_mode) == (r->kind == ItemKind::Folder))
            continue;
        const bool file = r->kind == ItemKind::File;
        return BaselineError(
            r->line,
            say("the record says \"# kind: ", "в записи \"# kind: ") + (file ? "file" : "folder")
                + say("\", but ", "\", но ") + printable(r->rawPath)
                + (file ? say(" is a folder", " — папка") : say(" is not a folder", " — не папка"))
                + say(": the kind line does not match the item", ": строка вида не совпадает с элементом"));
    }
    return BaselineError(record_.line,
                         say("the record is out of the order this check walks the tree in (was the baseline"
                             " taken where names sort otherwise, in another language's collation?)",
                             "запись не в том порядке, в каком проверка обходит дерево (не снят ли снимок там,"
                             " где имена упорядочены иначе, по правилам другого языка?)"));
}

bool BaselineDrift::leftOutNow(std::string_view rel, ItemKind kind) const
{
    if (kind == ItemKind::File && !scope_.files)
        return true;
    int depth = 0; // of the folder, or of the file's folder
    for (std::size_t at = 0; at < rel.size();) {
        std::size_t end = 0;
        const std::string_view name = nameAt(rel, at, end);
        if (!scope_.includeHidden && !name.empty() && name[0] == '.')
            return true;
        if (end < rel.size() || kind == ItemKind::Folder)
            ++depth;
        at = end;
    }
    return scope_.maxDepth >= 0 && depth > scope_.maxDepth;
}

void BaselineDrift::recordNotReached()
{
    std::string_view rel;
    order_.relative(record_.rawPath, rel);
    bool gone = !leftOutNow(rel, record_.kind);
    std::string note;
    if (gone) {
        // Still there, as what it was: this run did not walk it. Looked at
        // without following any link on the way: a recorded item that is
        // now a link, or whose path now leads through one, is gone (and
        // setfacl --restore would follow that link: the report says so).
        const std::size_t slash = record_.rawPath.rfind('/');
        const std::string_view path(record_.rawPath);
        const std::string_view parent = slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
        // The records of a folder that is gone come one after the other: the
        // folder that could not be opened answers for all below it.
        if (!unopened_.empty() && path.size() > unopened_.size() && path.substr(0, unopened_.size()) == unopened_
            && path[unopened_.size()] == '/') {
            gone = unopenedGone_;
            note = unopenedNote_;
            if (!gone)
                ++counts_.leftOut;
            else
                reportGone(note);
            return;
        }
        bool listable = true;
        const int parentFd = openDirectoryForPermissions(parent, listable, Links::Refuse);
        struct stat st { };
        if (parentFd < 0) {
            gone = errno == ENOENT || errno == ENOTDIR || errno == ELOOP;
            if (errno == ELOOP)
                note = " (its path now leads through a symbolic link)";
            unopened_.assign(parent);
            unopenedGone_ = gone;
            unopenedNote_ = note;
        } else if (::fstatat(parentFd, record_.rawPath.c_str() + slash + 1, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            gone = S_ISLNK(st.st_mode) || S_ISDIR(st.st_mode) != (record_.kind == ItemKind::Folder);
            if (S_ISLNK(st.st_mode))
                note = " (now a symbolic link)";
        } else {
            gone = errno == ENOENT || errno == ENOTDIR;
        }
        if (parentFd >= 0)
            ::close(parentFd);
    }
    if (!gone) {
        ++counts_.leftOut;
        return;
    }
    reportGone(note);
}

void BaselineDrift::reportGone(const std::string& note)
{
    ++counts_.gone;
    const ItemDifference d = reported(record_.rawPath, printable(record_.rawPath), record_.kind);
    gone_.append((d.kind == ItemKind::File ? "file " : "folder ") + d.path + QByteArray::fromStdString(note) + "\n");
    if (json_)
        *json_ += jsonItemLine(d, "gone");
    if (kept_)
        kept_->push_back(DriftItem {DriftItem::Gone, d, QByteArray::fromStdString(note).trimmed()});
}

void BaselineDrift::take(std::string_view rawPath, std::string_view printablePath, ItemKind kind, const Permissions* p,
                         std::string_view reason)
{
    if (kind == ItemKind::File && counts_.filesNotRecorded)
        return;
    while (haveRecord_ && order_.compare(record_.rawPath, record_.kind, rawPath, kind) < 0) {
        recordNotReached();
        haveRecord_ = advance(false);
    }
    const bool recorded = haveRecord_ && record_.rawPath == rawPath && record_.kind == kind;
    if (!p) {
        ++counts_.notRead;
        ItemNotRead n {byteArray(printablePath), byteArray(rawPath), kind, byteArray(reason)};
        notRead_.append((kind == ItemKind::File ? "file " : "folder ") + n.path + "\n"
                        + (n.reason.isEmpty() ? QByteArray() : "    " + n.reason + "\n"));
        if (json_)
            *json_ += jsonItemNotReadLine(n);
        if (kept_)
            kept_->push_back(DriftItem {DriftItem::NotRead, reported(rawPath, printablePath, kind), n.reason});
    } else if (!recorded) {
        ++counts_.added;
        ItemDifference d = reported(rawPath, printablePath, kind);
        d.status = itemStatus(*p, names_);
        for (const QByteArray& entry : permissionEntries(*p, names_))
            d.changes.append(EntryChange {EntryChange::Added, {}, entry});
        added_.append("\n" + itemLines(d, false));
        if (json_)
            *json_ += jsonItemLine(d, "new");
        if (kept_)
            kept_->push_back(DriftItem {DriftItem::New, std::move(d), {}});
    } else {
        ++(kind == ItemKind::File ? counts_.filesCompared : counts_.foldersCompared);
        if (!sameAsRecorded(*p, record_.permissions)) {
            ++counts_.changed;
            ItemDifference d = reported(rawPath, printablePath, kind);
            d.status = itemStatus(*p, names_);
            d.changes = entryChanges(permissionEntries(record_.permissions, names_), permissionEntries(*p, names_));
            changed_.append("\n" + itemLines(d, false));
            if (json_)
                *json_ += jsonItemLine(d, "changed");
            if (kept_)
                kept_->push_back(DriftItem {DriftItem::Changed, std::move(d), {}});
        }
    }
    if (recorded)
        haveRecord_ = advance(true);
}

std::vector<DriftItem> BaselineDrift::keptItems() const
{
    std::vector<DriftItem> items = kept_ ? *kept_ : std::vector<DriftItem>();
    std::stable_sort(items.begin(), items.end(),
                     [](const DriftItem& a, const DriftItem& b) { return a.status < b.status; });
    return items;
}

void BaselineDrift::notListed(const QByteArray& printablePath, const QByteArray& why)
{
    ++counts_.notRead;
    const QByteArray raw = rawOfPrintable(printablePath);
    notRead_.append("folder " + printablePath + "\n    " + why + "\n");
    if (json_)
        *json_ += jsonItemNotReadLine(ItemNotRead {printablePath, raw, ItemKind::Folder, why});
    if (kept_)
        kept_->push_back(DriftItem {DriftItem::NotRead,
                                    reported(raw.toStdString(), printablePath.toStdString(), ItemKind::Folder), why});
}

void BaselineDrift::finish()
{
    if (std::exchange(finished_, true))
        return;
    while (haveRecord_) {
        recordNotReached();
        haveRecord_ = advance(false);
    }
}

std::vector<ReportsFolder::Part> BaselineDrift::reportParts(const QByteArray& notChecked)
{
    const BaselineHead& h = head();
    const DriftCounts& c = counts_;
    head_ = "Changes since the baseline of " + QByteArray::fromStdString(printable(h.rawFolder)) + " taken "
        + QByteArray::fromStdString(h.taken) + "\n";
    head_ += number(c.changed) + " changed, " + number(c.added) + " new, " + number(c.gone) + " gone; "
        + number(c.notRead) + " not read\n";
    head_ += "Baseline: " + QByteArray::fromStdString(printable(path_.toStdString())) + ", taken on "
        + QByteArray::fromStdString(printable(h.host)) + "\n";
    head_ += "Compared with their records: " + counted(c.foldersCompared, "folder", "folders") + ", "
        + counted(c.filesCompared, "file", "files") + ".\n";
    if (c.leftOut > 0)
        head_ += "Not compared: " + counted(c.leftOut, "recorded item", "recorded items")
            + " this run does not cover (left out by its options, or not walked); they are not"
              " counted as gone.\n";
    if (!notChecked.isEmpty())
        head_ += "Not checked: " + notChecked + "\n";
    if (c.filesNotRecorded)
        head_ += "Files are not in the baseline (it was taken without --files): they were not compared.\n";
    const auto section = [](const char* title, long count) {
        return count > 0 ? "\n" + QByteArray(title) + "\n" : QByteArray();
    };
    heads_[0] = section("Changed (- as recorded, + as now):", c.changed);
    heads_[1] = section("New (not in the baseline):", c.added);
    heads_[2] = section("Gone (in the baseline, no longer there):", c.gone);
    heads_[3] = section("Not read now, so not compared:", c.notRead);
    // A changed or new item begins with the blank line before it.
    return {ReportsFolder::Part(head_),
            ReportsFolder::Part(heads_[0]),
            changed_.part(),
            ReportsFolder::Part(heads_[1]),
            added_.part(),
            ReportsFolder::Part(heads_[2]),
            gone_.part(),
            ReportsFolder::Part(heads_[3]),
            notRead_.part()};
}

QByteArray jsonDriftSummaryLine(const DriftSummary& summary)
{
    const BaselineDrift& drift = *summary.drift;
    const DriftCounts& c = drift.counts();
    const char* verdict = !c.nothingChanged() ? "changed" : c.notRead > 0 ? "incomplete" : "same";
    return "{\"type\":\"summary\",\"check\":\"baseline\",\"folder\":" + jsonString(summary.folder)
        + ",\"baseline\":" + jsonString(QByteArray::fromStdString(printable(drift.baselinePath().toStdString())))
        + ",\"baseline_taken\":" + jsonString(QByteArray::fromStdString(drift.head().taken)) + ",\"baseline_host\":"
        + jsonString(QByteArray::fromStdString(printable(drift.head().host))) + ",\"changed\":" + number(c.changed)
        + ",\"new\":" + number(c.added) + ",\"gone\":" + number(c.gone) + ",\"not_read\":" + number(c.notRead)
        + ",\"folders_compared\":" + number(c.foldersCompared) + ",\"files_compared\":" + number(c.filesCompared)
        + ",\"left_out\":" + number(c.leftOut) + ",\"files_not_recorded\":" + (c.filesNotRecorded ? "true" : "false")
        + ",\"drift_report\":" + jsonString(summary.driftReport)
        + ",\"seconds\":" + QByteArray::number(summary.seconds, 'f', 3) + ",\"verdict\":\"" + verdict + "\"}\n";
}

QString driftVerdict(const QString& lang, const BaselineDrift& drift)
{
    const DriftCounts& c = drift.counts();
    const bool ru = isRussian(lang);
    const QString folder = QString::fromUtf8(printable(drift.head().rawFolder));
    const QString taken = QString::fromStdString(drift.head().taken);
    const QString n = QString::number(c.foldersCompared + c.filesCompared);
    if (c.nothingChanged() && c.notRead == 0)
        return ru ? QStringLiteral("Ничего не изменилось с базового снимка %1 от %2: сравнено объектов: %3.")
                        .arg(folder, taken, n)
                  : QStringLiteral("Nothing changed since the baseline of %1 taken %2: %3 compared.")
                        .arg(folder, taken, countedText(c.foldersCompared + c.filesCompared, "item", "items"));
    const QString counts = ru ? QStringLiteral("изменено %1, новых %2, исчезло %3; не прочитано %4")
                                    .arg(c.changed)
                                    .arg(c.added)
                                    .arg(c.gone)
                                    .arg(c.notRead)
                              : QStringLiteral("%1 changed, %2 new, %3 gone; %4 not read")
                                    .arg(c.changed)
                                    .arg(c.added)
                                    .arg(c.gone)
                                    .arg(c.notRead);
    return ru ? QStringLiteral("Изменения с базового снимка %1 от %2: %3.").arg(folder, taken, counts)
              : QStringLiteral("Changes since the baseline of %1 taken %2: %3.").arg(folder, taken, counts);
}

} // namespace gw
