#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Which exception reports are written: a failure that repeats unchanged gets
// at most one report an hour, so a service that stays unreachable does not
// leave a file in the program's folder for every poll.
namespace diag {

// The shortest time between two reports of one failure.
inline constexpr std::int64_t kRepeatedReportIntervalMs = 60 * 60 * 1000;
// How many distinct failures are remembered; past it the one seen longest ago
// is forgotten, and its next occurrence is reported as a new failure.
inline constexpr std::size_t kRememberedFailures = 32;

// A failure is "the same" when the routine, the error's class and the step
// reached are; the message may differ (an address, a port, a time).
struct tFailureKey {
  std::string Function;
  std::string ClassName;
  std::int32_t Trace = 0;
  bool operator==(const tFailureKey&) const = default;
};

class tReportThrottle {
 public:
  struct Decision {
    bool Write = true;
    // With Write: the occurrences of this failure left without a report since
    // its last one, and those of failures forgotten meanwhile.
    std::int64_t HeldBack = 0;
    std::int64_t HeldBackForgotten = 0;
    // Without Write: the full name of the last report written for it.
    std::string LastReport;
  };

  // Decides on one occurrence at `nowMs` (platform clock, milliseconds). An
  // occurrence that is not written is counted for the next report. A clock
  // that went back makes the report due.
  Decision Decide(const tFailureKey& key, std::int64_t nowMs);
  // The report that Decide allowed was written as `fileName`.
  void Written(const tFailureKey& key, std::int64_t nowMs, const std::string& fileName);
  // The report that Decide allowed could not be written: the occurrence counts
  // as held back, and the next one tries again.
  void NotWritten(const tFailureKey& key);

  std::size_t Remembered() const { return entries_.size(); }

 private:
  struct Entry {
    tFailureKey Key;
    bool Reported = false;  // a report of it exists
    std::int64_t LastWrittenMs = 0;
    std::int64_t LastSeenMs = 0;
    std::int64_t HeldBack = 0;
    std::string LastReport;
  };
  Entry* Find(const tFailureKey& key);

  std::vector<Entry> entries_;
  std::int64_t heldBackForgotten_ = 0;
};

// The text added to a report's Notes to say how many were left out: empty,
// or "[Held back=N]" and/or "[Held back, forgotten failures=M]".
std::string HeldBackNote(const tReportThrottle::Decision& decision);

}  // namespace diag
