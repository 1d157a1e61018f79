// The region's broker for real: Debian's mosquitto on loopback (TLS, client
// certificates, passwords, an ACL), receiver gateways publishing what the real
// multimon-ng decodes from the test encoder's audio, a relay gateway whose
// input is the broker, and a UDP receiver in the kiosk's place.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <map>
#include <thread>

#include "pager-gateway/page_message.h"
#include "platform/page_broker.h"
#include "tests/pager_gateway/gateway_process.h"
#include "tests/pager_gateway/mqtt/test_broker.h"

namespace {

using namespace pagergwtest;
using testsupport::Process;
using testsupport::TempDir;
using testsupport::UdpReceiver;

const char* kTable = "1234567 RVU  Brindlemoor rescue\n451003  CFS\n1900000 MSC:HEARTBEAT\n";

// A gateway of the region: its settings file in a folder of its own, its journal beside it.
struct Gateway {
  Gateway(const TempDir& dir, const std::string& name, const std::string& settings) : dir_(dir), name_(name) {
    testsupport::WriteWholeFile(dir.File("capcodes.conf"), kTable);
    testsupport::WriteWholeFile(dir.File(name + ".conf"), "CapcodeTable = " + dir.File("capcodes.conf") + "\n" + settings);
    Start();
  }
  void Start() {
    process = std::make_unique<Process>(std::vector<std::string>{GATEWAY_PROGRAM, "--settings", dir_.File(name_ + ".conf")},
                                        Process::Environment{}, "", Journal());
  }
  std::string Journal() const { return dir_.File(name_ + ".journal"); }
  std::string JournalText() const { return testsupport::ReadWholeFile(Journal()); }
  bool Says(const std::string& text, int timeoutMs) const { return WaitForText(Journal(), text, timeoutMs); }
  std::string Fifo() const { return dir_.File(name_ + ".fifo"); }

  const TempDir& dir_;
  std::string name_;
  std::unique_ptr<Process> process;
};

// A receiver gateway fed through its named pipe, publishing, sending to no kiosk.
std::unique_ptr<Gateway> Receiver(const TempDir& dir, const TestBroker& broker, const std::string& name) {
  auto g = std::make_unique<Gateway>(dir, name,
                                     broker.GatewaySettings(name) + "Input = " + dir.File(name + ".fifo") + "\nKiosks =\n");
  EXPECT_TRUE(g->Says("connected to the broker", 10000)) << g->JournalText();
  return g;
}

// The station's relay: the broker its only input, the kiosk a UDP receiver.
std::unique_ptr<Gateway> Relay(const TempDir& dir, const TestBroker& broker, const UdpReceiver& kiosk,
                               const std::string& more = "") {
  auto g = std::make_unique<Gateway>(dir, "station",
                                     broker.GatewaySettings("station") + "Input = broker\nKiosks = 127.0.0.1\nPort = " +
                                         std::to_string(kiosk.port()) + "\n" + more);
  EXPECT_TRUE(g->Says("connected to the broker", 10000)) << g->JournalText();
  return g;
}

void Decoded(const Gateway& g, const std::string& lines) {
  ASSERT_EQ(Shell("printf '%s' " + Quote(lines) + " > " + Quote(g.Fifo())), 0);
}

std::string Line(int n, const std::string& what = "PAGE") {
  return "POCSAG1200: Address: 1234567  Function: 3  Alpha:   " + what + " " + std::to_string(n) + "<EOT>\n";
}
std::string Shown(int n, const std::string& what = "PAGE") {
  return "[RVU:1234567] " + what + " " + std::to_string(n);
}

// A relayed line without its time (the page's decode time, not the time it came).
std::vector<std::string> WithoutDecodeTimes(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const auto& l : lines)
    out.push_back(std::regex_match(l.substr(0, 9), std::regex("[0-2][0-9]:[0-5][0-9]:[0-5][0-9] ")) ? l.substr(9)
                                                                                                     : "BAD TIME: " + l);
  return out;
}

// Published, received, lost and duplicated, for the record of each fault run.
void Tally(const char* run, const std::vector<std::string>& published, const std::vector<std::string>& received) {
  std::map<std::string, int> seen;
  for (const auto& r : received) ++seen[r];
  int lost = 0, duplicated = 0;
  for (const auto& p : published) {
    if (seen[p] == 0) ++lost;
    if (seen[p] > 1) duplicated += seen[p] - 1;
  }
  std::cout << "[ TALLY ] " << run << ": published " << published.size() << ", received " << received.size()
            << ", lost " << lost << ", duplicated " << duplicated << "\n";
}

class RegionBroker : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!MosquittoInstalled()) GTEST_SKIP() << "mosquitto is not installed (scripts/bootstrap installs it)";
    broker = std::make_unique<TestBroker>(dir);
  }
  TempDir dir;
  std::unique_ptr<TestBroker> broker;
};

