// The results page of the window's check: the reports written, the page
// shown, a failure said, and the buttons that open the reports.

#include "engine/checks/folder/FixFile.h"
#include "engine/paced/CheckEngine.h"
#include "engine/reports/CountText.h"
#include "engine/reports/MessageText.h"
#include "engine/reports/Reports.h"
#include "engine/run/RecordReports.h"
#include "engine/run/RunRecords.h"
#include "platform/PrintablePath.h"
#include "platform/PrintableText.h"
#include "platform/WorkingFile.h"
#include <cstring>

namespace gw {

void CheckEngine::writeResults(const Analysis& analysis, QByteArray fullDumpText)
{
    const ReportInputs& in = analysis.inputs;
    const ReportTexts reports = analysisReports(
        analysis, std::move(fullDumpText), [this] { return currentTimeText(timeFormat_); },
        [] { return currentDateText(); });
    view_.setLight(verdictLight(in));
    state_.AnalysisEnd = timeStamp();
    state_.AnalysisTime = state_.AnalysisEnd - state_.CheckEnd;
    QString summary[2], verdict[2];
    for (int i = 0; i < 2; ++i) {
        const QString lang = i == 0 ? QStringLiteral("RU") : QStringLiteral("EN");
        summary[i] = scanHeader(lang) + QStringLiteral("\r\n") + processingTimeLabel(lang)
            + durationText(state_.ReadTime + state_.CheckTime + state_.AnalysisTime, timeFormat_);
        verdict[i] = screenVerdict(lang, in) + detailTail(lang);
    }
    setResultsTexts(summary, verdict);

    QStringList failures;
    const auto write = [&](const QByteArray& path, std::initializer_list<QByteArrayView> parts) {
        const int error = replaceFile(path, parts);
        if (error != 0)
            failures << fileErrorText(FileAction::Write, path, error, state_.Lang);
        return error == 0;
    };
    const bool fullWritten = write(dumpPath(), {reports.fullHead, reports.fullBody});
    const bool mismatchWritten = write(mismatchPath(), {reports.mismatches});
    const bool differencesWritten = write(differencesPath(), {reports.differences});
    if (!failures.isEmpty())
        view_.showError(failures.join(QLatin1Char('\n')));
    lastAnalysis_ = analysis;
    // Its records, as a check in one walk gives them, for its HTML report.
    lastRecords_ = pacedRecords(analysis);
    lastGreen_ = verdictLight(in) == Light::Green;
    resultsPageSwitch(fullWritten, mismatchWritten, differencesWritten);
    view_.setEnabled(Control::Menu_File_FixFile, in.mismatchCount > 0);
}

void CheckEngine::resultsPageSwitch(bool fullWritten, bool mismatchWritten, bool differencesWritten)
{
    endChecking();
    lastKind_ = !itemCheckRan_ ? CheckKind::Folder
        : lastWho_             ? CheckKind::Who
        : lastDrift_           ? CheckKind::Drift
        : lastInheritance_     ? CheckKind::Inheritance
                               : CheckKind::Folder;
    showKindTexts();
    // A baseline is taken of a folder that was checked.
    view_.setEnabled(Control::Menu_File_SaveBaseline, fullWritten);
    view_.setEnabled(Control::Menu_File_CompareBaseline, true);
    view_.setEnabled(Control::Button1, fullWritten);
    view_.setEnabled(Control::Button4, mismatchWritten);
    view_.setEnabled(Control::Menu_File_Differences, differencesWritten);
    view_.setEnabled(Control::Menu_File_HtmlReport, !lastRecords_.isEmpty());
    view_.setTimerEnabled(Timer::Timer4, false);
    view_.setVisible(Control::GroupBox1, false);
    view_.setVisible(Control::GroupBox5, true);
    view_.setEnabled(Control::Button7, true);
    view_.setEnabled(Control::Button2, true);
}

void CheckEngine::checkFailed(const QString& message)
{
    for (Timer timer : {Timer::Timer1, Timer::Timer2, Timer::Timer3})
        view_.setTimerEnabled(timer, false);
    removeFile(mismatchPath()); // a report of an earlier check would look like this one's
    removeFile(differencesPath());
    removeFile(inheritancePath());
    removeFile(driftPath());
    removeFile(whoPath());
    lastRecords_.clear(); // no report of a check that failed
    view_.showError(message);
    view_.setLight(Light::Red);
    const QString none[2];
    const QString notCompleted[2] = {notCompletedVerdict(QStringLiteral("RU")),
                                     notCompletedVerdict(QStringLiteral("EN"))};
    setResultsTexts(none, notCompleted);
    resultsPageSwitch(false, false);
}

void CheckEngine::Button1Click()
{
    view_.openFile(dumpPath());
}
void CheckEngine::Button4Click()
{
    // The inheritance, drift or who check's own report, where that is what the check made.
    view_.openFile(lastWasWho()               ? whoPath()
                       : lastWasDrift()       ? driftPath()
                       : lastWasInheritance() ? inheritancePath()
                                              : mismatchPath());
}
void CheckEngine::Menu_File_DifferencesClick()
{
    view_.openFile(differencesPath());
}

QString CheckEngine::saveFixFile(const QByteArray& rawPath)
{
    // Before a check has finished, the file would name no folder: nothing is written.
    if (lastWasInheritance() ? lastFixRecords_.isEmpty() : lastAnalysis_.inputs.targetPrintable.isEmpty())
        return isRussian(state_.Lang) ? QStringLiteral("Ни одна проверка не завершена: исправлять нечего.")
                                      : QStringLiteral("No check has finished: there is nothing to fix.");
    // The inheritance check's own fix file, or the one that gives every
    // folder that differs the checked folder's permissions: what
    // grantwise-check --fix-file writes after the same check.
    const std::string problem = lastWasInheritance()
        ? gw::saveFixText(rawPath, lastFixRecords_, nullptr, language(state_.Lang))
        : gw::saveFixFile(rawPath, lastAnalysis_, selectedPath_, lastIgnored_, nullptr, language(state_.Lang));
    if (!problem.empty())
        return sentence(QString::fromStdString(problem));
    // Said where the results are, as a saved baseline is, in either language.
    resultsSummary_[0] += QStringLiteral("\r\nФайл исправления сохранён: ") + printableText(rawPath);
    resultsSummary_[1] += QStringLiteral("\r\nFix file saved: ") + printableText(rawPath);
    showResultsTexts();
    return {};
}

QByteArray CheckEngine::pacedRecords(const Analysis& analysis) const
{
    BatchResult result;
    result.analysis = analysis;
    result.fullReportPath = dumpPath();
    result.mismatchReportPath = mismatchPath();
    result.differencesReportPath = differencesPath();
    result.seconds = (state_.ReadTime + state_.CheckTime + state_.AnalysisTime) * 86400;
    result.hiddenLeftOut = tree_.hiddenLeftOut();
    return folderRecords(tree_, result);
}

QString CheckEngine::saveHtmlReport(const QByteArray& rawPath)
{
    const bool ru = isRussian(state_.Lang);
    if (lastRecords_.isEmpty())
        return ru ? QStringLiteral("Ни одна проверка не завершена: отчёта нет.")
                  : QStringLiteral("No check has finished: there is no report to save.");
    HtmlHead head;
    head.lang = ru ? QStringLiteral("RU") : QStringLiteral("EN");
    head.folder = QString::fromUtf8(lastAnalysis_.inputs.targetPrintable);
    for (const QString& line : resultsVerdict_[ru ? 0 : 1].split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        head.verdicts << line.trimmed();
    head.green = lastGreen_;
    head.time = currentDateText() + QLatin1Char(' ') + currentTimeText(timeFormat_);
    if (const std::string problem = writeRecordReports(lastRecords_, head, {rawPath, {}}, nullptr,
                                                       language(state_.Lang));
        !problem.empty())
        return sentence(QString::fromStdString(problem));
    resultsSummary_[0] += QStringLiteral("\r\nОтчёт HTML сохранён: ") + printableText(rawPath);
    resultsSummary_[1] += QStringLiteral("\r\nHTML report saved: ") + printableText(rawPath);
    showResultsTexts();
    return {};
}

} // namespace gw
