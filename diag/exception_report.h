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

// Writes the record as "EXCEPTION-yyyymmddhhnnsszzz.XML" (or its FileName
// pattern) in the program's folder and returns the file's full name, also when
// writing failed; a failure adds a line to "Exception.txt" in the working
// directory instead. A report never replaces another: a name already taken gets
// "-2", "-3" ... before its extension. Never raises.
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
