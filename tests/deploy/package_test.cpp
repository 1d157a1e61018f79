// The Debian package built from this build tree with CPack: its control
// fields, its dependencies against what the kiosk really loads and runs, and an
// install into a scratch root by dpkg with the maintainer scripts.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/datagram_receiver.h"
#include "tests/deploy/support/deploy_support.h"
#include "tests/support/temp_dir.h"

namespace {

using deploytest::Quote;
using deploytest::Shell;
namespace fs = std::filesystem;

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \n\t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \n\t") - first + 1);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line);
  return lines;
}

// Package names of a Depends field, every alternative included.
std::set<std::string> DependsNames(const std::string& depends) {
  std::set<std::string> names;
  std::string name;
  bool inName = true, inVersion = false;
  for (char c : depends + ",") {
    if (c == '(') inVersion = true;
    if (c == ')') inVersion = false;
    if (inVersion) continue;
    if (c == ',' || c == '|') {
      if (!name.empty()) names.insert(name);
      name.clear();
      inName = true;
    } else if (c == ' ') {
      inName = name.empty();
    } else if (inName && c != ')') {
      name += c;
    }
  }
  return names;
}

// The Debian package that installed a file on this machine ("" when none did);
// /lib and /usr/lib are tried both, as merged /usr makes them one.
std::string OwnerOf(const std::string& path) {
  std::vector<std::string> tries = {path};
  if (path.rfind("/usr/", 0) == 0)
    tries.push_back(path.substr(4));
  else
    tries.push_back("/usr" + path);
  for (const auto& p : tries) {
    const auto result = Shell("dpkg -S " + Quote(p));
    if (result.status == 0) {
      const std::string owner = result.output.substr(0, result.output.find(':'));
      return owner;
    }
  }
  return "";
}

// The first existing file among shell patterns.
std::string FirstExisting(const std::string& patterns) {
  const auto result = Shell("ls -1d " + patterns + " 2>/dev/null | head -1");
  return Trim(result.output);
}

class KioskPackage : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new testsupport::TempDir;
    const auto package = deploytest::BuildPackage(KIOSK_BINARY_DIR, dir_->path() + "out");
    deb_ = package.deb;
    buildOutput_ = package.problem;
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(buildOutput_.empty()) << buildOutput_; }

  static std::string Field(const std::string& name) {
    return Trim(Shell("dpkg-deb -f " + Quote(deb_) + " " + name).output);
  }

  static testsupport::TempDir* dir_;
  static std::string deb_;
  static std::string buildOutput_;
};
testsupport::TempDir* KioskPackage::dir_ = nullptr;
std::string KioskPackage::deb_;
std::string KioskPackage::buildOutput_;

TEST_F(KioskPackage, NamedAndVersionedForThisMachine) {
  EXPECT_EQ(Field("Package"), "rvukiosk");
  EXPECT_EQ(Field("Version"), KIOSK_VERSION);
  EXPECT_EQ(Field("Architecture"), Trim(Shell("dpkg --print-architecture").output));
  EXPECT_EQ(fs::path(deb_).filename().string(),
            "rvukiosk_" + std::string(KIOSK_VERSION) + "_" + Field("Architecture") + ".deb");
}

