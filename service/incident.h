#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/datetime.h"
#include "service/web_request.h"

// The incident record the unit's web service keeps for every incident paged to
// the unit, and the request that fetches one.
namespace service {

struct tGeometry {
  double lat = 0;  // degrees
  double lng = 0;
};

struct tZAVPageRec {
  platform::TDateTime ZAVDateTime = 0;  // when the page was sent
  std::int32_t MFSIncNo = 0;
  platform::TDateTime StartDate = 0;
  platform::TDateTime CallRecptTime = 0;  // time of day
  std::int32_t Priority = 0;
  std::string Action;
  bool RVU = false;
  std::string RVUUnit;
  std::string MapRef;
  std::string CallerName;
  std::string CallerPhoneNo;
  std::string TaskType;
  std::string IncidentDescription;
  std::string Street;
  std::string Suburb;  // upper case
};

struct tZAVPageWrapperRec {
  bool RecordFound = false;
  tGeometry Geometry;
  std::int32_t ThisMFSIncNo = 0;
  platform::TDateTime ThisZAVDate = 0;
  std::int32_t NextMFSIncNo = 0;
  platform::TDateTime NextZAVDate = 0;
  std::int32_t PriorMFSIncNo = 0;
  platform::TDateTime PriorZAVDate = 0;
  std::int32_t FirstMFSIncNo = 0;
  platform::TDateTime FirstZAVDate = 0;
  std::int32_t LastMFSIncNo = 0;
  platform::TDateTime LastZAVDate = 0;
  tZAVPageRec Page;
};

struct tTaskRec {
  std::int32_t MFSIncNo = 0;
  platform::TDateTime ArrivedAtScene = 0;  // time of day; -1 when not given
  bool AssistingAgencyLocalCouncil = false;
  bool AssistingAgencyCharity = false;
  bool AssistingAgencyCFS = false;
  bool AssistingAgencyEPA = false;
  bool AssistingAgencyGas = false;
  bool AssistingAgencyMFS = false;
  bool AssistingAgencyOther = false;
  bool AssistingAgencyOtherRVUUnit = false;
  bool AssistingAgencyRSPCA = false;
  bool AssistingAgencySAAS = false;
  bool AssistingAgencySAPOL = false;
  bool AssistingAgencySAPowerNetworks = false;
  bool AssistingAgencySAWater = false;
  bool AssistingAgencyVMR = false;
  bool AssistingAgencyWelfare = false;
  platform::TDateTime CloseDate = 0;
  std::string CrewIDs;
  std::string CrewInitials;
  std::string DriverIDs;
  std::int32_t DutyOfficerID = 0;
  platform::TDateTime IncidentDate = 0;
  std::int32_t IncidentType = 0;
  bool MFSAcknowledged = false;
  bool MFSCleared = false;
  std::string Notes;
  bool RecordFound = false;
  std::int32_t Risks = 0;
  std::int32_t StopCall = 0;
  platform::TDateTime TaskComplete = 0;  // time of day; -1 when not given
  std::int32_t TeamLeaderID = 0;
  platform::TDateTime UnitMobileDateTime = 0;
  std::int32_t UnitVehicleKM = 0;
  std::int32_t UnitVehicleKMStart = 0;
  std::int32_t UnitManagerID = 0;
  bool Vehicle31 = false;
  bool Vehicle32 = false;
  bool Vehicle33 = false;
  bool Vehicle41 = false;
  bool Vehicle42 = false;
  bool VehicleTlr = false;
  std::int32_t Weather = 0;
};

struct tIncidentRec {
  std::string Version;
  std::string DateTime;
  std::int32_t LogRecID = 0;
  tZAVPageWrapperRec Pager;
  tTaskRec Task;
  bool RecordFound = false;  // a record was found and loaded
  std::string Result;        // the service's result text, or a failure's description
  std::int32_t RC = 0;       // the service's return code; negative for failures
};

// Reads an answer of the incident request into `result`, value by value, in the
// answer's order; `trace` follows the step reached. Conversion failures raise
// (platform::Error, EConvertError) with the values read so far left in place.
void ReadIncidentAnswer(std::string_view answer, tIncidentRec& result, std::int32_t& trace);

// The longest incident answer taken; the real one is a few KiB.
inline constexpr std::size_t kIncidentMaxAnswerBytes = 1024 * 1024;

// Asks the unit's web service for the incident that `inc`'s page names
// (Pager.Page.MFSIncNo, ZAVDateTime, RVUUnit) and returns it read into a copy of
// `inc`. A failure is reported (an exception report and a 30000 log entry) and
// leaves RecordFound false, RC minus the step reached and the failure in Result.
// The busy cursor shows while it works. Never raises.
tIncidentRec GetIncidentRecFromWeb(tIncidentRec inc, WebTransport& transport, const RequestTimeLimits& limits);

}  // namespace service
