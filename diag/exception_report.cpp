#include "diag/exception_report.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "diag/counters.h"
#include "diag/log.h"
#include "diag/report_throttle.h"
#include "diag/text.h"
#include "platform/clock.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/xml.h"

namespace diag {

namespace {

// Claims a file name that no other report holds: the name itself, else the
// name with "-2", "-3" ... before its extension. The empty file created here
// is then overwritten by the report.
std::string ClaimUniqueName(const std::string& path) {
  const size_t slash = path.rfind('/');
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = path.size();
  for (int n = 1; n <= 10000; ++n) {
    const std::string candidate =
        n == 1 ? path : path.substr(0, dot) + "-" + std::to_string(n) + path.substr(dot);
    int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      ::close(fd);
      return candidate;
    }
    if (errno != EEXIST)
      throw platform::Error(platform::kInOutError, "Cannot create " + candidate + ": " + std::strerror(errno));
  }
  throw platform::Error(platform::kInOutError, "No free report name for " + path);
}

}  // namespace

std::string ExceptionReportName(std::string_view pattern, platform::TDateTime now) {
  const std::string stamp = platform::FormatDateTime("yyyymmddhhnnsszzz", now);
  if (pattern.empty()) return "EXCEPTION-" + stamp + ".XML";
  return ReplaceFirst(pattern, "{timestamp}", stamp);
}

tMachineUpTime MachineUpTimeFromTicks(std::uint32_t ticks) {
  constexpr std::int64_t kWeek = 604800000, kDay = 86400000, kHour = 3600000, kMinute = 60000, kSecond = 1000;
  tMachineUpTime up;
  up.Ticks = ticks;
  std::int64_t rest = up.Ticks;
  const std::int64_t weeks = rest / kWeek;
  rest -= weeks * kWeek;
  const std::int64_t days = rest / kDay;
  rest -= days * kDay;
  const std::int64_t hours = rest / kHour;
  rest -= hours * kHour;
  const std::int64_t minutes = rest / kMinute;
  rest -= minutes * kMinute;
  const std::int64_t seconds = rest / kSecond;
  up.Text = std::to_string(weeks) + "w" + std::to_string(days) + "d" + std::to_string(hours) + "h" +
            std::to_string(minutes) + "m" + std::to_string(seconds) + "s";
  up.Days = static_cast<double>(weeks * 7 + days) + static_cast<double>(hours) / 24.0 +
            static_cast<double>(minutes) / 1440.0 + static_cast<double>(seconds) / 86400.0;
  return up;
}

void GetMachineUpTime(tMachineUpTime& upTime) {
  upTime = MachineUpTimeFromTicks(platform::CurrentClock().TickCount());
}

std::string SaveExceptionRecAsXML(tExceptionRec exceptionRec) {
  const tFailureKey key{exceptionRec.Function, exceptionRec.ClassName, exceptionRec.Trace};
  std::int64_t nowMs = 0;
  bool consulted = false;  // the memory of earlier reports decided
  try {
    nowMs = platform::CurrentClock().UnixMillis();
    const tReportThrottle::Decision decision = Globals.ReportThrottle.Decide(key, nowMs);
    if (!decision.Write) {
      CountReport(ReportOutcome::HeldBack);
      return decision.LastReport;
    }
    const std::string note = HeldBackNote(decision);
    if (!note.empty()) exceptionRec.Notes += (exceptionRec.Notes.empty() ? "" : " ") + note;
    consulted = true;
  } catch (...) {
    // Without the memory of earlier reports this one is written all the same.
  }

  int step = 100;
  std::string fileName;
  std::string failure;
  bool saved = false;
  try {
    platform::XmlDocument doc;
    step = 220;  // a new document needs no clearing or activating here
    platform::XmlElement root = doc.CreateRoot("xml");
    step = 230;
    platform::XmlElement report = root.AddChild("Exception");
    step = 300;
    report.AddChild("DateTime", platform::FormatDateTime("yyyy-mm-dd hh:nn:ss", platform::Now()));
    step = 305;
    tMachineUpTime upTime;
    GetMachineUpTime(upTime);
    report.AddChild("MachineUpTime", upTime.Text);
    step = 310;
    report.AddChild("SelfName", Globals.SelfName);
    step = 315;
    report.AddChild("Version", Globals.ProgramVersion);
    step = 320;
    report.AddChild("Function", exceptionRec.Function);
    step = 325;
    report.AddChild("Trace", std::to_string(exceptionRec.Trace));
    step = 330;
    report.AddChild("HostName", Globals.HostName);
    step = 335;
    report.AddChild("ClassName", exceptionRec.ClassName);
    step = 340;
    // Message and notes may carry text from outside at any length: cut with a marker.
    report.AddChild("e.Message", CutOutsideText(exceptionRec.Message));
    step = 360;
    report.AddChild("Notes", CutOutsideText(exceptionRec.Notes));
    step = 380;
    fileName = GetAppPath() + ExceptionReportName(exceptionRec.FileName, platform::Now());
    step = 420;
    const std::string claimed = ClaimUniqueName(fileName);
    fileName = claimed;
    try {
      doc.SaveFile(fileName);
    } catch (...) {
      platform::DeleteFile(claimed);
      throw;
    }
    step = 440;
    if (exceptionRec.BeepOnSave) {
      step = 460;
      for (int hz : {200, 400, 800, 1600}) platform::Beep(hz, 50);
    }
    step = 480;
    saved = true;
  } catch (const std::exception& e) {
    failure = e.what();
  } catch (...) {
    failure = "Unknown error";
  }
  CountReport(saved ? ReportOutcome::Written : ReportOutcome::WriteFailed);
  if (consulted) {
    try {
      if (saved)
        Globals.ReportThrottle.Written(key, nowMs, fileName);
      else
        Globals.ReportThrottle.NotWritten(key);
    } catch (...) {
      // Only the count of held-back reports can be lost here.
    }
  }
  if (!saved) {
    try {
      AppendTimestampedLine("rer32.SaveExceptionRecAsXML LogRec.Trace=" + std::to_string(step) +
                                " E.Message=" + failure + " sFileName=" + fileName + " ",
                            kExceptionFallbackFile);
    } catch (...) {
      // Nothing more can be done for a report that cannot be written anywhere.
    }
  }
  return fileName;
}

std::string FailureLogText(const std::string& function, const std::string& className, const std::string& message,
                           std::int32_t trace, const std::string& fileName, const std::string& notes,
                           const tFailureTextForm& form) {
  // The message and notes may come from outside: each is cut on its own, so
  // the fields after them stay in the line.
  const std::string cut = CutOutsideText(message);
  const std::string oneLine = form.FirstLineBreakOnly ? ReplaceFirst(cut, "\r\n", " ") : ReplaceAll(cut, "\r\n", " ");
  return "[Function=" + function + "][Version=" + Globals.ProgramVersion + "][" + form.ClassNameKey + "=" +
         className + "][Message=" + oneLine + "][Trace=" + std::to_string(trace) + "][" + form.FileNameKey + "=" +
         fileName + "][CoInitializeCount=" + std::to_string(Globals.CoInitializeCount) + "][Notes=" + CutOutsideText(notes) + "]";
}

}  // namespace diag
