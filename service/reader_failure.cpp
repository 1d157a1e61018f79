#include "service/reader_failure.h"

#include "diag/exception_report.h"
#include "diag/log.h"
#include "diag/text.h"
#include "platform/error.h"

namespace service {

std::string ReaderFailureLogText(const std::string& function, const std::string& className,
                                 const std::string& message, std::int32_t trace, const std::string& fileName,
                                 const std::string& notes) {
  return diag::FailureLogText(function, className, message, trace, fileName, notes,
                              {"ClassName", "FileName", /*FirstLineBreakOnly=*/true});
}

namespace {
std::uint64_t gFailuresReported = 0;
}  // namespace

std::uint64_t ReaderFailuresReported() { return gFailuresReported; }

void ReportReaderFailure(const std::string& function, const std::exception& error, std::int32_t trace,
                         const std::string& notes, bool beep) {
  ++gFailuresReported;
  diag::tExceptionRec report{function, platform::ErrorClassName(error), error.what(), trace, notes,
                             diag::Globals.ExceptionFileName, beep};
  diag::SaveExceptionRecAsXML(report);
  diag::tLogRec logRec;
  logRec.Code = 30000;
  logRec.Trace = trace;
  logRec.Text = ReaderFailureLogText(function, report.ClassName, report.Message, trace, report.FileName, notes);
  diag::LogEntry(logRec);
}

}  // namespace service