// Two receivers hear overlapping pages over the air; the station shows each once,
// in the order each receiver heard them.
TEST_F(RegionBroker, TwoReceiversOverlappingPagesEachShownOnceInOrder) {
  UdpReceiver kiosk;
  auto relay = Relay(dir, *broker, kiosk);
  auto ridge = Receiver(dir, *broker, "ridge");
  auto valley = Receiver(dir, *broker, "valley");
  const std::vector<std::string> ridgeHears = {"A 1234567 3 P1 RESCUE OLD MILL RD", "N 451003 0 0412 555",
                                               "A 1234567 3 P3 CAR FIRE", "A 1900000 3 10:00:00",
                                               "A 1234567 3 P5 TREE DOWN"};
  const std::vector<std::string> valleyHears = {"N 451003 0 0412 555", "A 1234567 3 P2 FLOODING BRIDGE ST",
                                                "A 1234567 3 P3 CAR FIRE", "A 1234567 3 P5 TREE DOWN",
                                                "A 451003 3 P6 STRUCTURE FIRE"};
  auto join = [](const std::vector<std::string>& pages) {
    std::string s;
    for (const auto& p : pages) s += p + "\n";
    return s;
  };
  const std::string ridgeAudio = EncodeAudio(dir, "ridge", join(ridgeHears), "--baud 1200 --noise 1000 --seed 3");
  const std::string valleyAudio = EncodeAudio(dir, "valley", join(valleyHears), "--baud 512 --noise 1000 --seed 4");
  // Ridge hears its pages first; valley then hears its own, the shared ones again.
  auto air = [&](const std::string& audio, const Gateway& g) {
    ASSERT_EQ(Shell(std::string(kMultimon) + " -q -t raw " + kAllModes + " " + Quote(audio) + " 2>/dev/null > " +
                    Quote(g.Fifo())),
              0);
  };
  air(ridgeAudio, *ridge);
  air(valleyAudio, *valley);
  const auto received = WithoutTimes(ReceiveLines(kiosk, 100, 10000, 2000));

  const std::map<std::string, std::string> shown = {
      {"A 1234567 3 P1 RESCUE OLD MILL RD", "[RVU:1234567] P1 RESCUE OLD MILL RD"},
      {"N 451003 0 0412 555", "[CFS:451003] 0412 555"},
      {"A 1234567 3 P2 FLOODING BRIDGE ST", "[RVU:1234567] P2 FLOODING BRIDGE ST"},
      {"A 1234567 3 P3 CAR FIRE", "[RVU:1234567] P3 CAR FIRE"},
      {"A 1900000 3 10:00:00", "[MSC:HEARTBEAT:1900000] 10:00:00"},
      {"A 1234567 3 P5 TREE DOWN", "[RVU:1234567] P5 TREE DOWN"},
      {"A 451003 3 P6 STRUCTURE FIRE", "[CFS:451003] P6 STRUCTURE FIRE"}};
  // Each page once: ridge's in its order, then those only valley heard, in its order.
  std::vector<std::string> all;
  for (const auto& page : ridgeHears) all.push_back(shown.at(page));
  for (const auto& page : valleyHears)
    if (std::find(ridgeHears.begin(), ridgeHears.end(), page) == ridgeHears.end()) all.push_back(shown.at(page));
  EXPECT_EQ(received, all);
  Tally("two receivers, one relay", all, received);
  EXPECT_NE(ridge->JournalText().find("<5>connected to the broker 127.0.0.1:"), std::string::npos);
  EXPECT_EQ(relay->process->Stop(SIGTERM, 5000), 0);
}

// The broker away for 10 s while pages are decoded: the receiver holds them and
// sends them when it is back; the relay's session brings them to the kiosk.
TEST_F(RegionBroker, BrokerAwayTenSecondsNoPageLost) {
  UdpReceiver kiosk;
  auto relay = Relay(dir, *broker, kiosk);
  auto ridge = Receiver(dir, *broker, "ridge");
  std::vector<std::string> published, received;
  const auto start = std::chrono::steady_clock::now();
  std::thread air([&] {
    for (int n = 1; n <= 70; ++n) {  // one page every 200 ms for 14 s
      std::this_thread::sleep_until(start + std::chrono::milliseconds(200 * n));
      Decoded(*ridge, Line(n));
    }
  });
  std::this_thread::sleep_until(start + std::chrono::seconds(2));
  broker->Stop();
  std::this_thread::sleep_until(start + std::chrono::seconds(12));
  broker->Start();
  air.join();
  for (int n = 1; n <= 70; ++n) published.push_back(Shown(n));
  received = WithoutDecodeTimes(ReceiveLines(kiosk, 70, 30000, 5000));
  Tally("broker away 10 s", published, received);
  EXPECT_EQ(received, published);
  EXPECT_TRUE(ridge->Says("lost", 0)) << ridge->JournalText();
  EXPECT_EQ(ridge->process->Stop(SIGTERM, 5000), 0);
}

