#include "diag/syslog.h"

#include <algorithm>

#include "diag/log.h"
#include "diag/text.h"
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
  // The message is cut to what a datagram may carry after its header, and to
  // a log text's bound; it never carries a line break of its own.
  const size_t room = datagram.size() < kSyslogDatagramMaxBytes ? kSyslogDatagramMaxBytes - datagram.size() : 0;
  datagram += BlankControlChars(CutText(message, std::min(room, kLogTextMaxBytes)));
  // Only a header longer than the whole bound is left to cut here.
  if (datagram.size() > kSyslogDatagramMaxBytes) datagram.resize(kSyslogDatagramMaxBytes);
  return datagram;
}

void SendSyslog(std::string_view message, int severity, int facility) {
  const std::string& server = Globals.Log.SyslogServer;
  if (server.empty()) return;
  platform::SendDatagram(server, SyslogPort,
                         BuildSyslogDatagram(platform::Now(), Globals.Log.ProgramId, severity, facility, message));
}

}  // namespace diag
