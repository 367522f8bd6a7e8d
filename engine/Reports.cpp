#include "engine/Reports.h"

#include "engine/CheckEngine.h"
#include "platform/PrintablePath.h"
#include "platform/WorkingFile.h"

#include <cstring>

namespace gw {

namespace {
bool russian(const QString& lang) { return lang == QLatin1String("RU"); }
QByteArray number(int n) { return QByteArray::number(n); }
} // namespace

QByteArray targetSummary(const ReportInputs& in)
{
    return "The target folder is: " + in.targetPrintable + "\r\n\r\n" + "It contains " + number(in.folderCount - 1)
        + " subfolders." + "\r\n" + "Max subfolder level is:" + number(in.maxLevel) + "\r\n\r\n\r\n"
        + "NTFS permissions of target folder are:" + "\r\n\r\n" + in.referenceText + "\r\n\r\n\r\n\r\n\r\n\r\n";
}

QByteArray fullReportHead(const QByteArray& summary, const QString& time, const QString& date)
{
    return "Full detail report.  " + time.toUtf8() + "  " + date.toUtf8() + "\r\n\r\n\r\n" + summary
        + "NTFS permissions of subfolders are:" + "\r\n\r\n\r\n";
}

QByteArray fullReport(const QByteArray& summary, const QString& time, const QString& date, const QByteArray& fullDumpText)
{
    return fullReportHead(summary, time, date) + fullDumpText;
}

QByteArray mismatchReport(const QByteArray& summary, const QString& time, const QString& date,
                          const QByteArray& verdict, const QByteArray& mismatchText)
{
    return "Mismatches report.  " + time.toUtf8() + "  " + date.toUtf8() + "\r\n\r\n\r\n" + summary + verdict
        + "\r\n\r\n\r\n\r\n" + mismatchText;
}

QByteArray reportVerdict(const ReportInputs& in)
{
    QByteArray verdict = in.mismatchCount == 0
        ? QByteArray("The all subfolders have the same NTFS permissions like target folder.")
        : "Mismatches have been found. The number of mismatches is:   " + number(in.mismatchCount) + ".";
    if (in.notRead > 0)
        verdict += " The permissions of " + number(in.notRead) + " folders were not read and not compared.";
    if (in.notListed > 0)
        verdict += " The subfolders of " + number(in.notListed) + " folders could not be listed and were not checked.";
    return verdict;
}

QString screenVerdict(const QString& lang, const ReportInputs& in)
{
    const QString n = QString::number(in.mismatchCount);
    QString verdict;
    if (russian(lang)) {
        verdict = in.mismatchCount == 0
            ? QStringLiteral("Расхождений между NTFS разрешениями вложенных папок и разрешениями проверяемой папки не обнаружено. NTFS разрешения ВСЕХ папок идентичны.")
            : QStringLiteral("Обнаружены несоответствия NTFS разрешений вложенных папок разрешениям проверяемой папки. Количество несоответствий: ") + n + QStringLiteral(".");
        if (in.notRead > 0)
            verdict += QStringLiteral(" Разрешения ") + QString::number(in.notRead) + QStringLiteral(" папок не были прочитаны и не сравнивались.");
        if (in.notListed > 0)
            verdict += QStringLiteral(" Не удалось получить список вложенных папок у ") + QString::number(in.notListed) + QStringLiteral(" папок, они не проверены.");
        return verdict;
    }
    verdict = in.mismatchCount == 0
        ? QStringLiteral("There are no mismatches between NTFS permissions of the checked folder and the subfolders. NTFS permissions of all the folders are the same.")
        : QStringLiteral("There are mismatches between NTFS permissions of the checked folder and the subfolders. The number of mismatches: ") + n + QStringLiteral(".");
    if (in.notRead > 0)
        verdict += QStringLiteral(" The permissions of ") + QString::number(in.notRead) + QStringLiteral(" folders were not read and not compared.");
    if (in.notListed > 0)
        verdict += QStringLiteral(" The subfolders of ") + QString::number(in.notListed) + QStringLiteral(" folders could not be listed and were not checked.");
    return verdict;
}

QString detailTail(const QString& lang)
{
    return russian(lang) ? QStringLiteral(" Подробности смотрите в отчете.") : QStringLiteral(" The details are in the report.");
}

QString processingTimeLabel(const QString& lang)
{
    return russian(lang) ? QStringLiteral("Время, затраченное на сбор информации - ") : QStringLiteral("Processing time  - ");
}

Light verdictLight(const ReportInputs& in)
{
    return in.mismatchCount == 0 && in.notRead == 0 && in.notListed == 0 ? Light::Green : Light::Red;
}

ReportTexts buildReports(const ReportInputs& in, QByteArray fullDumpText, const QByteArray& mismatchText,
                         const std::function<QString()>& time, const std::function<QString()>& date)
{
    ReportTexts texts;
    const QByteArray summary = targetSummary(in);
    texts.fullHead = fullReportHead(summary, time(), date());
    texts.fullBody = std::move(fullDumpText);
    texts.mismatches = mismatchReport(summary, time(), date(), reportVerdict(in), mismatchText);
    return texts;
}

void CheckEngine::writeResults(const ReportInputs& in, QByteArray fullDumpText, const QByteArray& mismatchText)
{
    const ReportTexts reports = buildReports(
        in, std::move(fullDumpText), mismatchText, [this] { return currentTimeText(timeFormat_); }, [] { return currentDateText(); });
    view_.setLight(verdictLight(in));
    state_.AnalysisEnd = timeStamp();
    state_.AnalysisTime = state_.AnalysisEnd - state_.CheckEnd;
    view_.setText(Control::RichEdit2, state_.ReportHeader + QStringLiteral("\r\n") + processingTimeLabel(state_.Lang)
                      + durationText(state_.ReadTime + state_.CheckTime + state_.AnalysisTime, timeFormat_));
    view_.setText(Control::RichEdit3, screenVerdict(state_.Lang, in) + detailTail(state_.Lang));

    QStringList failures;
    const auto write = [&](const QByteArray& path, std::initializer_list<QByteArrayView> parts) {
        const int error = replaceFile(path, parts);
        if (error != 0)
            failures << QStringLiteral("Cannot write ")
                    + QString::fromStdString(printable(std::string_view(path.constData(), static_cast<std::size_t>(path.size()))))
                    + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
        return error == 0;
    };
    const bool fullWritten = write(dumpPath(), {reports.fullHead, reports.fullBody});
    const bool mismatchWritten = write(mismatchPath(), {reports.mismatches});
    if (!failures.isEmpty())
        view_.showError(failures.join(QLatin1Char('\n')));
    resultsPageSwitch(fullWritten, mismatchWritten);
}

void CheckEngine::resultsPageSwitch(bool fullWritten, bool mismatchWritten)
{
    view_.setEnabled(Control::Button1, fullWritten);
    view_.setEnabled(Control::Button4, mismatchWritten);
    view_.setTimerEnabled(Timer::Timer4, false);
    view_.setVisible(Control::GroupBox1, false);
    view_.setVisible(Control::GroupBox5, true);
    view_.setEnabled(Control::Button7, true);
    view_.setEnabled(Control::Button2, true);
}

void CheckEngine::Button1Click() { view_.openFile(dumpPath()); }
void CheckEngine::Button4Click() { view_.openFile(mismatchPath()); }

} // namespace gw
