#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/datetime.h"
#include "service/incident.h"

// Conversions of the incident answer's dates, times and crew lists.
namespace service {

// The service's date texts: "DD/MM/YY" (day, month, year; a one- or two-digit
// year in the current century) or "YYYY-MM-DD" with anything after a blank
// dropped. Blank text gives 0. Raises EConvertError "'%s' is not a valid date".
platform::TDateTime DateTextToDate(std::string_view text);

// The fixed service date-time settings: a time of day "HH:MM[:SS]" and a date
// and time "YYYY-MM-DD[ HH:MM[:SS]]". Raise EConvertError "'%s' is not a valid
// time" / "'%s' is not a valid date and time".
inline constexpr platform::DateTimeFormat kServiceDateTimeFormat{platform::DateOrder::YMD, '-', ':', 0};
platform::TDateTime ServiceTextToTime(std::string_view text);
platform::TDateTime ServiceTextToDateTime(std::string_view text);

// A time of day in the program's own locale (hours, minutes, seconds).
platform::TDateTime LocaleTextToTime(std::string_view text);

struct tMemberRec {
  std::int32_t MemberID = 0;
  std::string Initials;
};
using ArrayOfMembers = std::vector<tMemberRec>;

// The unit's members; nothing in the kiosk fills it, so it stays empty.
extern ArrayOfMembers MemberList;

// "12,34" gives "12,34." with each member id found in MemberList replaced by
// the member's initials; "0" gives empty text. Never raises.
std::string CrewIDsToInitials(std::string_view crewIDs);

// The no-task defaults: everything empty, zero or false, and -1 (no time) in
// ArrivedAtScene, TaskComplete, UnitMobileDateTime, IncidentType and StopCall.
void InitTaskRec(tTaskRec& task);

}  // namespace service
