#pragma once
// The HTML report: one file that opens in a browser from a file:// URL or
// a mail, with nothing fetched (its style and script are inside). At the top
// the verdict and the counts; then a section for each check, in the order of
// the verdicts, with its places: where differences start (the folders folded
// into each counted, its changes as + / - / ~ lines), the items that differ,
// who can read, write and enter where (a table), and what was not read, with
// why; the scope (what was not checked) with each. A filter box narrows every
// section to the places whose path holds its text; "#filter=TEXT" in the
// URL fills it.
//
// The records travel inside the page as JSON and the page builds its
// elements from them as they are shown: a few hundred at a time, and a
// place's folded folders and lines only once it is opened, so that a report
// of 100,000 places opens and filters without a pause. Every text is set as
// text, never as markup: a folder named <script> is a name.

#include "engine/reports/RecordSink.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace gw {

// What the page says above the records.
struct HtmlHead {
    QString lang; // "RU" or "EN": the page's texts
    QString folder; // the checked folder, printable
    QStringList verdicts; // each check's, in `lang`
    bool green = false;
    QString notChecked; // what the options left out, in `lang`; empty when nothing
    QString time; // when the report was written
};

class HtmlReport : public RecordSink {
public:
    void take(const QJsonObject& record) override;
    // The whole page.
    QByteArray page(const HtmlHead& head) const;

    // `text` for HTML: & < > " ' as references.
    static QByteArray escaped(QStringView text);

private:
    struct Section {
        QString check, who;
        QByteArray rows; // JSON arrays, comma-separated
        qsizetype count = 0;
        QJsonObject summary;
    };
    Section& sectionOf(const QJsonObject& record);
    std::vector<Section> sections_;
};

} // namespace gw