TEST_F(KioskPackage, DeclaresEveryPackageTheKioskLoadsOrRuns) {
  const std::set<std::string> depends = DependsNames(Field("Depends"));
  const std::string root = dir_->path() + "extracted";
  ASSERT_EQ(Shell("dpkg-deb -x " + Quote(deb_) + " " + Quote(root)).status, 0);
  const std::string program = root + "/opt/rvukiosk/rvukiosk";

  // Every library the program links directly, found where the loader finds it.
  const auto needed = Shell("objdump -p " + Quote(program) + " | awk '/NEEDED/ {print $2}'");
  const auto ldd = Shell("ldd " + Quote(program));
  ASSERT_EQ(ldd.output.find("not found"), std::string::npos) << ldd.output;
  std::vector<std::string> files;
  for (const auto& soname : Lines(needed.output)) {
    const size_t at = ldd.output.find(soname + " => ");
    ASSERT_NE(at, std::string::npos) << soname;
    const size_t start = at + soname.size() + 4;
    files.push_back(ldd.output.substr(start, ldd.output.find(' ', start) - start));
  }
  ASSERT_GE(files.size(), 8u) << needed.output;  // Qt, WebEngine, libcurl, pugixml, libsystemd, C++ runtime

  // What it runs or opens by name: the compositor of its unit and the X server
  // it starts, Chromium's helper, Qt's Wayland platform, the seat daemon that
  // gives cage the screen, the tools of the maintainer scripts, and the kiosk's font.
  const std::string font = Trim(Shell("fc-match -f '%{file}' 'Liberation Sans:bold'").output);
  const std::pair<const char*, std::string> helpers[] = {
      {"compositor", FirstExisting("/usr/bin/cage")},
      {"X server for cage", FirstExisting("/usr/bin/Xwayland")},
      {"web engine process", FirstExisting("/usr/lib/qt6/libexec/QtWebEngineProcess")},
      {"Wayland platform", FirstExisting("/usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so")},
      {"seat daemon", FirstExisting("/usr/sbin/seatd /sbin/seatd")},
      {"sysusers", FirstExisting("/bin/systemd-sysusers /usr/bin/systemd-sysusers")},
      {"systemd helper", FirstExisting("/usr/bin/deb-systemd-helper")},
      {"font", font},
  };
  for (const auto& [what, file] : helpers) {
    ASSERT_FALSE(file.empty()) << what << " is not on this machine (scripts/bootstrap installs it)";
    files.push_back(file);
  }

  for (const auto& file : files) {
    const std::string owner = OwnerOf(file);
    EXPECT_FALSE(owner.empty()) << file << " comes from no Debian package";
    EXPECT_TRUE(depends.count(owner)) << file << " is in " << owner << ", which the package does not depend on";
  }
}

TEST_F(KioskPackage, RaisesTheReceiveBufferLimitToWhatTheKioskAsksFor) {
  // Without capabilities the pager port gets at most net.core.rmem_max.
  const std::string root = dir_->path() + "sysctl";
  ASSERT_EQ(Shell("dpkg-deb -x " + Quote(deb_) + " " + Quote(root)).status, 0);
  const std::string file = root + "/usr/lib/sysctl.d/60-rvukiosk.conf";
  ASSERT_TRUE(fs::exists(file)) << "no sysctl.d file in the package";
  const auto setting = Shell("sed -n 's/^ *net\\.core\\.rmem_max *= *\\([0-9]*\\) *$/\\1/p' " + Quote(file));
  const std::vector<std::string> values = Lines(setting.output);
  ASSERT_EQ(values.size(), 1u) << testsupport::ReadWholeFile(file);
  EXPECT_GE(std::stoll(values[0]), platform::DatagramReceiver::kReceiveBufferBytes);
  // Applied at install when systemd runs (and by systemd-sysctl at every boot).
  const std::string control = dir_->path() + "sysctl-control";
  ASSERT_EQ(Shell("dpkg-deb -e " + Quote(deb_) + " " + Quote(control)).status, 0);
  EXPECT_NE(testsupport::ReadWholeFile(control + "/postinst").find("systemd-sysctl 60-rvukiosk.conf"), std::string::npos);
}

TEST_F(KioskPackage, ShipsThePrometheusRulesWhereTheGuideSays) {
  const std::string root = dir_->path() + "rules";
  ASSERT_EQ(Shell("dpkg-deb -x " + Quote(deb_) + " " + Quote(root)).status, 0);
  const std::string file = root + "/usr/share/rvukiosk/prometheus/rvukiosk-rules.yml";
  ASSERT_TRUE(fs::exists(file)) << "no rules file in the package";
  EXPECT_EQ(testsupport::ReadWholeFile(file),
            testsupport::ReadWholeFile(std::string(KIOSK_SOURCE_DIR) + "/deploy/prometheus/rvukiosk-rules.yml"));
}

