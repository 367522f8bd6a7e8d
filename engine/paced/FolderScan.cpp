#include "engine/reports/ScanText.h"
#include "platform/PrintableText.h"

#include "engine/paced/CheckEngine.h"
#include "engine/paced/Estimates.h"
#include "engine/reports/Reports.h"
#include "platform/FolderTree.h"

#include <algorithm>

namespace gw {

void CheckEngine::ShellTreeView1Change(const QByteArray& selectedPath)
{
    selectedPath_ = selectedPath;
    scanned_ = false;
    bool rooted = false;
    try {
        tree_.setRoot(selectedPath, false); // listed by the scan, with its progress
        const QString shown = printableText(selectedPath);
        view_.setText(Control::RichEdit1, shown);
        scanLines_ = 1;
        scanPrefixLines_ = 0;
        view_.setLight(Light::Off);
        view_.setEnabled(Control::Button7, true);
        rooted = true;
        view_.setText(Control::GroupBox3, checkedFolderCaption(state_.Lang, shown));
        const QString caption = view_.text(Control::GroupBox3);
        for (Control page : {Control::GroupBox4, Control::GroupBox5, Control::GroupBox1})
            view_.setText(page, caption);
    } catch (const std::exception&) {
        // A folder that cannot be a root is silently refused.
        view_.setText(Control::RichEdit1, QString());
        scanLines_ = 0;
        scanPrefixLines_ = 0;
        view_.setEnabled(Control::Button7, false);
    }
    for (Control button : {Control::Button2, Control::Button1, Control::Button4, Control::Menu_File_Differences,
                           Control::Menu_File_FixFile, Control::Menu_File_HtmlReport, Control::Menu_File_SaveBaseline})
        view_.setEnabled(button, false);
    // A folder that can be checked can be compared with a baseline of it.
    view_.setEnabled(Control::Menu_File_CompareBaseline, rooted);
}

void CheckEngine::Button7Click()
{
    // Without a private working folder no check can run: the files would
    // have nowhere safe to go. Each new scan tries to make one again.
    if (!ensureWorkingFolder())
        return;
    startChecking(true);
    scanned_ = false;
    // The scan takes up the scope; the reading and analysis of this scan keep it.
    tree_.setScope(scope_);
    scannedIgnored_ = ignored_;
    view_.setLight(Light::Off); // the previous check's verdict is no longer true
    view_.setText(Control::RichEdit3, QString());
    // No other check starts while the scan runs.
    view_.setEnabled(Control::Menu_File_CompareBaseline, false);
    view_.setEnabled(Control::Menu_File_SaveBaseline, false);
    view_.setVisible(Control::Panel1, false);
    view_.setVisible(Control::GroupBox1, true);
    view_.setVisible(Control::GroupBox3, false);
    view_.setProgress(Bar::ProgressBar2, 0);
    view_.setProgress(Bar::ProgressBar1, 0);
    view_.setText(Control::Label13, QStringLiteral("0%"));
    view_.setText(Control::Label15, QStringLiteral("0%"));
    processEventsNow();
    if (closed())
        return;
    state_.PhaseStart = timeStamp();

    tree_.expandRecursively(0, [this](int) {
        processEventsWhenDue();
        if (closed())
            tree_.stop(); // nothing of the walk is wanted any more
    });
    if (stopped_ && !closed_)
        tree_.setRoot(selectedPath_, false); // the next scan lists it all anew
    if (closed())
        return;
    const int count = tree_.count();

    int maxLevel = 0;
    QString listing;
    appendFolderListing(listing, tree_, maxLevel, [&](int i) {
        if (i + 1 == count || progressDue()) {
            view_.setProgress(Bar::ProgressBar1, progressValue(static_cast<long double>(i) / count * 100));
            processEventsNow();
        }
    });
    if (closed())
        return;
    state_.MaxLevel = maxLevel;
    state_.ReadEnd = timeStamp();
    state_.ScanTime = state_.ReadEnd - state_.PhaseStart;

    scanFiles_ = files_;
    state_.ReportHeader = scanHeader(state_.Lang);
    QString scanText = scanPrefix(state_.Lang);
    const int prefixLines = static_cast<int>(scanText.count(QLatin1Char('\n'))) + 1;
    scanText += QStringLiteral("\r\n");
    // Every folder's line begins with a line end, and a printable path holds none.
    scanLines_ = scanText.count(QLatin1Char('\n')) + count + 1;
    scanText.reserve(scanText.size() + listing.size());
    constexpr qsizetype kPiece = qsizetype(1) << 23; // characters copied between events
    for (qsizetype at = 0; at < listing.size(); at += kPiece) {
        scanText.append(QStringView(listing).sliced(at, std::min(kPiece, listing.size() - at)));
        processEventsWhenDue();
        if (closed())
            return;
    }
    listing = QString(); // one copy of a listing of millions of lines is enough
    processEventsNow();
    if (closed())
        return;
    view_.setText(Control::RichEdit1, scanText);
    scanPrefixLines_ = prefixLines;
    view_.setVisible(Control::GroupBox1, false);
    view_.setVisible(Control::Panel1, true);
    view_.setVisible(Control::GroupBox4, true);
    view_.setEnabled(Control::Button2, true);
    view_.setEnabled(Control::Menu_File_CompareBaseline, true);
    endChecking();
    scanned_ = true;
    fullSpeedRate_ = FullSpeedEstimate::measure(tree_);
    Calc_Time();
}

} // namespace gw
