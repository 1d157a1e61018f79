#include "service/incident.h"

#include "diag/log.h"
#include "diag/text.h"
#include "platform/cursor.h"
#include "platform/error.h"
#include "service/endpoints.h"
#include "service/incident_conversions.h"
#include "service/reader_failure.h"
#include "service/rvu_settings.h"
#include "service/web_request.h"

namespace service {

namespace {

// The text between a tag's start and end within a section.
std::string Tag(std::string_view section, std::string_view name) {
  return diag::TextBetween(section, "<" + std::string(name) + ">", "</" + std::string(name) + ">");
}

std::int32_t Integer(std::string_view section, std::string_view name) { return diag::StrToInt(Tag(section, name)); }
std::int32_t IntegerOrZero(std::string_view section, std::string_view name) {
  return diag::StrToIntOrZero(Tag(section, name));
}
bool Flag(std::string_view section, std::string_view name) { return diag::IsTrueText(Tag(section, name)); }
platform::TDateTime Date(std::string_view section, std::string_view name) {
  return DateTextToDate(Tag(section, name));
}

double Number(std::string_view section, std::string_view name) {
  const std::string text = Tag(section, name);
  double value = 0;
  if (!diag::TryStrToFloat(text, value))
    throw platform::Error(platform::kConvertError, "'" + text + "' is not a valid floating point value");
  return value;
}

// A time of day with the fixed service settings; -1 (no time) for empty text.
platform::TDateTime TimeOrNone(std::string_view section, std::string_view name) {
  const std::string text = Tag(section, name);
  return text.empty() ? -1 : ServiceTextToTime(text);
}

// The page's date and time: the date before the first blank, the time after it.
platform::TDateTime ZAVDateTime(const std::string& text) {
  const size_t blank = text.find(' ');
  const std::string datePart = blank == std::string::npos ? std::string() : text.substr(0, blank);
  const std::string timePart = blank == std::string::npos ? text : text.substr(blank + 1);
  return DateTextToDate(datePart) + ServiceTextToTime(timePart);
}

}  // namespace

void ReadIncidentAnswer(std::string_view answer, tIncidentRec& result, std::int32_t& trace) {
  trace = 410;
  if (answer.find("<RC>") == std::string_view::npos) {
    trace = 420;
    result.RecordFound = false;
    return;
  }
  trace = 430;
  result.RC = IntegerOrZero(answer, "RC");
  result.Result = Tag(answer, "Result");

  trace = 500;
  if (result.RC < 0) {
    result.RecordFound = false;
    return;
  }
  const std::string page = diag::TextBetween(answer, "<Pager>", "</Pager>");
  if (page.find("<RecordFound>True</RecordFound>") == std::string::npos) {
    result.RC = -3;
    return;
  }

  trace = 510;
  result.RecordFound = true;

  trace = 600;
  result.Version = Tag(answer, "Version");
  result.DateTime = Tag(answer, "DateTime");
  result.LogRecID = Integer(answer, "LogRecID");

  trace = 700;
  tTaskRec& task = result.Task;
  if (result.RC != 0) {
    task.ArrivedAtScene = -1;
    task.IncidentType = 0;
    return;
  }
  tZAVPageWrapperRec& pager = result.Pager;
  const std::string pointers = diag::TextBetween(answer, "<Pointers>", "</Pointers>");
  pager.ThisMFSIncNo = Integer(pointers, "ThisMFSIncNo");
  pager.ThisZAVDate = Date(pointers, "ThisZAVDate");
  pager.NextMFSIncNo = Integer(pointers, "NextMFSIncNo");
  pager.NextZAVDate = Date(pointers, "NextZAVDate");
  pager.PriorMFSIncNo = Integer(pointers, "PriorMFSIncNo");
  pager.PriorZAVDate = Date(pointers, "PriorZAVDate");
  pager.FirstMFSIncNo = Integer(pointers, "FirstMFSIncNo");
  pager.FirstZAVDate = Date(pointers, "FirstZAVDate");
  pager.LastMFSIncNo = Integer(pointers, "LastMFSIncNo");
  pager.LastZAVDate = Date(pointers, "LastZAVDate");
  tZAVPageRec& p = pager.Page;
  p.Action = Tag(page, "Action");
  p.CallerName = Tag(page, "CallerName");
  p.CallerPhoneNo = Tag(page, "CallerPhoneNo");
  p.CallRecptTime = LocaleTextToTime(Tag(page, "CallRecptTime"));
  p.ZAVDateTime = ZAVDateTime(Tag(page, "ZAVDateTime"));

  trace = 800;
  p.IncidentDescription = diag::ReplaceEnDash(Tag(page, "IncidentDescription"));
  p.MapRef = Tag(page, "MapRef");
  p.MFSIncNo = Integer(page, "MFSIncNo");
  p.Priority = Integer(page, "Priority");
  p.RVU = Flag(page, "RVU");
  p.RVUUnit = Tag(page, "RVUUnit");
  p.StartDate = Date(page, "StartDate");
  p.Street = diag::ReplaceEnDash(Tag(page, "Street"));
  p.Suburb = diag::UpperCaseText(Tag(page, "Suburb"));
  p.TaskType = Tag(page, "TaskType");
  pager.Geometry.lng = Number(page, "Geometry.lng");
  pager.Geometry.lat = Number(page, "Geometry.lat");
  pager.RecordFound = Flag(page, "RecordFound");
  const std::string taskSection = diag::TextBetween(answer, "<Task>", "</Task>");
  task.RecordFound = Flag(taskSection, "RecordFound");

  trace = 900;
  if (!task.RecordFound) {
    trace = 1300;
    InitTaskRec(task);
    return;
  }
  const std::string_view t = taskSection;
  task.ArrivedAtScene = TimeOrNone(t, "ArrivedAtScene");

  trace = 1000;
  task.AssistingAgencyLocalCouncil = Flag(t, "AssistingAgencyLocalCouncil");
  task.AssistingAgencyCharity = Flag(t, "AssistingAgencyCharity");
  task.AssistingAgencyCFS = Flag(t, "AssistingAgencyCFS");
  task.AssistingAgencyEPA = Flag(t, "AssistingAgencyEPA");
  task.AssistingAgencyGas = Flag(t, "AssistingAgencyGas");
  task.AssistingAgencyMFS = Flag(t, "AssistingAgencyMFS");
  task.AssistingAgencyOther = Flag(t, "AssistingAgencyOther");
  task.AssistingAgencyOtherRVUUnit = Flag(t, "AssistingAgencyOtherRVUUnit");
  task.AssistingAgencyRSPCA = Flag(t, "AssistingAgencyRSPCA");
  task.AssistingAgencySAAS = Flag(t, "AssistingAgencySAAS");
  task.AssistingAgencySAPOL = Flag(t, "AssistingAgencySAPOL");
  task.AssistingAgencySAPowerNetworks = Flag(t, "AssistingAgencySAPowerNetworks");
  task.AssistingAgencySAWater = Flag(t, "AssistingAgencySAWater");
  task.AssistingAgencyVMR = Flag(t, "AssistingAgencyVMR");
  task.AssistingAgencyWelfare = Flag(t, "AssistingAgencyWelfare");
  task.CloseDate = Date(t, "CloseDate");
  task.CrewIDs = Tag(t, "CrewIDs");
  task.CrewInitials = CrewIDsToInitials(task.CrewIDs);
  task.DriverIDs = Tag(t, "DriverIDs");
  task.DutyOfficerID = Integer(t, "DutyOfficerID");

  trace = 1100;
  task.IncidentDate = Date(t, "IncidentDate");
  task.IncidentType = Integer(t, "IncidentType");
  task.MFSAcknowledged = Flag(t, "MFSAcknowledged");
  task.MFSCleared = Flag(t, "MFSCleared");
  task.MFSIncNo = Integer(t, "MFSIncNo");
  task.Notes = Tag(t, "Notes");
  task.Risks = IntegerOrZero(t, "Risks");
  task.StopCall = Integer(t, "StopCall");
  task.TaskComplete = TimeOrNone(t, "TaskComplete");
  task.TeamLeaderID = Integer(t, "TeamLeaderID");
  task.UnitManagerID = Integer(t, "UnitManagerID");

  trace = 1200;
  const std::string mobile = Tag(t, "UnitMobileDateTime");
  task.UnitMobileDateTime = mobile.empty() ? 0 : ServiceTextToDateTime(mobile);
  task.UnitVehicleKM = IntegerOrZero(t, "UnitVehicleKM");
  task.UnitVehicleKMStart = IntegerOrZero(t, "UnitVehicleKMStart");
  task.Vehicle31 = Flag(t, "Vehicle31");
  task.Vehicle32 = Flag(t, "Vehicle32");
  task.Vehicle33 = Flag(t, "Vehicle33");
  task.Vehicle41 = Flag(t, "Vehicle41");
  task.Vehicle42 = Flag(t, "Vehicle42");
  task.VehicleTlr = Flag(t, "VehicleTlr");
  task.Weather = Integer(t, "Weather");
}

tIncidentRec GetIncidentRecFromWeb(tIncidentRec inc, WebTransport& transport, const RequestTimeLimits& limits) {
  diag::tLogRec logRec;
  logRec.Trace = 100;
  tIncidentRec result = inc;
  platform::SetBusyCursor(true);
  std::string target;
  std::string host;
  try {
    logRec.Trace = 200;
    WebRequest request;
    request.host = ServiceSettings.WWWHost;
    request.port = 80;
    request.maxAnswerBytes = kIncidentMaxAnswerBytes;
    host = request.host;

    logRec.Trace = 300;
    const tZAVPageRec& page = inc.Pager.Page;
    request.target = IncidentRequestPath(ServiceSettings.URI, page.MFSIncNo, page.ZAVDateTime, page.RVUUnit);
    target = ServiceSettings.WWWHost + request.target;

    logRec.Trace = 400;
    const std::string answer = transport.Get(request, limits);
    ReadIncidentAnswer(answer, result, logRec.Trace);
  } catch (const std::exception& e) {
    result.RecordFound = false;
    result.RC = -logRec.Trace;
    result.Result = std::string(e.what()) + " " + platform::ErrorClassName(e) + " HTTP.Host=" + host;
    ReportReaderFailure("RVULib.GetIncidentRecFromWeb", e, logRec.Trace, target, false);
  }
  platform::SetBusyCursor(false);
  return result;
}

}  // namespace service
