#pragma once

#include <filesystem>
#include <string>

#include "platform/datetime.h"
#include "tests/support/temp_dir.h"

namespace testsupport {

// The moment the kiosk's tests start at: a Wednesday afternoon in December.
inline const platform::TDateTime kTestNow = platform::EncodeDateTime({2026, 12, 9, 13, 45, 10, 123});

// The kiosk's folders for the life of a test: a fresh working directory (the
// settings files go there) that is also the current one, the program file in
// its "bin" folder (the daily logs and error reports go there), and a manual
// clock at kTestNow.
struct KioskFolders {
  TempDir dir;
  bool programFolderMade = std::filesystem::create_directory(dir.File("bin"));
  ScopedCwd cwd{dir.path()};
  ScopedProgramPath program{dir.File("bin/rvukiosk")};
  ScopedClock clock{kTestNow};

  // The daily log of kTestNow's day.
  std::string LogFile() const { return dir.File("bin/rvukiosk-20261209.CSV"); }
};

}  // namespace testsupport
