#pragma once
// How times and durations are shown: the user's long time format.
//
// Built from the locale's LC_TIME time format: two-digit hours where it uses
// %H or %I, no leading zero for %k or %l, a 12-hour clock where it uses %I or
// %l, with the AM/PM marker before or after as %p stands, then ":mm:ss" with
// the separator that follows the hour.

#include <QString>

namespace gw {

struct TimeFormat {
    bool twoDigitHour = true;
    bool twelveHour = false;
    bool marker = false;       // an AM/PM marker is shown (12-hour clock only)
    bool markerFirst = false;  // the marker stands before the time
    QString separator = QStringLiteral(":");
    QString am = QStringLiteral("AM");
    QString pm = QStringLiteral("PM");

    // From a strftime pattern such as "%H:%M:%S" or "%I:%M:%S %p".
    static TimeFormat fromPattern(const QByteArray& pattern, const QString& am, const QString& pm);
    // The user's format (LC_TIME), read once.
    static const TimeFormat& system();

    // A time of day, 0 <= seconds < 86400.
    QString timeOfDay(int seconds) const;
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
