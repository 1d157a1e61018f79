#include "diag/log.h"

#include <cmath>
#include <algorithm>

#include "diag/counters.h"
#include "diag/exception_report.h"
#include "diag/syslog.h"
#include "diag/text.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/system.h"

namespace diag {

tGlobalSettings Globals;

namespace {

constexpr std::int32_t kNewDayCode = 69990;
constexpr int kSyslogFacilityLocal0 = 16;
constexpr int kBusyWaitMs = 3000;
constexpr int kBusyPollMs = 100;

std::int32_t PercentOf(std::uint64_t part, std::uint64_t total) {
  // Rounded to the nearest integer, halves to even.
  return static_cast<std::int32_t>(std::nearbyint(static_cast<double>(part) / static_cast<double>(total) * 100.0));
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }
bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// Whether `name` carries, as eight digits "yyyymmdd", a date among the `days`
// days up to and including `today`. The same as formatting each of those dates
// and searching for it, without a loop over a retention that may be large.
bool CarriesRecentDate(std::string_view name, std::int64_t today, int days, size_t from = 0, size_t to = std::string_view::npos) {
  for (size_t at = from; at + 8 <= name.size() && at <= to; ++at) {
    int digits[8];
    bool allDigits = true;
    for (int k = 0; k < 8 && allDigits; ++k) {
      char c = name[at + static_cast<size_t>(k)];
      allDigits = c >= '0' && c <= '9';
      digits[k] = c - '0';
    }
    if (!allDigits) continue;
    const int year = digits[0] * 1000 + digits[1] * 100 + digits[2] * 10 + digits[3];
    const int month = digits[4] * 10 + digits[5];
    const int day = digits[6] * 10 + digits[7];
    platform::TDateTime date = 0;
    if (!platform::TryEncodeDate(year, month, day, date)) continue;
    const std::int64_t age = today - platform::WholeDay(date);
    if (age >= 0 && age < days) return true;
  }
  return false;
}

}  // namespace

std::string CodeText(std::int32_t code) {
  // "%.*d" with precision 5: at least five digits, a minus sign before the zeros.
  char buffer[16];
  char* end = buffer + sizeof buffer;
  char* p = end;
  std::int64_t magnitude = code < 0 ? -static_cast<std::int64_t>(code) : code;
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude > 0);
  while (end - p < 5) *--p = '0';
  if (code < 0) *--p = '-';
  return std::string(p, static_cast<size_t>(end - p));
}

int CodeSeverity(std::int32_t code) { return StrToIntOrZero(CodeText(code).substr(0, 1)); }

std::string FormatLogLine(platform::TDateTime written, platform::TDateTime stamp, std::string_view programId,
                          std::int32_t code, std::string_view text) {
  std::string line;
  line.reserve(48 + std::min(text.size(), kLogTextMaxBytes));
  const std::string stampText = TimeStampText(stamp);
  // Field 1 is the stamp without its milliseconds when both come from one reading.
  if (written == stamp)
    line.append(stampText, 0, 8);
  else
    line += platform::FormatDateTime("hh:nn:ss", written);
  line += ",\"[";
  line += stampText;
  line += "]\",\"";
  // The identifier cut or padded with blanks to ten characters.
  line += programId.substr(0, 10);
  line.append(10 - std::min<size_t>(programId.size(), 10), ' ');
  line += "\",";
  line += CodeText(code);
  line += ",\"";
  // The text field stays one line of bounded length whatever came from outside:
  // cut with a marker, control characters as blanks, double quotes as single ones.
  const size_t textStart = line.size();
  line += BlankControlChars(CutText(text, kLogTextMaxBytes));
  std::replace(line.begin() + static_cast<std::ptrdiff_t>(textStart), line.end(), '"', '\'');
  line += "\"\r\n";
  return line;
}

std::string DailyLogFileName(std::string_view logFileBase, platform::TDateTime day) {
  return std::string(logFileBase) + "-" + platform::FormatDateTime("yyyymmdd", day) + ".CSV";
}

std::string NewDayNoteText(std::string_view version, const tMemoryStatusRec& memory) {
  return "[Function=rer32.LogEntry][Note=New day][Version=" + std::string(version) + "]" +
         "[MemoryLoad=" + std::to_string(memory.MemoryLoad) + "%]" +
         "[AvailPhysical=" + std::to_string(memory.AvailPhysicalPercent) + "%]" +
         "[TotalPhysical=" + platform::FormatThousands(static_cast<std::int64_t>(memory.TotalPhysical)) + "bytes]";
}

