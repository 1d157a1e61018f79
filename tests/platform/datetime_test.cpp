#include "platform/datetime.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "tests/support/temp_dir.h"

namespace {

using platform::DateTimeParts;
using platform::EncodeDateTime;
using platform::FormatDateTime;

TEST(DateTime, DayCountsOfKnownDates) {
  struct Case {
    DateTimeParts parts;
    double expected;
  } cases[] = {
      {{1899, 12, 30, 0, 0, 0, 0}, 0.0},
      {{1900, 1, 1, 0, 0, 0, 0}, 2.0},
      {{2015, 1, 5, 0, 0, 0, 0}, 42009.0},
      {{2026, 12, 9, 12, 0, 0, 0}, 46365.5},
      {{2000, 2, 29, 6, 0, 0, 0}, 36585.25},
      {{1899, 12, 29, 6, 0, 0, 0}, -1.25},  // before day 0 the fraction still counts from midnight
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(EncodeDateTime(c.parts), c.expected) << c.parts.year << "-" << c.parts.month;
    DateTimeParts back = platform::DecodeDateTime(c.expected);
    EXPECT_EQ(back.year, c.parts.year);
    EXPECT_EQ(back.month, c.parts.month);
    EXPECT_EQ(back.day, c.parts.day);
    EXPECT_EQ(back.hour, c.parts.hour);
  }
}

TEST(DateTime, InvalidFieldsAreRefused) {
  platform::TDateTime out = 0;
  EXPECT_FALSE(platform::TryEncodeDate(2013, 2, 31, out));
  EXPECT_FALSE(platform::TryEncodeDate(2100, 2, 29, out));
  EXPECT_TRUE(platform::TryEncodeDate(2000, 2, 29, out));
  EXPECT_FALSE(platform::TryEncodeDate(0, 1, 1, out));
  EXPECT_FALSE(platform::TryEncodeTime(24, 0, 0, 0, out));
  EXPECT_FALSE(platform::TryEncodeTime(7, 60, 0, 0, out));
  EXPECT_THROW(EncodeDateTime({2013, 13, 1, 0, 0, 0, 0}), platform::Error);
}

TEST(DateTime, MillisecondsSurviveTheRoundTrip) {
  // 23:59:59.999 must not round up into the next day.
  const auto value = EncodeDateTime({2026, 12, 31, 23, 59, 59, 999});
  const auto back = platform::DecodeDateTime(value);
  EXPECT_EQ(back.day, 31);
  EXPECT_EQ(back.hour, 23);
  EXPECT_EQ(back.second, 59);
  EXPECT_EQ(back.millisecond, 999);
}

TEST(DateTime, FormatPatterns) {
  const auto t = EncodeDateTime({2015, 1, 5, 13, 4, 9, 7});
  struct Case {
    const char* pattern;
    const char* expected;
  } cases[] = {
      {"yyyymmddhhnnsszzz", "20150105130409007"},
      {"HH:MM:SS", "13:04:09"},
      {"hh:mm:ss.zzz", "13:04:09.007"},
      {"YYYY-MM-DD", "2015-01-05"},
      {"MMM DD YYYY HH:MM:SS", "Jan 05 2015 13:04:09"},
      {"YYYY-MM-DD HH:MM:SS", "2015-01-05 13:04:09"},
      {"dd/mm/yyyy", "05/01/2015"},
      {"hh:nn:ss", "13:04:09"},
      {"yyyymmdd", "20150105"},
      {"d/m/yy h:n:s", "5/1/15 13:4:9"},
      {"mmmm", "January"},
      {"'mm' mm", "mm 01"},  // quoted text is copied
  };
  for (const auto& c : cases) EXPECT_EQ(FormatDateTime(c.pattern, t), c.expected) << c.pattern;
}

TEST(DateTime, DateTimeToStrLeavesOutMidnight) {
  EXPECT_EQ(platform::DateTimeToStr(EncodeDateTime({2026, 12, 9, 0, 0, 0, 0})), "09/12/2026");
  EXPECT_EQ(platform::DateTimeToStr(EncodeDateTime({2026, 12, 9, 0, 0, 1, 0})), "09/12/2026 00:00:01");
  EXPECT_EQ(platform::DateTimeToStr(EncodeDateTime({2026, 12, 9, 23, 5, 0, 0})), "09/12/2026 23:05:00");
}

TEST(DateTime, ThousandsGrouping) {
  struct Case {
    std::int64_t value;
    const char* expected;
  } cases[] = {{0, "0"}, {999, "999"}, {1000, "1,000"}, {2146955264, "2,146,955,264"}, {-1234567, "-1,234,567"}};
  for (const auto& c : cases) EXPECT_EQ(platform::FormatThousands(c.value), c.expected);
}

TEST(DateTime, LocalTimeFollowsTheTimeZoneAcrossDaylightSaving) {
  testsupport::ScopedTimeZone tz("Australia/Adelaide");
  // 2026-04-05 03:00 local daylight time ends: clocks go back to 02:00.
  // 2026-04-04 15:30:00 UTC is 02:00 local daylight time (UTC+10:30).
  const std::int64_t beforeChange = 1775316600000;  // 2026-04-04T15:30:00Z
  const auto local = platform::UnixMillisToLocal(beforeChange);
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", local), "2026-04-05 02:00:00");
  const auto later = platform::UnixMillisToLocal(beforeChange + 3600 * 1000);  // one hour on: still 02:00 (standard)
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", later), "2026-04-05 02:00:00");

  // Summer time, no ambiguity: local to wall clock and back.
  const auto summer = EncodeDateTime({2026, 12, 9, 13, 45, 10, 123});
  EXPECT_EQ(platform::UnixMillisToLocal(platform::LocalToUnixMillis(summer)), summer);
  EXPECT_EQ(platform::LocalToUnixMillis(summer), 1796786110123);  // 2026-12-09T03:15:10.123Z (UTC+10:30)
}

}  // namespace

