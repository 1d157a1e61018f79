#pragma once

#include <string>
#include <string_view>

namespace sim {

// What the route map page is asked for.
struct MapRequest {
  std::string guid;
  std::string incidentNumber;
  std::string incidentDate;
  int width = 1180;
  int height = 840;
  std::string mapAddress;  // the "url" value, each "[amp]" read as "&"
  std::string from;        // saddr: the station
  std::string to;          // daddr: the incident
};

// Reads the raw (still percent-encoded) query of the iframe request. The map
// address is the last value and runs to the end: it holds "?" and may hold
// "&" of its own. Its own values are decoded one by one once split, so an
// escaped "&" ("%26") stays inside its value.
MapRequest ParseMapRequest(std::string_view rawQuery);

// An HTML page with the driving route drawn in SVG. The same addresses always
// give the same picture.
std::string RouteMapPage(const MapRequest& request);

}  // namespace sim