std::string LogEntry(tLogRec logRec) {
  tLog& log = Globals.Log;
  std::string fileName;
  try {
    if (log.LogFileBase.empty()) log.LogFileBase = platform::ProgramFilePath();
    const std::string codeText = CodeText(logRec.Code);
    const int severity = StrToIntOrZero(codeText.substr(0, 1));

    const platform::TDateTime now = platform::Now();
    if (platform::WholeDay(now) != log.LastDay && log.DaysOfLogsFilesRetained > 0) {
      PurgeOldFiles(log.LogFileBase, "csv", log.DaysOfLogsFilesRetained);
      PurgeOldFiles("Report", "xls", log.DaysOfLogsFilesRetained);
      // Reports carry their date first in their time stamp. Only the standard
      // name is purged: a name pattern's fixed parts could match other files.
      PurgeOldFiles(GetAppPath() + kExceptionReportPrefix, "xml", log.DaysOfLogsFilesRetained, true);
      log.LastDay = platform::WholeDay(now);
      tMemoryStatusRec memory;
      ReadMemoryStatus(memory);
      LogEntry({kNewDayCode, 0, NewDayNoteText(Globals.ProgramVersion, memory), 0});
    }

    if (severity <= log.SyslogLevel) {
      // The name changes once a day; it is formed anew only then.
      static std::string cachedBase, cachedName;
      static std::int64_t cachedDay = -1;
      if (platform::WholeDay(now) != cachedDay || log.LogFileBase != cachedBase) {
        cachedName = DailyLogFileName(log.LogFileBase, now);
        cachedBase = log.LogFileBase;
        cachedDay = platform::WholeDay(now);
      }
      fileName = cachedName;
      if (!log.SyslogServer.empty()) {
        try {
          SendSyslog(codeText + ": " + ReplaceAll(logRec.Text, "\"", "'"), severity, kSyslogFacilityLocal0);
        } catch (...) {
          // An unreachable receiver must not cost the file line.
        }
      }

      platform::Clock& clock = platform::CurrentClock();
      const std::int64_t deadline = clock.UnixMillis() + kBusyWaitMs;
      while (log.Busy && clock.UnixMillis() < deadline) clock.Sleep(kBusyPollMs);
      CountLogEntry(logRec.Code);
      bool appended = false;
      if (!log.Busy) {
        log.Busy = true;
        // One reading for both time fields, so that they always agree.
        const platform::TDateTime written = platform::Now();
        appended =
            AppendTextToFile(FormatLogLine(written, written, log.ProgramId, logRec.Code, logRec.Text), fileName, true);
        log.Busy = false;
      }
      if (!appended) CountLogWriteFailure();
    }
    log.ErrorCount = 0;
  } catch (...) {
    log.Busy = false;
    ++log.ErrorCount;
    CountLogWriteFailure();
  }
  return fileName;
}

void ReadMemoryStatus(tMemoryStatusRec& status) {
  status = tMemoryStatusRec{};
  try {
    platform::MemoryStatus m;
    if (!platform::QueryMemoryStatus(m)) return;
    status.MemoryLoad = m.memoryLoad;
    status.TotalPhysical = m.totalPhysical;
    status.AvailPhysical = m.availPhysical;
    status.TotalPageFile = m.totalPageFile;
    status.AvailPageFile = m.availPageFile;
    status.TotalVirtual = m.totalVirtual;
    status.AvailVirtual = m.availVirtual;
    if (m.totalPhysical == 0) return;
    status.AvailPhysicalPercent = PercentOf(m.availPhysical, m.totalPhysical);
    if (m.totalPageFile == 0) return;
    status.AvailPageFilePercent = PercentOf(m.availPageFile, m.totalPageFile);
    if (m.totalVirtual == 0) return;
    status.AvailVirtualPercent = PercentOf(m.availVirtual, m.totalVirtual);
    status.Valid = true;
  } catch (...) {
    status.Valid = false;
  }
}

bool AppendTextToFile(std::string_view text, const std::string& fileName, bool keepExisting) {
  try {
    if (!keepExisting && platform::FileExists(fileName)) platform::DeleteFile(fileName);
    if (text.empty()) return true;
    platform::AppendToFile(fileName, text);
    return true;  // a completed append leaves the file in place
  } catch (...) {
    return false;
  }
}

std::string TimeStampText(platform::TDateTime time) {
  if (time == -1) time = platform::Now();
  // "hh:mm:ss.zzz", written directly: it is formed for every log line.
  const platform::DateTimeParts p = platform::DecodeDateTime(time);
  char text[12];
  auto two = [&text](int at, int value) {
    text[at] = static_cast<char>('0' + value / 10);
    text[at + 1] = static_cast<char>('0' + value % 10);
  };
  two(0, p.hour);
  text[2] = platform::kTimeSeparator;
  two(3, p.minute);
  text[5] = platform::kTimeSeparator;
  two(6, p.second);
  text[8] = '.';
  text[9] = static_cast<char>('0' + p.millisecond / 100);
  two(10, p.millisecond % 100);
  return std::string(text, sizeof text);
}

int PurgeOldFiles(const std::string& prefix, const std::string& ext, int days, bool dateAfterPrefix) {
  int count = 0;
  try {
    const std::string folder = platform::FolderOf(prefix);
    const std::string namePrefix = platform::NameOf(prefix);
    const std::string upperPrefix = UpperCaseText(namePrefix);
    const std::string upperExt = UpperCaseText(ext);
    const std::string lowerExt = LowerCaseText(ext);
    const std::int64_t today = platform::WholeDay(platform::Now());
    for (const auto& entry : platform::ListMatching(prefix + "*" + ext)) {
      const std::string& name = entry.name;
      const std::string upperName = UpperCaseText(name);
      const bool retained = days > 0 && StartsWith(upperName, upperPrefix) && EndsWith(upperName, upperExt) &&
                            (dateAfterPrefix ? CarriesRecentDate(name, today, days, namePrefix.size(), namePrefix.size())
                                             : CarriesRecentDate(name, today, days));
      if (!retained && StartsWith(name, namePrefix) && EndsWith(LowerCaseText(name), lowerExt)) {
        platform::DeleteFile(folder + name);
        ++count;
      }
    }
  } catch (...) {
    // A folder that cannot be listed keeps its files until the next day.
  }
  return count;
}

}  // namespace diag
