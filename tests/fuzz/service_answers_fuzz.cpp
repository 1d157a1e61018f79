// Feeds arbitrary answer bodies to the status feed reader and the incident
// answer reader. The first byte picks the reader. Conversion and XML errors are
// the readers' expected failures; anything else escaping, or a crash, is a bug.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/error.h"
#include "platform/xml.h"
#include "service/incident.h"
#include "service/rvu_srvc.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view body(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::int32_t trace = 0;
  try {
    if (data[0] & 1) {
      service::tIncidentRec record;
      service::ReadIncidentAnswer(body, record, trace);
      // A read that went through the page has a found record.
      if (trace >= 510 && !record.RecordFound) std::abort();
    } else {
      platform::XmlDocument document;
      document.LoadText(body);
      service::tRVUSrvc srvc;
      service::ReadRVUSrvcDocument(document, srvc, trace);
    }
  } catch (const platform::Error&) {
  }
  return 0;
}
