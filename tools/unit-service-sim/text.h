#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sim {

using TimePoint = std::chrono::system_clock::time_point;

// Local-time forms used by the service.
std::string FormatLocal(TimePoint t, const char* format);  // strftime format
std::string DateText(TimePoint t);                          // YYYY-MM-DD
std::string DateTimeText(TimePoint t);                      // YYYY-MM-DD HH:MM:SS
std::string TimeText(TimePoint t);                          // HH:MM:SS
std::string HourMinuteText(TimePoint t);                    // HH:MM
// Start of the local hour holding t.
TimePoint StartOfHour(TimePoint t);

std::string ToUpper(std::string_view s);
std::string ToLower(std::string_view s);
bool EqualsNoCase(std::string_view a, std::string_view b);
std::string Trim(std::string_view s);
std::string ReplaceAll(std::string s, std::string_view from, std::string_view to);
// Case-insensitive ReplaceAll.
std::string ReplaceAllNoCase(std::string_view s, std::string_view from, std::string_view to);

// A decimal integer with optional sign and nothing else.
std::optional<long long> ParseInteger(std::string_view s);

// Percent-decoding; a malformed escape is kept as it stands.
std::string PercentDecode(std::string_view s, bool plusIsBlank);

using QueryParams = std::vector<std::pair<std::string, std::string>>;
// Splits "a=1&b=2" into decoded pairs.
QueryParams ParseQuery(std::string_view query);
// First value of the key, compared without case.
std::optional<std::string> Param(const QueryParams& params, std::string_view key);

// Escapes &, <, > and quotes for XML and HTML text and attributes.
std::string XmlEscape(std::string_view s);
// A service text for a web page: the en-dash entity becomes the dash itself.
std::string DisplayText(std::string_view serviceText);

// FNV-1a; stable across runs, for things drawn from a text.
std::uint64_t HashText(std::string_view s);

// A small deterministic generator (splitmix64).
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next();
  // 0 <= result < n (n > 0).
  int Below(int n);
  // lo <= result <= hi.
  int Range(int lo, int hi);
  double Unit();  // [0, 1)
  double Uniform(double lo, double hi) { return lo + (hi - lo) * Unit(); }
  bool Chance(double p) { return Unit() < p; }
  template <class T>
  const T& Pick(const std::vector<T>& items) {
    return items[static_cast<size_t>(Below(static_cast<int>(items.size())))];
  }

 private:
  std::uint64_t state_;
};

}  // namespace sim
