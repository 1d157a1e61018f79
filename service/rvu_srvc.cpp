#include "service/rvu_srvc.h"

#include "diag/log.h"
#include "diag/text.h"
#include "platform/clock.h"
#include "platform/error.h"
#include "platform/xml.h"
#include "service/endpoints.h"
#include "service/reader_failure.h"
#include "service/web_request.h"

namespace service {

namespace {

// An integer of the feed: decimal digits with an optional sign, nothing else.
std::int32_t FeedInteger(const std::string& text) {
  const bool decimal = !text.empty() && text.find_first_not_of("+-0123456789") == std::string::npos;
  std::int32_t value = 0;
  if (!decimal || text.find_first_of("+-", 1) != std::string::npos || !diag::TryStrToInt(text, value))
    throw platform::Error(platform::kConvertError, "'" + text + "' is not a valid integer value");
  return value;
}

}  // namespace

void ReadRVUSrvcDocument(const platform::XmlDocument& document, tRVUSrvc& srvc, std::int32_t& trace) {
  trace = 500;
  const platform::XmlElement root = document.TopElement("xml");
  trace = 600;
  const platform::XmlElement rvu = root.Child("RVUSrvc");
  const platform::XmlElement led = rvu.Child("LEDDisplay");
  static const char* const kPageNames[10] = {"PageA", "PageB", "PageC", "PageD", "PageE",
                                             "PageF", "PageG", "PageH", "PageI", "PageJ"};
  for (int i = 0; i < 10; ++i) srvc.LEDDisplay.Pages[static_cast<size_t>(i)] = led.Child(kPageNames[i]).Text();
  srvc.LastPage.MFSIncNo = FeedInteger(rvu.Child("LastGRNMFSIncNo").Text());
  srvc.LastPage.RVUUnit = rvu.Child("LastRVUUnit").Text();
  srvc.LastPage.Priority = FeedInteger(rvu.Child("LastPriority").Text());
  srvc.LastPage.TaskType = rvu.Child("LastTaskType").Text();
  srvc.KioskPix = FeedInteger(rvu.Child("KioskPix").Text());
}

void GetRVUSrvcXML(tRVUSrvc& srvc, WebTransport& transport, const std::string& feedHost,
                   const RequestTimeLimits& limits) {
  diag::tLogRec logRec;
  logRec.Trace = 100;
  srvc.Success = false;
  logRec.Trace = 200;
  platform::XmlDocument document;
  try {
    logRec.Trace = 300;
    srvc.URL = StatusFeedAddress(feedHost, platform::Now());
    logRec.Trace = 400;  // fetching and parsing are one step
    WebRequest request;
    request.target = srvc.URL;
    request.maxAnswerBytes = kStatusFeedMaxAnswerBytes;
    document.LoadText(transport.Get(request, limits));
  } catch (const std::exception& e) {
    ReportReaderFailure("RVULib.GetRVUSrvcXML", e, logRec.Trace, "", true);
    return;
  }
  try {
    ReadRVUSrvcDocument(document, srvc, logRec.Trace);
    diag::LogEntry({60101, logRec.Trace, "[Function=RVULib.GetRVUSrvcXML][URL=" + srvc.URL + "]" + "[Result=OK]", 0});
    srvc.Success = true;
  } catch (const std::exception& e) {
    ReportReaderFailure("RVULib.GetRVUSrvcXML", e, logRec.Trace, "", true);
  }
}

}  // namespace service
