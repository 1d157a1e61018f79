// The real kiosk program's syslog datagrams, to UDP port 514 as it always sends
// them, taken by Debian's rsyslogd. Port 514 is free in the test's own network
// namespace (see tests/deploy/in-netns).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include "diag/text.h"
#include "service/rvu_settings.h"
#include "tests/deploy/program/kiosk_folders.h"
#include "tests/deploy/support/deploy_support.h"
#include "tests/support/temp_dir.h"

namespace {

using deploytest::Process;
using deploytest::SyslogMessage;

bool CanListenOn514() {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(514);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool free = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  if (fd >= 0) close(fd);
  return free;
}

std::string TrimLeft(const std::string& text) {
  return text.substr(std::min(text.find_first_not_of(' '), text.size()));
}

TEST(KioskProgramSyslog, ItsDatagramsPassRsyslogsParserWithTheirText) {
  if (!CanListenOn514()) GTEST_SKIP() << "UDP port 514 cannot be had here (needs root and a network namespace)";
  deploytest::Rsyslog rsyslog(514);
  deploytest::KioskFolders folders;
  testsupport::WriteWholeFile(folders.home + service::gkRVUSettingsFile,
                              diag::ReplaceAll(service::DefaultRVUSettingsFileText(), "<SyslogServer></SyslogServer>",
                                               "<SyslogServer>127.0.0.1</SyslogServer>"));
  Process kiosk({folders.program},
                {{"QT_QPA_PLATFORM", "offscreen"},
                 {"QTWEBENGINE_DISABLE_SANDBOX", getuid() == 0 ? std::optional<std::string>("1") : std::nullopt}},
                folders.home, folders.dir.File("out.log"));

  // The new-day note comes with the first entry; the unit's web service is not
  // there, so its failure follows at the first tick.
  std::vector<SyslogMessage> received;
  const auto has = [&](const std::string& prefix) {
    for (const auto& m : received)
      if (TrimLeft(m.text).rfind(prefix, 0) == 0) return true;
    return false;
  };
  ASSERT_TRUE(deploytest::WaitUntil(
      [&] {
        received = rsyslog.Received();
        return has("69990: [Function=rer32.LogEntry][Note=New day][Version=" KIOSK_VERSION "]") &&
               has("30000: [Function=RVULib.GetRVUSrvcXML]");
      },
      30000))
      << received.size() << " messages";
  EXPECT_EQ(kiosk.Stop(SIGTERM, 15000), 0);

  // Each is local0 with the program's tag, and its text is the daily log's.
  const std::string logs = folders.DailyLogs();
  for (const auto& m : rsyslog.ReceivedAll()) {
    EXPECT_EQ(m.facility, "local0") << m.text;
    EXPECT_EQ(m.tag, "%VUDURE:") << m.text;
    EXPECT_EQ(m.program, "%VUDURE") << m.text;
    const std::string text = TrimLeft(m.text);
    const size_t colon = text.find(": ");
    ASSERT_NE(colon, std::string::npos) << text;
    const std::string csv = "," + text.substr(0, colon) + ",\"" + text.substr(colon + 2) + "\"\r\n";
    EXPECT_NE(logs.find(csv), std::string::npos) << text;
  }
}

}  // namespace
