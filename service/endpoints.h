#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/datetime.h"

// Every request the kiosk makes of the unit's web service, built in one place.
namespace service {

// Sent with every request that carries a "guid" or "GUID" key.
inline constexpr const char* kAccessGUID = "3C9D2B70-5E41-4A8F-9B26-D17E0A4C58F3";

// The status feed's host ("name" or "name:port"), fixed when the program is built.
std::string FeedHost();

// The map service's host inside the route map address, fixed when built.
std::string MapHost();

// "http://" + feed host + "/rvu/RVUSrvc.xml?" + the 17-digit time stamp of `now`.
std::string StatusFeedAddress(std::string_view feedHost, platform::TDateTime now);

// A record's value as it goes into an address: "&", "#", "%", "+" and control
// characters, which would split the query, cut it off or change the value,
// percent-encoded; every other byte, blanks included, as it is, so ordinary
// values go in unchanged.
std::string AddressValue(std::string_view value);

// URI + "/GetZAVPagerXML?MFSIncNo=..." with "&ZAVDate=" for a non-zero date,
// "&RVUUnit=" for a non-empty unit (as AddressValue) and "&GUID=".
std::string IncidentRequestPath(std::string_view uri, std::int32_t mfsIncNo, platform::TDateTime zavDate,
                                std::string_view rvuUnit);

// The task summary of a unit for a number of days.
std::string TaskSummaryAddress(std::string_view wwwHost, std::string_view unit, std::string_view days);

// The route map page for an incident: the map service's address travels as the
// one value of "url", its own parameters joined by "[amp]". Street and suburb
// go in as AddressValue.
std::string RouteMapAddress(std::string_view wwwHost, std::string_view uri, std::int32_t mfsIncNo,
                            platform::TDateTime incidentDate, std::string_view street, std::string_view suburb);

std::string WeatherPageAddress(std::string_view wwwHost);

inline constexpr int kChartPageCount = 8;
// Chart page 0 to 7; empty text for any other index.
std::string ChartPageAddress(std::string_view wwwHost, int index);

// Station picture n (1 and up): "IMG" + n with at least three digits + "_big.jpg".
std::string KioskPictureAddress(std::string_view wwwHost, int number);

}  // namespace service
