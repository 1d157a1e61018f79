#include "platform/datetime.h"

#include <cmath>
#include <ctime>

#include "platform/error.h"

namespace platform {

const char* const kShortMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kLongMonthNames[12] = {"January", "February", "March",     "April",   "May",      "June",
                                         "July",    "August",   "September", "October", "November", "December"};

namespace {

// Day 0 of the day count (30 December 1899) lies this many days before 1970-01-01.
constexpr std::int64_t kUnixEpochDay = 25569;

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2));
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

// Appends a non-negative number with leading zeros to at least `width` digits.
void AppendPadded(std::string& out, int value, int width) {
  char buffer[12];
  char* end = buffer + sizeof buffer;
  char* p = end;
  do {
    *--p = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0 && p > buffer);
  while (end - p < width && p > buffer) *--p = '0';
  out.append(p, static_cast<size_t>(end - p));
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsValidDate(int year, int month, int day) {
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month);
}

bool TryEncodeDate(int year, int month, int day, TDateTime& out) {
  if (!IsValidDate(year, month, day)) return false;
  out = static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
                            kUnixEpochDay);
  return true;
}

bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& out) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0 ||
      millisecond > 999)
    return false;
  out = (((hour * 60 + minute) * 60 + second) * 1000.0 + millisecond) / static_cast<double>(kMillisPerDay);
  return true;
}

TDateTime EncodeDateTime(const DateTimeParts& p) {
  TDateTime date = 0;
  TDateTime time = 0;
  if (!TryEncodeDate(p.year, p.month, p.day, date) || !TryEncodeTime(p.hour, p.minute, p.second, p.millisecond, time))
    throw Error(kConvertError, "Invalid argument to date encode");
  // Before day 0 the fraction still counts forward from midnight of its day.
  return date >= 0 ? date + time : date - time;
}

DateTimeParts DecodeDateTime(TDateTime value) {
  DateTimeParts p;
  double whole = std::trunc(value);
  auto millis = static_cast<std::int64_t>(std::llround(std::fabs(value - whole) * static_cast<double>(kMillisPerDay)));
  auto day = static_cast<std::int64_t>(whole);
  if (millis >= kMillisPerDay) {  // rounding reached the next midnight
    millis -= kMillisPerDay;
    day += value >= 0 ? 1 : -1;
  }
  CivilFromDays(day - kUnixEpochDay, p.year, p.month, p.day);
  p.millisecond = static_cast<int>(millis % 1000);
  p.second = static_cast<int>(millis / 1000 % 60);
  p.minute = static_cast<int>(millis / 60000 % 60);
  p.hour = static_cast<int>(millis / 3600000);
  return p;
}

std::int64_t WholeDay(TDateTime value) { return static_cast<std::int64_t>(std::trunc(value)); }

TDateTime UnixMillisToLocal(std::int64_t unixMillis) {
  std::time_t seconds = static_cast<std::time_t>(FloorDiv(unixMillis, 1000));
  int millis = static_cast<int>(unixMillis - static_cast<std::int64_t>(seconds) * 1000);
  std::tm tm{};
  localtime_r(&seconds, &tm);
  DateTimeParts p{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, millis};
  if (p.second > 59) p.second = 59;  // a leap second shows as :59
  return EncodeDateTime(p);
}

std::int64_t LocalToUnixMillis(TDateTime local) {
  DateTimeParts p = DecodeDateTime(local);
  std::tm tm{};
  tm.tm_year = p.year - 1900;
  tm.tm_mon = p.month - 1;
  tm.tm_mday = p.day;
  tm.tm_hour = p.hour;
  tm.tm_min = p.minute;
  tm.tm_sec = p.second;
  tm.tm_isdst = -1;
  std::time_t seconds = mktime(&tm);
  return static_cast<std::int64_t>(seconds) * 1000 + p.millisecond;
}

std::string FormatDateTime(std::string_view pattern, TDateTime value) {
  const DateTimeParts p = DecodeDateTime(value);
  std::string out;
  out.reserve(pattern.size() + 8);
  bool afterHour = false;  // "m" right after an hour field means minutes
  size_t i = 0;
  while (i < pattern.size()) {
    const char c = pattern[i];
    if (c == '"' || c == '\'') {  // quoted literal
      size_t end = pattern.find(c, i + 1);
      if (end == std::string_view::npos) end = pattern.size();
      out.append(pattern.substr(i + 1, end - i - 1));
      i = end + 1;
      continue;
    }
    const char lower = AsciiLower(c);
    size_t run = 1;
    while (i + run < pattern.size() && AsciiLower(pattern[i + run]) == lower) ++run;
    switch (lower) {
      case 'y':
        AppendPadded(out, run <= 2 ? p.year % 100 : p.year, run <= 2 ? 2 : 4);
        afterHour = false;
        break;
      case 'm':
        if (afterHour && run <= 2) {
          AppendPadded(out, p.minute, run == 1 ? 1 : 2);
        } else if (run == 1) {
          AppendPadded(out, p.month, 1);
        } else if (run == 2) {
          AppendPadded(out, p.month, 2);
        } else if (run == 3) {
          out += kShortMonthNames[p.month - 1];
        } else {
          out += kLongMonthNames[p.month - 1];
        }
        afterHour = false;
        break;
      case 'd':
        AppendPadded(out, p.day, run == 1 ? 1 : 2);
        afterHour = false;
        break;
      case 'h':
        AppendPadded(out, p.hour, run == 1 ? 1 : 2);
        afterHour = true;
        break;
      case 'n':
        AppendPadded(out, p.minute, run == 1 ? 1 : 2);
        afterHour = false;
        break;
      case 's':
        AppendPadded(out, p.second, run == 1 ? 1 : 2);
        afterHour = false;
        break;
      case 'z':
        AppendPadded(out, p.millisecond, run < 3 ? 1 : 3);
        afterHour = false;
        break;
      case '/':
        out.append(run, kDateSeparator);
        break;
      case ':':
        out.append(run, kTimeSeparator);
        break;
      default:
        out.append(pattern.substr(i, run));
        break;
    }
    i += run;
  }
  return out;
}

std::string DateTimeToStr(TDateTime value) {
  std::string text = FormatDateTime(kShortDateFormat, value);
  const DateTimeParts p = DecodeDateTime(value);
  if (p.hour != 0 || p.minute != 0 || p.second != 0 || p.millisecond != 0) {
    text += ' ';
    text += FormatDateTime(kLongTimeFormat, value);
  }
  return text;
}

std::string FormatThousands(std::int64_t value) {
  std::string digits = std::to_string(value < 0 ? -(value + 1) + 1ULL : static_cast<unsigned long long>(value));
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += kThousandSeparator;
    out += digits[i];
  }
  return value < 0 ? "-" + out : out;
}

}  // namespace platform
