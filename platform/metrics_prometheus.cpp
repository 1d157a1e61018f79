// The metrics endpoint on prometheus-cpp's pull exposer (civetweb): one
// collectable that hands out the latest published snapshot.
#include <prometheus/collectable.h>
#include <prometheus/exposer.h>
#include <prometheus/metric_family.h>

#include <limits>
#include <mutex>
#include <stdexcept>

#include "platform/metrics.h"

namespace platform {

namespace {

prometheus::MetricFamily Converted(const MetricFamily& family) {
  prometheus::MetricFamily out;
  out.name = family.name;
  out.help = family.help;
  switch (family.kind) {
    case MetricFamily::Kind::Counter:
      out.type = prometheus::MetricType::Counter;
      break;
    case MetricFamily::Kind::Gauge:
      out.type = prometheus::MetricType::Gauge;
      break;
    case MetricFamily::Kind::Histogram:
      out.type = prometheus::MetricType::Histogram;
      break;
  }
  for (const MetricSample& sample : family.samples) {
    prometheus::ClientMetric metric;
    for (const auto& [name, value] : sample.labels) metric.label.push_back({name, value});
    metric.counter.value = sample.value;
    metric.gauge.value = sample.value;
    if (family.kind == MetricFamily::Kind::Histogram) {
      const MetricHistogram& h = sample.histogram;
      std::uint64_t cumulative = 0;
      for (std::size_t i = 0; i < h.upperBounds.size(); ++i) {
        cumulative += h.bucketCounts[i];
        metric.histogram.bucket.push_back({cumulative, h.upperBounds[i]});
      }
      metric.histogram.bucket.push_back({h.count, std::numeric_limits<double>::infinity()});
      metric.histogram.sample_count = h.count;
      metric.histogram.sample_sum = h.sum;
    }
    out.metric.push_back(std::move(metric));
  }
  return out;
}

// What the exposer's thread collects: the latest snapshot, swapped in whole
// under the lock by the publishing thread, copied out and converted by the
// exposer's thread, so the publisher's thread only ever moves it in.
class Latest final : public prometheus::Collectable {
 public:
  void Set(MetricsSnapshot snapshot) {
    std::lock_guard<std::mutex> lock(mutex_);
    snapshot_.swap(snapshot);
  }
  std::vector<prometheus::MetricFamily> Collect() const override {
    MetricsSnapshot snapshot;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      snapshot = snapshot_;
    }
    std::vector<prometheus::MetricFamily> families;
    families.reserve(snapshot.size());
    for (const MetricFamily& family : snapshot) families.push_back(Converted(family));
    return families;
  }

 private:
  mutable std::mutex mutex_;
  MetricsSnapshot snapshot_;
};

// civetweb's form of an address and port: IPv6 in brackets.
std::string ListeningPort(const std::string& address, int port) {
  const bool v6 = address.find(':') != std::string::npos;
  return (v6 ? "[" + address + "]" : address) + ":" + std::to_string(port);
}

}  // namespace

struct HttpMetricsEndpoint::Impl {
  std::shared_ptr<Latest> latest = std::make_shared<Latest>();
  std::unique_ptr<prometheus::Exposer> exposer;
};

HttpMetricsEndpoint::HttpMetricsEndpoint(const std::string& address, int port) : impl_(std::make_unique<Impl>()) {
  try {
    // One worker: a scrape is a copy of a small snapshot, and a monitoring
    // host scrapes one at a time.
    impl_->exposer = std::make_unique<prometheus::Exposer>(
        std::vector<std::string>{"listening_ports", ListeningPort(address, port), "num_threads", "1"});
  } catch (const std::exception& e) {
    throw std::runtime_error("cannot listen on " + ListeningPort(address, port) + ": " + e.what());
  }
  impl_->exposer->RegisterCollectable(impl_->latest);
}

HttpMetricsEndpoint::~HttpMetricsEndpoint() = default;

void HttpMetricsEndpoint::Publish(MetricsSnapshot snapshot) { impl_->latest->Set(std::move(snapshot)); }

int HttpMetricsEndpoint::Port() const {
  const std::vector<int> ports = impl_->exposer->GetListeningPorts();
  return ports.empty() ? 0 : ports.front();
}

}  // namespace platform