class ScratchRoot : public KioskPackage {
 protected:
  void SetUp() override {
    KioskPackage::SetUp();
    if (getuid() != 0) GTEST_SKIP() << "installing with dpkg needs root";
    root_ = scratch_.path() + "root";
    fs::create_directories(root_ + "/var/lib/dpkg/info");
    fs::create_directories(root_ + "/var/lib/dpkg/updates");
    // The root knows the dependencies as this machine has them installed, so
    // that dpkg checks the package's Depends against real Debian 12 packages.
    std::string status;
    for (const auto& name : DependsNames(Field("Depends"))) {
      const auto entry = Shell("dpkg-query -s " + Quote(name));
      ASSERT_EQ(entry.status, 0) << name << " is not installed here (scripts/bootstrap installs it)";
      status += Trim(entry.output) + "\n\n";
      const std::string full = Trim(Shell("dpkg-query -W -f '${binary:Package}' " + Quote(name)).output);
      std::ofstream(root_ + "/var/lib/dpkg/info/" + full + ".list");
    }
    std::ofstream(root_ + "/var/lib/dpkg/status") << status;
  }
  deploytest::CommandResult Dpkg(const std::string& arguments) {
    return Shell("dpkg --root=" + Quote(root_) + " --force-script-chrootless --log=/dev/null " + arguments);
  }
  struct stat Stat(const std::string& path) {
    struct stat s {};
    EXPECT_EQ(lstat((root_ + path).c_str(), &s), 0) << path;
    return s;
  }
  testsupport::TempDir scratch_;
  std::string root_;
};

TEST_F(ScratchRoot, InstallsWithItsUserAndFoldersThenPurgesCleanly) {
  const auto installed = Dpkg("-i " + Quote(deb_));
  ASSERT_EQ(installed.status, 0) << installed.output;
  EXPECT_NE(Dpkg("-s rvukiosk").output.find("Status: install ok installed"), std::string::npos);
  const auto verify = Dpkg("--verify rvukiosk");
  EXPECT_EQ(verify.status, 0);
  EXPECT_EQ(verify.output, "") << "files that differ from the package";
  for (const auto& path : Lines(Dpkg("-L rvukiosk").output)) EXPECT_TRUE(fs::exists(root_ + path)) << path;
  const std::string conffiles =
      Shell("dpkg-query --admindir=" + Quote(root_ + "/var/lib/dpkg") + " -W -f '${Conffiles}' rvukiosk").output;
  EXPECT_NE(conffiles.find("/etc/rvu-pager-gateway/gateway.conf"), std::string::npos) << conffiles;
  EXPECT_NE(conffiles.find("/etc/rvukiosk/station.conf"), std::string::npos) << conffiles;
  EXPECT_NE(conffiles.find("/etc/rvukiosk/pronunciation.conf"), std::string::npos) << conffiles;
  // No login session, so no PAM service.
  EXPECT_EQ(conffiles.find("/etc/pam.d/"), std::string::npos) << conffiles;

  // The kiosk's user, created by the postinst in the scratch root only.
  const auto passwd = Shell("grep '^rvukiosk:' " + Quote(root_ + "/etc/passwd"));
  ASSERT_EQ(passwd.status, 0) << "no kiosk user";
  std::vector<std::string> fields;
  std::istringstream entry(Trim(passwd.output));
  for (std::string f; std::getline(entry, f, ':');) fields.push_back(f);
  ASSERT_GE(fields.size(), 6u);
  const uid_t uid = static_cast<uid_t>(std::stoul(fields[2]));
  EXPECT_NE(uid, 0u);
  EXPECT_EQ(fields[5], "/var/lib/rvukiosk");
  // In group video, which may open seatd's socket.
  const auto video = Shell("grep '^video:' " + Quote(root_ + "/etc/group"));
  ASSERT_EQ(video.status, 0) << "no group video";
  const std::string members = Trim(video.output).substr(Trim(video.output).rfind(':') + 1);
  EXPECT_NE(("," + members + ",").find(",rvukiosk,"), std::string::npos) << video.output;

  // The working folder belongs to it; the program's folder is root's, open to
  // its group with the sticky bit; the program is root's alone.
  const gid_t gid = static_cast<gid_t>(std::stoul(fields[3]));
  struct Expected {
    const char* path;
    uid_t owner;
    gid_t group;
    mode_t mode;
  } expected[] = {
      {"/opt/rvukiosk", 0, gid, S_IFDIR | S_ISVTX | 0775},
      {"/var/lib/rvukiosk", uid, gid, S_IFDIR | 0750},
      {"/opt/rvukiosk/rvukiosk", 0, 0, S_IFREG | 0755},
      {"/usr/libexec/rvukiosk/kiosk-session", 0, 0, S_IFREG | 0755},
  };
  for (const auto& e : expected) {
    const struct stat s = Stat(e.path);
    EXPECT_EQ(s.st_uid, e.owner) << e.path;
    EXPECT_EQ(s.st_gid, e.group) << e.path;
    EXPECT_EQ(s.st_mode, e.mode) << e.path;
  }
  // Enabled: it starts at every boot.
  const std::string wants = "/etc/systemd/system/multi-user.target.wants/rvukiosk.service";
  EXPECT_TRUE(S_ISLNK(Stat(wants).st_mode));

  // A purge also takes the settings, the daily logs and the error reports.
  for (const char* leftover : {"/opt/rvukiosk/rvukiosk-20261209.CSV", "/opt/rvukiosk/EXCEPTION-20261209134510000.XML",
                               "/var/lib/rvukiosk/RVUKiosk.xml", "/var/lib/rvukiosk/RVU-Settings.xml"})
    std::ofstream(root_ + leftover) << "x";
  const auto purged = Dpkg("--purge rvukiosk");
  ASSERT_EQ(purged.status, 0) << purged.output;
  for (const char* gone :
       {"/opt/rvukiosk", "/var/lib/rvukiosk", "/usr/lib/systemd/system/rvukiosk.service", wants.c_str()})
    EXPECT_FALSE(fs::exists(fs::symlink_status(root_ + gone))) << gone;
}

