// The gateway as a service: the service manager's notifications, Debian's
// rsyslog reading its reports, and the package that carries it.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "tests/deploy/support/deploy_support.h"
#include "tests/support/temp_dir.h"
#include "tests/support/udp_receiver.h"

namespace {

using deploytest::Quote;
using deploytest::Shell;
namespace fs = std::filesystem;

std::string Settings(const testsupport::TempDir& dir, const std::string& more) {
  testsupport::WriteWholeFile(dir.File("capcodes.conf"), "default Unknown\n");
  testsupport::WriteWholeFile(dir.File("gateway.conf"), "Input = " + dir.File("decoder.fifo") + "\nCapcodeTable = " +
                                                            dir.File("capcodes.conf") + "\n" + more);
  return dir.File("gateway.conf");
}

TEST(GatewayService, ReadyThenWatchdogPingsThenStopping) {
  testsupport::TempDir dir;
  deploytest::FakeNotifySocket notify;
  deploytest::Process gateway({GATEWAY_PROGRAM, "--settings", Settings(dir, "")},
                              {{"NOTIFY_SOCKET", notify.path()}, {"WATCHDOG_USEC", "600000"}, {"WATCHDOG_PID", std::nullopt}},
                              "", dir.File("journal.txt"));
  EXPECT_EQ(notify.Receive(5000), "READY=1");
  // Pings every half watchdog time: three within a second.
  for (int i = 0; i < 3; ++i) EXPECT_EQ(notify.Receive(1000), "WATCHDOG=1") << i;
  ASSERT_EQ(kill(gateway.pid(), SIGTERM), 0);
  std::optional<std::string> last;
  for (auto m = notify.Receive(3000); m; m = notify.Receive(1000)) last = m;
  EXPECT_EQ(last, "STOPPING=1");
  EXPECT_EQ(gateway.WaitForExit(5000), 0);
}

TEST(GatewayService, RsyslogReadsItsReportsAsLocal0) {
  deploytest::Rsyslog rsyslog;
  testsupport::TempDir dir;
  deploytest::Process gateway(
      {GATEWAY_PROGRAM, "--settings", Settings(dir, "SyslogServer = 127.0.0.1:" + std::to_string(rsyslog.port()) + "\n")},
      {}, "", dir.File("journal.txt"));
  ASSERT_TRUE(deploytest::WaitUntil([&] { return !rsyslog.Received().empty(); }, 5000));
  EXPECT_EQ(gateway.Stop(SIGTERM, 5000), 0);
  const auto messages = rsyslog.ReceivedAll();
  ASSERT_GE(messages.size(), 2u);
  bool started = false, stopped = false;
  for (const auto& m : messages) {
    if (m.text.find("marker") != std::string::npos) continue;
    EXPECT_EQ(m.facility, "local0") << m.text;
    EXPECT_EQ(m.program, "%rvu-pager-gateway") << m.text;
    started = started || (m.severity == "notice" && m.text.find("started: reading ") != std::string::npos);
    stopped = stopped || m.text.find("stopped") != std::string::npos;
  }
  EXPECT_TRUE(started);
  EXPECT_TRUE(stopped);
}

// A setting of the gateway's unit ("" when it has none).
std::string UnitSetting(const std::string& key) {
  std::istringstream unit(testsupport::ReadWholeFile(std::string(KIOSK_SOURCE_DIR) + "/deploy/rvu-pager-gateway.service"));
  for (std::string line; std::getline(unit, line);)
    if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
  return "";
}

// The named pipe as the guide sets it up, under the unit's settings: the
// gateway as a user of its own (as DynamicUser= makes it) with the unit's
// supplementary group and umask, in a runtime folder of the unit's mode; the
// program writing multimon-ng's output into the pipe as another user in that group.
TEST(GatewayService, ANamedPipeItMakesUnderTheUnitsUmaskTakesTheWriterOfItsGroup) {
  if (getuid() != 0) GTEST_SKIP() << "running the gateway and its writer as other users needs root";
  const std::string umask = UnitSetting("UMask"), groupName = UnitSetting("SupplementaryGroups");
  const std::string runtimeMode = UnitSetting("RuntimeDirectoryMode");
  ASSERT_FALSE(umask.empty());
  ASSERT_FALSE(runtimeMode.empty()) << "the runtime folder's mode is systemd's default";
  const struct group* writers = getgrnam(groupName.c_str());
  ASSERT_NE(writers, nullptr) << "no group " << groupName << " here";
  const std::string gid = std::to_string(writers->gr_gid);
  const std::string gatewayUser = "61184", writerUser = "61185", strangerUser = "61186";

  testsupport::TempDir dir;
  fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
  testsupport::UdpReceiver kiosk;
  const std::string run = dir.File("run"), fifo = dir.File("run/decoder.fifo");
  ASSERT_EQ(Shell("install -d -m " + runtimeMode + " -o " + gatewayUser + " -g " + gatewayUser + " " + Quote(run)).status, 0);
  testsupport::WriteWholeFile(dir.File("capcodes.conf"), "default Unknown\n");
  const std::string settings = dir.File("gateway.conf");
  testsupport::WriteWholeFile(settings, "Input = " + fifo + "\nCapcodeTable = " + dir.File("capcodes.conf") +
                                            "\nKiosks = 127.0.0.1\nPort = " + std::to_string(kiosk.port()) + "\n");
  deploytest::Process gateway({"setpriv", "--reuid=" + gatewayUser, "--regid=" + gatewayUser, "--groups=" + gid, "sh",
                               "-c", "umask " + umask + " && exec \"$0\" --settings \"$1\"", GATEWAY_PROGRAM, settings},
                              {}, "", dir.File("journal.txt"));
  ASSERT_TRUE(deploytest::WaitUntil([&] { return fs::exists(fifo); }, 5000))
      << testsupport::ReadWholeFile(dir.File("journal.txt"));
  struct stat st {};
  ASSERT_EQ(stat(fifo.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0660u);
  EXPECT_EQ(st.st_gid, writers->gr_gid);

  const auto write = [&](const std::string& user, const std::string& groups, const std::string& text) {
    return Shell("setpriv --reuid=" + user + " --regid=" + user + " " + groups + " sh -c " +
                 Quote("printf '%s\\n' " + Quote(text) + " > " + Quote(fifo)) + " 2>&1");
  };
  const auto written = write(writerUser, "--groups=" + gid, "POCSAG1200: Address: 1234567  Function: 3  Alpha:   TO ALL<EOT>");
  EXPECT_EQ(written.status, 0) << written.output;
  const auto line = kiosk.Receive(3000);
  ASSERT_TRUE(line.has_value()) << testsupport::ReadWholeFile(dir.File("journal.txt"));
  EXPECT_NE(line->find("[Unknown:1234567] TO ALL"), std::string::npos) << *line;
  // Nobody outside the group.
  EXPECT_NE(write(strangerUser, "--clear-groups", "POCSAG1200: Address: 1234567  Function: 3  Alpha:   OTHER<EOT>").status, 0);
  EXPECT_FALSE(kiosk.Receive(500).has_value());
  EXPECT_EQ(gateway.Stop(SIGTERM, 5000), 0);
}

class GatewayPackage : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new testsupport::TempDir;
    const auto package = deploytest::BuildPackage(KIOSK_BINARY_DIR, dir_->path() + "out");
    deb_ = package.deb;
    problem_ = package.problem;
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(problem_.empty()) << problem_; }
  static testsupport::TempDir* dir_;
  static std::string deb_, problem_;
};
testsupport::TempDir* GatewayPackage::dir_ = nullptr;
std::string GatewayPackage::deb_, GatewayPackage::problem_;

