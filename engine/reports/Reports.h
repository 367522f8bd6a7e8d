#pragma once
// The reports and the verdict of a check.
//
// Both reports are English, with CR LF line ends: the full detail report
// (acl.txt) and the mismatch report (acl_def.txt). The screen verdict
// follows the window's language.

#include "engine/reports/VerdictLight.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

namespace gw {

struct ReportInputs {
    QByteArray targetPrintable; // the chosen folder's printable path
    int folderCount = 0; // the chosen folder and all its subfolders
    int maxLevel = 0;
    QByteArray referenceText; // empty when no reference listing arrived
    int mismatchCount = 0;
    int notRead = 0; // folders whose listing never arrived
    int notListed = 0; // folders whose subfolders could not be listed
    // The printable paths of those folders, in tree order, named at the end
    // of the mismatch report.
    QList<QByteArray> notReadPaths;
    QList<QByteArray> notListedPaths;
    // Why each of notReadPaths was not read, in words (empty when not known);
    // empty when no reasons were gathered. Only the differences report shows
    // them: the mismatch report's lists stay one path a line.
    QList<QByteArray> notReadReasons;
    // What was left out of the comparison, e.g. "owner names"; said in one
    // line after the summary. Empty when everything was compared.
    QByteArray notCompared;
    // What was left out of the tree on request, e.g. "folders matching tmp";
    // said in one line after the summary. Empty when nothing was.
    QByteArray notChecked;
};

QByteArray targetSummary(const ReportInputs& in);
// The full report is its head followed by the trimmed dump.
QByteArray fullReportHead(const QByteArray& summary, const QString& time, const QString& date);
QByteArray fullReport(const QByteArray& summary, const QString& time, const QString& date,
                      const QByteArray& fullDumpText);
QByteArray mismatchReport(const QByteArray& summary, const QString& time, const QString& date,
                          const QByteArray& verdict, const QByteArray& mismatchText);

// The verdict sentence of the mismatch report, with the sentences on what
// was not read or not listed. Without mismatches but with folders not read
// or not listed, it never says that all folders are the same.
QByteArray reportVerdict(const ReportInputs& in);
// The end of the mismatch report after its blocks: the folders not read and
// the folders not listed, one printable path a line; empty when there are none.
QByteArray unreadFolderLists(const ReportInputs& in);
// The verdict on the results page of a check that read nothing.
QString notCompletedVerdict(const QString& lang);
// The verdict on the results page, in `lang`, with the same added sentences.
QString screenVerdict(const QString& lang, const ReportInputs& in);
QString detailTail(const QString& lang);
QString processingTimeLabel(const QString& lang);
// Green only when everything was read, listed and matches.
Light verdictLight(const ReportInputs& in);

struct ReportTexts {
    QByteArray fullHead; // acl.txt is the head and the body, written one after the other
    QByteArray fullBody;
    QByteArray mismatches; // acl_def.txt
    QByteArray differences; // acl_diff.txt
};

// "Cannot read PATH: reason" and "Cannot write PATH: reason", with the
// printable path: the one form of a failed working or report file.
QString fileErrorText(const char* verb, const QByteArray& rawPath, int error);

// What stands around the blocks of the reports: acl.txt is `fullHead` and the
// trimmed dump; acl_def.txt is `mismatchHead`, the mismatching blocks and
// `mismatchTail`. Each head reads the clock itself.
struct ReportFrame {
    QByteArray fullHead;
    QByteArray mismatchHead;
    QByteArray mismatchTail;
};
ReportFrame reportFrame(const ReportInputs& in, const std::function<QString()>& time,
                        const std::function<QString()>& date);

// Both reports. `fullDumpText` (the trimmed dump without its sentinel line)
// becomes the body of the full report, without a copy. Each report reads the
// clock itself.
ReportTexts buildReports(const ReportInputs& in, QByteArray fullDumpText, const QByteArray& mismatchText,
                         const std::function<QString()>& time, const std::function<QString()>& date);

} // namespace gw