namespace {

TEST(DateTimeParse, LocaleAndServiceFormats) {
  using platform::DateOrder;
  using platform::DateTimeFormat;
  const DateTimeFormat locale = platform::kLocaleFormat;
  const DateTimeFormat service{DateOrder::YMD, '-', ':', 0};  // no milliseconds
  const DateTimeFormat serviceDate{DateOrder::DMY, '/', 0, 0};
  struct Case {
    const char* text;
    const DateTimeFormat* format;
    const char* expected;  // "yyyy-mm-dd hh:nn:ss.zzz", or nullptr when the text must fail
  } cases[] = {
      {"00:00:00", &locale, "1899-12-30 00:00:00.000"},
      {"09/12/2026", &locale, "2026-12-09 00:00:00.000"},
      {" 09/12/2026 13:45:10 ", &locale, "2026-12-09 13:45:10.000"},
      {"9/12/26 7:05", &locale, "2026-12-09 07:05:00.000"},
      {"13:45:10.5", &locale, "1899-12-30 13:45:10.500"},
      {"9/12", &locale, "2026-12-09 00:00:00.000"},  // the current year
      {"31/02/2013", &locale, nullptr},
      {"2026-12-09", &locale, nullptr},
      {"09/12/2026x", &locale, nullptr},
      {"24:00", &locale, nullptr},
      {"abc", &locale, nullptr},
      {"", &locale, nullptr},
      {"2013-05-12 14:30", &service, "2013-05-12 14:30:00.000"},
      {"2013-05-12", &service, "2013-05-12 00:00:00.000"},
      {"14:30:59", &service, "1899-12-30 14:30:59.000"},
      {"7:05", &service, "1899-12-30 07:05:00.000"},
      {"14:30:59.5", &service, nullptr},
      {"12/05/13", &serviceDate, "2013-05-12 00:00:00.000"},
      {"1/5/9", &serviceDate, "2009-05-01 00:00:00.000"},
  };
  for (const auto& c : cases) {
    platform::TDateTime value = -99;
    const bool ok = platform::TryStrToDateTime(c.text, *c.format, 2026, value);
    ASSERT_EQ(ok, c.expected != nullptr) << "'" << c.text << "'";
    if (ok) {
      EXPECT_EQ(platform::FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", value), c.expected) << c.text;
    }
  }
}

TEST(DateTimeParse, DateOnlyAndTimeOnly) {
  platform::TDateTime value = 0;
  EXPECT_TRUE(platform::TryStrToTime("7:05", platform::kLocaleFormat, value));
  EXPECT_FALSE(platform::TryStrToTime("09/12/2026", platform::kLocaleFormat, value));
  EXPECT_FALSE(platform::TryStrToTime("7", platform::kLocaleFormat, value));
  EXPECT_TRUE(platform::TryStrToDate("09/12/2026", platform::kLocaleFormat, 2026, value));
  EXPECT_FALSE(platform::TryStrToDate("09/12/2026 10:00", platform::kLocaleFormat, 2026, value));
  EXPECT_TRUE(platform::TryStrToDate("1/1/99", platform::kLocaleFormat, 2126, value));
  EXPECT_EQ(platform::DecodeDateTime(value).year, 2199);  // the century of the current year
}

}  // namespace
