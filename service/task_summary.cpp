#include "service/task_summary.h"

#include "diag/text.h"
#include "service/endpoints.h"

namespace service {

WebRequest TaskSummaryRequest(std::string_view wwwHost, std::string_view unit, std::string_view days) {
  WebRequest request;
  request.host = std::string(wwwHost);
  request.target = TaskSummaryAddress(wwwHost, unit, days);
  request.port = 80;
  request.readTimeoutMs = 30000;
  request.followRedirects = true;
  request.keepCookies = true;  // the service's cookies are kept for the program's life
  request.maxAnswerBytes = kTaskSummaryMaxAnswerBytes;
  request.headers = {{"User-Agent", "Mozilla/4.0"},
                     {"Connection", "Keep-Alive"},
                     {"Cache-Control", "no-cache"},
                     {"Accept", "text/html, */*"},
                     {"Content-Type", "text/html"}};
  return request;
}

SummaryCells ReadTaskSummary(std::string_view answer) {
  static const char* const kGroups[kSummaryRows] = {"{\"id\":P1,", "{\"id\":P2,", "{\"id\":P3,", "{\"id\":P7,",
                                                    "{\"id\":TOT,"};
  static const char* const kKeys[kSummaryColumns] = {"\"REC\":", "\"ACK\":", "\"MOB\":", "\"CSD\":", "\"TOT\":"};
  SummaryCells cells;
  for (int row = 0; row < kSummaryRows; ++row) {
    // The added comma ends the group's last value.
    const std::string group = diag::TextBetween(answer, kGroups[row], "}") + ",";
    for (int column = 0; column < kSummaryColumns; ++column)
      cells[static_cast<size_t>(row)][static_cast<size_t>(column)] = diag::TextBetween(group, kKeys[column], ",");
  }
  return cells;
}

std::string TaskSummaryTitle(std::string_view unit, std::string_view days) {
  return "TASK SUMMARY FOR " + std::string(unit) + " (PAST " + std::string(days) + " DAYS)";
}

tTaskSummary GetTaskSummary(WebTransport& transport, std::string_view wwwHost, std::string_view unit,
                            std::string_view days, const RequestTimeLimits& limits) {
  tTaskSummary summary;
  try {
    summary.Cells = ReadTaskSummary(transport.Get(TaskSummaryRequest(wwwHost, unit, days), limits));
    summary.Success = true;
  } catch (...) {
    // A summary that cannot be had is no error of the kiosk's: nothing is reported.
  }
  return summary;
}

}  // namespace service
