#include "tools/unit-service-sim/text.h"

#include <cctype>
#include <charconv>
#include <ctime>

namespace sim {

std::string FormatLocal(TimePoint t, const char* format) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(t);
  std::tm local{};
  localtime_r(&seconds, &local);
  char buffer[128];
  const size_t n = std::strftime(buffer, sizeof buffer, format, &local);
  return std::string(buffer, n);
}

std::string DateText(TimePoint t) { return FormatLocal(t, "%Y-%m-%d"); }
std::string DateTimeText(TimePoint t) { return FormatLocal(t, "%Y-%m-%d %H:%M:%S"); }
std::string TimeText(TimePoint t) { return FormatLocal(t, "%H:%M:%S"); }
std::string HourMinuteText(TimePoint t) { return FormatLocal(t, "%H:%M"); }

TimePoint StartOfHour(TimePoint t) {
  std::time_t seconds = std::chrono::system_clock::to_time_t(t);
  std::tm local{};
  localtime_r(&seconds, &local);
  local.tm_min = 0;
  local.tm_sec = 0;
  seconds = std::mktime(&local);
  return std::chrono::system_clock::from_time_t(seconds);
}

std::string ToUpper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string ToLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return std::string(s.substr(b, e - b));
}

std::string ReplaceAll(std::string s, std::string_view from, std::string_view to) {
  if (from.empty()) return s;
  for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
    s.replace(at, from.size(), to);
  return s;
}

std::string ReplaceAllNoCase(std::string_view s, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(s);
  const std::string lower = ToLower(s);
  const std::string key = ToLower(from);
  std::string out;
  size_t start = 0;
  for (size_t at = lower.find(key); at != std::string::npos; at = lower.find(key, start)) {
    out.append(s.substr(start, at - start));
    out.append(to);
    start = at + key.size();
  }
  out.append(s.substr(start));
  return out;
}

std::optional<long long> ParseInteger(std::string_view s) {
  if (s.empty()) return std::nullopt;
  size_t start = (s[0] == '+') ? 1 : 0;
  long long value = 0;
  const char* first = s.data() + start;
  const char* last = s.data() + s.size();
  if (first == last) return std::nullopt;
  const auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || ptr != last) return std::nullopt;
  return value;
}

namespace {
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

std::string PercentDecode(std::string_view s, bool plusIsBlank) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '%' && i + 2 < s.size()) {
      const int hi = HexValue(s[i + 1]);
      const int lo = HexValue(s[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    out += (c == '+' && plusIsBlank) ? ' ' : c;
  }
  return out;
}

QueryParams ParseQuery(std::string_view query) {
  QueryParams params;
  size_t start = 0;
  while (start <= query.size()) {
    size_t end = query.find('&', start);
    if (end == std::string_view::npos) end = query.size();
    const std::string_view item = query.substr(start, end - start);
    if (!item.empty()) {
      const size_t eq = item.find('=');
      if (eq == std::string_view::npos)
        params.emplace_back(PercentDecode(item, true), std::string());
      else
        params.emplace_back(PercentDecode(item.substr(0, eq), true), PercentDecode(item.substr(eq + 1), true));
    }
    start = end + 1;
  }
  return params;
}

std::optional<std::string> Param(const QueryParams& params, std::string_view key) {
  for (const auto& [k, v] : params)
    if (EqualsNoCase(k, key)) return v;
  return std::nullopt;
}

std::string XmlEscape(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string DisplayText(std::string_view serviceText) {
  return ReplaceAll(std::string(serviceText), "&#8211;", "\xE2\x80\x93");
}

std::uint64_t HashText(std::string_view s) {
  std::uint64_t h = 1469598103934665603ULL;
  for (unsigned char c : s) {
    h ^= c;
    h *= 1099511628211ULL;
  }
  return h;
}

std::uint64_t Rng::Next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

int Rng::Below(int n) { return n <= 1 ? 0 : static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }

int Rng::Range(int lo, int hi) { return hi <= lo ? lo : lo + Below(hi - lo + 1); }

double Rng::Unit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }

}  // namespace sim