// The relay away for 30 s: what the broker kept for its session comes when it
// is back, but a page decoded longer ago than MaxAge is not shown.
TEST_F(RegionBroker, RelayAwayThirtySecondsMissedPagesComeStaleOnesNot) {
  UdpReceiver kiosk;
  auto relay = Relay(dir, *broker, kiosk, "MaxAge = 20\n");
  auto ridge = Receiver(dir, *broker, "ridge");
  Decoded(*ridge, Line(1, "BEFORE"));
  EXPECT_EQ(WithoutTimes(ReceiveLines(kiosk, 1, 5000)), std::vector<std::string>{Shown(1, "BEFORE")});

  relay->process->Stop(SIGKILL, 5000);
  const auto start = std::chrono::steady_clock::now();
  std::string early, late;
  for (int n = 1; n <= 5; ++n) early += Line(n, "EARLY");
  Decoded(*ridge, early);  // 30 s old when the relay is back: stale
  std::this_thread::sleep_until(start + std::chrono::seconds(25));
  for (int n = 1; n <= 5; ++n) late += Line(n, "LATE");
  Decoded(*ridge, late);  // 5 s old: shown
  std::this_thread::sleep_until(start + std::chrono::seconds(30));
  relay->Start();
  const auto received = WithoutDecodeTimes(ReceiveLines(kiosk, 100, 10000, 2000));
  std::vector<std::string> expected;
  for (int n = 1; n <= 5; ++n) expected.push_back(Shown(n, "LATE"));
  std::vector<std::string> published;
  for (int n = 1; n <= 5; ++n) published.push_back(Shown(n, "EARLY"));
  published.insert(published.end(), expected.begin(), expected.end());
  Tally("relay away 30 s (the 5 EARLY ones stale)", published, received);
  EXPECT_EQ(received, expected);
  EXPECT_TRUE(relay->Says("5 pages from the broker older than 20 s not shown", 3000)) << relay->JournalText();
  Decoded(*ridge, Line(1, "AFTER"));
  EXPECT_EQ(WithoutTimes(ReceiveLines(kiosk, 1, 5000)), std::vector<std::string>{Shown(1, "AFTER")});
}

// Wrong password, a broker certificate from another authority, a user the ACL
// does not let publish: a clear line in the journal, and the gateway stays and
// tries again.
TEST_F(RegionBroker, RefusedGatewaysSayWhyAndKeepTrying) {
  Gateway wrongPassword(dir, "ridge",
                        broker->GatewaySettings("ridge", "not-the-password") + "Input = " + dir.File("a.fifo") + "\nKiosks =\n");
  std::string otherCa = broker->GatewaySettings("valley") + "Input = " + dir.File("b.fifo") + "\nKiosks =\n";
  otherCa.replace(otherCa.find("ca.crt"), 6, "other-ca.crt");
  Gateway badCertificate(dir, "valley", otherCa);
  Gateway readOnly(dir, "station", broker->GatewaySettings("station") + "Input = " + dir.File("c.fifo") + "\nKiosks =\n");

  EXPECT_TRUE(wrongPassword.Says("<3>the broker 127.0.0.1:" + std::to_string(broker->port()) +
                                     " refused the connection: Not authorized; trying again",
                                 10000))
      << wrongPassword.JournalText();
  EXPECT_TRUE(badCertificate.Says("certificate verify failed", 10000)) << badCertificate.JournalText();
  ASSERT_TRUE(readOnly.Says("connected to the broker", 10000)) << readOnly.JournalText();
  ASSERT_EQ(Shell("printf '%s' " + Quote(Line(1)) + " > " + Quote(dir.File("c.fifo"))), 0);
  EXPECT_TRUE(readOnly.Says("<3>the broker refused the page: Not authorized", 10000)) << readOnly.JournalText();

  // Still there, and trying: the same refusal again, in the journal's debug lines.
  EXPECT_TRUE(testsupport::WaitUntil(
      [&] {
        const std::string j = wrongPassword.JournalText();
        return j.find("<7>the broker 127.0.0.1") != std::string::npos;
      },
      10000))
      << wrongPassword.JournalText();
  EXPECT_TRUE(testsupport::WaitUntil(
      [&] {
        const std::string j = badCertificate.JournalText();
        return j.find("cannot connect to") != j.rfind("cannot connect to");
      },
      15000))
      << badCertificate.JournalText();
  for (Gateway* g : {&wrongPassword, &badCertificate, &readOnly}) EXPECT_EQ(g->process->Stop(SIGTERM, 5000), 0);
}

