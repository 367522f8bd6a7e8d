// The texts of the window's pages in the language chosen now: after a
// switch every text of the page is in the new language, the scan's and the
// results' included, and the report button names the report it opens.

#include "engine/paced/CheckEngine.h"
#include "engine/reports/LanguageText.h"
#include "engine/reports/LeftOutText.h"
#include "engine/reports/ScanText.h"
#include "platform/PrintableText.h"

namespace gw {

namespace {
int languageIndex(const QString& lang)
{
    return isRussian(lang) ? 0 : 1;
}
} // namespace

QString CheckEngine::scanHeader(const QString& lang) const
{
    QString counted = countLine(lang, tree_.count()) + levelLine(lang, state_.MaxLevel);
    if (scanFiles_) // the check includes the files: say how many entries it will look at
        counted += (isRussian(lang) ? QStringLiteral("\r\nФайлов и других записей в них - ")
                                    : QStringLiteral("\r\nFiles and other entries in them - "))
            + QString::number(tree_.otherEntries());
    counted += leftOutLines(lang, notCheckedLine(tree_.scope(), tree_.excludedLeftOut(), scanFiles_, lang),
                            tree_.hiddenLeftOut());
    return reportHeader(lang, printableText(selectedPath_), counted);
}

QString CheckEngine::scanPrefix(const QString& lang) const
{
    return scanHeader(lang) + QStringLiteral("\r\n") + processingTimeLabel(lang)
        + durationText(state_.ScanTime, timeFormat_);
}

void CheckEngine::setResultsTexts(const QString (&summary)[2], const QString (&verdict)[2])
{
    for (int i = 0; i < 2; ++i) {
        resultsSummary_[i] = summary[i];
        resultsVerdict_[i] = verdict[i];
    }
    showResultsTexts();
}

void CheckEngine::showResultsTexts()
{
    const int i = languageIndex(state_.Lang);
    view_.setText(Control::RichEdit2, resultsSummary_[i]);
    view_.setText(Control::RichEdit3, resultsVerdict_[i]);
}

void CheckEngine::showKindTexts()
{
    view_.setText(Control::Button4, reportButtonText(lastKind_, state_.Lang));
    view_.setText(Control::Memo3, resultsHelpText(lastKind_, state_.Lang));
}

void CheckEngine::languageChanged()
{
    showKindTexts();
    if (scanPrefixLines_ > 0) {
        state_.ReportHeader = scanHeader(state_.Lang);
        const QString prefix = scanPrefix(state_.Lang);
        view_.replaceLines(Control::RichEdit1, scanPrefixLines_, prefix);
        scanPrefixLines_ = static_cast<int>(prefix.count(QLatin1Char('\n'))) + 1;
    }
    if (scanned_)
        Calc_Time();
    if (!resultsVerdict_[0].isEmpty() || !resultsVerdict_[1].isEmpty())
        showResultsTexts();
}

} // namespace gw