TEST_F(GatewayPackage, CarriesTheProgramItsUnitAndItsConffiles) {
  const std::string files = Shell("dpkg-deb -c " + Quote(deb_)).output;
  for (const char* path : {"./usr/bin/rvu-pager-gateway", "./usr/lib/systemd/system/rvu-pager-gateway.service",
                           "./etc/rvu-pager-gateway/gateway.conf", "./etc/rvu-pager-gateway/capcodes.conf"})
    EXPECT_NE(files.find(path), std::string::npos) << path << "\n" << files;
  const std::string control = dir_->path() + "control";
  ASSERT_EQ(Shell("dpkg-deb -e " + Quote(deb_) + " " + Quote(control)).status, 0);
  const std::string conffiles = testsupport::ReadWholeFile(control + "/conffiles");
  EXPECT_NE(conffiles.find("/etc/rvu-pager-gateway/gateway.conf\n"), std::string::npos) << conffiles;
  EXPECT_NE(conffiles.find("/etc/rvu-pager-gateway/capcodes.conf\n"), std::string::npos) << conffiles;
  // The receiver and the decoder the gateway runs by name (the package's other
  // recommendations are the kiosk's).
  const std::string recommends = Shell("dpkg-deb -f " + Quote(deb_) + " Recommends").output;
  EXPECT_EQ(recommends.rfind("rtl-sdr, multimon-ng", 0), 0u) << recommends;

  // The unit as systemd reads it: restarted always, watched, disabled until enabled.
  const std::string unit = testsupport::ReadWholeFile(std::string(KIOSK_SOURCE_DIR) + "/deploy/rvu-pager-gateway.service");
  for (const char* line : {"\nType=notify\n", "\nRestart=always\n", "\nWatchdogSec=30\n", "\nWantedBy=multi-user.target\n",
                           "\nExecStart=/usr/bin/rvu-pager-gateway --settings /etc/rvu-pager-gateway/gateway.conf\n"})
    EXPECT_NE(unit.find(line), std::string::npos) << line;
  // systemd's own check, with the program where this build has it.
  std::string local = unit;
  for (auto at = local.find("/usr/bin/rvu-pager-gateway"); at != std::string::npos;
       at = local.find("/usr/bin/rvu-pager-gateway", at + 1))
    local.replace(at, std::string("/usr/bin/rvu-pager-gateway").size(), GATEWAY_PROGRAM);
  testsupport::WriteWholeFile(dir_->path() + "rvu-pager-gateway.service", local);
  const auto verify = Shell("systemd-analyze verify " + Quote(dir_->path() + "rvu-pager-gateway.service") + " 2>&1");
  EXPECT_EQ(verify.status, 0) << verify.output;
}