TEST_F(ScratchRoot, TheKiosksUserKeepsItsFilesButCannotTouchTheProgram) {
  const auto installed = Dpkg("-i " + Quote(deb_));
  ASSERT_EQ(installed.status, 0) << installed.output;
  const auto passwd = Shell("grep '^rvukiosk:' " + Quote(root_ + "/etc/passwd") + " | cut -d: -f3,4");
  ASSERT_EQ(passwd.status, 0) << "no kiosk user";
  const std::string ids = Trim(passwd.output);
  const std::string uid = ids.substr(0, ids.find(':')), gid = ids.substr(ids.find(':') + 1);
  // The scratch root must be reachable for that user.
  fs::permissions(scratch_.path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
  // What the kiosk had before the install: settings it saves, a day's log.
  const std::string home = root_ + "/var/lib/rvukiosk";
  std::ofstream(home + "/RVUKiosk.xml") << "<xml/>";
  ASSERT_EQ(Shell("chown " + uid + ":" + gid + " " + Quote(home + "/RVUKiosk.xml")).status, 0);
  const std::string program = root_ + "/opt/rvukiosk/rvukiosk";
  const std::string before = testsupport::ReadWholeFile(program);

  // Each as the kiosk's user, with the file calls the kiosk makes: append to
  // its daily log, write a report, list and purge them, and replace its
  // settings by a rename over the old file.
  struct Case {
    const char* what;
    std::string command;
    bool allowed;
  } cases[] = {
      {"rename the program", "mv opt/rvukiosk/rvukiosk opt/rvukiosk/old", false},
      {"delete the program", "rm -f opt/rvukiosk/rvukiosk", false},
      {"rewrite the program", "printf x >opt/rvukiosk/rvukiosk", false},
      {"replace the program by a rename",
       "printf x >opt/rvukiosk/new && mv -f opt/rvukiosk/new opt/rvukiosk/rvukiosk; s=$?; rm -f opt/rvukiosk/new; exit $s",
       false},
      {"write a daily log", "printf 'a\\r\\n' >>opt/rvukiosk/rvukiosk-20261209.CSV && printf 'b\\r\\n' >>opt/rvukiosk/rvukiosk-20261209.CSV", true},
      {"write a report", "printf '<xml/>' >opt/rvukiosk/EXCEPTION-20261209134510000.XML.tmp && "
                         "mv opt/rvukiosk/EXCEPTION-20261209134510000.XML.tmp opt/rvukiosk/EXCEPTION-20261209134510000.XML", true},
      {"list them", "ls opt/rvukiosk | grep -qx rvukiosk-20261209.CSV && ls opt/rvukiosk | grep -qx 'EXCEPTION-.*XML'", true},
      {"purge them", "rm opt/rvukiosk/rvukiosk-20261209.CSV opt/rvukiosk/EXCEPTION-20261209134510000.XML", true},
      {"save its settings", "printf '<xml>new</xml>' >var/lib/rvukiosk/RVUKiosk.xml.tmp-1 && "
                            "mv -f var/lib/rvukiosk/RVUKiosk.xml.tmp-1 var/lib/rvukiosk/RVUKiosk.xml", true},
  };
  for (const auto& c : cases) {
    const auto result = Shell("cd " + Quote(root_) + " && setpriv --reuid=" + uid + " --regid=" + gid +
                              " --clear-groups sh -c " + Quote(c.command) + " 2>&1");
    EXPECT_EQ(result.status == 0, c.allowed) << c.what << ": " << result.output;
  }
  EXPECT_TRUE(fs::is_regular_file(program));
  EXPECT_TRUE(testsupport::ReadWholeFile(program) == before) << "the program changed";
  EXPECT_EQ(testsupport::ReadWholeFile(home + "/RVUKiosk.xml"), "<xml>new</xml>");
}

}  // namespace

