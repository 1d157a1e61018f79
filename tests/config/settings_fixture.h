#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "config/kiosk_settings.h"
#include "diag/log.h"
#include "platform/clock.h"
#include "service/rvu_settings.h"
#include "tests/support/temp_dir.h"

namespace testsupport {

// A fresh working directory and program folder, a fixed clock, and the
// settings and diagnostics records back at their start values.
class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(dir.File("bin"));
    ResetGlobals();
  }
  void TearDown() override { ResetGlobals(); }

  static void ResetGlobals() {
    config::KioskSettings = config::tKioskSettings{};
    service::ServiceSettings = service::tRVUSettings{};
    diag::Globals = diag::tGlobalSettings{};
  }

  std::string LogFile() const { return dir.File("bin/rvukiosk-20261209.CSV"); }
  std::string ReportFile() const { return dir.File("bin/EXCEPTION-20261209134510123.XML"); }

  std::vector<std::string> Reports() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.File("bin")))
      if (e.path().extension() == ".XML") names.push_back(e.path().string());
    return names;
  }

  // An element of the report file, as the report holds it.
  std::string ReportElement(const std::string& report, const char* name) const {
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_file(report.c_str(), pugi::parse_default & ~pugi::parse_eol)) << report;
    return doc.child("xml").child("Exception").child(name).text().get();
  }

  // The text field of the only log line, quotes and CR LF taken off.
  std::string LoggedText() const {
    const std::string content = ReadWholeFile(LogFile());
    const size_t start = content.find(",30000,\"");
    EXPECT_NE(start, std::string::npos) << content;
    if (start == std::string::npos) return {};
    return content.substr(start + 8, content.size() - start - 8 - 3);
  }

  // Leaves the working directory without a folder behind it: nothing can be
  // created there, even by root.
  void RemoveWorkingDirectory() { ASSERT_GT(std::filesystem::remove_all(work), 0u); }

  TempDir dir;
  std::string work = [this] {
    std::filesystem::create_directory(dir.File("work"));
    return dir.File("work");
  }();
  ScopedCwd cwd{work};
  ScopedProgramPath program{dir.File("bin/rvukiosk")};
  ScopedClock clock{platform::EncodeDateTime({2026, 12, 9, 13, 45, 10, 123})};
};

}  // namespace testsupport
