#include "engine/checks/folder/FixFile.h"
#include "engine/reports/CountText.h"
#include "platform/SystemErrorText.h"

#include "platform/FileDestination.h"
#include "platform/PrintablePath.h"
#include "platform/WorkingFolder.h"

#include <QSet>

#include <algorithm>
#include <climits>
#include <cstring>
#include <sys/stat.h>

namespace gw {
namespace {

// The principal of an owner's entry ("user alice (owner)"), or nothing when
// `entry` is not the owner's (`kind` "user") or the owning group's ("group").
QByteArrayView ownerPrincipal(const QByteArray& entry, QByteArrayView kind)
{
    const qsizetype end = entry.indexOf(" (owner):");
    return end > 0 && entry.startsWith(kind) ? QByteArrayView(entry).first(end) : QByteArrayView();
}

// True when the owner (kind "user") or the owning group ("group") is another one.
bool principalChanged(const QList<EntryChange>& changes, QByteArrayView kind)
{
    for (const EntryChange& c : changes) {
        if (c.kind != EntryChange::Changed)
            continue;
        const QByteArrayView from = ownerPrincipal(c.from, kind), to = ownerPrincipal(c.to, kind);
        if (!from.isEmpty() && from != to)
            return true;
    }
    return false;
}

// True when an NFSv4 ACE or Samba's Windows ACL differs: setfacl cannot set
// those, and its changes to the mode bits could make an NFSv4 server rewrite
// the ACL.
bool otherModelChanged(const QList<EntryChange>& changes)
{
    const auto other = [](const QByteArray& entry) { return entry.startsWith("nfs4 ") || entry.startsWith("ntacl "); };
    return std::any_of(changes.begin(), changes.end(),
                       [&](const EntryChange& c) { return other(c.from) || other(c.to); });
}

QByteArray number(qulonglong n)
{
    return QByteArray::number(n);
}

} // namespace

QByteArray fixFileText(const Analysis& analysis, const RestorePermissions& checked, const IgnoredParts& ignored)
{
    const ReportInputs& in = analysis.inputs;
    const QSet<QByteArray> unlisted(in.notListedPaths.begin(), in.notListedPaths.end());
    int fixed = 0, leftUnlisted = 0, tooLong = 0, otherModel = 0;
    QByteArray records;
    for (const FolderDifference& d : analysis.differences) {
        if (unlisted.contains(d.path)) {
            ++leftUnlisted;
            continue;
        }
        if (otherModelChanged(d.changes)) {
            ++otherModel;
            continue;
        }
        const std::string raw = rawFromPrintable(d.path.toStdString());
        if (raw.size() >= PATH_MAX) { // setfacl names a file by its whole path
            ++tooLong;
            continue;
        }
        ++fixed;
        records += "# file: " + QByteArray::fromStdString(restorePath(raw)) + "\n";
        if (!ignored.ownerName && principalChanged(d.changes, "user "))
            records += "# owner: " + number(checked.owner) + "\n";
        if (!ignored.groupName && principalChanged(d.changes, "group "))
            records += "# group: " + number(checked.group) + "\n";
        if (!checked.flags.empty())
            records += "# flags: " + QByteArray::fromStdString(checked.flags) + "\n";
        records += QByteArray::fromStdString(checked.entries) + "\n";
    }

    QByteArray text = "# Gives " + counted(fixed, "folder", "folders") + " the permissions of "
        + QByteArray::fromStdString(restorePath(rawFromPrintable(in.targetPrintable.toStdString())))
        + ". Review it, then apply it with: setfacl --restore=FILE\n";
    if (in.notRead > 0 || leftUnlisted > 0 || tooLong > 0)
        text += "# Left out: " + number(static_cast<qulonglong>(in.notRead))
            + " folders whose permissions were not read, " + number(static_cast<qulonglong>(leftUnlisted))
            + " folders that differ but whose subfolders could not be listed, "
            + number(static_cast<qulonglong>(tooLong)) + " folders whose paths are too long for setfacl.\n";
    if (otherModel > 0)
        text += "# Left out as well: " + number(static_cast<qulonglong>(otherModel))
            + " folders whose NFSv4 ACL or Windows ACL (security.NTACL) differs, which setfacl cannot set.\n";
    if (fixed == 0) {
        // No record to give: the checked folder's own record keeps the file
        // one that setfacl applies without an error, changing nothing. The
        // comment never says that nothing differs when that is not known.
        const QByteArray own = "the one record gives the checked folder its own permissions.\n";
        if (!analysis.differences.isEmpty()) {
            QList<QByteArray> why;
            if (leftUnlisted > 0)
                why << number(static_cast<qulonglong>(leftUnlisted)) + " whose subfolders could not be listed";
            if (tooLong > 0)
                why << number(static_cast<qulonglong>(tooLong)) + " whose paths are too long for setfacl";
            if (otherModel > 0)
                why << number(static_cast<qulonglong>(otherModel)) + " whose NFSv4 or Windows ACL differs";
            text += "# " + number(static_cast<qulonglong>(analysis.differences.size()))
                + " folders differ, and none could be given a record (" + why.join(", ") + "): " + own;
        } else if (in.notRead > 0) {
            text += "# Nothing differs among the folders that were read: " + own;
        } else {
            text += "# Nothing differs: " + own;
        }
        records += "# file: "
            + QByteArray::fromStdString(restorePath(rawFromPrintable(in.targetPrintable.toStdString()))) + "\n";
        if (!checked.flags.empty())
            records += "# flags: " + QByteArray::fromStdString(checked.flags) + "\n";
        records += QByteArray::fromStdString(checked.entries) + "\n";
    }
    return text + "\n" + records;
}

namespace {

// Where the fix file goes: its folder and its name.
struct Destination {
    std::string shown; // the path in printable form
    QByteArray dir;
    QByteArray name;
    bool inOpen = false; // the folder is `open`, the run's reports folder
};

// What is written: the fix file, or a baseline.
struct Written {
    const char* english;
    const char* russian;
};
constexpr Written kFixFile {"the fix file", "файл исправления"};
constexpr Written kBaseline {"the baseline", "базовый снимок"};
constexpr Written kHtmlReport {"the HTML report", "HTML-отчёт"};
constexpr Written kCsvReport {"the CSV report", "CSV-отчёт"};

Written words(const char* what)
{
    for (const Written& w : {kFixFile, kBaseline, kHtmlReport, kCsvReport}) {
        if (std::string_view(what) == w.english)
            return w;
    }
    return Written {what, what};
}

// Takes `path` apart. Returns why it is refused for what its text says; empty
// when it is not.
std::string destination(const QByteArray& path, ReportsFolder* open, Destination& to, Language language,
                        Written what = kFixFile)
{
    to.shown = printable(std::string_view(path.constData(), static_cast<std::size_t>(path.size())));
    const qsizetype slash = path.lastIndexOf('/');
    to.dir = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
    to.name = path.mid(slash + 1);
    if (to.name.isEmpty() || to.name == "." || to.name == "..")
        return std::string(inLanguage(language, "cannot write ", "не удалось записать "))
            + inLanguage(language, what.english, what.russian) + " " + to.shown
            + inLanguage(language, ": not a file name", ": это не имя файла");
    FileDestination where;
    to.inOpen = open && fileDestination(path, where) == 0 && where.in(open->identity());
    if (to.inOpen && WorkingFolder::isReportName(to.name))
        return std::string(inLanguage(language, what.english, what.russian)) + " " + to.shown
            + inLanguage(language, " would replace the report ", " заменил бы отчёт ") + to.name.toStdString()
            + inLanguage(language, " in the reports folder ", " в папке отчётов ")
            + printable(open->path().toStdString());
    return {};
}

} // namespace

std::string fixFileRefusal(const QByteArray& path, ReportsFolder* open)
{
    return restoreFileRefusal(path, kFixFile.english, open);
}

std::string restoreFileRefusal(const QByteArray& path, const char* what, ReportsFolder* open, Language language)
{
    const Written written = words(what);
    Destination to;
    if (std::string problem = destination(path, open, to, language, written); !problem.empty())
        return problem;
    // As the write would find it: only a regular file is ever replaced.
    struct stat st { };
    if (::lstat(path.constData(), &st) == 0 && !S_ISREG(st.st_mode))
        return inLanguage(language, "cannot write ", "не удалось записать ") + to.shown + ": "
            + (S_ISDIR(st.st_mode) ? systemErrorText(EISDIR, language) : notRegularText(st.st_mode, language));
    if (to.inOpen) // opened and checked already
        return {};
    ReportsFolder probe;
    if (const ReportsFolder::Outcome outcome = probe.check(to.dir); outcome != ReportsFolder::Outcome::Opened)
        return probe.refusal(outcome, inLanguage(language, written.english, written.russian), language);
    return {};
}

std::string saveFixFile(const QByteArray& path, const Analysis& analysis, const QByteArray& checkedFolder,
                        const IgnoredParts& ignored, ReportsFolder* open, Language language)
{
    Destination to;
    if (std::string problem = destination(path, open, to, language); !problem.empty())
        return problem;

    RestorePermissions checked;
    if (const int error = readRestorePermissions(
            std::string_view(checkedFolder.constData(), static_cast<std::size_t>(checkedFolder.size())), checked))
        return inLanguage(language, "cannot read the permissions of ", "не удалось прочитать разрешения ")
            + printable(std::string_view(checkedFolder.constData(), static_cast<std::size_t>(checkedFolder.size())))
            + ": " + systemErrorText(error, language);
    return saveFixText(path, fixFileText(analysis, checked, ignored), open, language);
}

std::string saveFixText(const QByteArray& path, const QByteArray& text, ReportsFolder* open, Language language)
{
    return saveRestoreParts(path, {QByteArrayView(text)}, kFixFile.english, open, language);
}

std::string saveRestoreParts(const QByteArray& path, const std::vector<ReportsFolder::Part>& parts, const char* what,
                             ReportsFolder* open, Language language)
{
    const Written written = words(what);
    Destination to;
    if (std::string problem = destination(path, open, to, language, written); !problem.empty())
        return problem;
    // The reports folder of this run, if that is where it goes: it is locked already.
    ReportsFolder own;
    ReportsFolder* folder = &own;
    if (to.inOpen) {
        folder = open;
    } else if (const ReportsFolder::Outcome outcome = own.open(to.dir); outcome != ReportsFolder::Outcome::Opened) {
        return own.refusal(outcome, inLanguage(language, written.english, written.russian), language);
    }
    // An earlier file is what the user accepted or reviewed: a failed write keeps it.
    struct stat st { };
    const bool earlier = ::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode);
    if (const int error = folder->replaceKeeping({to.name, parts}))
        return inLanguage(language, "cannot write ", "не удалось записать ") + to.shown + ": "
            + folder->failureText(error, language)
            + (!earlier ? std::string()
                   : written.english == kBaseline.english
                   ? inLanguage(language, "; the earlier baseline is kept", "; прежний базовый снимок сохранён")
                   : written.english == kFixFile.english
                   ? inLanguage(language, "; the earlier fix file is kept", "; прежний файл исправления сохранён")
                   : inLanguage(language, "; the earlier file is kept", "; прежний файл сохранён"));
    return {};
}

} // namespace gw
