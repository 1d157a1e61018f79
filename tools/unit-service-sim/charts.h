#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/unit-service-sim/incidents.h"

namespace sim {

// File names of the chart pages under /rvu/.
const std::vector<std::string>& ChartNames();

// The chart page of that file name drawn from the incidents of the past day,
// or nothing for a name that is not a chart.
std::optional<std::string> ChartPage(std::string_view name, const IncidentBook& book, TimePoint now);

}  // namespace sim
