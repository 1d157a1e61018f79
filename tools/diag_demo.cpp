// Shows the logging and diagnostics unit at work: writes log entries into the
// daily file beside this program, sends them as syslog datagrams to a receiver
// on loopback, and writes an exception report. Prints what it produced.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "diag/exception_report.h"
#include "diag/log.h"
#include "diag/syslog.h"
#include "diag/text.h"
#include "platform/files.h"

int main() {
  using namespace diag;
  int receiver = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(receiver, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(receiver, reinterpret_cast<sockaddr*>(&addr), &len);

  Globals.ProgramVersion = GetFileVersionText();
  Globals.Log.ProgramId = "VUDURE";
  Globals.Log.SyslogServer = "127.0.0.1";
  Globals.Log.SyslogLevel = 7;
  Globals.Log.DaysOfLogsFilesRetained = 7;
  SyslogPort = ntohs(addr.sin_port);

  std::cout << "Program version: " << Globals.ProgramVersion << "\n";
  std::cout << "Program folder:  " << GetAppPath() << "\n";

  std::string logFile = LogEntry({60101, 0, "[Function=Demo.Main][URL=http://localhost:8080/][Result=OK]", 0});
  tExceptionRec report{"Demo.Main", "EConvertError", "'abc' is not a valid integer value", 600, "demo", "", false};
  std::string reportFile = SaveExceptionRecAsXML(report);
  LogEntry({30000, 600, "[Function=Demo.Main][FileName=" + reportFile + "]", 0});

  std::cout << "\nDaily log file " << logFile << ":\n" << platform::ReadFile(logFile);
  std::cout << "\nSyslog datagrams received on 127.0.0.1:" << SyslogPort << ":\n";
  char buffer[9000];
  pollfd p{receiver, POLLIN, 0};
  while (poll(&p, 1, 200) > 0) {
    ssize_t n = recv(receiver, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    std::cout << "  " << std::string(buffer, static_cast<size_t>(n)) << "\n";
  }
  std::cout << "\nException report " << reportFile << ":\n" << platform::ReadFile(reportFile) << "\n";
  close(receiver);
  return 0;
}
