#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Local wall-clock date-time as a day count: day 0 is 30 December 1899, the
// fraction is the time of day (one hour is 1/24).
using TDateTime = double;

inline constexpr double kHoursPerDay = 24;
inline constexpr double kMinutesPerDay = 24 * 60;
inline constexpr double kSecondsPerDay = 24 * 60 * 60;
inline constexpr std::int64_t kMillisPerDay = 24LL * 60 * 60 * 1000;
inline constexpr TDateTime kOneHour = 1.0 / kHoursPerDay;
inline constexpr TDateTime kOneMinute = 1.0 / kMinutesPerDay;
inline constexpr TDateTime kOneSecond = 1.0 / kSecondsPerDay;

struct DateTimeParts {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

bool IsValidDate(int year, int month, int day);
bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

// False for fields out of range (year 1 to 9999, hours 0 to 23 ...).
bool TryEncodeDate(int year, int month, int day, TDateTime& out);
bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& out);
TDateTime EncodeDateTime(const DateTimeParts& parts);  // throws on invalid fields
DateTimeParts DecodeDateTime(TDateTime value);

// Whole-day number of a date-time (the date part).
std::int64_t WholeDay(TDateTime value);

// Conversions between the wall clock (Unix milliseconds) and local date-time,
// through the local time zone.
TDateTime UnixMillisToLocal(std::int64_t unixMillis);
std::int64_t LocalToUnixMillis(TDateTime local);

// The fixed locale of the program, whatever the machine's.
inline constexpr std::string_view kShortDateFormat = "dd/mm/yyyy";
inline constexpr std::string_view kLongTimeFormat = "hh:nn:ss";
inline constexpr char kDateSeparator = '/';
inline constexpr char kTimeSeparator = ':';
inline constexpr char kDecimalSeparator = '.';
inline constexpr char kThousandSeparator = ',';
extern const char* const kShortMonthNames[12];
extern const char* const kLongMonthNames[12];

// Formats a date-time with a pattern: "yyyy"/"yy" year, "m"/"mm" month (minutes
// right after an hour field), "mmm"/"mmmm" month name, "d"/"dd" day, "h"/"hh"
// hours 0-23, "n"/"nn" minutes, "s"/"ss" seconds, "z"/"zzz" milliseconds, "/" the
// date and ":" the time separator. Letters match in either case; any other
// character is copied.
std::string FormatDateTime(std::string_view pattern, TDateTime value);

// Short date and long time joined by a blank; the time is left out at exactly midnight.
std::string DateTimeToStr(TDateTime value);

// How texts are read back into date-times: the order of day, month and year,
// their separator, the time separator and (0 for none) the separator before
// milliseconds.
enum class DateOrder { DMY, MDY, YMD };
struct DateTimeFormat {
  DateOrder order = DateOrder::DMY;
  char dateSeparator = kDateSeparator;
  char timeSeparator = kTimeSeparator;
  char decimalSeparator = kDecimalSeparator;
};
inline constexpr DateTimeFormat kLocaleFormat{};

// Text to date-time, in the manner of the usual locale-driven conversion: a date
// of two or three numbers (two take `currentYear`; a year of one or two digits
// lies in the century of `currentYear`), a time of hours and minutes with
// optional seconds (and milliseconds), or a date followed by blanks and a time.
// Blanks around are allowed; anything else fails.
bool TryStrToDate(std::string_view text, const DateTimeFormat& format, int currentYear, TDateTime& out);
bool TryStrToTime(std::string_view text, const DateTimeFormat& format, TDateTime& out);
bool TryStrToDateTime(std::string_view text, const DateTimeFormat& format, int currentYear, TDateTime& out);

// A whole number grouped by thousands ("#,##0"): 2146955264 gives "2,146,955,264".
std::string FormatThousands(std::int64_t value);

}  // namespace platform
