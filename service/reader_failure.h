#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace service {

// The 30000 log text of a failed service read: "[Function=...][Version=...]
// [ClassName=...][Message=...][Trace=...][FileName=...][CoInitializeCount=...]
// [Notes=...]", with the message's first CR LF (only the first) made a blank.
std::string ReaderFailureLogText(const std::string& function, const std::string& className,
                                 const std::string& message, std::int32_t trace, const std::string& fileName,
                                 const std::string& notes);

// Reports a failed service read: an exception report, then the 30000 log entry
// naming the record's file name (the diagnostics record's, not the report's).
void ReportReaderFailure(const std::string& function, const std::exception& error, std::int32_t trace,
                         const std::string& notes, bool beep);

// How many failed reads ReportReaderFailure has reported (the thread that
// reads the service, which also reads this).
std::uint64_t ReaderFailuresReported();

}  // namespace service
