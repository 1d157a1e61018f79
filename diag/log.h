#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "diag/report_throttle.h"
#include "platform/datetime.h"

// Log entries, daily CSV log files and the program-wide diagnostics record.
namespace diag {

struct tLogRec {
  std::int32_t Code = 0;   // at least five digits; the first is the syslog severity
  std::int32_t Trace = 0;  // the caller's current step number
  std::string Text;        // "[Key=Value]" groups, the first "[Function=Unit.Routine]"
  platform::TDateTime Started = 0;
};

struct tLog {
  std::string ProgramId;     // written into every line and datagram
  std::string LogFileBase;   // full path of the program file; daily files are named after it
  bool Busy = false;         // a line is being appended
  std::int32_t ErrorCount = 0;
  std::string SyslogServer;  // empty: no datagrams
  std::int32_t SyslogLevel = 0;
  std::int32_t DaysOfLogsFilesRetained = 0;
  std::int64_t LastDay = 0;  // day of the last new-day processing
};

struct tGlobalSettings {
  std::string SelfName;
  std::string ProgramVersion;
  std::string HostName;
  std::string ExceptionFileName;
  tLog Log;
  std::string EmailDebugAlertTo;
  std::int32_t CoInitializeCount = 0;
  std::string DataFileName;
  // Which failures had a report lately (exception_report.h); kept here so that
  // it starts empty with the rest of the record.
  tReportThrottle ReportThrottle;
};

extern tGlobalSettings Globals;

struct tMemoryStatusRec {
  std::uint32_t MemoryLoad = 0;
  std::uint64_t TotalPhysical = 0;
  std::uint64_t AvailPhysical = 0;
  std::int32_t AvailPhysicalPercent = 0;
  std::uint64_t TotalPageFile = 0;
  std::uint64_t AvailPageFile = 0;
  std::int32_t AvailPageFilePercent = 0;
  std::uint64_t TotalVirtual = 0;
  std::uint64_t AvailVirtual = 0;
  std::int32_t AvailVirtualPercent = 0;
  bool Valid = false;
};

// Records an entry whose severity does not exceed SyslogLevel: a line in the
// daily file and, with a SyslogServer, a syslog datagram. The first entry of a
// day first purges old files (the daily files, "Report*xls" in the working
// directory and the error reports "EXCEPTION-*.XML" in the program's folder,
// all with the same retention) and writes the new-day note. Returns the daily
// file's name, or empty text when the entry was filtered out. Never raises.
std::string LogEntry(tLogRec logRec);

// The code as at least five digits ("%.*d" with precision 5): 5 gives "00005",
// -30 gives "-00030".
std::string CodeText(std::int32_t code);
// The severity digit of a code (a negative code has severity 0).
int CodeSeverity(std::int32_t code);

// One CSV line of the daily file, CR LF included. `written` is the time of
// field 1, `stamp` the slightly later one of field 2.
std::string FormatLogLine(platform::TDateTime written, platform::TDateTime stamp, std::string_view programId,
                          std::int32_t code, std::string_view text);

// Name of the daily log file of a day.
std::string DailyLogFileName(std::string_view logFileBase, platform::TDateTime day);

// The text of the new-day note.
std::string NewDayNoteText(std::string_view version, const tMemoryStatusRec& memory);

void ReadMemoryStatus(tMemoryStatusRec& status);

// Appends Text to FileName, deleting it first unless KeepExisting. Returns
// whether the file exists afterwards; false on any failure.
bool AppendTextToFile(std::string_view text, const std::string& fileName, bool keepExisting);

// "hh:mm:ss.zzz" of a time; -1 means now.
std::string TimeStampText(platform::TDateTime time = -1);

// Deletes the files Prefix*Ext whose names carry none of the last Days dates
// (today included). Returns the number of deletions tried. With
// `dateAfterPrefix` the date counts only right after the prefix, where a
// report's time stamp starts: its time of day may read as another date.
int PurgeOldFiles(const std::string& prefix, const std::string& ext, int days, bool dateAfterPrefix = false);

}  // namespace diag
