#pragma once

#include <optional>
#include <string>

#include "platform/metrics.h"

namespace testsupport {

// The value of a sample of a snapshot, found by its family's name and its
// labels as "name=value,name=value" (in the sample's order; empty: none).
inline std::optional<double> SampleValue(const platform::MetricsSnapshot& snapshot, const std::string& family,
                                         const std::string& labels = "") {
  for (const auto& f : snapshot) {
    if (f.name != family) continue;
    for (const auto& s : f.samples) {
      std::string text;
      for (const auto& [name, value] : s.labels) text += (text.empty() ? "" : ",") + name + "=" + value;
      if (text == labels) return s.value;
    }
  }
  return std::nullopt;
}

// The endpoint of the tests: keeps what it was given.
class RecordingMetricsEndpoint final : public platform::MetricsEndpoint {
 public:
  void Publish(platform::MetricsSnapshot snapshot) override {
    ++published;
    last = std::move(snapshot);
  }
  int published = 0;
  platform::MetricsSnapshot last;
};

}  // namespace testsupport
