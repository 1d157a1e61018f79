#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "tools/pager-gateway-sim/sender.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

double MsSince(Clock::time_point start) { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); }

TEST(SenderLoop, SlowSendsDoNotDelayLaterDeadlines) {
  gatewaysim::Options options;
  options.rate = 20;  // a deadline every 50 ms
  options.count = 10;
  std::vector<double> emitted;
  const auto start = Clock::now();
  auto sent = gatewaysim::RunSenderLoop(
      options,
      [&](const std::string&) {
        emitted.push_back(MsSince(start));
        std::this_thread::sleep_for(milliseconds(30));  // a send that takes most of a period
      },
      [] { return false; });
  ASSERT_EQ(sent, 10u);
  ASSERT_EQ(emitted.size(), 10u);
  // Pacing from the previous send would put the last line at about 720 ms.
  EXPECT_GT(emitted.back(), 445.0);
  EXPECT_LT(emitted.back(), 520.0);
}

TEST(SenderLoop, StopRequestEndsTheWaitForTheNextDeadline) {
  gatewaysim::Options options;
  options.rate = 0.01;  // the second line would come after 100 s
  std::atomic<bool> stop{false};
  std::thread stopper([&] {
    std::this_thread::sleep_for(milliseconds(150));
    stop = true;
  });
  const auto start = Clock::now();
  auto sent = gatewaysim::RunSenderLoop(options, [](const std::string&) {}, [&] { return stop.load(); });
  stopper.join();
  EXPECT_EQ(sent, 1u);
  EXPECT_LT(MsSince(start), 1000.0);
}

}  // namespace