TEST_F(GatewayPackage, InstalledDisabledWhileTheKioskIsEnabled) {
  if (getuid() != 0) GTEST_SKIP() << "installing with dpkg needs root";
  const std::string root = dir_->path() + "root";
  fs::create_directories(root + "/var/lib/dpkg/info");
  fs::create_directories(root + "/var/lib/dpkg/updates");
  // The root knows the dependencies as this machine has them installed.
  std::string status;
  const std::string depends = Shell("dpkg-deb -f " + Quote(deb_) + " Depends").output;
  const auto names = Shell("echo " + Quote(depends) + " | tr ',|' '\\n\\n' | sed 's/(.*//; s/ //g' | grep -v '^$' | sort -u");
  std::istringstream in(names.output);
  for (std::string name; std::getline(in, name);) {
    const auto entry = Shell("dpkg-query -s " + Quote(name));
    ASSERT_EQ(entry.status, 0) << name;
    status += entry.output + "\n";
  }
  testsupport::WriteWholeFile(root + "/var/lib/dpkg/status", status);
  const std::string dpkg = "dpkg --root=" + Quote(root) + " --force-script-chrootless --log=/dev/null ";
  const auto installed = Shell(dpkg + "-i " + Quote(deb_));
  ASSERT_EQ(installed.status, 0) << installed.output;
  EXPECT_TRUE(fs::is_symlink(root + "/etc/systemd/system/multi-user.target.wants/rvukiosk.service"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(root + "/etc/systemd/system/multi-user.target.wants/rvu-pager-gateway.service")));
  EXPECT_TRUE(fs::exists(root + "/etc/rvu-pager-gateway/capcodes.conf"));

  const auto purged = Shell(dpkg + "--purge rvukiosk");
  ASSERT_EQ(purged.status, 0) << purged.output;
  for (const char* gone : {"/usr/bin/rvu-pager-gateway", "/etc/rvu-pager-gateway/gateway.conf",
                           "/usr/lib/systemd/system/rvu-pager-gateway.service"})
    EXPECT_FALSE(fs::exists(root + gone)) << gone;
}

}  // namespace
