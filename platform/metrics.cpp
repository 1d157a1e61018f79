#include "platform/metrics.h"

#include <algorithm>

namespace platform {

void MetricHistogram::Observe(double value) {
  const auto bucket = std::lower_bound(upperBounds.begin(), upperBounds.end(), value) - upperBounds.begin();
  ++bucketCounts[static_cast<std::size_t>(bucket)];
  sum += value;
  ++count;
}

MetricFamily& MetricsBuilder::Named(const std::string& name, const std::string& help, MetricFamily::Kind kind) {
  for (MetricFamily& family : snapshot_)
    if (family.name == name) return family;
  snapshot_.push_back({name, help, kind, {}});
  return snapshot_.back();
}

MetricFamily& MetricsBuilder::Family(std::string name, std::string help, MetricFamily::Kind kind) {
  return Named(name, help, kind);
}

void MetricsBuilder::Counter(const std::string& name, const std::string& help, double value, MetricLabels labels) {
  Named(name, help, MetricFamily::Kind::Counter).samples.push_back({std::move(labels), value, platform::MetricHistogram()});
}

void MetricsBuilder::Gauge(const std::string& name, const std::string& help, double value, MetricLabels labels) {
  Named(name, help, MetricFamily::Kind::Gauge).samples.push_back({std::move(labels), value, platform::MetricHistogram()});
}

}  // namespace platform
