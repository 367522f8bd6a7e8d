#pragma once
// The colour of a verdict: none yet, green, red.

namespace gw {

enum class Light {
    Off,
    Green,
    Red
};

} // namespace gw
