#include "diag/syslog.h"

#include "diag/log.h"
#include "platform/clock.h"
#include "platform/udp.h"

namespace diag {

int SyslogPort = kSyslogPort;

std::string BuildSyslogDatagram(platform::TDateTime now, std::string_view programId, int severity, int facility,
                                std::string_view message) {
  std::string datagram = "<" + std::to_string(severity + facility * 8) + ">";
  datagram += platform::FormatDateTime("mmm dd yyyy hh:nn:ss", now);
  datagram += ": %";
  datagram += programId;
  datagram += ": ";
  datagram += message;
  return datagram;
}

void SendSyslog(std::string_view message, int severity, int facility) {
  const std::string& server = Globals.Log.SyslogServer;
  if (server.empty()) return;
  platform::SendDatagram(server, SyslogPort,
                         BuildSyslogDatagram(platform::Now(), Globals.Log.ProgramId, severity, facility, message));
}

}  // namespace diag
