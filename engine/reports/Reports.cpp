#include "engine/reports/Reports.h"
#include "engine/reports/CountText.h"
#include "engine/reports/LanguageText.h"
#include "engine/reports/MessageText.h"
#include "platform/PrintableText.h"

#include "platform/PrintablePath.h"
#include "platform/WorkingFile.h"

#include <cstring>

namespace gw {

namespace {
QByteArray number(int n)
{
    return QByteArray::number(n);
}
} // namespace

QByteArray targetSummary(const ReportInputs& in)
{
    return "The target folder is: " + in.targetPrintable + "\r\n\r\n" + "It contains " + number(in.folderCount - 1)
        + " subfolders." + "\r\n" + "Max subfolder level is:" + number(in.maxLevel) + "\r\n\r\n\r\n"
        + "POSIX permissions of target folder are:" + "\r\n\r\n" + in.referenceText + "\r\n\r\n\r\n\r\n\r\n\r\n";
}

QByteArray fullReportHead(const QByteArray& summary, const QString& time, const QString& date)
{
    return "Full detail report.  " + time.toUtf8() + "  " + date.toUtf8() + "\r\n\r\n\r\n" + summary
        + "POSIX permissions of subfolders are:" + "\r\n\r\n\r\n";
}

QByteArray fullReport(const QByteArray& summary, const QString& time, const QString& date,
                      const QByteArray& fullDumpText)
{
    return fullReportHead(summary, time, date) + fullDumpText;
}

QByteArray mismatchReport(const QByteArray& summary, const QString& time, const QString& date,
                          const QByteArray& verdict, const QByteArray& mismatchText)
{
    return "Mismatches report.  " + time.toUtf8() + "  " + date.toUtf8() + "\r\n\r\n\r\n" + summary + verdict
        + "\r\n\r\n\r\n\r\n" + mismatchText;
}

namespace {

constexpr char kFolders[] = "folders";

// The sentences of a verdict in one language.
struct VerdictTexts {
    const char* same; // no mismatches
    const char* noneAmongRead; // no mismatches, but not everything was read or listed
    const char* mismatches; // followed by the count and "."
    // Around the count of listings that never arrived, and of folders not
    // listed: the text before it, the noun for one, for two to four and for
    // more (Russian has three forms, English two), and the text after.
    const char* notRead[5];
    const char* notListed[5];
    bool russian = false;
};

QString countIn(const char* const (&t)[5], long long n, bool russian)
{
    return QString::fromUtf8(t[0]) + (russian ? countedRussian(n, t[1], t[2], t[3]) : countedText(n, t[1], t[3]))
        + QString::fromUtf8(t[4]);
}

constexpr VerdictTexts kReportTexts {
    "The all subfolders have the same POSIX permissions like target folder.",
    "No mismatches were found among the folders that were read.",
    "Mismatches have been found. The number of mismatches is:   ",
    {" The permissions of ", "folder", kFolders, kFolders, " were not read and not compared."},
    {" The subfolders of ", "folder", kFolders, kFolders, " could not be listed and were not checked."},
};
constexpr VerdictTexts kScreenEnglish {
    "There are no mismatches between POSIX permissions of the checked folder and the subfolders. POSIX permissions of "
    "all the folders are the same.",
    "There are no mismatches between POSIX permissions of the checked folder and the subfolders.",
    "There are mismatches between POSIX permissions of the checked folder and the subfolders. The number of mismatches: ",
    {" The permissions of ", "folder", kFolders, kFolders, " were not read and not compared."},
    {" The subfolders of ", "folder", kFolders, kFolders, " could not be listed and were not checked."},
};
constexpr VerdictTexts kScreenRussian {
    "Расхождений между POSIX разрешениями вложенных папок и разрешениями проверяемой папки не обнаружено. POSIX "
    "разрешения ВСЕХ папок идентичны.",
    "Расхождений между POSIX разрешениями вложенных папок и разрешениями проверяемой папки не обнаружено.",
    "Обнаружены несоответствия POSIX разрешений вложенных папок разрешениям проверяемой папки. Количество "
    "несоответствий: ",
    {" Разрешения ", "папки", "папок", "папок", " не были прочитаны и не сравнивались."},
    {" Не удалось получить список вложенных папок у ", "папки", "папок", "папок", ", они не проверены."},
    true,
};

// The verdict sentence, then what was not read and what was not listed.
QString verdict(const VerdictTexts& t, const ReportInputs& in)
{
    const bool incomplete = in.notRead > 0 || in.notListed > 0;
    QString text = in.mismatchCount != 0
        ? QString::fromUtf8(t.mismatches) + QString::number(in.mismatchCount) + QLatin1Char('.')
        : QString::fromUtf8(incomplete ? t.noneAmongRead : t.same);
    if (in.notRead > 0)
        text += countIn(t.notRead, in.notRead, t.russian);
    if (in.notListed > 0)
        text += countIn(t.notListed, in.notListed, t.russian);
    return text;
}

} // namespace

QByteArray reportVerdict(const ReportInputs& in)
{
    return verdict(kReportTexts, in).toUtf8();
}

QByteArray unreadFolderLists(const ReportInputs& in)
{
    QByteArray text;
    const auto list = [&text](const char* heading, const QList<QByteArray>& paths) {
        if (paths.isEmpty())
            return;
        text += heading;
        text += "\r\n";
        for (const QByteArray& path : paths)
            text += path + "\r\n";
        text += "\r\n";
    };
    list("Folders whose permissions were not read:", in.notReadPaths);
    list("Folders whose subfolders could not be listed:", in.notListedPaths);
    return text;
}

QString fileErrorText(const char* verb, const QByteArray& rawPath, int error)
{
    return QString::fromUtf8(verb) + QLatin1Char(' ') + printableText(rawPath) + QStringLiteral(": ")
        + QString::fromLocal8Bit(std::strerror(error));
}

QString notCompletedVerdict(const QString& lang)
{
    return isRussian(lang) ? QStringLiteral("Проверку не удалось завершить: разрешения папок не прочитаны.")
                           : QStringLiteral("The check could not be completed: no folder permissions were read.");
}

QString screenVerdict(const QString& lang, const ReportInputs& in)
{
    return verdict(isRussian(lang) ? kScreenRussian : kScreenEnglish, in);
}

QString detailTail(const QString& lang)
{
    return isRussian(lang) ? QStringLiteral(" Подробности смотрите в отчете.")
                           : QStringLiteral(" The details are in the report.");
}

QString processingTimeLabel(const QString& lang)
{
    return isRussian(lang) ? QStringLiteral("Время, затраченное на сбор информации - ")
                           : QStringLiteral("Processing time  - ");
}

Light verdictLight(const ReportInputs& in)
{
    return in.mismatchCount == 0 && in.notRead == 0 && in.notListed == 0 ? Light::Green : Light::Red;
}

ReportFrame reportFrame(const ReportInputs& in, const std::function<QString()>& time,
                        const std::function<QString()>& date)
{
    ReportFrame frame;
    QByteArray summary = targetSummary(in);
    if (!in.notChecked.isEmpty())
        summary += "Not checked: " + in.notChecked + "\r\n";
    if (!in.notCompared.isEmpty())
        summary += "Not compared: " + in.notCompared + "\r\n";
    frame.fullHead = fullReportHead(summary, time(), date());
    frame.mismatchHead = mismatchReport(summary, time(), date(), reportVerdict(in), QByteArray());
    frame.mismatchTail = unreadFolderLists(in);
    return frame;
}

ReportTexts buildReports(const ReportInputs& in, QByteArray fullDumpText, const QByteArray& mismatchText,
                         const std::function<QString()>& time, const std::function<QString()>& date)
{
    ReportFrame frame = reportFrame(in, time, date);
    ReportTexts texts;
    texts.fullHead = std::move(frame.fullHead);
    texts.fullBody = std::move(fullDumpText);
    texts.mismatches = frame.mismatchHead + mismatchText + frame.mismatchTail;
    return texts;
}

} // namespace gw
