// The real program with the real multimon-ng, fed with the test encoder's
// audio; the feed arrives at a UDP receiver on loopback. The receiving
// pipeline runs with a stand-in for rtl_fm (there is no dongle here) that plays
// the encoded audio.
#include <arpa/inet.h>
#include <net/if.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "pager-gateway/flex_parts.h"
#include "tests/pager_gateway/fixtures.h"
#include "tests/pager_gateway/gateway_process.h"
#include "tests/support/process.h"

namespace {

using namespace pagergwtest;
using testsupport::Process;
using testsupport::TempDir;
using testsupport::UdpReceiver;

const char* kTable =
    "1234567 RVU  Brindlemoor rescue\n"
    "451003  CFS\n"
    "1900000 MSC:HEARTBEAT network heartbeat\n";

// A settings file in the folder: the table beside it, the feed to `port`.
std::string WriteSettings(const TempDir& dir, int port, const std::string& more) {
  testsupport::WriteWholeFile(dir.File("capcodes.conf"), kTable);
  testsupport::WriteWholeFile(dir.File("gateway.conf"), "CapcodeTable = " + dir.File("capcodes.conf") +
                                                            "\nKiosks = 127.0.0.1\nPort = " + std::to_string(port) +
                                                            "\n" + more);
  return dir.File("gateway.conf");
}

const char* kPages =
    "A 1234567 3 RESCUE P1 VEHICLE ROLLOVER 14 OLD MILL RD\n"
    "N 451003 0 0412 555 123\n"
    "A 1900000 3 10:00:00\n"
    "A 4242 3 UNLISTED CAPCODE\n"
    "T 1234567 0\n"
    "A 1234567 3 CMD:TERMINATE\n";

const std::vector<std::string> kLines = {
    "[RVU:1234567] RESCUE P1 VEHICLE ROLLOVER 14 OLD MILL RD",
    "[CFS:451003] 0412 555 123",
    "[MSC:HEARTBEAT:1900000] 10:00:00",
    "[Unknown:4242] UNLISTED CAPCODE",
    "[RVU:1234567] ",
    "[RVU:1234567]  CMD:TERMINATE",
};

// The gateway reading multimon-ng's output from its named pipe in `dir`, the feed to `port`.
struct PipeGateway {
  PipeGateway(const TempDir& dir, int port, const std::string& more = "")
      : fifo(dir.File("decoder.fifo")),
        journal(dir.File("journal.txt")),
        process({GATEWAY_PROGRAM, "--settings", WriteSettings(dir, port, "Input = " + fifo + "\n" + more)}, {}, "",
                journal) {}
  bool Started() const { return WaitForText(journal, "started", 5000); }
  // Writes decoder output lines into the pipe, as one write of multimon-ng's.
  bool Write(const std::vector<std::string>& lines) const {
    std::string args;
    for (const auto& line : lines) args += " " + Quote(line);
    return Shell("printf '%s\\n'" + args + " > " + Quote(fifo)) == 0;
  }

