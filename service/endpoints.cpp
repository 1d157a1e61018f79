#include "service/endpoints.h"

#include <utility>

namespace service {

namespace {

const char* const kChartPaths[kChartPageCount] = {
    "/rvu/ChartCrewIncidentCounts.html",    "/rvu/ChartTaskCoordinates.html",
    "/rvu/ChartTaskStopCalls.html",         "/rvu/ChartTaskTypes.html",
    "/rvu/ChartTaskPriorities.html",        "/rvu/ChartUnitSectorInidentCounts.html",
    "/rvu/ChartUnitSuburbsCounts.html",     "/rvu/ChartUnitIncidentsCounts.html",
};

// A number with at least `width` digits, zeros in front ("%.*d").
std::string ZeroPadded(std::int64_t value, size_t width) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  return value < 0 ? "-" + digits : digits;
}

}  // namespace

std::string AddressValue(std::string_view value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(value.size());
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '&' || c == '#' || c == '%' || c == '+' || byte < 0x20 || byte == 0x7F) {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    } else {
      out += c;
    }
  }
  return out;
}

std::string FeedHost() { return RVU_FEED_HOST; }

std::string MapHost() { return RVU_MAP_HOST; }

std::string StatusFeedAddress(std::string_view feedHost, platform::TDateTime now) {
  return "http://" + std::string(feedHost) + "/rvu/RVUSrvc.xml?" + platform::FormatDateTime("yyyymmddhhnnsszzz", now);
}

std::string IncidentRequestPath(std::string_view uri, std::int32_t mfsIncNo, platform::TDateTime zavDate,
                                std::string_view rvuUnit) {
  std::string path(uri);
  path += "/GetZAVPagerXML";
  path += "?MFSIncNo=" + std::to_string(mfsIncNo);
  if (zavDate != 0) path += "&ZAVDate=" + platform::FormatDateTime("yyyy-mm-dd", zavDate);
  if (!rvuUnit.empty()) {
    path += "&RVUUnit=";
    path += AddressValue(rvuUnit);
  }
  path += "&GUID=";
  path += kAccessGUID;
  return path;
}

std::string TaskSummaryAddress(std::string_view wwwHost, std::string_view unit, std::string_view days) {
  return "http://" + std::string(wwwHost) + "/rvu/rvuisapi.dll/json" + "?method=getsummary" + "&rvuunit=" +
         std::string(unit) + "&days=" + std::string(days) + "&guid=" + kAccessGUID;
}

std::string RouteMapAddress(std::string_view wwwHost, std::string_view uri, std::int32_t mfsIncNo,
                            platform::TDateTime incidentDate, std::string_view street, std::string_view suburb) {
  std::string address = "http://" + std::string(wwwHost) + std::string(uri) + "/iframe";
  address += "?iframeonly=true";
  address += "&output=html";
  address += std::string("&guid=") + kAccessGUID;
  address += "&mfsincno=" + std::to_string(mfsIncNo);
  address += "&incidentdate=" + platform::FormatDateTime("yyyy-mm-dd", incidentDate);
  address += "&width=1180";
  address += "&height=840";
  address += "&url=https://" + MapHost() + "/maps";
  address += "?mapmode=standard";
  address += "[amp]views=traffic";
  address += "[amp]zoom=15";
  address += "[amp]hl=en";
  address += "[amp]iwloc=near";
  address += "[amp]output=embed";
  address += "[amp]directionsmode=driving";
  address += "[amp]daddr=" + AddressValue(street) + " " + AddressValue(suburb) + ",vendale shire";
  address += "[amp]saddr=12 quarry rd brindlemoor,vendale shire";
  return address;
}

std::string WeatherPageAddress(std::string_view wwwHost) { return "http://" + std::string(wwwHost) + "/rvu/bom.htm"; }

std::string ChartPageAddress(std::string_view wwwHost, int index) {
  if (index < 0 || index >= kChartPageCount) return {};
  return "http://" + std::string(wwwHost) + kChartPaths[index];
}

std::string KioskPictureAddress(std::string_view wwwHost, int number) {
  return "http://" + std::string(wwwHost) + "/rvu/kioskpix/html/IMG" + ZeroPadded(number, 3) + "_big.jpg";
}

}  // namespace service
