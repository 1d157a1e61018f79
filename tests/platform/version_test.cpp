#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform/system.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::ReadWholeFile;
using testsupport::TempDir;
using testsupport::WriteWholeFile;

std::string OwnPath() { return platform::ProgramFilePath(); }

TEST(FileVersion, ProgramsCarryTheBuildVersion) {
  EXPECT_EQ(platform::ReadFileVersion(OwnPath()), KIOSK_VERSION);
  EXPECT_EQ(platform::ReadFileVersion(std::string(KIOSK_TOOLS_DIR) + "/diag-demo"), KIOSK_VERSION);
}

TEST(FileVersion, FilesWithoutAVersionGiveEmptyText) {
  TempDir dir;
  WriteWholeFile(dir.File("text"), "not a program");
  const std::string own = ReadWholeFile(OwnPath());
  WriteWholeFile(dir.File("truncated"), own.substr(0, 200));
  for (const std::string& path :
       {std::string("/bin/ls"), dir.File("missing"), dir.File("text"), dir.File("truncated"), dir.path()})
    EXPECT_EQ(platform::ReadFileVersion(path), "") << path;
}

TEST(FileVersion, TheVersionIsReadFromTheFileItself) {
  // Patch the version words of a copy of this program and read the copy.
  std::string bytes = ReadWholeFile(OwnPath());
  const std::uint32_t header[3] = {9, 8, 1};
  std::string needle(reinterpret_cast<const char*>(header), sizeof header);
  needle.append("RVUKiosk\0\0\0\0", 12);
  const size_t at = bytes.find(needle);
  ASSERT_NE(at, std::string::npos);
  const std::uint32_t words[2] = {(2u << 16) | 3u, (4u << 16) | 65535u};
  std::memcpy(&bytes[at + needle.size()], words, sizeof words);
  TempDir dir;
  WriteWholeFile(dir.File("patched"), bytes);
  EXPECT_EQ(platform::ReadFileVersion(dir.File("patched")), "2.3.4.65535");
}

}  // namespace
