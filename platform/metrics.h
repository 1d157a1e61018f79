#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// Figures a program publishes for a monitoring system to collect. The program
// keeps its own counts on its own thread and hands the endpoint a complete
// snapshot of them from time to time; the endpoint serves the latest snapshot
// from a thread of its own and never calls back into the program.
namespace platform {

using MetricLabels = std::vector<std::pair<std::string, std::string>>;

// A histogram's observations: counts per bucket (not cumulative), one more
// than there are upper bounds (the last is everything above the highest bound).
struct MetricHistogram {
  std::vector<double> upperBounds;
  std::vector<std::uint64_t> bucketCounts;
  double sum = 0;
  std::uint64_t count = 0;

  explicit MetricHistogram(std::vector<double> bounds = {})
      : upperBounds(std::move(bounds)), bucketCounts(upperBounds.size() + 1, 0) {}
  void Observe(double value);
};

struct MetricSample {
  MetricLabels labels;
  double value = 0;           // counters and gauges
  MetricHistogram histogram;  // histograms
};

struct MetricFamily {
  enum class Kind { Counter, Gauge, Histogram };
  std::string name;
  std::string help;
  Kind kind = Kind::Gauge;
  std::vector<MetricSample> samples;
};

using MetricsSnapshot = std::vector<MetricFamily>;

// Builds a snapshot a family at a time. A family returned stays valid only
// until the next family is added.
class MetricsBuilder {
 public:
  MetricFamily& Family(std::string name, std::string help, MetricFamily::Kind kind);
  void Counter(const std::string& name, const std::string& help, double value, MetricLabels labels = {});
  void Gauge(const std::string& name, const std::string& help, double value, MetricLabels labels = {});
  MetricsSnapshot Take() { return std::move(snapshot_); }

 private:
  MetricFamily& Named(const std::string& name, const std::string& help, MetricFamily::Kind kind);
  MetricsSnapshot snapshot_;
};

// Where the snapshots go.
class MetricsEndpoint {
 public:
  virtual ~MetricsEndpoint() = default;
  // Replaces what is served. Called by the thread that owns the figures.
  virtual void Publish(MetricsSnapshot snapshot) = 0;
};

// Serves the latest snapshot over HTTP at /metrics in Prometheus's text
// format on `address` (an IPv4 address: the HTTP server of the Debian build
// listens on IPv4 only) and `port` (0: any free port),
// from a thread of its own. Throws std::runtime_error when it cannot listen.
class HttpMetricsEndpoint final : public MetricsEndpoint {
 public:
  HttpMetricsEndpoint(const std::string& address, int port);
  ~HttpMetricsEndpoint() override;
  void Publish(MetricsSnapshot snapshot) override;
  // The port it listens on.
  int Port() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
