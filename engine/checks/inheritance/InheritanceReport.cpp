#include "engine/checks/inheritance/InheritanceReport.h"
#include "engine/reports/CountText.h"

#include "engine/reports/LanguageText.h"

#include <cstdio>

namespace gw {
namespace {

QByteArray number(qlonglong n)
{
    return QByteArray::number(n);
}

QByteArray kindWord(ItemKind kind)
{
    return kind == ItemKind::Folder ? "folder " : "file ";
}

} // namespace

QByteArray inheritanceReport(const QByteArray& folder, const ItemFindings& f, const QByteArray& notChecked)
{
    QByteArray text = inheritanceReportHead(folder, f, notChecked);
    for (const ItemDifference& d : f.items)
        text += "\n" + itemLines(d, true);
    return text + inheritanceReportTail(f);
}

QByteArray inheritanceReportHead(const QByteArray& folder, const ItemFindings& f, const QByteArray& notChecked)
{
    QByteArray text = "Inheritance check of " + folder + ": every folder" + (f.files ? " and file" : "")
        + " against what its own folder gives a new one\n";
    text += counted(f.foldersDiffering, "folder", "folders");
    if (f.files)
        text += " and " + counted(f.filesDiffering, "file", "files");
    text += " do not carry what their folder gives them.\n";
    text += "Checked: " + counted(f.folders - 1, "subfolder", "subfolders");
    if (f.files)
        text += ", " + counted(f.filesChecked, "file", "files") + " (" + number(f.otherKinds)
            + " links, devices, sockets and FIFOs counted, not compared)";
    text += ".\n";
    if (f.umask)
        text += "Mode bits where no default ACL decides them: as umask " + QByteArray::fromStdString(modeText(*f.umask))
            + " gives them.\n";
    else
        text += "Mode bits where no default ACL decides them: not compared (no --umask).\n";
    if (!notChecked.isEmpty())
        text += "Not checked: " + notChecked + "\n";
    return text;
}

QByteArray inheritanceReportTail(const ItemFindings& f)
{
    QByteArray text;
    QByteArray notRead;
    for (const ItemNotRead& n : f.notRead) {
        notRead += kindWord(n.kind) + n.path + "\n";
        if (!n.reason.isEmpty())
            notRead += "    " + n.reason + "\n";
    }
    if (!notRead.isEmpty())
        text += "\nNot read, so not compared:\n" + notRead;
    if (!f.notListed.isEmpty()) {
        text += "\nFolders whose entries could not be listed:\n";
        for (const QByteArray& path : f.notListed)
            text += path + "\n";
    }
    return text;
}

QString inheritanceVerdict(const QString& lang, const ItemFindings& f)
{
    const bool ru = isRussian(lang);
    const QString folders = QString::number(f.foldersDiffering), files = QString::number(f.filesDiffering);
    QString text;
    if (f.foldersDiffering + f.filesDiffering == 0) {
        // Plainly when everything was read; else of what was read.
        const bool allRead = f.notRead.isEmpty() && f.notListed.isEmpty();
        if (ru)
            text = (f.files ? QStringLiteral("Все%1 папки и файлы получили то, что даёт им их папка.")
                            : QStringLiteral("Все%1 папки получили то, что даёт им их папка."))
                       .arg(allRead ? QString() : QStringLiteral(" прочитанные"));
        else
            text = (f.files ? QStringLiteral("Every folder and file%1 carries what its folder gives it.")
                            : QStringLiteral("Every folder%1 carries what its folder gives it."))
                       .arg(allRead ? QString() : QStringLiteral(" that was read"));
    } else if (ru) {
        text = QStringLiteral("Не получили того, что даёт им их папка: папок — ") + folders
            + (f.files ? QStringLiteral(", файлов — ") + files : QString())
            + QStringLiteral(". Подробности — в отчёте о наследовании.");
    } else {
        text = countedText(f.foldersDiffering, "folder", "folders")
            + (f.files ? QStringLiteral(" and ") + countedText(f.filesDiffering, "file", "files") : QString())
            + QStringLiteral(" do not carry what their folder gives them. The details are in the inheritance report.");
    }
    if (!f.notRead.isEmpty())
        text += ru
            ? QStringLiteral(" Не прочитаны и не сравнены: ") + QString::number(f.notRead.size()) + QLatin1Char('.')
            : QStringLiteral(" Not read and not compared: ") + QString::number(f.notRead.size()) + QLatin1Char('.');
    if (!f.notListed.isEmpty())
        text += ru ? QStringLiteral(" Папок, содержимое которых не удалось перечислить: ")
                + QString::number(f.notListed.size()) + QLatin1Char('.')
                   : QStringLiteral(" Folders whose entries could not be listed: ")
                + QString::number(f.notListed.size()) + QLatin1Char('.');
    return text;
}

} // namespace gw
