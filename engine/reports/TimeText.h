#pragma once
// How times and durations are shown: the user's long time format.
//
// Built from the locale's LC_TIME time format (T_FMT) and rendered as it
// stands, its literal text included ("%H時%M分%S秒" gives 00時00分02秒): two-digit
// hours for %H and %I, no leading zero for %k and %l (nor with the "-" or "_"
// flag), a 12-hour clock for %I and %l, the AM/PM marker where %p or %P
// stands. Conversions that say nothing about a time of day are left out.

#include <QString>

#include <vector>

namespace gw {

struct TimeFormat {
    // One piece of the pattern: literal text, or a conversion.
    struct Piece {
        char conversion = 0; // 'H' 'I' 'k' 'l' 'M' 'S' 'p' 'P'; 0 for text
        bool padded = true; // two digits (hours, minutes, seconds)
        QString text;
    };
    std::vector<Piece> pieces;
    QString am = QStringLiteral("AM");
    QString pm = QStringLiteral("PM");

    // From a strftime pattern such as "%H:%M:%S" or "%I:%M:%S %p".
    static TimeFormat fromPattern(const QByteArray& pattern, const QString& am, const QString& pm);
    // The user's format (LC_TIME), read once.
    static const TimeFormat& system();

    // A time of day, 0 <= seconds < 86400.
    QString timeOfDay(int seconds) const;
    // Whole hours of any number, on a 24-hour clock without a marker.
    QString hoursMinutesSeconds(long long hours, int minutes, int seconds) const;

private:
    QString render(long long hours, int minutes, int seconds, bool clock) const;
};

// SecondsToTime and its time text: whole seconds shown as a time of day.
// From 24 hours on, the whole hours are shown in 24-hour style whatever the
// format ("24:00:00" for 86400 s, "27:46:40" for 100000 s).
QString secondsText(long long seconds, const TimeFormat& format);

// A duration in days (a difference of time stamps), taken to the nearest
// millisecond and shown in whole seconds.
QString durationText(double days, const TimeFormat& format);

// The current time of day in `format`, and the current date in the user's
// short date format (LC_TIME).
QString currentTimeText(const TimeFormat& format);
QString currentDateText();

} // namespace gw
