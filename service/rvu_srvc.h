#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/xml.h"
#include "service/web_request.h"

// The status feed: what the unit's LED display shows, the unit's last page and
// the number of station pictures.
namespace service {

struct tLastRVUPage {
  std::int32_t MFSIncNo = 0;
  std::string RVUUnit;
  std::int32_t Priority = 0;
  std::string TaskType;
};

// 26 texts; the first ten are pages A to J, the rest are not used here.
struct tLEDDisplay {
  std::array<std::string, 26> Pages;
  std::string& PageA() { return Pages[0]; }
  std::string& PageJ() { return Pages[9]; }
  const std::string& PageA() const { return Pages[0]; }
  const std::string& PageJ() const { return Pages[9]; }
};

struct tRVUSrvc {
  tLastRVUPage LastPage;
  tLEDDisplay LEDDisplay;
  std::string URL;  // the address the record was read from
  std::int32_t KioskPix = 0;
  bool Success = false;  // the whole document was read
};

// The longest status feed answer taken; the real one is a few KiB.
inline constexpr std::size_t kStatusFeedMaxAnswerBytes = 1024 * 1024;

// Reads a parsed feed document into `srvc`, storing each value as soon as it is
// read; `trace` follows the step reached (500, 600). Raises platform::Error when
// the root is not "xml" or an integer element is missing or not decimal.
void ReadRVUSrvcDocument(const platform::XmlDocument& document, tRVUSrvc& srvc, std::int32_t& trace);

// Fetches the status feed from `feedHost` and reads it into `srvc` (passed in
// cleared). Success tells whether all of it was read; a failure keeps the
// values read before it, is reported (an exception report with beeps and a
// 30000 log entry) and never raises. A good read writes a 60101 log entry.
void GetRVUSrvcXML(tRVUSrvc& srvc, WebTransport& transport, const std::string& feedHost,
                   const RequestTimeLimits& limits);

}  // namespace service
