#include "engine/reports/TimeText.h"
#include "engine/reports/LanguageText.h"

#include <chrono>

#include <QByteArray>

#include <cmath>
#include <ctime>
#include <langinfo.h>
#include <locale.h>

namespace gw {

double timeStamp()
{
    using namespace std::chrono;
    const auto now = steady_clock::now().time_since_epoch();
    return duration<double, std::ratio<86400>>(now).count();
}

namespace {

// Replaces the composite conversions by what they stand for.
QByteArray expandComposites(QByteArray pattern)
{
    pattern.replace("%T", "%H:%M:%S");
    pattern.replace("%r", "%I:%M:%S %p");
    pattern.replace("%R", "%H:%M");
    return pattern;
}

QString twoDigits(long long n)
{
    return QString::number(n).rightJustified(2, QLatin1Char('0'));
}

} // namespace

TimeFormat TimeFormat::fromPattern(const QByteArray& rawPattern, const QString& am, const QString& pm)
{
    TimeFormat f;
    f.am = am;
    f.pm = pm;
    const QByteArray pattern = expandComposites(rawPattern);
    QByteArray literal;
    const auto flushLiteral = [&] {
        if (!literal.isEmpty())
            f.pieces.push_back(Piece {0, true, QString::fromUtf8(literal)});
        literal.clear();
    };
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%' || i + 1 >= pattern.size()) {
            literal.append(pattern[i]);
            continue;
        }
        qsizetype k = i + 1;
        bool padded = true;
        while (k < pattern.size() && QByteArray("-_0^#EO").contains(pattern[k])) {
            padded = padded && pattern[k] != '-' && pattern[k] != '_';
            ++k;
        }
        while (k < pattern.size() && pattern[k] >= '0' && pattern[k] <= '9') // a field width
            ++k;
        if (k >= pattern.size())
            break;
        const char c = pattern[k];
        i = k;
        switch (c) {
        case '%': literal.append('%'); break;
        case 'n': literal.append('\n'); break;
        case 't': literal.append('\t'); break;
        case 'H':
        case 'I':
        case 'M':
        case 'S':
        case 'p':
        case 'P':
            flushLiteral();
            f.pieces.push_back(Piece {c, padded, QString()});
            break;
        case 'k':
        case 'l':
            flushLiteral();
            f.pieces.push_back(Piece {c, false, QString()});
            break;
        default: break; // a date, a zone ...: nothing of a time of day
        }
    }
    flushLiteral();
    return f;
}

const TimeFormat& TimeFormat::system()
{
    static const TimeFormat format = [] {
        locale_t loc = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
        if (!loc)
            loc = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(nullptr));
        TimeFormat f = fromPattern(QByteArray(nl_langinfo_l(T_FMT, loc)),
                                   QString::fromLocal8Bit(nl_langinfo_l(AM_STR, loc)),
                                   QString::fromLocal8Bit(nl_langinfo_l(PM_STR, loc)));
        freelocale(loc);
        return f;
    }();
    return format;
}

QString TimeFormat::render(long long hours, int minutes, int seconds, bool clock) const
{
    QString text;
    for (const Piece& p : pieces) {
        switch (p.conversion) {
        case 0: text += p.text; break;
        case 'H':
        case 'k': text += p.padded ? twoDigits(hours) : QString::number(hours); break;
        case 'I':
        case 'l': {
            const long long h = !clock ? hours : hours % 12 == 0 ? 12 : hours % 12;
            text += p.padded ? twoDigits(h) : QString::number(h);
            break;
        }
        case 'M': text += p.padded ? twoDigits(minutes) : QString::number(minutes); break;
        case 'S': text += p.padded ? twoDigits(seconds) : QString::number(seconds); break;
        case 'p':
        case 'P':
            if (clock) {
                const QString& mark = hours < 12 ? am : pm;
                text += p.conversion == 'P' ? mark.toLower() : mark;
            }
            break;
        }
    }
    return text.trimmed(); // without a marker (none in the locale, or above a day) a blank may be left at an end
}

QString TimeFormat::timeOfDay(int seconds) const
{
    return render(seconds / 3600, seconds / 60 % 60, seconds % 60, true);
}

QString TimeFormat::hoursMinutesSeconds(long long hours, int minutes, int seconds) const
{
    return render(hours, minutes, seconds, false);
}

QString secondsText(long long seconds, const TimeFormat& format)
{
    if (seconds < 0)
        seconds = 0;
    if (seconds < 86400)
        return format.timeOfDay(static_cast<int>(seconds));
    return format.hoursMinutesSeconds(seconds / 3600, static_cast<int>(seconds / 60 % 60),
                                      static_cast<int>(seconds % 60));
}

QString currentTimeText(const TimeFormat& format)
{
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    return format.timeOfDay(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec);
}

QString currentDateText()
{
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    locale_t loc = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
    if (!loc)
        loc = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(nullptr));
    char text[128] = {};
    strftime_l(text, sizeof text, nl_langinfo_l(D_FMT, loc), &local, loc);
    freelocale(loc);
    return QString::fromLocal8Bit(text);
}

QString durationText(double days, const TimeFormat& format)
{
    const long double ms = std::nearbyint(static_cast<long double>(days) * 86400000.0L);
    return secondsText(static_cast<long long>(ms / 1000.0L), format);
}

} // namespace gw
