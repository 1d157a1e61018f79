#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

// What the diagnostics have done since the program started: log entries by
// code, failed log writes, error reports written and held back. Counted from
// whichever thread logs; read by whoever reports the program's health.
namespace diag {

// The codes counted one by one; entries of further codes are counted together.
inline constexpr std::size_t kCountedLogCodes = 64;

struct tDiagCounts {
  std::vector<std::pair<std::int32_t, std::uint64_t>> entriesByCode;  // in code order
  std::uint64_t entriesOfOtherCodes = 0;  // codes past the first kCountedLogCodes
  std::uint64_t logWriteFailures = 0;     // entries whose line did not reach the daily file
  std::uint64_t reportsWritten = 0;
  std::uint64_t reportsHeldBack = 0;      // the same failure had a report within the hour
  std::uint64_t reportWriteFailures = 0;
};

tDiagCounts DiagCounts();

// Called by the log and the reports.
void CountLogEntry(std::int32_t code);
void CountLogWriteFailure();
enum class ReportOutcome { Written, HeldBack, WriteFailed };
void CountReport(ReportOutcome outcome);

// Back to nothing counted (tests).
void ResetDiagCounts();

}  // namespace diag
