#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/temp_dir.h"

namespace deploytest {

// A copy of the kiosk program in a folder of its own, where its daily logs and
// error reports land, and an empty working folder for its settings files.
struct KioskFolders {
  testsupport::TempDir dir;
  std::string programFolder = dir.path() + "opt/";
  std::string program = programFolder + "rvukiosk";
  std::string home = dir.path() + "home/";

  KioskFolders() {
    std::filesystem::create_directories(programFolder);
    std::filesystem::create_directories(home);
    std::filesystem::copy_file(KIOSK_PROGRAM, program);
  }

  // Everything in the folders belongs to another user (the kiosk's).
  void GiveTo(uid_t uid, gid_t gid) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path()))
      [[maybe_unused]] int r = lchown(entry.path().c_str(), uid, gid);
    [[maybe_unused]] int r = chown(dir.path().c_str(), uid, gid);
  }

  // The text of the daily log files so far.
  std::string DailyLogs() const {
    std::string text;
    for (const auto& entry : std::filesystem::directory_iterator(programFolder)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("rvukiosk-", 0) != 0 || entry.path().extension() != ".CSV") continue;
      std::ifstream in(entry.path());
      std::stringstream content;
      content << in.rdbuf();
      text += content.str();
    }
    return text;
  }
};

}  // namespace deploytest
