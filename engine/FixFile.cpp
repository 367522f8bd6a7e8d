#include "engine/FixFile.h"

#include "platform/PrintablePath.h"

#include <QSet>

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

QByteArray number(qulonglong n)
{
    return QByteArray::number(n);
}

} // namespace

QByteArray fixFileText(const Analysis& analysis, const RestorePermissions& checked, const IgnoredParts& ignored)
{
    const ReportInputs& in = analysis.inputs;
    const QSet<QByteArray> unlisted(in.notListedPaths.begin(), in.notListedPaths.end());
    int fixed = 0, leftUnlisted = 0, tooLong = 0;
    QByteArray records;
    for (const FolderDifference& d : analysis.differences) {
        if (unlisted.contains(d.path)) {
            ++leftUnlisted;
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

    QByteArray text = "# Gives " + number(static_cast<qulonglong>(fixed)) + " folders the permissions of "
        + QByteArray::fromStdString(restorePath(rawFromPrintable(in.targetPrintable.toStdString())))
        + ". Review it, then apply it with: setfacl --restore=FILE\n";
    if (in.notRead > 0 || leftUnlisted > 0 || tooLong > 0)
        text += "# Left out: " + number(static_cast<qulonglong>(in.notRead))
            + " folders whose permissions were not read, " + number(static_cast<qulonglong>(leftUnlisted))
            + " folders that differ but whose subfolders could not be listed, "
            + number(static_cast<qulonglong>(tooLong)) + " folders whose paths are too long for setfacl.\n";
    if (fixed == 0) {
        // Nothing to change: the checked folder's own record keeps the file
        // one that setfacl applies without an error, changing nothing.
        text += "# Nothing differs: the one record gives the checked folder its own permissions.\n";
        records += "# file: "
            + QByteArray::fromStdString(restorePath(rawFromPrintable(in.targetPrintable.toStdString()))) + "\n";
        if (!checked.flags.empty())
            records += "# flags: " + QByteArray::fromStdString(checked.flags) + "\n";
        records += QByteArray::fromStdString(checked.entries) + "\n";
    }
    return text + "\n" + records;
}

std::string saveFixFile(const QByteArray& path, const Analysis& analysis, const QByteArray& checkedFolder,
                        const IgnoredParts& ignored, ReportsFolder* open)
{
    const std::string shown = printable(std::string_view(path.constData(), static_cast<std::size_t>(path.size())));
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray dir = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
    const QByteArray name = path.mid(slash + 1);
    if (name.isEmpty() || name == "." || name == "..")
        return "cannot write the fix file " + shown + ": not a file name";

    RestorePermissions checked;
    if (const int error = readRestorePermissions(
            std::string_view(checkedFolder.constData(), static_cast<std::size_t>(checkedFolder.size())), checked))
        return "cannot read the permissions of "
            + printable(std::string_view(checkedFolder.constData(), static_cast<std::size_t>(checkedFolder.size())))
            + ": " + std::strerror(error);
    const QByteArray text = fixFileText(analysis, checked, ignored);

    // The reports folder of this run, if that is where it goes: it is locked already.
    ReportsFolder own;
    ReportsFolder* folder = &own;
    struct stat st { };
    if (open && ::stat(dir.constData(), &st) == 0 && open->identity() == FolderIdentity {st.st_dev, st.st_ino}) {
        folder = open;
    } else if (const ReportsFolder::Outcome outcome = own.open(dir); outcome != ReportsFolder::Outcome::Opened) {
        return own.refusal(outcome, "the fix file");
    }
    QByteArray failed;
    if (const int error = folder->replace({{name, {QByteArrayView(text)}}}, failed))
        return "cannot write " + shown + ": " + std::strerror(error);
    return {};
}

} // namespace gw
