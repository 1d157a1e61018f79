#include "kiosk/kiosk_metrics.h"

#include <gtest/gtest.h>

#include "tests/support/metrics_snapshot.h"

namespace {

using namespace kiosk;
using testsupport::SampleValue;

TEST(DatagramKinds, WhatBecameOfADatagram) {
  const struct {
    const char* text;
    DatagramView view;
    DatagramKind kind;
  } cases[] = {
      {"12:00:01 [CFS:0451003] STRUCTURE FIRE", {true, kWhite, false}, DatagramKind::Shown},
      {"12:00:01 [CFS:0451003] STRUCTURE FIRE", {false, kWhite, false}, DatagramKind::Hidden},
      {"12:00:01 [RVU:1234567] RESCUE", {true, kGreen, true}, DatagramKind::OwnPage},
      {"12:00:01 [RVU:1234567] RESCUE", {false, kGreen, true}, DatagramKind::OwnPage},  // own, even when not listed
      {"CMD:SCROLL", {false, kWhite, false}, DatagramKind::Command},
      {"CMD:NOSUCHCOMMAND", {false, kWhite, false}, DatagramKind::Command},
      {" CMD:SCROLL", {true, kWhite, false}, DatagramKind::Shown},  // a page, as the gateway sends it
  };
  for (const auto& c : cases) EXPECT_EQ(KindOfDatagram(c.text, c.view), c.kind) << c.text;
}

TEST(DatagramKinds, HeartbeatPagesAreCountedShownOrNotButNoCommandIsOne) {
  DatagramCounts counts;
  counts.Note(DatagramKind::Hidden, "12:00:00 [MSC:HEARTBEAT] 12:00:00", 10);
  counts.Note(DatagramKind::Shown, "12:00:00 [MSC:HEARTBEAT:1900000] 12:00:00", 11);
  counts.Note(DatagramKind::Shown, "12:00:00 [MSC:1900000] 12:00:00", 12);
  counts.Note(DatagramKind::Command, "CMD:[MSC:HEARTBEAT", 13);
  counts.Note(DatagramKind::CommandRefused, "CMD:[MSC:HEARTBEAT", 14);
  EXPECT_EQ(counts.heartbeatPages, 2u);
  EXPECT_EQ(counts.lastHeartbeat, 11);
  EXPECT_EQ(counts.byKind, (std::array<std::uint64_t, kDatagramKinds>{2, 1, 0, 1, 1}));
}

TEST(StallWatch, TheLongestStallOfTheLastMinute) {
  StallWatch watch;
  std::int64_t now = 1000;
  watch.Beat(now, 100);
  EXPECT_EQ(watch.LongestMs(now), 0);
  now += 100;
  watch.Beat(now, 100);  // on time
  EXPECT_EQ(watch.LongestMs(now), 0);
  now += 2600;
  watch.Beat(now, 100);  // held up 2.5 s
  const std::int64_t stalledAt = now;
  for (int i = 0; i < 10; ++i) watch.Beat(now += 150, 100);  // later, smaller ones
  EXPECT_EQ(watch.LongestMs(now), 2500);
  // Within the window it stands; once the window has passed it, it is gone.
  const std::int64_t windowEnd = (stalledAt / StallWatch::kSlotMs + 60) * StallWatch::kSlotMs;
  EXPECT_EQ(watch.LongestMs(windowEnd - 1), 2500);
  EXPECT_EQ(watch.LongestMs(windowEnd), 50);
  // A gap longer than the window itself is still counted when the beat comes.
  watch.Beat(now + 200000, 100);
  EXPECT_EQ(watch.LongestMs(now + 200000), 200000 - 100);
}

TEST(KioskSnapshot, EveryKindAndResultFromTheStartAndTheFiguresAsGiven) {
  KioskFigures f;
  f.datagrams.byKind = {5, 4, 3, 2, 1};
  f.secondsSinceDatagram = 130.5;
  f.lostComms = true;
  f.screen = Screen::Weather;
  f.requests.results[static_cast<size_t>(service::RequestKind::Summary)]
                    [static_cast<size_t>(service::RequestResult::TimedOut)] = 7;
  f.requests.lastFailed[static_cast<size_t>(service::RequestKind::StatusPoll)] = true;
  f.requests.seconds[0].Observe(0.07);
  f.requests.seconds[0].Observe(45);
  f.diag.entriesByCode = {{30000, 3}, {5, 1}};
  f.diag.entriesOfOtherCodes = 9;
  f.fileSystem = {1000, 80};
  f.version = "1.0.0.1";
  const platform::MetricsSnapshot s = KioskSnapshot(f);

  const char* kinds[] = {"shown", "hidden", "own_page", "command", "command_refused"};
  for (int i = 0; i < kDatagramKinds; ++i)
    EXPECT_EQ(SampleValue(s, "rvukiosk_datagrams_total", std::string("kind=") + kinds[i]), 5 - i) << kinds[i];
  int requestSamples = 0;
  for (const char* request : {"status_poll", "incident", "summary"})
    for (const char* result : {"ok", "refused", "timed_out", "http_error", "unreadable"}) {
      const auto v = SampleValue(s, "rvukiosk_service_requests_total",
                                 std::string("request=") + request + ",result=" + result);
      ASSERT_TRUE(v) << request << " " << result;
      EXPECT_EQ(*v, std::string(request) == "summary" && std::string(result) == "timed_out" ? 7 : 0);
      ++requestSamples;
    }
  EXPECT_EQ(requestSamples, 15);
  EXPECT_EQ(SampleValue(s, "rvukiosk_service_failing", "request=status_poll"), 1);
  EXPECT_EQ(SampleValue(s, "rvukiosk_service_failing", "request=summary"), 0);
  EXPECT_EQ(SampleValue(s, "rvukiosk_seconds_since_last_datagram"), 130.5);
  EXPECT_EQ(SampleValue(s, "rvukiosk_lost_comms"), 1);
  EXPECT_EQ(SampleValue(s, "rvukiosk_screen", "screen=weather"), 1);
  EXPECT_EQ(SampleValue(s, "rvukiosk_screen", "screen=route_map"), 0);
  EXPECT_EQ(SampleValue(s, "rvukiosk_dark"), 0);
  EXPECT_EQ(SampleValue(s, "rvukiosk_log_entries_total", "code=30000"), 3);
  EXPECT_EQ(SampleValue(s, "rvukiosk_log_entries_total", "code=00005"), 1);  // as the log file writes it
  EXPECT_EQ(SampleValue(s, "rvukiosk_log_entries_total", "code=other"), 9);
  EXPECT_EQ(SampleValue(s, "rvukiosk_filesystem_free_bytes"), 80);
  EXPECT_EQ(SampleValue(s, "rvukiosk_build_info", "version=1.0.0.1"), 1);

  // The latency histogram: a sample per request kind, the bounds of the service.
  for (const auto& family : s) {
    if (family.name != "rvukiosk_service_request_seconds") continue;
    EXPECT_EQ(family.kind, platform::MetricFamily::Kind::Histogram);
    ASSERT_EQ(family.samples.size(), 3u);
    const platform::MetricHistogram& h = family.samples[0].histogram;
    EXPECT_EQ(h.upperBounds, service::kRequestSecondsBounds);
    EXPECT_EQ(h.count, 2u);
    EXPECT_EQ(h.bucketCounts[2], 1u);                    // 0.07 in (0.05, 0.1]
    EXPECT_EQ(h.bucketCounts.back(), 1u);                // 45 above the highest bound
    EXPECT_EQ(family.samples[1].histogram.count, 0u);
  }
  // Nothing is shown before the first screen.
  KioskFigures none;
  for (const char* screen : {"route_map", "weather", "task_summary", "chart", "picture"})
    EXPECT_EQ(SampleValue(KioskSnapshot(none), "rvukiosk_screen", std::string("screen=") + screen), 0);
}

TEST(KioskSnapshot, SecondsBetweenLocalTimes) {
  EXPECT_NEAR(SecondsBetween(1.0, 1.0 + 130.0 / 86400.0), 130.0, 1e-6);
  EXPECT_EQ(SecondsBetween(2.0, 1.0), 0);  // a clock set back: no negative age
}

}  // namespace
