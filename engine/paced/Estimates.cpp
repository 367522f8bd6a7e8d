#include "engine/paced/Estimates.h"

#include "engine/paced/CheckState.h"
#include "engine/reports/TimeText.h"

#include <cfenv>
#include <cmath>

namespace gw {

int speedFactorForPosition(int position, int currentFactor)
{
    static constexpr int kFactors[] = {1, 2, 4, 8, 16, 32, 64, 128, 256, 612, 3107};
    if (position < 0 || position >= static_cast<int>(std::size(kFactors)))
        return currentFactor;
    return kFactors[position];
}

long long roundHalfEven(long double value)
{
    // nearbyintl rounds in the current mode, which is to-nearest-even unless
    // somebody changed it; make sure for this call.
    const int mode = std::fegetround();
    if (mode != FE_TONEAREST)
        std::fesetround(FE_TONEAREST);
    const long double rounded = std::nearbyint(value);
    if (mode != FE_TONEAREST)
        std::fesetround(mode);
    return static_cast<long long>(rounded);
}

int progressValue(long double value)
{
    if (!(value > 0.0L)) // also NaN
        return 0;
    if (value >= 100.0L)
        return 100;
    return static_cast<int>(roundHalfEven(value));
}

QString Calc_Time(CheckState& state, int count, int intervalMs, const TimeFormat& format)
{
    // The products are formed in extended precision, in the order written.
    const long double interval = static_cast<long double>(intervalMs);
    const long double folders = static_cast<long double>(count);
    state.EstRead = static_cast<int>(roundHalfEven((folders + 3.0L) * (interval * 0.00104L)));
    state.EstCheck = static_cast<int>(roundHalfEven(folders * 0.0172L));
    state.EstAnalysis = static_cast<int>(roundHalfEven(folders * 0.0085L));
    state.EstTotal = state.EstRead + state.EstCheck + state.EstAnalysis;
    return expectedTimeText(state.Lang, state.EstTotal, format);
}

QString expectedTimeText(const QString& lang, long long seconds, const TimeFormat& format)
{
    const QString caption = isRussian(lang) ? QStringLiteral("Предполагаемое время выполнения : ")
                                            : QStringLiteral("Expected processing time : ");
    return caption + secondsText(seconds, format);
}

QString fullSpeedLine(const QString& lang, long long seconds, const TimeFormat& format)
{
    return isRussian(lang) ? QStringLiteral("Без пауз проверка заняла бы около %1 (Файл > Читать без пауз).")
                                 .arg(secondsText(seconds, format))
                           : QStringLiteral("At full speed the check would take about %1 (File > Read at full speed).")
                                 .arg(secondsText(seconds, format));
}

QString sliderIdleLine(const QString& lang, bool chosen)
{
    if (isRussian(lang))
        return chosen
            ? QStringLiteral("Чтение без пауз (меню Файл): ползунок не действует, время измерено здесь.")
            : QStringLiteral("Файлы и наследование читаются без пауз: ползунок не действует, время измерено здесь.");
    return chosen ? QStringLiteral("Reading at full speed (File menu): the slider does not apply; time measured here.")
                  : QStringLiteral(
                      "Files and inheritance are read at full speed: the slider does not apply; time measured here.");
}

} // namespace gw
