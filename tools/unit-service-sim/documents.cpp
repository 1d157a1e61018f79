#include "tools/unit-service-sim/documents.h"

#include <algorithm>
#include <cstdio>

namespace sim {

namespace {

using std::chrono::hours;
using std::chrono::minutes;

const char* const kBreak = "\r\n";

std::string Tag(std::string_view name, std::string_view value) {
  std::string out;
  out.reserve(name.size() * 2 + value.size() + 7);
  out.append("<").append(name).append(">").append(value).append("</").append(name).append(">").append(kBreak);
  return out;
}

std::string Tag(std::string_view name, long long value) { return Tag(name, std::to_string(value)); }
std::string Flag(std::string_view name, bool value) { return Tag(name, value ? "True" : "False"); }

std::string Decimal(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", value);
  return text;
}

std::string JoinIds(const std::vector<int>& ids) {
  std::string out;
  for (int id : ids) out += (out.empty() ? "" : ",") + std::to_string(id);
  return out;
}

// Crew on call changes every ten minutes or so, like a roster board would.
int CrewAvailable(TimePoint now) {
  const auto slot = std::chrono::duration_cast<minutes>(now.time_since_epoch()).count() / 10;
  return Rng(static_cast<std::uint64_t>(slot) * 7919u).Range(4, 9);
}

const std::vector<std::string> kNotices = {
    "STATION NOTICE: VEHICLE 32 BOOKED FOR SERVICE FRIDAY",
    "STATION NOTICE: GENERAL MEETING MONDAY 19:30 - ALL MEMBERS",
    "STATION NOTICE: CHECK PPE EXPIRY DATES THIS MONTH",
    "STATION NOTICE: STORM SEASON BRIEFING SATURDAY 10:00",
    "STATION NOTICE: RESTOCK TRAUMA KITS AFTER EVERY JOB",
};

std::string VehicleStatus(const Incident* current, TimePoint now, bool Task::*vehicle) {
  if (current && current->task && (*current->task).*vehicle) {
    switch (current->Stage(now)) {
      case TaskStage::Acknowledged: return "CREWING";
      case TaskStage::Mobile: return "ON TASK";
      default: break;
    }
  }
  return "AVAILABLE";
}

std::string AnswerHead(int rc, std::string_view result, TimePoint now, int logRecId) {
  return std::string("<ZAVPagerXML>") + kBreak + Tag("RC", rc) + Tag("Result", result) + Tag("Version", kServiceVersion) +
         Tag("DateTime", DateTimeText(now)) + Tag("LogRecID", logRecId);
}

std::string Pointer(std::string_view which, const Incident* incident) {
  const std::string name(which);
  return Tag(name + "MFSIncNo", incident ? incident->number : 0) +
         Tag(name + "ZAVDate", incident ? DateText(incident->pagerTime) : "");
}

std::string Pointers(const IncidentBook& book, const Incident* incident) {
  const int number = incident ? incident->number : 0;
  return std::string("<Pointers>") + kBreak + Pointer("This", incident) +
         Pointer("Next", incident ? book.Next(number) : nullptr) +
         Pointer("Prior", incident ? book.Prior(number) : book.Last()) + Pointer("First", book.First()) +
         Pointer("Last", book.Last()) + "</Pointers>" + kBreak;
}

std::string PagerSection(const Incident& inc) {
  return std::string("<Pager>") + kBreak + Flag("RecordFound", true) + Tag("MFSIncNo", inc.number) +
         Tag("ZAVDateTime", DateTimeText(inc.pagerTime)) + Tag("StartDate", DateText(inc.callReceived)) +
         Tag("CallRecptTime", TimeText(inc.callReceived)) + Tag("Priority", inc.priority) + Tag("Action", inc.action) +
         Flag("RVU", true) + Tag("RVUUnit", inc.unit) + Tag("MapRef", inc.mapRef) + Tag("CallerName", inc.callerName) +
         Tag("CallerPhoneNo", inc.callerPhone) + Tag("TaskType", inc.taskType) +
         Tag("IncidentDescription", inc.description) + Tag("Street", inc.street) + Tag("Suburb", inc.suburb) +
         Tag("Geometry.lat", Decimal(inc.lat)) + Tag("Geometry.lng", Decimal(inc.lng)) + "</Pager>" + kBreak;
}

// The task as it stands at `now`: times that have not come yet are left empty.
std::string TaskSection(const Incident& inc, TimePoint now) {
  if (!inc.task) return std::string("<Task>") + kBreak + Flag("RecordFound", false) + "</Task>" + kBreak;
  const Task& t = *inc.task;
  const bool mobile = now >= inc.At(t.mobileAfter);
  const bool arrived = now >= inc.At(t.arrivedAfter);
  const bool complete = now >= inc.At(t.completeAfter);
  std::string out = std::string("<Task>") + kBreak + Flag("RecordFound", true) + Tag("MFSIncNo", inc.number) +
                    Tag("IncidentDate", DateText(inc.pagerTime)) + Tag("IncidentType", inc.incidentType) +
                    Flag("MFSAcknowledged", now >= inc.At(t.acknowledgedAfter)) +
                    Tag("UnitMobileDateTime", mobile ? FormatLocal(inc.At(t.mobileAfter), "%Y-%m-%d %H:%M") : "") +
                    Tag("ArrivedAtScene", arrived ? HourMinuteText(inc.At(t.arrivedAfter)) : "") +
                    Tag("TaskComplete", complete ? HourMinuteText(inc.At(t.completeAfter)) : "") +
                    Tag("CloseDate", complete ? DateText(inc.At(t.completeAfter)) : "") + Flag("MFSCleared", complete) +
                    Tag("StopCall", complete ? t.stopCall : 0) + Tag("CrewIDs", JoinIds(t.crew)) +
                    Tag("DriverIDs", JoinIds(t.drivers)) + Tag("TeamLeaderID", t.teamLeader) +
                    Tag("DutyOfficerID", t.dutyOfficer) + Tag("UnitManagerID", t.unitManager);
  for (size_t i = 0; i < kAgencyNames.size(); ++i)
    out += Flag(std::string("AssistingAgency") + kAgencyNames[i], arrived && t.agencies[i]);
  out += Flag("Vehicle31", t.vehicle31) + Flag("Vehicle32", t.vehicle32) + Flag("Vehicle33", t.vehicle33) +
         Flag("Vehicle41", t.vehicle41) + Flag("Vehicle42", t.vehicle42) + Flag("VehicleTlr", t.trailer) +
         Tag("UnitVehicleKMStart", mobile ? std::to_string(t.kmStart) : "") +
         Tag("UnitVehicleKM", complete ? std::to_string(t.kmStart + t.kmTravelled) : "") + Tag("Risks", t.risks) +
         Tag("Weather", t.weather) + Tag("Notes", complete ? t.notes : "") + "</Task>" + kBreak;
  return out;
}

int RowOf(int priority) {
  switch (priority) {
    case 1: return 0;
    case 2: return 1;
    case 3: return 2;
    case 7: return 3;
    default: return -1;
  }
}

}  // namespace

bool IsAccessGuid(const std::optional<std::string>& guid) { return guid && EqualsNoCase(Trim(*guid), kAccessGuid); }

std::string FeedDocument(const IncidentBook& book, TimePoint now, int pix) {
  const Incident* current = book.Current();
  const auto day = book.Between(now - hours(24), now);
  int perPriority[4] = {0, 0, 0, 0};
  for (const Incident* inc : day)
    if (RowOf(inc->priority) >= 0) ++perPriority[RowOf(inc->priority)];

  const auto slot = std::chrono::duration_cast<minutes>(now.time_since_epoch()).count() / 10;
  std::string pages[10];
  if (current)
    pages[0] = "#" + std::to_string(current->number) + " P" + std::to_string(current->priority) + " " +
               current->taskType + " " + current->PlainStreet() + " " + current->suburb;
  pages[1] = "JUX RESCUE UNIT - VENDALE SHIRE";
  pages[2] = current ? "PAGED " + HourMinuteText(current->pagerTime) + " " + current->action : "NO ACTIVE TASK";
  pages[3] = "TASKS 24H: " + std::to_string(day.size()) + "  P1:" + std::to_string(perPriority[0]) +
             " P2:" + std::to_string(perPriority[1]) + " P3:" + std::to_string(perPriority[2]) +
             " P7:" + std::to_string(perPriority[3]);
  const int available = CrewAvailable(now);
  pages[4] = "CREW AVAILABLE: " + std::to_string(available) + "  ON STATION: " + std::to_string(available / 2);
  pages[5] = "VEH 31 " + VehicleStatus(current, now, &Task::vehicle31) + "  VEH 32 " +
             VehicleStatus(current, now, &Task::vehicle32) + "  VEH 41 " +
             VehicleStatus(current, now, &Task::vehicle41);
  pages[6] = "TRAINING THU 19:30 - ROPE RESCUE REFRESHER";
  pages[7] = std::string("DUTY OFFICER: ID ") + (slot / 144 % 2 == 0 ? "5" : "9");
  pages[8] = ToUpper(FormatLocal(now, "%a %d %b %Y"));
  // The ticker names the last page, so it changes with every new incident:
  // a kiosk fetches the incident afresh only after its ticker text changed.
  pages[9] = kNotices[static_cast<size_t>(slot) % kNotices.size()] + " | CREW AVAILABLE: " + std::to_string(available) +
             " | " +
             (current ? "LAST PAGE #" + std::to_string(current->number) + " P" + std::to_string(current->priority) +
                            " " + HourMinuteText(current->pagerTime)
                      : std::string("NO ACTIVE INCIDENT"));

  std::string xml = "<xml>\r\n <RVUSrvc>\r\n  <LEDDisplay>\r\n";
  for (int i = 0; i < 10; ++i) {
    const std::string name = std::string("Page") + static_cast<char>('A' + i);
    xml += "   <" + name + ">" + XmlEscape(pages[i]) + "</" + name + ">\r\n";
  }
  xml += "  </LEDDisplay>\r\n";
  xml += "  <LastGRNMFSIncNo>" + std::to_string(current ? current->number : 0) + "</LastGRNMFSIncNo>\r\n";
  xml += "  <LastRVUUnit>" + XmlEscape(current ? current->unit : std::string(kUnit)) + "</LastRVUUnit>\r\n";
  xml += "  <LastPriority>" + std::to_string(current ? current->priority : 0) + "</LastPriority>\r\n";
  xml += "  <LastTaskType>" + XmlEscape(current ? current->taskType : "") + "</LastTaskType>\r\n";
  xml += "  <KioskPix>" + std::to_string(pix) + "</KioskPix>\r\n";
  xml += " </RVUSrvc>\r\n</xml>\r\n";
  return xml;
}

std::string IncidentAnswer(const IncidentBook& book, const QueryParams& query, TimePoint now, int logRecId) {
  const std::string tail = std::string("</ZAVPagerXML>") + kBreak;
  if (!IsAccessGuid(Param(query, "GUID"))) return AnswerHead(-1, "Access denied: invalid GUID", now, logRecId) + tail;

  const auto numberText = Param(query, "MFSIncNo");
  const auto number = numberText ? ParseInteger(Trim(*numberText)) : std::nullopt;
  if (!number || *number < 0)
    return AnswerHead(-2, "Invalid MFSIncNo '" + numberText.value_or("") + "'", now, logRecId) + tail;

  if (*number == 0) {
    const Incident* current = book.Current();
    if (!current)
      return AnswerHead(0, "No current incident", now, logRecId) + Pointers(book, nullptr) + "<Pager>" + kBreak +
             Flag("RecordFound", false) + "</Pager>" + kBreak + TaskSection(Incident{}, now) + tail;
    return AnswerHead(0, "OK", now, logRecId) + Pointers(book, current) + PagerSection(*current) +
           TaskSection(*current, now) + tail;
  }

  const Incident* incident = book.Find(static_cast<int>(*number));
  const auto date = Param(query, "ZAVDate");
  const auto unit = Param(query, "RVUUnit");
  if (incident && date && !Trim(*date).empty() && Trim(*date) != DateText(incident->pagerTime)) incident = nullptr;
  if (incident && unit && !Trim(*unit).empty() && !EqualsNoCase(Trim(*unit), incident->unit)) incident = nullptr;
  if (!incident)
    return AnswerHead(-2, "No incident record for MFSIncNo=" + std::to_string(*number), now, logRecId) + tail;
  return AnswerHead(0, "OK", now, logRecId) + Pointers(book, incident) + PagerSection(*incident) +
         TaskSection(*incident, now) + tail;
}

SummaryTable CountTasks(const IncidentBook& book, std::string_view unit, TimePoint from, TimePoint to) {
  SummaryTable table{};
  for (const Incident* inc : book.Between(from, to)) {
    const int row = RowOf(inc->priority);
    if (row < 0 || !EqualsNoCase(inc->unit, unit)) continue;
    const int column = static_cast<int>(inc->Stage(to));
    ++table[static_cast<size_t>(row)][static_cast<size_t>(column)];
  }
  for (size_t row = 0; row < 4; ++row) {
    for (size_t column = 0; column < 4; ++column) {
      table[row][4] += table[row][column];
      table[4][column] += table[row][column];
    }
    table[4][4] += table[row][4];
  }
  return table;
}

std::string SummaryAnswer(const IncidentBook& book, const QueryParams& query, TimePoint now) {
  if (!IsAccessGuid(Param(query, "guid"))) return R"({"rc":-1,"result":"Access denied: invalid GUID"})";
  const auto method = Param(query, "method");
  if (!method || !EqualsNoCase(*method, "getsummary")) return R"({"rc":-2,"result":"Unknown method"})";
  const std::string unit = ToUpper(Trim(Param(query, "rvuunit").value_or(kUnit)));
  const auto daysText = Param(query, "days");
  long long days = daysText ? ParseInteger(Trim(*daysText)).value_or(1) : 1;
  days = std::clamp(days, 1LL, 31LL);
  const TimePoint from = now - hours(24 * days);
  const SummaryTable table = CountTasks(book, unit, from, now);

  static const char* const kRows[] = {"P1", "P2", "P3", "P7", "TOT"};
  std::string json = "{\"rc\":0,\"result\":\"OK\",\"method\":\"getsummary\",\"rvuunit\":\"" + XmlEscape(unit) +
                     "\",\"days\":" + std::to_string(days) + ",\"from\":\"" + DateTimeText(from) + "\",\"to\":\"" +
                     DateTimeText(now) + "\",\"data\":[";
  for (size_t row = 0; row < 5; ++row) {
    const auto& r = table[row];
    json += std::string(row ? "," : "") + "{\"id\":" + kRows[row] + ",\"REC\":" + std::to_string(r[0]) +
            ",\"ACK\":" + std::to_string(r[1]) + ",\"MOB\":" + std::to_string(r[2]) +
            ",\"CSD\":" + std::to_string(r[3]) + ",\"TOT\":" + std::to_string(r[4]) + "}";
  }
  json += "]}";
  return json;
}

}  // namespace sim
