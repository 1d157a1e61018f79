// The systemd unit and the kiosk session launcher, without a running systemd.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <vector>

#include "service/web_request.h"
#include "tests/deploy/support/deploy_support.h"
#include "tests/support/temp_dir.h"

namespace {

using deploytest::Quote;
using deploytest::Shell;

const std::string kUnit = std::string(KIOSK_SOURCE_DIR) + "/deploy/rvukiosk.service";

// Calls `take` with "Section.Key" and the value of every setting line of a unit
// file, in order.
void ForEachKey(const std::string& path, const std::function<void(const std::string&, const std::string&)>& take) {
  std::ifstream in(path);
  std::string line, section;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
      continue;
    }
    const size_t equals = line.find('=');
    if (equals != std::string::npos) take(section + "." + line.substr(0, equals), line.substr(equals + 1));
  }
}

// "Section.Key" to value; a key given twice keeps its last value.
std::map<std::string, std::string> ReadUnit(const std::string& path) {
  std::map<std::string, std::string> keys;
  ForEachKey(path, [&keys](const std::string& key, const std::string& value) { keys[key] = value; });
  return keys;
}

TEST(KioskUnit, RestartsForeverAndSupervisesTheKiosk) {
  const auto unit = ReadUnit(kUnit);
  const std::pair<const char*, const char*> expected[] = {
      {"Unit.StartLimitIntervalSec", "0"},  // no limit on restarts in a row
      {"Service.Restart", "always"},
      {"Service.Type", "notify"},
      {"Service.NotifyAccess", "all"},  // the kiosk is a child of cage, the main process
      {"Install.WantedBy", "multi-user.target"},
  };
  for (const auto& [key, value] : expected) {
    ASSERT_TRUE(unit.count(key)) << key;
    EXPECT_EQ(unit.at(key), value) << key;
  }
}

// The metrics endpoint listens on TCP (IPv4) on the port and address the
// station settings name: the sandbox must leave it the address family, any
// address and port to bind, and the network itself.
TEST(KioskUnit, LetsTheKioskListenForItsMetrics) {
  const auto unit = ReadUnit(kUnit);
  ASSERT_TRUE(unit.count("Service.RestrictAddressFamilies"));
  std::istringstream families(unit.at("Service.RestrictAddressFamilies"));
  const std::set<std::string> allowed{std::istream_iterator<std::string>(families), {}};
  EXPECT_TRUE(allowed.count("AF_INET")) << unit.at("Service.RestrictAddressFamilies");
  for (const char* key : {"Service.IPAddressDeny", "Service.SocketBindDeny", "Service.SocketBindAllow",
                          "Service.PrivateNetwork", "Service.IPAddressAllow"})
    EXPECT_FALSE(unit.count(key)) << key << " would keep the monitoring host out";
  EXPECT_FALSE(unit.count("Service.SystemCallFilter") &&
               unit.at("Service.SystemCallFilter").find("~@network-io") != std::string::npos);
}

TEST(KioskUnit, WatchdogOutlastsTheLongestLegitimateBlock) {
  // The kiosk pings every WatchdogSec/2; a ping is late by at most the longest
  // block of its UI thread: a tick whose requests share one time limit (plus
  // the least time a later request is still given), then a key's request.
  const auto unit = ReadUnit(kUnit);
  ASSERT_TRUE(unit.count("Service.WatchdogSec"));
  const long watchdogMs = std::stol(unit.at("Service.WatchdogSec")) * 1000;
  const service::RequestTimeLimits limits;
  const long longestBlockMs = 2 * (limits.totalMs + limits.leastMs);
  EXPECT_GT(watchdogMs / 2, longestBlockMs);
  // And it still catches a hung kiosk within a few minutes.
  EXPECT_LE(watchdogMs, 300000);
}

TEST(KioskUnit, SystemdAcceptsTheInstalledUnitAndFindsWhatItRuns) {
  // Installed into a scratch root; systemd-analyze checks the programs the unit
  // runs on this machine, so the unit's paths into the scratch root are moved there.
  testsupport::TempDir dir;
  const std::string stage = dir.path() + "root";
  const auto install = Shell("cmake --install " + Quote(KIOSK_BINARY_DIR) + " --prefix " + Quote(stage));
  ASSERT_EQ(install.status, 0) << install.output;
  std::string text = testsupport::ReadWholeFile(stage + "/usr/lib/systemd/system/rvukiosk.service");
  std::set<std::string> moved;
  for (size_t at = 0; (at = text.find("/usr/libexec/", at)) != std::string::npos; at += stage.size() + 1) {
    const std::string path = text.substr(at, text.find_first_of(" \n", at) - at);
    ASSERT_TRUE(std::filesystem::exists(stage + path)) << path << " is not installed";
    moved.insert(path);
    text.insert(at, stage);
  }
  EXPECT_FALSE(moved.empty());
  testsupport::WriteWholeFile(dir.path() + "rvukiosk.service", text);
  const auto verify = Shell("systemd-analyze verify --man=no " + Quote(dir.path() + "rvukiosk.service"));
  EXPECT_EQ(verify.status, 0) << verify.output;
  EXPECT_EQ(verify.output, "");
}

// The words of every line of a key ("Section.Key"), in order.
std::vector<std::string> Words(const std::string& path, const std::string& key) {
  std::vector<std::string> words;
  ForEachKey(path, [&](const std::string& found, const std::string& value) {
    if (found != key) return;
    std::istringstream values(value);
    for (std::string word; values >> word;) words.push_back(word);
  });
  return words;
}

bool Has(const std::vector<std::string>& words, const std::string& word) {
  return std::find(words.begin(), words.end(), word) != words.end();
}

TEST(KioskUnit, TakesTheSeatFromSeatdAndKeepsTheKioskInItsCgroup) {
  // A logind session (PAM) would move cage and the kiosk out of the unit's
  // cgroup, where NotifyAccess=all no longer hears READY=1 and the pings.
  const auto unit = ReadUnit(kUnit);
  EXPECT_FALSE(unit.count("Service.PAMName"));
  EXPECT_TRUE(Has(Words(kUnit, "Unit.Wants"), "seatd.service"));
  EXPECT_TRUE(Has(Words(kUnit, "Unit.After"), "seatd.service"));
  // seatd's socket is open to group video (seatd -g video).
  const std::string sysusers = testsupport::ReadWholeFile(std::string(KIOSK_SOURCE_DIR) + "/deploy/rvukiosk.sysusers");
  EXPECT_NE(sysusers.find("\nm rvukiosk video\n"), std::string::npos) << sysusers;
  // The alert's sound card: /dev/snd is open to group audio, and the unit
  // hides no devices (nothing else of it is loosened for the sound).
  EXPECT_NE(sysusers.find("\nm rvukiosk audio\n"), std::string::npos) << sysusers;
  EXPECT_FALSE(unit.count("Service.PrivateDevices"));
  EXPECT_FALSE(unit.count("Service.DevicePolicy"));
  EXPECT_FALSE(unit.count("Service.SupplementaryGroups"));
  // Without a session there is no /run/user: the runtime folder is the unit's own.
  ASSERT_TRUE(unit.count("Service.RuntimeDirectory"));
  EXPECT_TRUE(Has(Words(kUnit, "Service.Environment"), "XDG_RUNTIME_DIR=/run/" + unit.at("Service.RuntimeDirectory")));
  EXPECT_EQ(unit.at("Service.RuntimeDirectoryMode"), "0700");  // Qt and wayland want it private
  // Still the console's terminal for cage.
  EXPECT_EQ(unit.at("Service.TTYPath"), "/dev/tty7");
}

}  // namespace
