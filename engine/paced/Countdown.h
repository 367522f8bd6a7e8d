#pragma once
// The countdown of the progress page, once a second while a check runs.

#include <QString>
#include <optional>

namespace gw {

struct CheckState;
struct TimeFormat;

// Timer4Timer: counts SecondsLeft down by one and gives the new text of the
// remaining-time label, or nothing when the label stays as it is (at zero).
std::optional<QString> Timer4Timer(CheckState& state, const TimeFormat& format);

} // namespace gw