  std::string fifo, journal;
  Process process;
};

TEST(RealDecoder, PagesAtEachRateWithNoiseBetweenThemReachTheKiosk) {
  for (int baud : {512, 1200, 2400}) {
    SCOPED_TRACE(baud);
    TempDir dir;
    UdpReceiver kiosk;
    const std::string settings = WriteSettings(dir, kiosk.port(), "Input = stdin\n");
    // Each page its own transmission, half a second of noise before, between and after.
    const std::string audio = EncodeAudio(dir, "pages", kPages,
                                          "--baud " + std::to_string(baud) + " --apart --gap 0.5 --noise 2000 --seed 2");
    Process gateway({"sh", "-c",
                     std::string(kMultimon) + " -t raw " + kAllModes + " " + Quote(audio) + " | " +
                         Quote(GATEWAY_PROGRAM) + " --settings " + Quote(settings)},
                    {}, "", dir.File("journal.txt"));
    EXPECT_EQ(WithoutTimes(ReceiveLines(kiosk, 100, 15000)), kLines);
    EXPECT_EQ(gateway.WaitForExit(10000), 0) << "the end of its input ends the gateway";
    const std::string journal = testsupport::ReadWholeFile(dir.File("journal.txt"));
    EXPECT_NE(journal.find("<7>page to 1234567 (Brindlemoor rescue): "), std::string::npos) << journal;
  }
}

// Named-pipe input: multimon-ng runs once per transmission, writing into the
// pipe, and the gateway keeps reading across them.
TEST(RealDecoder, DuplicatesWithinTheWindowAreSentOnceAndAgainAfterIt) {
  TempDir dir;
  UdpReceiver kiosk;
  PipeGateway gateway(dir, kiosk.port(), "DuplicateWindow = 3\n");
  ASSERT_TRUE(gateway.Started());
  struct stat st {};
  ASSERT_EQ(stat(gateway.fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the gateway makes the named pipe";

  auto transmit = [&](const std::string& name, const std::string& pages,
                      const std::string& how = "--baud 1200 --noise 1000 --seed 5") {
    const std::string audio = EncodeAudio(dir, name, pages, how);
    ASSERT_EQ(Shell(std::string(kMultimon) + " -q -t raw " + kAllModes + " " + Quote(audio) + " 2>/dev/null > " +
                    Quote(gateway.fifo)),
              0);
  };
  const auto start = std::chrono::steady_clock::now();
  // The same page twice in one transmission (a repeat), and again from a second
  // transmitter at another rate; to another capcode it is no duplicate.
  transmit("first",
           "A 1234567 3 STRUCTURE FIRE CHURCH ST\nA 1234567 3 STRUCTURE FIRE CHURCH ST\nA 451003 3 STRUCTURE FIRE CHURCH ST\n");
  transmit("second", "A 1234567 3 STRUCTURE FIRE CHURCH ST\n", "--baud 512 --seed 6");
  EXPECT_EQ(WithoutTimes(ReceiveLines(kiosk, 100, 5000, 1000)),
            (std::vector<std::string>{"[RVU:1234567] STRUCTURE FIRE CHURCH ST", "[CFS:451003] STRUCTURE FIRE CHURCH ST"}));
  ASSERT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3)) << "the machine is too slow for this window";

  std::this_thread::sleep_until(start + std::chrono::milliseconds(3500));
  transmit("third", "A 1234567 3 STRUCTURE FIRE CHURCH ST\n");
  EXPECT_EQ(WithoutTimes(ReceiveLines(kiosk, 100, 5000, 1000)),
            std::vector<std::string>{"[RVU:1234567] STRUCTURE FIRE CHURCH ST"});
  EXPECT_EQ(gateway.process.Stop(SIGTERM, 5000), 0);
}

TEST(GatewayProgram, ReloadReadsTheCapcodeTableAgain) {
  TempDir dir;
  UdpReceiver kiosk;
  PipeGateway gateway(dir, kiosk.port());
  ASSERT_TRUE(gateway.Started());
  ASSERT_TRUE(gateway.Write({"POCSAG1200: Address:    4242  Function: 3  Alpha:   BEFORE"}));
  EXPECT_EQ(WithoutTimes(ReceiveLines(kiosk, 1, 5000)), std::vector<std::string>{"[Unknown:4242] BEFORE"});
  testsupport::WriteWholeFile(dir.File("capcodes.conf"), std::string(kTable) + "4242 SAAS\n");
  Process reload({GATEWAY_PROGRAM, "--reload", std::to_string(gateway.process.pid())}, {}, "", "");
  EXPECT_EQ(reload.WaitForExit(5000), 0);
  ASSERT_TRUE(WaitForText(gateway.journal, "4 capcodes", 5000));
  ASSERT_TRUE(gateway.Write({"POCSAG1200: Address:    4242  Function: 3  Alpha:   AFTER"}));
  EXPECT_EQ(WithoutTimes(ReceiveLines(kiosk, 1, 5000)), std::vector<std::string>{"[SAAS:4242] AFTER"});
  EXPECT_EQ(gateway.process.Stop(SIGTERM, 5000), 0);
}

// The parts of a long FLEX message go out as one line; a part whose next one
// does not come is sent by itself once the wait is over, and what is held when
// the input ends is sent before the gateway ends.
TEST(GatewayProgram, FlexPartsJoinedAndALonePartSentAfterTheWait) {
  const auto parts = FixtureLines("flex-parts.txt");
  TempDir dir;
  UdpReceiver kiosk;
  PipeGateway gateway(dir, kiosk.port());
  ASSERT_TRUE(gateway.Started());
  const auto written = std::chrono::steady_clock::now();
  ASSERT_TRUE(gateway.Write({parts[0], parts[1], parts[9]}));
  EXPECT_EQ(WithoutTimes(ReceiveLines(kiosk, 1, 5000)),
            std::vector<std::string>{"[RVU:1234567] RESCUE P1 VEHICLE ROLLOVER 14 OLD MILL RD QUARRY FLAT 1 PERSON "
                                     "TRAPPED SAAS AND CFS RESPONDING MAP:VS 42 C7 TG 233"});
  // It carries the time it was received, the wait ago.
  const auto alone = ReceiveLines(kiosk, 1, 10000);
  ASSERT_EQ(alone.size(), 1u);
  EXPECT_EQ(alone[0].substr(8), " [RVU:1234567] RESCUE P1 ROAD CRASH PERSON TRAPPED 22 VENDA");
  EXPECT_GE(std::chrono::steady_clock::now() - written, std::chrono::milliseconds(pagergw::FlexPartJoiner::kPartWaitMs));
  EXPECT_TRUE(
      WaitForText(gateway.journal, "<4>FLEX message to 1234567: no further part within 6 s; its 1 part sent", 1000));
  EXPECT_EQ(gateway.process.Stop(SIGTERM, 5000), 0);

  Process atEnd({"sh", "-c", "printf '%s\\n' " + Quote(parts[2]) + " | " + Quote(GATEWAY_PROGRAM) + " --settings " +
                                 Quote(WriteSettings(dir, kiosk.port(), "Input = stdin\n"))},
                {}, "", dir.File("journal-2.txt"));
  EXPECT_EQ(WithoutTimes(ReceiveLines(kiosk, 1, 5000)),
            std::vector<std::string>{"[CFS:451003] *CFSRES INC042 01/05/24 10:21 RESPOND GRASS FIRE, LARGE. 118 "
                                     "KESTREL CREEK RD,"});
  EXPECT_EQ(atEnd.WaitForExit(5000), 0);
}

// The recordings the parser's tests read are what the decoder of this machine prints.
TEST(RealDecoder, RecordedFixturesAreWhatTheDecoderPrints) {
  TempDir dir;
  const std::string fixtures = std::string(KIOSK_SOURCE_DIR) + "/tests/pager_gateway/fixtures/";
  for (int baud : {512, 1200, 2400}) {
    const std::string audio = EncodeAudio(dir, "fixture", testsupport::ReadWholeFile(fixtures + "pocsag-pages.txt"),
                                          "--baud " + std::to_string(baud));
    ASSERT_EQ(Shell(std::string(kMultimon) + " -q -t raw -a POCSAG" + std::to_string(baud) + " " + Quote(audio) +
                    " 2>/dev/null > " + Quote(dir.File("decoded.txt"))),
              0);
    EXPECT_EQ(testsupport::ReadWholeFile(dir.File("decoded.txt")),
              testsupport::ReadWholeFile(fixtures + "pocsag-" + std::to_string(baud) + ".txt"))
        << baud;
  }
}

// A stand-in for rtl_fm: notes its arguments and process id, plays the audio
// of its run (run-1.raw, run-2.raw, ...) and then stays, like a receiver on a
// quiet channel.
std::string WriteStandIn(const TempDir& dir) {
  const std::string path = dir.File("rtl_fm");
  testsupport::WriteWholeFile(path,
                              "#!/bin/sh\n"
                              "cd " + Quote(dir.path()) + "\n"
                              "echo \"$@\" >> arguments.txt\n"
                              "run=$(( $(cat runs.txt 2>/dev/null || echo 0) + 1 ))\n"
                              "echo $run > runs.txt\n"
                              "echo $$ > pid.txt\n"
                              "[ -f run-$run.raw ] && cat run-$run.raw\n"
                              "exec sleep 600\n");
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  return path;
}

TEST(GatewayReceiver, PipelineFromTheSettingsKilledAndBack) {
  TempDir dir;
  UdpReceiver kiosk;
  const std::string settings = WriteSettings(dir, kiosk.port(),
                                             "RtlFm = " + WriteStandIn(dir) +
                                                 "\nFrequency = 148.8125M\nGain = 38.6\nPPM = -7\nSampleRate = 22050\n"
                                                 "Device = 1\nRestartPauseMin = 1\n");
  std::filesystem::rename(EncodeAudio(dir, "a", "A 1234567 3 FIRST RUN\n", "--baud 1200"), dir.File("run-1.raw"));
  std::filesystem::rename(EncodeAudio(dir, "b", "A 1234567 3 SECOND RUN\n", "--baud 2400"), dir.File("run-2.raw"));
  Process gateway({GATEWAY_PROGRAM, "--settings", settings}, {}, "", dir.File("journal.txt"));

  EXPECT_EQ(WithoutTimes(ReceiveLines(kiosk, 1, 10000)), std::vector<std::string>{"[RVU:1234567] FIRST RUN"});
  EXPECT_EQ(testsupport::ReadWholeFile(dir.File("arguments.txt")),
            "-d 1 -M fm -f 148.8125M -s 22050 -g 38.6 -p -7 -\n");
  ASSERT_TRUE(WaitForText(dir.File("pid.txt"), "\n", 2000));
  const pid_t receiver = std::stoi(testsupport::ReadWholeFile(dir.File("pid.txt")));
  ASSERT_EQ(kill(receiver, SIGKILL), 0);

  EXPECT_EQ(WithoutTimes(ReceiveLines(kiosk, 1, 10000)), std::vector<std::string>{"[RVU:1234567] SECOND RUN"});
  const std::string journal = testsupport::ReadWholeFile(dir.File("journal.txt"));
  EXPECT_NE(journal.find("<4>receiver ended (rtl_fm signal 9, multimon-ng exit status 0); restart 1 in a row in 1 s"),
            std::string::npos)
      << journal;
  EXPECT_EQ(gateway.Stop(SIGTERM, 10000), 0);
  EXPECT_FALSE(gateway.GroupAlive());
  // The stand-in and the decoder end with the gateway.
  EXPECT_TRUE(WaitForText(dir.File("runs.txt"), "2", 0));
  const pid_t second = std::stoi(testsupport::ReadWholeFile(dir.File("pid.txt")));
  testsupport::WaitUntil([&] { return kill(second, 0) != 0; }, 5000, 100);
  EXPECT_NE(kill(second, 0), 0) << "the receiver program outlived the gateway";
}

TEST(GatewayReceiver, FailingReceiverRestartsWithAGrowingPause) {
  TempDir dir;
  UdpReceiver kiosk;
  const std::string settings =
      WriteSettings(dir, kiosk.port(), "RtlFm = " + dir.File("missing-rtl_fm") + "\nRestartPauseMin = 1\nRestartPauseMax = 2\n");
  Process gateway({GATEWAY_PROGRAM, "--settings", settings}, {}, "", dir.File("journal.txt"));
  ASSERT_TRUE(WaitForText(dir.File("journal.txt"), "restart 4 in a row in 2 s", 15000))
      << testsupport::ReadWholeFile(dir.File("journal.txt"));
  const std::string journal = testsupport::ReadWholeFile(dir.File("journal.txt"));
  for (const char* line : {"cannot start " , "restart 1 in a row in 1 s", "restart 2 in a row in 2 s",
                           "restart 3 in a row in 2 s"})
    EXPECT_NE(journal.find(line), std::string::npos) << line << "\n" << journal;
  EXPECT_NE(journal.find("(missing-rtl_fm exit status 127, multimon-ng exit status 0)"), std::string::npos) << journal;
  EXPECT_EQ(gateway.Stop(SIGTERM, 10000), 0);
}

// Silence: reported in the journal and by syslog (facility local0), and the
// receiver restarted; never a line of the feed.
TEST(GatewayReceiver, SilenceIsReportedBySyslogAndRestartsTheReceiver) {
  TempDir dir;
  UdpReceiver kiosk, syslog;
  const std::string settings =
      WriteSettings(dir, kiosk.port(),
                    "RtlFm = " + WriteStandIn(dir) + "\nSilenceReport = 1\nSilenceRestart = 3\nRestartPauseMin = 1\n"
                    "SyslogServer = 127.0.0.1:" + std::to_string(syslog.port()) + "\n");
  Process gateway({GATEWAY_PROGRAM, "--settings", settings}, {}, "", dir.File("journal.txt"));
  std::vector<std::string> datagrams;
  for (int i = 0; i < 20; ++i)
    if (auto d = syslog.Receive(500)) datagrams.push_back(*d);
    else if (WaitForText(dir.File("runs.txt"), "2", 0)) break;
  auto has = [&](const std::string& text) {
    for (const auto& d : datagrams)
      if (d.find(text) != std::string::npos) return true;
    return false;
  };
  // <PRI> = severity + 16 x 8: 132 a warning, 133 a notice.
  EXPECT_TRUE(has("<133>")) << "the start is a notice";
  EXPECT_TRUE(has(": %rvu-pager-gateway: receiver started: "));
  EXPECT_TRUE(has(": %rvu-pager-gateway: no page decoded for 1 s"));
  EXPECT_TRUE(has("<132>")) << "silence is a warning";
  EXPECT_TRUE(has("receiver silent for 3 s, restarted (rtl_fm signal 15, multimon-ng "));
  EXPECT_TRUE(WaitForText(dir.File("runs.txt"), "2", 3000)) << "the receiver was started again";
  EXPECT_FALSE(kiosk.Receive(200).has_value()) << "reports are never feed lines";
  EXPECT_EQ(gateway.Stop(SIGTERM, 10000), 0);
}

TEST(GatewayProgram, CheckReportsTheSettingsAndTableProblems) {
  TempDir dir;
  const std::string settings = WriteSettings(dir, 15167, "Gian = 40\n");
  testsupport::WriteWholeFile(dir.File("capcodes.conf"), "1234 RVU\nx CFS\n");
  Process check({GATEWAY_PROGRAM, "--settings", settings, "--check"}, {}, "", dir.File("out.txt"));
  EXPECT_EQ(check.WaitForExit(5000), 1);
  const std::string out = testsupport::ReadWholeFile(dir.File("out.txt"));
  EXPECT_NE(out.find("line 4: unknown setting \"Gian\""), std::string::npos) << out;
  EXPECT_NE(out.find("line 2: \"x\" is no capcode"), std::string::npos) << out;

  const std::string shipped = std::string(KIOSK_SOURCE_DIR) + "/deploy/rvu-pager-gateway/";
  const std::string clean = WriteSettings(dir, 15167, "");
  testsupport::WriteWholeFile(dir.File("capcodes.conf"), testsupport::ReadWholeFile(shipped + "capcodes.conf"));
  Process ok({GATEWAY_PROGRAM, "--settings", clean, "--check"}, {}, "", dir.File("ok.txt"));
  EXPECT_EQ(ok.WaitForExit(5000), 0) << testsupport::ReadWholeFile(dir.File("ok.txt"));
}

// Broadcast sends only in a network namespace of the test's own (tests/deploy/in-netns).
bool InOwnNetworkNamespace() {
  struct if_nameindex* names = if_nameindex();
  if (!names) return false;
  int count = 0;
  bool onlyLo = true;
  for (const struct if_nameindex* n = names; n->if_index != 0; ++n, ++count) onlyLo = onlyLo && std::string(n->if_name) == "lo";
  if_freenameindex(names);
  return count == 1 && onlyLo;
}

TEST(GatewayBroadcast, LinesGoToTheBroadcastAddress) {
  if (!InOwnNetworkNamespace()) GTEST_SKIP() << "broadcasts are sent only inside a network namespace of its own";
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_in any{};
  any.sin_family = AF_INET;
  any.sin_port = htons(15167);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
  TempDir dir;
  const std::string settings = WriteSettings(dir, 15167, "Input = stdin\nKiosks =\nBroadcast = 127.255.255.255\n");
  testsupport::WriteWholeFile(dir.File("decoded.txt"), "POCSAG1200: Address: 1234567  Function: 3  Alpha:   TO ALL<EOT>\n");
  Process gateway({"sh", "-c", Quote(GATEWAY_PROGRAM) + " --settings " + Quote(settings) + " < " + Quote(dir.File("decoded.txt"))},
                  {}, "", dir.File("journal.txt"));
  EXPECT_EQ(gateway.WaitForExit(5000), 0);
  pollfd p{fd, POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 2000), 1) << testsupport::ReadWholeFile(dir.File("journal.txt"));
  char buffer[9000];
  const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
  EXPECT_EQ(WithoutTime(std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0)), "[RVU:1234567] TO ALL");
  close(fd);
}

}  // namespace
