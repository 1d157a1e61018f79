#pragma once

#include <array>
#include <string>

#include "tools/unit-service-sim/incidents.h"
#include "tools/unit-service-sim/text.h"

namespace sim {

inline constexpr const char* kAccessGuid = "3C9D2B70-5E41-4A8F-9B26-D17E0A4C58F3";
inline constexpr const char* kServiceVersion = "4.2.0.118";

bool IsAccessGuid(const std::optional<std::string>& guid);

// The status feed: the LED display pages, the last page and the picture count.
std::string FeedDocument(const IncidentBook& book, TimePoint now, int pix);

// The tagged incident record answer for a decoded GetZAVPagerXML query.
std::string IncidentAnswer(const IncidentBook& book, const QueryParams& query, TimePoint now, int logRecId);

// Task counts of the summary: rows P1, P2, P3, P7, total; columns REC, ACK,
// MOB, CSD, total.
using SummaryTable = std::array<std::array<int, 5>, 5>;
SummaryTable CountTasks(const IncidentBook& book, std::string_view unit, TimePoint from, TimePoint to);

// The JSON-style task summary answer for a decoded query.
std::string SummaryAnswer(const IncidentBook& book, const QueryParams& query, TimePoint now);

}  // namespace sim
