// The kiosk session launcher as the service runs it: inside cage, the Wayland
// kiosk compositor (headless here), as an unprivileged user, with the
// service manager's environment, where WATCHDOG_PID names cage.
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/deploy/program/kiosk_folders.h"
#include "tests/deploy/support/deploy_support.h"

namespace {

using deploytest::FakeNotifySocket;
using deploytest::Process;
using deploytest::Quote;

TEST(KioskSession, RunsTheKioskInCageAndItsPingsReachTheManager) {
  ASSERT_TRUE(std::filesystem::exists("/usr/bin/cage")) << "cage is missing (scripts/bootstrap installs it)";
  deploytest::KioskFolders folders;
  const std::string runtime = folders.dir.path() + "run";
  const std::string launcher = folders.dir.path() + "kiosk-session";
  std::filesystem::create_directories(runtime);
  chmod(runtime.c_str(), 0700);
  std::filesystem::copy_file(std::string(KIOSK_SOURCE_DIR) + "/deploy/kiosk-session", launcher);

  // cage refuses to run as root: as root, the session runs as nobody.
  std::string asUser;
  if (getuid() == 0) {
    const passwd* nobody = getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    folders.GiveTo(nobody->pw_uid, nobody->pw_gid);
    asUser = "setpriv --reuid=nobody --regid=" + std::to_string(nobody->pw_gid) + " --clear-groups -- ";
  }
  FakeNotifySocket socket;
  // As systemd starts it: WATCHDOG_PID is the main process, which is cage.
  const std::string command = "export WATCHDOG_PID=$$; exec " + asUser + "cage -d -s -- " + Quote(launcher);
  Process session({"sh", "-c", command},
                  {{"NOTIFY_SOCKET", socket.path()},
                   {"WATCHDOG_USEC", "1000000"},
                   {"XDG_RUNTIME_DIR", runtime},
                   {"HOME", folders.home},
                   {"WLR_BACKENDS", "headless"},
                   {"WLR_RENDERER", "pixman"},
                   {"WLR_LIBINPUT_NO_DEVICES", "1"},
                   {"QT_QPA_PLATFORM", std::nullopt},
                   {"WAYLAND_DISPLAY", std::nullopt},
                   {"DISPLAY", std::nullopt},
                   {"QTWEBENGINE_DISABLE_SANDBOX", "1"},  // no user namespaces for the sandbox in a test container
                   {"RVUKIOSK_PROGRAM", folders.program},
                   {"RVUKIOSK_HOME", folders.home}},
                  folders.dir.path(), folders.dir.File("session.log"));

  const auto ready = socket.Receive(40000);
  ASSERT_EQ(ready, "READY=1") << testsupport::ReadWholeFile(folders.dir.File("session.log"));
  int pings = 0;
  for (int i = 0; i < 10 && pings < 3; ++i)
    if (socket.Receive(1000) == "WATCHDOG=1") ++pings;
  EXPECT_EQ(pings, 3) << "the kiosk's pings were not sent for cage's WATCHDOG_PID";

  // It ran on cage's Wayland display, in the working folder the launcher chose.
  EXPECT_TRUE(std::filesystem::exists(folders.home + "RVUKiosk.xml"));
  EXPECT_TRUE(std::filesystem::exists(folders.home + "RVU-Settings.xml"));
  EXPECT_FALSE(std::filesystem::exists(folders.dir.path() + "RVUKiosk.xml"));
  EXPECT_NE(folders.DailyLogs().find("[Note=New day]"), std::string::npos);

  // The unit's stop: the kiosk ends, and cage (which aborts on SIGTERM) follows cleanly.
  Process stop({launcher, "--stop", std::to_string(session.pid())}, {{"XDG_RUNTIME_DIR", runtime}}, "", "");
  EXPECT_EQ(session.WaitForExit(15000), 0) << "cage did not end cleanly with its kiosk";
  EXPECT_EQ(stop.WaitForExit(5000), 0);
  EXPECT_TRUE(deploytest::WaitUntil([&] { return kill(-session.pid(), 0) != 0; }, 15000))
      << "processes of the session were left behind";
}

}  // namespace
