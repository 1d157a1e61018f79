// The metrics endpoint over loopback: what a Prometheus server reads from it.
#include "platform/metrics.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace {

using platform::HttpMetricsEndpoint;
using platform::MetricFamily;

std::string Scrape(int port, const std::string& host = "127.0.0.1") {
  httplib::Client client(host, port);
  const auto answer = client.Get("/metrics");
  if (!answer || answer->status != 200) return "";
  return answer->body;
}

bool Has(const std::string& text, const std::string& line) { return text.find(line + "\n") != std::string::npos; }

platform::MetricsSnapshot Figures(double datagrams) {
  platform::MetricsBuilder b;
  b.Counter("rvukiosk_datagrams_total", "Datagrams.", datagrams, {{"kind", "shown"}});
  b.Gauge("rvukiosk_lost_comms", "Lost comms.", 0);
  platform::MetricHistogram h({0.1, 1});
  h.Observe(0.05);
  h.Observe(0.5);
  h.Observe(3);
  b.Family("rvukiosk_service_request_seconds", "Latency.", MetricFamily::Kind::Histogram)
      .samples.push_back({{{"request", "status_poll"}}, 0, h});
  return b.Take();
}

TEST(MetricsEndpoint, ServesTheLatestSnapshotInPrometheusTextFormat) {
  HttpMetricsEndpoint endpoint("127.0.0.1", 0);
  ASSERT_GT(endpoint.Port(), 0);
  EXPECT_FALSE(Has(Scrape(endpoint.Port()), "rvukiosk_lost_comms 0")) << "nothing before the first snapshot";
  endpoint.Publish(Figures(3));
  std::string text = Scrape(endpoint.Port());
  EXPECT_TRUE(Has(text, "# TYPE rvukiosk_datagrams_total counter")) << text;
  EXPECT_TRUE(Has(text, "rvukiosk_datagrams_total{kind=\"shown\"} 3")) << text;
  EXPECT_TRUE(Has(text, "# TYPE rvukiosk_lost_comms gauge")) << text;
  // Buckets cumulative, up to +Inf, with the sum and count.
  EXPECT_TRUE(Has(text, "rvukiosk_service_request_seconds_bucket{request=\"status_poll\",le=\"0.1\"} 1")) << text;
  EXPECT_TRUE(Has(text, "rvukiosk_service_request_seconds_bucket{request=\"status_poll\",le=\"1\"} 2")) << text;
  EXPECT_TRUE(Has(text, "rvukiosk_service_request_seconds_bucket{request=\"status_poll\",le=\"+Inf\"} 3")) << text;
  EXPECT_TRUE(Has(text, "rvukiosk_service_request_seconds_count{request=\"status_poll\"} 3")) << text;
  EXPECT_TRUE(Has(text, "rvukiosk_service_request_seconds_sum{request=\"status_poll\"} 3.55")) << text;
  // A new snapshot replaces the old one whole.
  endpoint.Publish(Figures(4));
  text = Scrape(endpoint.Port());
  EXPECT_TRUE(Has(text, "rvukiosk_datagrams_total{kind=\"shown\"} 4")) << text;
  EXPECT_FALSE(Has(text, "rvukiosk_datagrams_total{kind=\"shown\"} 3")) << text;
}

TEST(MetricsEndpoint, ListensOnlyWhereItIsToldAndSaysWhenItCannot) {
  HttpMetricsEndpoint endpoint("127.0.0.2", 0);
  endpoint.Publish(Figures(1));
  EXPECT_TRUE(Has(Scrape(endpoint.Port(), "127.0.0.2"), "rvukiosk_lost_comms 0"));
  EXPECT_EQ(Scrape(endpoint.Port(), "127.0.0.1"), "") << "an endpoint on 127.0.0.2 is not reached on 127.0.0.1";
  HttpMetricsEndpoint first("127.0.0.1", 0);
  EXPECT_THROW(HttpMetricsEndpoint("127.0.0.1", first.Port()), std::runtime_error) << "a port in use";
}

// Scrapes on the endpoint's thread while the owner publishes: every scrape
// sees one whole snapshot.
TEST(MetricsEndpoint, ScrapesDuringPublishingSeeWholeSnapshots) {
  HttpMetricsEndpoint endpoint("127.0.0.1", 0);
  endpoint.Publish(Figures(0));
  std::atomic<bool> done{false};
  int scrapes = 0, whole = 0;
  std::thread scraper([&] {
    while (!done) {
      const std::string text = Scrape(endpoint.Port());
      ++scrapes;
      if (Has(text, "rvukiosk_lost_comms 0") && text.find("rvukiosk_datagrams_total{kind=\"shown\"}") != std::string::npos)
        ++whole;
    }
  });
  for (int i = 1; i <= 2000; ++i) endpoint.Publish(Figures(i));
  done = true;
  scraper.join();
  EXPECT_GT(scrapes, 0);
  EXPECT_EQ(whole, scrapes);
}

}  // namespace
