#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "service/web_request.h"

// The task summary: task counts of the past days by row group (P1, P2, P3, P7,
// Total) and column (REC, ACK, MOB, CSD, TOT), read by their text markers.
namespace service {

inline constexpr int kSummaryRows = 5;
inline constexpr int kSummaryColumns = 5;
using SummaryCells = std::array<std::array<std::string, kSummaryColumns>, kSummaryRows>;

struct tTaskSummary {
  SummaryCells Cells;    // row by row, column by column
  bool Success = false;  // answered; a failure leaves the shown values as they are
};

// The longest summary answer taken; the real one is a few hundred bytes.
inline constexpr std::size_t kTaskSummaryMaxAnswerBytes = 1024 * 1024;

// The request: the summary's address on the web host, sent with the headers,
// port, read time-out, redirects and kept cookies the service expects.
WebRequest TaskSummaryRequest(std::string_view wwwHost, std::string_view unit, std::string_view days);

// The 25 cells of an answer: each group runs from its marker to the next "}",
// each value from its key to the next ","; a missing group or key is empty.
SummaryCells ReadTaskSummary(std::string_view answer);
std::string TaskSummaryTitle(std::string_view unit, std::string_view days);

// Asks for the summary and reads it. Fails silently: no report, no log entry.
tTaskSummary GetTaskSummary(WebTransport& transport, std::string_view wwwHost, std::string_view unit,
                            std::string_view days, const RequestTimeLimits& limits);

}  // namespace service
