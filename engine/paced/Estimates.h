#pragma once
// Speed control and time estimates.
//
// The speed slider's position selects the pacing factor; the pump fires one
// listing every factor x 25 ms. From the folder count and that interval the
// reading, verification and analysis times are estimated, in extended
// precision with halves rounded to even.

#include <QString>

namespace gw {

struct CheckState;
struct TimeFormat;

constexpr int kSliderMax = 11;

// The pacing factor for a slider position. Position 11 has no entry of its
// own and keeps `currentFactor`.
int speedFactorForPosition(int position, int currentFactor);

// The pump's interval in milliseconds for a pacing factor.
constexpr int pumpInterval(int speedFactor)
{
    return speedFactor * 25;
}

// Nearest integer, halves to the even neighbour.
long long roundHalfEven(long double value);

// A value shown by a progress bar: rounded half to even, then limited to 0..100.
int progressValue(long double value);

// Calc_Time: stores EstRead, EstCheck, EstAnalysis and EstTotal for `count`
// folders at `intervalMs`, and returns the expected-time caption of the speed
// page in the state's language.
QString Calc_Time(CheckState& state, int count, int intervalMs, const TimeFormat& format);

// The speed page's expected-time caption for `seconds`, in `lang`.
QString expectedTimeText(const QString& lang, long long seconds, const TimeFormat& format);
// The speed page's line under the slider. With the paced reading: how long
// the full-speed reading would take (`seconds`). When the check reads at
// full speed: why the slider is grey, because it was chosen (`chosen`) or
// because files or inheritance are checked, which are always read so.
QString fullSpeedLine(const QString& lang, long long seconds, const TimeFormat& format);
QString sliderIdleLine(const QString& lang, bool chosen);

} // namespace gw