// A receiver's state, retained: online, silent when it decodes nothing for
// SilenceReport seconds, online again at a page, offline (its last will) when it is gone.
TEST_F(RegionBroker, ReceiverStateRetainedOnlineSilentOffline) {
  auto ridge = std::make_unique<Gateway>(dir, "ridge",
                                         broker->GatewaySettings("ridge") + "Input = " + dir.File("ridge.fifo") +
                                             "\nKiosks =\nSilenceReport = 2\n");
  ASSERT_TRUE(ridge->Says("connected to the broker", 10000)) << ridge->JournalText();
  platform::BrokerOptions o = broker->ClientOptions("watch", "station");
  o.subscription = "rvu/receivers/+/state";
  auto watch = platform::MakeMosquittoBroker(o);
  std::vector<std::string> states;
  auto until = [&](const std::string& state, int timeoutMs) {
    return testsupport::WaitUntil(
        [&] {
          for (const auto& e : watch->TakeEvents())
            if (e.kind == platform::BrokerEvent::Kind::Arrived) states.push_back(e.topic + " " + e.payload);
          return !states.empty() && states.back() == "rvu/receivers/ridge/state " + state;
        },
        timeoutMs);
  };
  EXPECT_TRUE(until("online", 10000)) << "retained, so a late subscriber has it";
  EXPECT_TRUE(until("silent", 5000));
  Decoded(*ridge, Line(1));
  EXPECT_TRUE(until("online", 5000));
  ridge->process->Stop(SIGKILL, 5000);
  EXPECT_TRUE(until("offline", 10000)) << "the last will: the connection ended without a goodbye";
  EXPECT_EQ(states, (std::vector<std::string>{"rvu/receivers/ridge/state online", "rvu/receivers/ridge/state silent",
                                              "rvu/receivers/ridge/state online", "rvu/receivers/ridge/state offline"}));
}

// Messages on the pages topics that a receiver could forge: a "CMD:" text
// reaches the kiosk only as a page line; malformed, oversized and misplaced
// payloads not at all.
TEST_F(RegionBroker, ForgedAndMalformedMessagesNeverReachTheKioskAsCommands) {
  UdpReceiver kiosk;
  auto relay = Relay(dir, *broker, kiosk, "SilenceReport = 1\n");
  auto forger = platform::MakeMosquittoBroker(broker->ClientOptions("forger", "ridge"));
  std::vector<platform::BrokerEvent> events;
  ASSERT_TRUE(testsupport::WaitUntil(
      [&] {
        for (auto& e : forger->TakeEvents()) events.push_back(e);
        return std::any_of(events.begin(), events.end(),
                           [](const auto& e) { return e.kind == platform::BrokerEvent::Kind::Connected; });
      },
      10000));

  pagergw::PageMessage page;
  page.decoded = std::time(nullptr);
  page.capcode = 1234567;
  page.agency = "RVU";
  page.mode = "POCSAG1200";
  page.receiver = "ridge";
  const std::string topic = "rvu/pages/RVU/1234567";
  std::uint64_t id = 1;
  auto publish = [&](const std::string& t, const std::string& payload) { forger->PublishPage(id++, t, payload); };
  page.text = "CMD:TERMINATE";
  publish(topic, pagergw::WritePageMessage(page));
  page.text = "CMD:SCREEN0\r\n";
  publish(topic, pagergw::WritePageMessage(page));
  publish(topic, "CMD:TERMINATE");
  publish(topic, "{\"time\":\"2024-05-01T10:11:12Z\",\"text\":{\"nested\":\"CMD:TERMINATE\"}}");
  page.text = std::string(9000, 'X');
  publish(topic, pagergw::WritePageMessage(page));
  page.text = "ON ANOTHER CAPCODE'S TOPIC";
  publish("rvu/pages/RVU/451003", pagergw::WritePageMessage(page));
  page.text = "LAST";
  publish(topic, pagergw::WritePageMessage(page));

  const auto received = WithoutTimes(ReceiveLines(kiosk, 100, 10000, 2000));
  EXPECT_EQ(received, (std::vector<std::string>{"[RVU:1234567]  CMD:TERMINATE", "[RVU:1234567]  CMD:SCREEN0\r\n",
                                                "[RVU:1234567] LAST"}));
  const std::string journal = relay->JournalText();
  for (const char* why : {"dropped: not a JSON object", "dropped: nested value at \"text\"", "dropped: over 8192 bytes",
                          "dropped: its page belongs on rvu/pages/RVU/1234567"})
    EXPECT_NE(journal.find(why), std::string::npos) << why << "\n" << journal;
  EXPECT_EQ(journal.find("no page decoded"), std::string::npos) << "a relay decodes nothing, so is never silent";
}

}  // namespace
