#include "engine/run/RecordReports.h"

#include "engine/checks/folder/FixFile.h"
#include "engine/reports/CsvReport.h"

namespace gw {

std::string writeRecordReports(const QByteArray& records, const HtmlHead& head, const RecordReportFiles& files,
                               ReportsFolder* open, Language language)
{
    HtmlReport html;
    CsvReport csv;
    std::vector<RecordSink*> sinks;
    if (!files.html.isEmpty())
        sinks.push_back(&html);
    if (!files.csv.isEmpty())
        sinks.push_back(&csv);
    if (!feedRecords(records, sinks))
        return inLanguage(language, "cannot write the reports: the check's records are malformed",
                          "не удалось записать отчёты: записи проверки повреждены");
    if (!files.html.isEmpty()) {
        const QByteArray page = html.page(head);
        if (std::string problem = saveRestoreParts(files.html, {ReportsFolder::Part(page)}, "the HTML report", open,
                                                   language);
            !problem.empty())
            return problem;
    }
    if (!files.csv.isEmpty())
        return saveRestoreParts(files.csv, {ReportsFolder::Part(csv.text())}, "the CSV report", open, language);
    return {};
}

std::string recordReportsRefusal(const RecordReportFiles& files, ReportsFolder* open)
{
    if (!files.html.isEmpty()) {
        if (std::string problem = restoreFileRefusal(files.html, "the HTML report", open); !problem.empty())
            return problem;
    }
    if (!files.csv.isEmpty())
        return restoreFileRefusal(files.csv, "the CSV report", open);
    return {};
}

} // namespace gw
