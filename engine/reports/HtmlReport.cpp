#include "engine/reports/HtmlReport.h"

#include "engine/checks/JsonLines.h"
#include "engine/reports/HtmlPage.h"
#include "engine/reports/LanguageText.h"

#include <QJsonArray>

namespace gw {
namespace {

QByteArray str(const QString& text)
{
    return jsonString(text.toUtf8());
}

// A right, a count or a word as JSON: true, false, null, "own".
QByteArray value(const QJsonValue& v)
{
    if (v.isBool())
        return v.toBool() ? "true" : "false";
    if (v.isString())
        return str(v.toString());
    if (v.isDouble())
        return QByteArray::number(v.toInteger());
    return "null";
}

// The entry changes as ["+",entry], ["-",entry] and ["~",from,to].
QByteArray changeLines(const QJsonArray& changes)
{
    QByteArray out;
    for (const QJsonValue& v : changes) {
        const QJsonObject c = v.toObject();
        const QString change = c.value(QLatin1String("change")).toString();
        out += out.isEmpty() ? "[" : ",[";
        if (change == QLatin1String("changed"))
            out += "\"~\"," + value(c.value(QLatin1String("from"))) + "," + value(c.value(QLatin1String("to")));
        else
            out += (change == QLatin1String("added") ? "\"+\"," : "\"-\",") + value(c.value(QLatin1String("entry")));
        out += "]";
    }
    return "[" + out + "]";
}

struct Labels {
    bool ru;
    const char* operator()(const char* english, const char* russian) const { return ru ? russian : english; }
};

// The page's words for its script, in its language.
QByteArray scriptLabels(Labels t)
{
    const auto pair = [](const char* key, const char* text) {
        return "\"" + QByteArray(key) + "\":" + jsonString(text);
    };
    QByteArray out = "{" + pair("more", t("Show %1 more (%2 left)", "Показать ещё %1 (осталось %2)"));
    out += "," + pair("places", t("%1 places", "Мест: %1"));
    out += "," + pair("matching", t("%1 places match the filter", "Подходят под фильтр: %1"));
    out += "," + pair("folded", t("%1 below with the same changes", "ниже с теми же изменениями: %1"));
    out += ","
        + pair("foldedHead", t("Folders below with the same changes (%1):", "Папки ниже с теми же изменениями (%1):"));
    out += "," + pair("reasons", t("Reasons", "Причины"));
    out += "," + pair("file", t("file", "файл")) + "," + pair("folder", t("folder", "папка"));
    out += "," + pair("yes", t("yes", "да")) + "," + pair("no", t("no", "нет"));
    out += "," + pair("own", t("own entries", "свои записи")) + "," + pair("unknown", t("unknown", "неизвестно"));
    out += ",\"status\":{" + pair("differs", t("differs", "отличается"));
    out += "," + pair("not_read", t("not read", "не прочитано"));
    out += "," + pair("not_listed", t("not listed", "не перечислено"));
    out += "," + pair("not_inherited", t("not inherited", "не унаследовано"));
    out += "," + pair("changed", t("changed", "изменено")) + "," + pair("new", t("new", "новое"));
    out += "," + pair("gone", t("gone", "исчезло")) + "}}";
    return out;
}

QByteArray sectionTitle(const QString& check, const QString& who, Labels t)
{
    const QByteArray name = HtmlReport::escaped(who);
    if (check == QLatin1String("who"))
        return t("Who can do what: ", "Кто что может: ") + name;
    if (check == QLatin1String("inheritance"))
        return t("Inheritance: each item against what its folder gives it",
                 "Наследование: каждый объект против того, что даёт его папка");
    if (check == QLatin1String("drift"))
        return t("Changes since the baseline", "Изменения с базового снимка");
    return t("Against the checked folder", "Сравнение с проверяемой папкой");
}

// A summary's counts, a row each, and the scope it states.
QByteArray summaryPart(const QJsonObject& summary, Labels t)
{
    QByteArray rows;
    for (auto it = summary.begin(); it != summary.end(); ++it) {
        if (!it.value().isDouble() && !it.value().isBool())
            continue;
        const double n = it.value().toDouble();
        const QString shown = it.value().isBool()              ? QString::fromUtf8(value(it.value()))
            : n == static_cast<double>(static_cast<qint64>(n)) ? QString::number(static_cast<qint64>(n))
                                                               : QString::number(n, 'f', 3);
        rows += "<span>" + HtmlReport::escaped(QString(it.key()).replace(QLatin1Char('_'), QLatin1Char(' '))) + " <b>"
            + HtmlReport::escaped(shown) + "</b></span>";
    }
    QByteArray out = rows.isEmpty() ? QByteArray() : "<p class=\"counts\">" + rows + "</p>";
    const QString notChecked = summary.value(QLatin1String("not_checked")).toString();
    if (!notChecked.isEmpty())
        out += "<p class=\"scope\">" + QByteArray(t("Not checked: ", "Не проверено: "))
            + HtmlReport::escaped(notChecked) + "</p>";
    const QString notCompared = summary.value(QLatin1String("not_compared")).toString();
    if (!notCompared.isEmpty())
        out += "<p class=\"scope\">" + QByteArray(t("Not compared: ", "Не сравнивалось: "))
            + HtmlReport::escaped(notCompared) + "</p>";
    return out;
}

} // namespace

QByteArray HtmlReport::escaped(QStringView text)
{
    QByteArray out;
    const QByteArray utf8 = text.toUtf8();
    out.reserve(utf8.size());
    for (const char c : utf8) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

HtmlReport::Section& HtmlReport::sectionOf(const QJsonObject& record)
{
    const QString check = record.value(QLatin1String("check")).toString();
    const QString who = record.value(QLatin1String("who")).toString();
    for (Section& s : sections_) {
        if (s.check == check && s.who == who)
            return s;
    }
    sections_.push_back(Section {check, who, {}, 0, {}});
    return sections_.back();
}

void HtmlReport::take(const QJsonObject& r)
{
    Section& s = sectionOf(r);
    const QString type = r.value(QLatin1String("type")).toString();
    if (type == QLatin1String("summary")) {
        s.summary = r;
        return;
    }
    const auto field = [&r](const char* key) { return r.value(QLatin1String(key)); };
    QByteArray row = "[" + value(field("path")) + ",";
    const bool folder = type == QLatin1String("folder") || field("kind").toString() == QLatin1String("folder");
    row += folder ? "\"folder\"," : "\"file\",";
    if (type == QLatin1String("who")) {
        const QJsonValue enter = r.contains(QLatin1String("execute")) ? field("execute") : field("enter");
        QString why = field("reason").toString();
        if (r.contains(QLatin1String("stopped_at")))
            why = QStringLiteral("stopped at ") + field("stopped_at").toString();
        row += value(field("read")) + "," + value(field("write")) + "," + value(enter) + "," + value(field("reachable"))
            + "," + value(field("via")) + "," + value(field("same_below")) + "," + str(why);
    } else {
        QString reasons;
        for (const QJsonValue& v : field("reasons").toArray())
            reasons += (reasons.isEmpty() ? QString() : QStringLiteral(", ")) + v.toString();
        // An item is a place of its own; a folder is one where its differences start.
        const bool starts = type != QLatin1String("folder") || field("starts_here").toBool();
        row += value(field("status")) + "," + (starts ? "1," : "0,") + value(field("same_below")) + ","
            + changeLines(field("changes").toArray()) + "," + str(reasons) + "," + str(field("reason").toString());
    }
    s.rows += (s.count++ > 0 ? ",\n" : "") + row + "]";
}

QByteArray HtmlReport::page(const HtmlHead& head) const
{
    const Labels t {isRussian(head.lang)};
    QByteArray out = "<!DOCTYPE html>\n<html lang=\"" + QByteArray(t("en", "ru"))
        + "\"><head><meta charset=\"utf-8\">\n"
          "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src 'unsafe-inline'; "
          "script-src 'unsafe-inline'\">\n"
          "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>Grantwise: "
        + escaped(head.folder) + "</title>\n<style>" + kHtmlStyle + "</style></head>\n<body>\n<header><h1>"
        + t("Grantwise permissions report", "Отчёт Grantwise о правах") + "</h1>\n<p class=\"folder\">"
        + escaped(head.folder) + "</p>\n";
    if (!head.time.isEmpty())
        out += "<p class=\"time\">" + QByteArray(t("Written: ", "Составлен: ")) + escaped(head.time) + "</p>\n";
    out += "<div class=\"verdict " + QByteArray(head.green ? "green" : "red") + "\">";
    for (const QString& verdict : head.verdicts)
        out += "<p>" + escaped(verdict) + "</p>";
    out += "</div>\n";
    if (!head.notChecked.isEmpty())
        out += "<p class=\"scope\">" + escaped(head.notChecked) + "</p>\n";
    out += "<input id=\"filter\" type=\"search\" placeholder=\"" + QByteArray(t("Filter by path", "Фильтр по пути"))
        + "\" aria-label=\"" + t("Filter by path", "Фильтр по пути") + "\">\n</header>\n<main>\n" + "<noscript><p>"
        + t("This report shows its places with JavaScript: allow scripts for this file.",
            "Отчёт показывает места с помощью JavaScript: разрешите сценарии для этого файла.")
        + "</p></noscript>\n";
    QByteArray data = "{\"labels\":" + scriptLabels(t) + ",\"sections\":[";
    for (std::size_t i = 0; i < sections_.size(); ++i) {
        const Section& s = sections_[i];
        const bool who = s.check == QLatin1String("who");
        out += "<section id=\"s" + QByteArray::number(i) + "\" class=\"check-" + escaped(s.check) + "\"><h2>"
            + sectionTitle(s.check, s.who, t) + "</h2>\n" + summaryPart(s.summary, t) + "<h3>" + t("Places", "Места")
            + " <span class=\"count\"></span></h3>\n";
        if (who)
            out += QByteArray("<table class=\"who\"><thead><tr><th>") + t("Path", "Путь") + "</th><th>"
                + t("Kind", "Вид") + "</th><th>" + t("Read", "Чтение") + "</th><th>" + t("Write", "Запись")
                + "</th><th>" + t("Enter / execute", "Вход / запуск") + "</th><th>" + t("Reachable", "Доступно")
                + "</th><th>" + t("Via", "Через") + "</th><th>" + t("Same below", "Так же ниже") + "</th><th>"
                + t("Why unknown", "Почему неизвестно") + "</th></tr></thead><tbody></tbody></table>"
                + "<div class=\"placesmore\"></div>\n";
        else
            out += "<div class=\"places\"></div>\n";
        out += "<h3>" + QByteArray(t("Not read", "Не прочитано"))
            + " (<span class=\"unreadcount\"></span>)</h3><div class=\"unreadlist\"></div>\n</section>\n";
        data += (i > 0 ? ",\n{\"check\":" : "\n{\"check\":") + str(s.check) + ",\"who\":" + str(s.who) + ",\"rows\":[\n"
            + s.rows + "]}";
    }
    data += "]}";
    // Inside the script element nothing may close it: < > & stay in the JSON as \u escapes.
    data.replace("<", "\\u003c").replace(">", "\\u003e").replace("&", "\\u0026");
    out += "</main>\n<script type=\"application/json\" id=\"gw-data\">" + data + "</script>\n<script>" + kHtmlScript
        + "</script>\n</body></html>\n";
    return out;
}

} // namespace gw
