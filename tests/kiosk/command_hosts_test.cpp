// The station's list of command hosts, over real loopback sockets: 127.0.0.1
// and 127.0.0.2 are both this machine, but different senders.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>

#include "kiosk/message_list.h"
#include "kiosk/pager_listener.h"
#include "tests/kiosk/kiosk_fixture.h"
#include "tests/support/wait.h"

namespace {

using namespace kiosk;

// Sends from a socket bound to a loopback address of its own.
class SenderFrom {
 public:
  SenderFrom(const char* from, quint16 port) : fd_(socket(AF_INET, SOCK_DGRAM, 0)) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, from, &local.sin_addr);
    EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local), 0) << from;
    to_.sin_family = AF_INET;
    to_.sin_port = htons(port);
    to_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  }
  ~SenderFrom() { close(fd_); }
  void Send(const std::string& data) {
    ASSERT_EQ(sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&to_), sizeof to_),
              static_cast<ssize_t>(data.size()));
  }

 private:
  int fd_;
  sockaddr_in to_{};
};

class CommandHostsTest : public testsupport::StationSettingsTest {
 protected:
  std::optional<std::string> StationSettingsText() override { return stationFile; }

  // Sends one datagram and runs the event loop until the window has handled it.
  void SendAndWait(SenderFrom& sender, const std::string& data) {
    std::size_t handled = 0;
    window->DatagramHandled = [&handled](const std::string&) { ++handled; };
    sender.Send(data);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return handled > 0; }, 3000,
                                       [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); }))
        << data;
    window->DatagramHandled = nullptr;
  }

  // The log lines that carry `part`.
  std::vector<std::string> LogLines(const std::string& part) const {
    std::vector<std::string> found;
    if (!std::filesystem::exists(folders.LogFile())) return found;
    std::istringstream log(testsupport::ReadWholeFile(folders.LogFile()));
    for (std::string line; std::getline(log, line);)
      if (line.find(part) != std::string::npos) found.push_back(line);
    return found;
  }

  std::string stationFile = "# the station\nCommandHosts = 127.0.0.1\n";
};

TEST_F(CommandHostsTest, ACommandFromAnUnlistedSenderIsDroppedAndLoggedOnceAnHourPerSender) {
  const quint16 port = window->IdUDPServer1->Port();
  SenderFrom listed("127.0.0.1", port), unlisted("127.0.0.2", port);
  const std::string saved = testsupport::ReadWholeFile("RVUKiosk.xml");
  ASSERT_EQ(config::KioskSettings.CapCode, 0);

  clock->Advance(120 * 1000);
  window->State.CommsLostReported = true;
  SendAndWait(unlisted, "CMD:CAPCODE=1");
  EXPECT_EQ(config::KioskSettings.CapCode, 0);
  EXPECT_EQ(testsupport::ReadWholeFile("RVUKiosk.xml"), saved);
  // Still a sign of a live feed.
  EXPECT_DOUBLE_EQ(window->State.LastPacketTime, platform::Now());
  EXPECT_FALSE(window->State.CommsLostReported);
  const auto refused = LogLines("[Sender=127.0.0.2]");
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_NE(refused[0].find(",40001,\"[Function=Main.IdUDPServer1UDPRead]"), std::string::npos) << refused[0];
  EXPECT_NE(refused[0].find("[Message=Command refused: sender not in CommandHosts][Sender=127.0.0.2][Refused=1]"),
            std::string::npos)
      << refused[0];

  // More within the hour: no more lines; the hour over: one, with the count.
  for (const char* command : {"CMD:TERMINATE", "CMD:TOGGLECFS", "CMD:NOSUCHTHING"}) {
    clock->Advance(20 * 60 * 1000 - 1000);
    SendAndWait(unlisted, command);
  }
  EXPECT_EQ(terminations, 0);
  EXPECT_TRUE(config::KioskSettings.ShowCFS);
  EXPECT_EQ(LogLines("[Sender=127.0.0.2]").size(), 1u);
  clock->Advance(3000);
  SendAndWait(unlisted, "CMD:SCREENSAVER=OFF");
  const auto later = LogLines("[Sender=127.0.0.2]");
  ASSERT_EQ(later.size(), 2u);
  EXPECT_NE(later[1].find("[Refused=4]"), std::string::npos) << later[1];
  EXPECT_EQ(testsupport::ReadWholeFile("RVUKiosk.xml"), saved);

  // Pager lines come from anyone, as always.
  const std::size_t lines = window->rchMessages->LineCount();
  SendAndWait(unlisted, "[CFS:0451002] GRASS FIRE");
  EXPECT_EQ(window->rchMessages->LineCount(), lines + 1);

  // The listed sender's command acts, and is saved.
  SendAndWait(listed, "CMD:CAPCODE=1");
  EXPECT_EQ(config::KioskSettings.CapCode, 1);
  EXPECT_NE(testsupport::ReadWholeFile("RVUKiosk.xml").find("<CapCode>1</CapCode>"), std::string::npos);
  EXPECT_TRUE(LogLines("[Sender=127.0.0.1]").empty());
}

class NoStationFileTest : public CommandHostsTest {
 protected:
  std::optional<std::string> StationSettingsText() override { return std::nullopt; }
};

TEST_F(NoStationFileTest, EverySendersCommandsAreTaken) {
  const quint16 port = window->IdUDPServer1->Port();
  SenderFrom other("127.0.0.2", port);
  SendAndWait(other, "CMD:CAPCODE=7");
  EXPECT_EQ(config::KioskSettings.CapCode, 7);
  EXPECT_TRUE(LogLines(",4000").empty());
}

class BadStationFileTest : public CommandHostsTest {
 protected:
  BadStationFileTest() { stationFile = "CommandHosts = gateway.local, 192.168.10.0/24\nAlertSound = bell.wav\n"; }
};

TEST_F(BadStationFileTest, ProblemsAreLoggedWithTheirLineAndTheGoodEntriesStand) {
  // The log writes a double quote as a single one.
  EXPECT_EQ(LogLines(",40000,").size(), 2u);
  EXPECT_EQ(LogLines("[Message=line 1: CommandHosts left out 'gateway.local'").size(), 1u);
  EXPECT_EQ(
      LogLines("[Message=line 2: unknown setting 'AlertSound'][FileName=" + dir.File("station.conf") + "]").size(),
      1u);
  EXPECT_EQ(LogLines(",60200,\"[Function=Main.FormCreate][Version=" + diag::Globals.ProgramVersion +
                     "][CommandHosts=192.168.10.0/24]")
                .size(),
            1u);
  // Neither loopback sender is in the list that stands.
  SenderFrom local("127.0.0.1", window->IdUDPServer1->Port());
  SendAndWait(local, "CMD:CAPCODE=9");
  EXPECT_EQ(config::KioskSettings.CapCode, 0);
}

}  // namespace
