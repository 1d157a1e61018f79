#include <cctype>

#include "platform/datetime.h"

namespace platform {

namespace {

class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  void SkipBlanks() {
    while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
  }
  bool AtEnd() const { return pos_ >= text_.size(); }
  size_t Pos() const { return pos_; }
  void Reset(size_t pos) { pos_ = pos; }

  // Up to four digits; `digits` tells how many were read.
  bool Number(int& value, int& digits) {
    value = 0;
    digits = 0;
    while (pos_ < text_.size() && digits < 4 && std::isdigit(static_cast<unsigned char>(text_[pos_]))) {
      value = value * 10 + (text_[pos_++] - '0');
      ++digits;
    }
    return digits > 0;
  }
  bool Char(char c) {
    if (c != 0 && pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

bool ScanDate(Scanner& s, const DateTimeFormat& f, int currentYear, TDateTime& out) {
  s.SkipBlanks();
  int n[3] = {0, 0, 0}, digits[3] = {0, 0, 0};
  if (!s.Number(n[0], digits[0]) || !s.Char(f.dateSeparator) || !s.Number(n[1], digits[1])) return false;
  int count = 2;
  if (s.Char(f.dateSeparator)) {
    if (!s.Number(n[2], digits[2])) return false;
    count = 3;
  }
  int year = currentYear, month = 0, day = 0, yearDigits = 4;
  if (count == 2) {
    if (f.order == DateOrder::DMY) {
      day = n[0];
      month = n[1];
    } else {
      month = n[0];
      day = n[1];
    }
  } else {
    switch (f.order) {
      case DateOrder::DMY:
        day = n[0], month = n[1], year = n[2], yearDigits = digits[2];
        break;
      case DateOrder::MDY:
        month = n[0], day = n[1], year = n[2], yearDigits = digits[2];
        break;
      case DateOrder::YMD:
        year = n[0], month = n[1], day = n[2], yearDigits = digits[0];
        break;
    }
  }
  if (yearDigits <= 2) year += currentYear / 100 * 100;
  return TryEncodeDate(year, month, day, out);
}

bool ScanTime(Scanner& s, const DateTimeFormat& f, TDateTime& out) {
  s.SkipBlanks();
  int hour = 0, minute = 0, second = 0, millis = 0, digits = 0;
  if (!s.Number(hour, digits) || !s.Char(f.timeSeparator) || !s.Number(minute, digits)) return false;
  if (s.Char(f.timeSeparator)) {
    if (!s.Number(second, digits)) return false;
    if (s.Char(f.decimalSeparator)) {
      if (!s.Number(millis, digits)) return false;
      for (; digits < 3; ++digits) millis *= 10;  // ".5" is 500 ms
    }
  }
  return TryEncodeTime(hour, minute, second, millis, out);
}

bool AtEndAfterBlanks(Scanner& s) {
  s.SkipBlanks();
  return s.AtEnd();
}

}  // namespace

bool TryStrToDate(std::string_view text, const DateTimeFormat& format, int currentYear, TDateTime& out) {
  Scanner s(text);
  TDateTime date = 0;
  if (!ScanDate(s, format, currentYear, date) || !AtEndAfterBlanks(s)) return false;
  out = date;
  return true;
}

bool TryStrToTime(std::string_view text, const DateTimeFormat& format, TDateTime& out) {
  Scanner s(text);
  TDateTime time = 0;
  if (!ScanTime(s, format, time) || !AtEndAfterBlanks(s)) return false;
  out = time;
  return true;
}

bool TryStrToDateTime(std::string_view text, const DateTimeFormat& format, int currentYear, TDateTime& out) {
  Scanner s(text);
  TDateTime date = 0, time = 0;
  if (ScanDate(s, format, currentYear, date)) {
    if (AtEndAfterBlanks(s)) {
      out = date;
      return true;
    }
    if (!ScanTime(s, format, time) || !AtEndAfterBlanks(s)) return false;
    out = date >= 0 ? date + time : date - time;
    return true;
  }
  s.Reset(0);
  if (!ScanTime(s, format, time) || !AtEndAfterBlanks(s)) return false;
  out = time;
  return true;
}

}  // namespace platform