namespace {

// `cmake --install` of the build tree onto this machine's root, seen through
// throw-away overlays of /etc, /opt, /usr and /var in a mount namespace of its
// own, so that the machine itself stays as it is.
TEST(CmakeInstall, OntoTheRunningSystemCreatesTheUserAndFolders) {
  if (getuid() != 0) GTEST_SKIP() << "needs root";
  testsupport::TempDir dir;
  std::string script = "set -e\n";
  for (const char* top : {"etc", "opt", "usr", "var"}) {
    const std::string upper = dir.path() + "upper/" + top, work = dir.path() + "work/" + top;
    script += "mkdir -p " + Quote(upper) + " " + Quote(work) + "\n";
    script += "mount -t overlay overlay -o lowerdir=/" + std::string(top) + ",upperdir=" + upper + ",workdir=" + work +
              " /" + top + " || exit 77\n";
  }
  const std::string log = Quote(dir.path() + "install.log");
  script += "cmake --install " + Quote(KIOSK_BINARY_DIR) + " --prefix / >" + log + " 2>&1 || { cat " + log + "; exit 1; }\n";
  script += "getent passwd rvukiosk | cut -d: -f6\n";
  script += "stat -c '%U %a %n' /opt/rvukiosk /opt/rvukiosk/rvukiosk /var/lib/rvukiosk\n";
  // A network namespace of its own too: applying the kiosk's sysctl.d file
  // then cannot change this machine's kernel settings.
  const auto result = Shell("unshare --mount --net --propagation private sh -c " + Quote(script));
  if (result.status == 77) GTEST_SKIP() << "no overlay mounts here";
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(Lines(result.output),
            (std::vector<std::string>{"/var/lib/rvukiosk", "root 1775 /opt/rvukiosk",
                                      "root 755 /opt/rvukiosk/rvukiosk", "rvukiosk 750 /var/lib/rvukiosk"}))
      << result.output;
  EXPECT_NE(Shell("getent passwd rvukiosk").status, 0) << "the install reached this machine";
}

}  // namespace
