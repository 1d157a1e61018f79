#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/datetime.h"

// Exception report files: one small XML file per caught error.
namespace diag {

struct tExceptionRec {
  std::string Function;   // "Unit.Routine" that failed
  std::string ClassName;  // of the caught error
  std::string Message;
  std::int32_t Trace = 0;  // step number reached
  std::string Notes;
  std::string FileName;  // name pattern in the program's folder; empty for the standard name
  bool BeepOnSave = false;
};

struct tMachineUpTime {
  std::string Text;  // "1w2d3h4m5s"
  std::int64_t Ticks = 0;
  double Days = 0;
};

inline constexpr const char* kExceptionFallbackFile = "Exception.txt";
// The standard report name: this, the 17-digit time stamp, ".XML".
inline constexpr const char* kExceptionReportPrefix = "EXCEPTION-";

// Writes the record as "EXCEPTION-yyyymmddhhnnsszzz.XML" (or its FileName
// pattern) in the program's folder and returns the file's full name, also when
// writing failed; a failure adds a line to "Exception.txt" in the working
// directory instead. A report never replaces another: a name already taken gets
// "-2", "-3" ... before its extension. Never raises.
//
// A failure that repeats unchanged (the same Function, ClassName and Trace; the
// message and notes may differ) is written at most once an hour
// (kRepeatedReportIntervalMs, measured on the platform clock from its last
// written report), however often it comes and whatever succeeds in between.
// An occurrence held back writes nothing, makes no beep and no fallback line,
// and returns the full name of the last report written for that failure: the
// report that describes it, so that a caller which copies the name into its
// 30000 log text names a file that exists. The next report of the failure
// ends its Notes with " [Held back=N]" (no blank before it when the notes are
// empty): how many occurrences had no report of their own since the last one;
// a report that could not be written counts among them, and the next
// occurrence tries again at once. Up to kRememberedFailures failures are
// remembered; see report_throttle.h. The callers write their 30000 log entry
// for every occurrence, held back or not.
std::string SaveExceptionRecAsXML(tExceptionRec exceptionRec);

// The report's file name without folder: the pattern with its first
// "{timestamp}" replaced, or "EXCEPTION-" + time stamp + ".XML" for an empty one.
std::string ExceptionReportName(std::string_view pattern, platform::TDateTime now);

// The 30000 log text of a caught error: "[Function=...][Version=...]
// [ClassName=...][Message=...][Trace=...][FileName=...][CoInitializeCount=...]
// [Notes=...]". The readers differ in two key spellings and in whether every
// CR LF of the message or only the first becomes a blank; the unit's other
// programs read the texts as they are, so each keeps its own.
struct tFailureTextForm {
  const char* ClassNameKey = "ClassName";  // or "Classname"
  const char* FileNameKey = "FileName";    // or "Filename"
  bool FirstLineBreakOnly = false;
};
std::string FailureLogText(const std::string& function, const std::string& className, const std::string& message,
                           std::int32_t trace, const std::string& fileName, const std::string& notes,
                           const tFailureTextForm& form = {});

void GetMachineUpTime(tMachineUpTime& upTime);
tMachineUpTime MachineUpTimeFromTicks(std::uint32_t ticks);

}  // namespace diag
