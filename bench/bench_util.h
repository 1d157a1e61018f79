#pragma once

// What the benchmark programs share: a monotonic clock, medians and
// percentiles, the quick mode, and the result rows that scripts/bench gathers
// into one table.
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace bench {

// Nanoseconds on the system's monotonic clock, the same in every process.
inline std::int64_t MonotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

inline double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// Nearest-rank percentile (p in 0..100); 0 for no values.
inline double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const double rank = std::ceil(p / 100.0 * static_cast<double>(values.size()));
  const std::size_t index = rank < 1 ? 0 : static_cast<std::size_t>(rank) - 1;
  return values[std::min(index, values.size() - 1)];
}

// KIOSK_BENCH_QUICK set to anything but "" or "0" asks for short runs.
inline bool QuickMode() {
  const char* quick = std::getenv("KIOSK_BENCH_QUICK");
  return quick != nullptr && *quick != '\0' && std::string(quick) != "0";
}

inline std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// A figure against its same-run baseline and its goal. `met` is empty for a
// figure that has no goal of its own.
struct Row {
  std::string figure;
  std::string measured;
  std::string baseline;
  std::string ratio;
  std::string goal;
  std::string met;
};

inline std::string MetText(bool met) { return met ? "yes" : "NO"; }

// One "ROW|..." line per figure on stdout; scripts/bench turns them into the table.
inline void PrintRow(const Row& row) {
  std::printf("ROW|%s|%s|%s|%s|%s|%s\n", row.figure.c_str(), row.measured.c_str(), row.baseline.c_str(),
              row.ratio.c_str(), row.goal.c_str(), row.met.empty() ? "-" : row.met.c_str());
  std::fflush(stdout);
}

}  // namespace bench
