#include "engine/TimeText.h"

#include <QByteArray>

#include <cmath>
#include <ctime>
#include <langinfo.h>
#include <locale.h>

namespace gw {
namespace {

// Replaces the composite conversions by what they stand for.
QByteArray expandComposites(QByteArray pattern)
{
    pattern.replace("%T", "%H:%M:%S");
    pattern.replace("%r", "%I:%M:%S %p");
    pattern.replace("%R", "%H:%M");
    return pattern;
}

QString twoDigits(int n)
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
    qsizetype hourAt = -1, markerAt = -1;
    bool lowerMarker = false;
    for (qsizetype i = 0; i + 1 < pattern.size(); ++i) {
        if (pattern[i] != '%')
            continue;
        qsizetype k = i + 1;
        bool noPadding = false;
        while (k < pattern.size() && QByteArray("-_0^#EO").contains(pattern[k])) {
            noPadding = noPadding || pattern[k] == '-' || pattern[k] == '_';
            ++k;
        }
        if (k >= pattern.size())
            break;
        const char c = pattern[k];
        if (hourAt < 0 && (c == 'H' || c == 'I' || c == 'k' || c == 'l')) {
            hourAt = i;
            f.twoDigitHour = (c == 'H' || c == 'I') && !noPadding;
            f.twelveHour = c == 'I' || c == 'l';
            qsizetype end = k + 1;
            while (end < pattern.size() && pattern[end] != '%')
                ++end;
            const QString sep = QString::fromUtf8(pattern.mid(k + 1, end - k - 1));
            if (!sep.trimmed().isEmpty())
                f.separator = sep.trimmed();
        } else if (markerAt < 0 && (c == 'p' || c == 'P')) {
            markerAt = i;
            lowerMarker = c == 'P';
        }
        i = k;
    }
    f.marker = f.twelveHour && markerAt >= 0 && !(am.isEmpty() && pm.isEmpty());
    f.markerFirst = f.marker && hourAt >= 0 && markerAt < hourAt;
    if (lowerMarker) {
        f.am = f.am.toLower();
        f.pm = f.pm.toLower();
    }
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

QString TimeFormat::timeOfDay(int seconds) const
{
    const int h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    if (!twelveHour) {
        const QString hours = twoDigitHour ? twoDigits(h) : QString::number(h);
        return hours + separator + twoDigits(m) + separator + twoDigits(s);
    }
    const int h12 = h % 12 == 0 ? 12 : h % 12;
    const QString hours = twoDigitHour ? twoDigits(h12) : QString::number(h12);
    const QString time = hours + separator + twoDigits(m) + separator + twoDigits(s);
    if (!marker)
        return time;
    const QString& mark = h < 12 ? am : pm;
    return markerFirst ? mark + QLatin1Char(' ') + time : time + QLatin1Char(' ') + mark;
}

QString secondsText(long long seconds, const TimeFormat& format)
{
    if (seconds < 0)
        seconds = 0;
    if (seconds < 86400)
        return format.timeOfDay(static_cast<int>(seconds));
    const long long h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    return QString::number(h) + format.separator + twoDigits(static_cast<int>(m)) + format.separator
        + twoDigits(static_cast<int>(s));
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
