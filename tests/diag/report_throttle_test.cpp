#include "diag/report_throttle.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace diag;

tFailureKey Key(int n) { return {"RVULib.F" + std::to_string(n), "EIdSocketError", 400}; }

// Decides one occurrence and, when it is allowed, records it as written.
tReportThrottle::Decision Occur(tReportThrottle& throttle, const tFailureKey& key, std::int64_t nowMs) {
  auto decision = throttle.Decide(key, nowMs);
  if (decision.Write) throttle.Written(key, nowMs, key.Function + "@" + std::to_string(nowMs));
  return decision;
}

TEST(ReportThrottle, RemembersAtMostTheBoundOfFailures) {
  tReportThrottle throttle;
  std::int64_t now = 1000;
  for (size_t i = 0; i < kRememberedFailures; ++i) EXPECT_TRUE(Occur(throttle, Key(static_cast<int>(i)), now++).Write);
  EXPECT_EQ(throttle.Remembered(), kRememberedFailures);
  // At the bound every one is still known: the first, again, is held back.
  const auto again = Occur(throttle, Key(0), now++);
  EXPECT_FALSE(again.Write);
  EXPECT_EQ(again.LastReport, "RVULib.F0@1000");

  // One past it: the failure seen longest ago (now the second) is forgotten ...
  EXPECT_TRUE(Occur(throttle, Key(static_cast<int>(kRememberedFailures)), now++).Write);
  EXPECT_EQ(throttle.Remembered(), kRememberedFailures);
  EXPECT_TRUE(Occur(throttle, Key(1), now++).Write);  // ... and reported again as new
  // ... while the first, seen since, is still held back.
  EXPECT_FALSE(Occur(throttle, Key(0), now++).Write);
}

TEST(ReportThrottle, HeldBackOccurrencesOfAForgottenFailureAreToldInTheNextReport) {
  tReportThrottle throttle;
  std::int64_t now = 1000;
  Occur(throttle, Key(0), now++);
  Occur(throttle, Key(0), now++);
  Occur(throttle, Key(0), now++);  // two held back
  for (size_t i = 1; i <= kRememberedFailures; ++i) {
    const auto decision = Occur(throttle, Key(static_cast<int>(i)), now++);
    ASSERT_TRUE(decision.Write);
    // The first of them made room by forgetting Key(0) and its two.
    EXPECT_EQ(decision.HeldBackForgotten, i == kRememberedFailures ? 2 : 0) << i;
    EXPECT_EQ(HeldBackNote(decision), i == kRememberedFailures ? "[Held back, forgotten failures=2]" : "") << i;
  }
  EXPECT_EQ(Occur(throttle, Key(5), now + kRepeatedReportIntervalMs).HeldBackForgotten, 0) << "told once";
}

TEST(ReportThrottle, AClockThatWentBackMakesTheReportDue) {
  tReportThrottle throttle;
  Occur(throttle, Key(0), 10'000'000);
  EXPECT_FALSE(Occur(throttle, Key(0), 10'000'000).Write);
  const auto back = Occur(throttle, Key(0), 9'999'999);
  EXPECT_TRUE(back.Write);
  EXPECT_EQ(HeldBackNote(back), "[Held back=1]");
}

TEST(ReportThrottle, AReportThatCouldNotBeWrittenIsTriedAgainAndCounted) {
  tReportThrottle throttle;
  const auto first = throttle.Decide(Key(0), 1000);
  ASSERT_TRUE(first.Write);
  throttle.NotWritten(Key(0));
  const auto second = throttle.Decide(Key(0), 2000);
  EXPECT_TRUE(second.Write);
  EXPECT_EQ(second.HeldBack, 1);
  throttle.Written(Key(0), 2000, "x");
  EXPECT_FALSE(throttle.Decide(Key(0), 3000).Write);
}

}  // namespace
