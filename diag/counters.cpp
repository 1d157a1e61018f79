#include "diag/counters.h"

#include <map>
#include <mutex>

namespace diag {

namespace {

std::mutex gMutex;
tDiagCounts gCounts;
std::map<std::int32_t, std::uint64_t> gByCode;

}  // namespace

tDiagCounts DiagCounts() {
  std::lock_guard<std::mutex> lock(gMutex);
  tDiagCounts counts = gCounts;
  counts.entriesByCode.assign(gByCode.begin(), gByCode.end());
  return counts;
}

void CountLogEntry(std::int32_t code) {
  std::lock_guard<std::mutex> lock(gMutex);
  const auto known = gByCode.find(code);
  if (known != gByCode.end())
    ++known->second;
  else if (gByCode.size() < kCountedLogCodes)
    gByCode.emplace(code, 1);
  else
    ++gCounts.entriesOfOtherCodes;
}

void CountLogWriteFailure() {
  std::lock_guard<std::mutex> lock(gMutex);
  ++gCounts.logWriteFailures;
}

void CountReport(ReportOutcome outcome) {
  std::lock_guard<std::mutex> lock(gMutex);
  switch (outcome) {
    case ReportOutcome::Written:
      ++gCounts.reportsWritten;
      break;
    case ReportOutcome::HeldBack:
      ++gCounts.reportsHeldBack;
      break;
    case ReportOutcome::WriteFailed:
      ++gCounts.reportWriteFailures;
      break;
  }
}

void ResetDiagCounts() {
  std::lock_guard<std::mutex> lock(gMutex);
  gCounts = {};
  gByCode.clear();
}

}  // namespace diag
