// The gateway as a service: the service manager's notifications, Debian's
// rsyslog reading its reports, and the package that carries it.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "tests/deploy/support/deploy_support.h"
#include "tests/support/temp_dir.h"

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
  EXPECT_EQ(Shell("dpkg-deb -f " + Quote(deb_) + " Recommends").output, "rtl-sdr, multimon-ng\n");

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
