#include "service/incident_conversions.h"

#include "diag/exception_report.h"
#include "diag/log.h"
#include "diag/text.h"
#include "platform/clock.h"
#include "platform/error.h"

namespace service {

ArrayOfMembers MemberList;

namespace {

// The service's own date settings: day, month, year separated by "/".
constexpr platform::DateTimeFormat kServiceDateFormat{platform::DateOrder::DMY, '/', ':', 0};

int CurrentYear() { return platform::DecodeDateTime(platform::Now()).year; }

[[noreturn]] void ThrowConvert(std::string_view text, const char* what) {
  throw platform::Error(platform::kConvertError, "'" + std::string(text) + "' is not a valid " + what);
}

// A piece of text by 1-based position and length, clamped to the text.
std::string Copy(std::string_view text, size_t from, size_t count) {
  if (from < 1 || from > text.size()) return {};
  return std::string(text.substr(from - 1, count));
}

}  // namespace

platform::TDateTime DateTextToDate(std::string_view text) {
  std::string prepared = diag::TrimText(text);
  if (prepared.empty()) return 0;
  if (const size_t blank = prepared.find(' '); blank != std::string::npos) prepared.resize(blank);
  if (prepared.size() >= 5 && prepared[4] == '-')
    prepared = Copy(prepared, 9, 2) + "/" + Copy(prepared, 6, 2) + "/" + Copy(prepared, 1, 4);
  platform::TDateTime date = 0;
  if (!platform::TryStrToDate(prepared, kServiceDateFormat, CurrentYear(), date)) ThrowConvert(prepared, "date");
  return date;
}

platform::TDateTime ServiceTextToTime(std::string_view text) {
  platform::TDateTime time = 0;
  if (!platform::TryStrToTime(text, kServiceDateTimeFormat, time)) ThrowConvert(text, "time");
  return time;
}

platform::TDateTime ServiceTextToDateTime(std::string_view text) {
  platform::TDateTime value = 0;
  if (!platform::TryStrToDateTime(text, kServiceDateTimeFormat, CurrentYear(), value))
    ThrowConvert(text, "date and time");
  return value;
}

platform::TDateTime LocaleTextToTime(std::string_view text) {
  platform::TDateTime time = 0;
  if (!platform::TryStrToTime(text, platform::kLocaleFormat, time)) ThrowConvert(text, "time");
  return time;
}

std::string CrewIDsToInitials(std::string_view crewIDs) {
  std::string result;
  try {
    if (crewIDs == "0") return {};
    result = std::string(crewIDs);
    if (result.empty() || result.front() != ',') result.insert(0, ",");
    if (result.back() == '.') {
      result.pop_back();
      result += ',';
    }
    if (result.back() != ',') result += ',';
    for (const tMemberRec& member : MemberList) {
      const std::string id = "," + std::to_string(member.MemberID) + ",";
      // The first occurrence, letters compared without regard to case.
      const size_t at = diag::UpperCaseText(result).find(diag::UpperCaseText(id));
      if (at != std::string::npos) result.replace(at, id.size(), "," + member.Initials + ",");
    }
    result = result.substr(1, result.size() - 2) + ".";
    if (result == ".") result.clear();
  } catch (const std::exception& e) {
    using diag::Globals;
    diag::tExceptionRec report{"RVULib.CrewIDsToInitials", platform::ErrorClassName(e), e.what(), 0, "",
                               Globals.ExceptionFileName, true};
    report.FileName = diag::SaveExceptionRecAsXML(report);
    diag::LogEntry({30000, 0,
                    diag::FailureLogText("RVULib.CrewIDsToInitials", report.ClassName, report.Message, 0,
                                         report.FileName, "", {"Classname", "Filename"}),
                    0});
  }
  return result;
}

void InitTaskRec(tTaskRec& task) {
  task = tTaskRec{};
  task.ArrivedAtScene = -1;
  task.TaskComplete = -1;
  task.UnitMobileDateTime = -1;
  task.IncidentType = -1;
  task.StopCall = -1;
}

}  // namespace service
