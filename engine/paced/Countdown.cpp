#include "engine/paced/Countdown.h"

#include "engine/paced/CheckState.h"
#include "engine/reports/TimeText.h"

namespace gw {

std::optional<QString> Timer4Timer(CheckState& state, const TimeFormat& format)
{
    const bool ru = isRussian(state.Lang);
    const QString remaining = ru ? QStringLiteral("Осталось примерно : ") : QStringLiteral("Remaining time : ");
    const QString overrun = ru ? QStringLiteral("Ожидаемое время превышено на : ")
                               : QStringLiteral("Expected processing time is overrun on : ");
    state.SecondsLeft -= 1;
    if (state.SecondsLeft > 0)
        return remaining + secondsText(state.SecondsLeft, format);
    if (state.SecondsLeft < 0)
        return overrun + secondsText(-static_cast<long long>(state.SecondsLeft), format);
    return std::nullopt;
}

} // namespace gw
