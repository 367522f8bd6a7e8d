#pragma once
// The read verification: did every listing arrive? The warning when not.

#include "engine/rules/ListingCount.h"

#include <QString>

namespace gw {

struct CheckState;

// The share of `folders` listings missing when `counted` lines were found,
// in percent, rounded half to even and bounded to 0..100.
int missingPercentage(int folders, int counted);

// The text of the missing-data warning in the state's current language.
QString warningText(const CheckState& state, int percentage);

} // namespace gw
