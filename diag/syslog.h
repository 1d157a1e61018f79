#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/datetime.h"

namespace diag {

// UDP port of the syslog receiver; tests point it elsewhere.
inline constexpr int kSyslogPort = 514;
extern int SyslogPort;

// The most a datagram carries, header included (what receivers are known to
// take whole, RFC 5426).
inline constexpr std::size_t kSyslogDatagramMaxBytes = 2048;

// "<PRI>MMM DD YYYY HH:MM:SS: %ProgramId: message", PRI being
// severity + facility x 8. The message is cut to diag::kLogTextMaxBytes and
// to what fits kSyslogDatagramMaxBytes (with a marker saying how long it was),
// and its control characters are made blanks.
std::string BuildSyslogDatagram(platform::TDateTime now, std::string_view programId, int severity, int facility,
                                std::string_view message);

// Sends one datagram to Globals.Log.SyslogServer; nothing when that is empty.
// Resolution and send errors are raised to the caller.
void SendSyslog(std::string_view message, int severity, int facility);

}  // namespace diag
