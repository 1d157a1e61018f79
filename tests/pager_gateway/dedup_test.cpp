#include <gtest/gtest.h>

#include "pager-gateway/dedup.h"

namespace {

TEST(DuplicateFilter, SameTextToSameCapcodeWithinTheWindow) {
  const struct {
    std::uint64_t capcode;
    const char* text;
    std::int64_t atMs;
    bool send;
  } steps[] = {
      {1234, "FIRE", 0, true},
      {1234, "FIRE", 1000, false},     // a second transmitter
      {1234, "FIRE", 59999, false},    // last moment of the window
      {4321, "FIRE", 30000, true},     // another capcode: no duplicate
      {1234, "FIRE ", 30000, true},    // another text
      {1234, "FIRE", 60000, true},     // window over: sent again, and a new window starts
      {1234, "FIRE", 61000, false},
      {4321, "FIRE", 89999, false},
      {4321, "FIRE", 90000, true},
      {1234, "", 90000, true},          // tone-only pages too
      {1234, "", 90500, false},
  };
  pagergw::DuplicateFilter filter(60000);
  for (const auto& s : steps)
    EXPECT_EQ(filter.ShouldSend(s.capcode, s.text, s.atMs), s.send) << s.capcode << " " << s.text << " at " << s.atMs;
}

TEST(DuplicateFilter, ForgetsWhatLeftTheWindow) {
  pagergw::DuplicateFilter filter(1000);
  for (int i = 0; i < 100; ++i) filter.ShouldSend(1, "page " + std::to_string(i), i);
  EXPECT_EQ(filter.Remembered(), 100u);
  filter.ShouldSend(2, "later", 5000);
  EXPECT_EQ(filter.Remembered(), 1u);
}

}  // namespace
