#pragma once

#include <string>

#include "tools/unit-service-sim/text.h"

namespace sim {

// The weather page: current conditions and a six-day forecast. The weather of
// a day is the same all day; the current values follow the hour.
std::string WeatherPage(TimePoint now);

}  // namespace sim
