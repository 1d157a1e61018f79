#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "platform/error.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::ReadWholeFile;
using testsupport::TempDir;
using testsupport::WriteWholeFile;

TEST(Files, WildcardMatching) {
  struct Case {
    const char* pattern;
    const char* name;
    bool ignoreCase;
    bool expected;
  } cases[] = {
      {"*", "", true, true},
      {"*", ".hidden", true, true},
      {"rvukiosk*csv", "rvukiosk-20261209.CSV", true, true},
      {"rvukiosk*csv", "rvukiosk-20261209.CSV", false, false},
      {"Report*xls", "report-old.XLS", true, true},
      {"Report*xls", "Report.xlsx", true, false},
      {"a?c", "abc", false, true},
      {"a?c", "ac", false, false},
      {"*a*b*c", "xxaxxbxxbc", false, true},
      {"*.XML", "EXCEPTION-1.XML", false, true},
      {"RVUKiosk.xml", "RVUKiosk.xml", false, true},
      {"RVUKiosk.xml", "RVUKiosk.xml.bak", true, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(platform::WildcardMatch(c.pattern, c.name, c.ignoreCase), c.expected) << c.pattern << " ~ " << c.name;
}

TEST(Files, FolderAndNameParts) {
  EXPECT_EQ(platform::FolderOf("/opt/rvukiosk/rvukiosk"), "/opt/rvukiosk/");
  EXPECT_EQ(platform::NameOf("/opt/rvukiosk/rvukiosk"), "rvukiosk");
  EXPECT_EQ(platform::FolderOf("Report"), "");
  EXPECT_EQ(platform::NameOf("Report"), "Report");
}

TEST(Files, ListingIgnoresCaseAndIncludesHiddenEntriesAndFolders) {
  TempDir dir;
  for (const char* name : {"rvukiosk-20261209.CSV", "rvukiosk-20261208.csv", ".rvukiosk-hidden.CSV", "other.CSV"})
    WriteWholeFile(dir.File(name), "x");
  std::filesystem::create_directory(dir.File("RVUKIOSK-folder.csv"));

  auto entries = platform::ListMatching(dir.path() + "rvukiosk*csv");
  std::vector<std::string> names;
  for (const auto& e : entries) {
    names.push_back(e.name);
    EXPECT_EQ(e.isDirectory, e.name == "RVUKIOSK-folder.csv") << e.name;
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"RVUKIOSK-folder.csv", "rvukiosk-20261208.csv", "rvukiosk-20261209.CSV"}));

  auto hidden = platform::ListMatching(dir.path() + ".*");
  ASSERT_EQ(hidden.size(), 1u);
  EXPECT_EQ(hidden[0].name, ".rvukiosk-hidden.CSV");

  EXPECT_THROW(platform::ListMatching(dir.path() + "missing/*"), platform::Error);
}

TEST(Files, ExistenceAndDeletion) {
  TempDir dir;
  const auto file = dir.File("a.txt");
  EXPECT_FALSE(platform::FileExists(file));
  WriteWholeFile(file, "");
  EXPECT_TRUE(platform::FileExists(file));
  EXPECT_FALSE(platform::FileExists(dir.path()));  // a folder is not a file
  EXPECT_TRUE(platform::DeleteFile(file));
  EXPECT_FALSE(platform::DeleteFile(file));
}

TEST(Files, AppendCreatesThenAppendsBytesUnchanged) {
  TempDir dir;
  const auto file = dir.File("log.CSV");
  const std::string first("a\0b\r\n", 5);
  platform::AppendToFile(file, first);
  platform::AppendToFile(file, "\xE9\xFF");
  EXPECT_EQ(ReadWholeFile(file), first + "\xE9\xFF");
  EXPECT_THROW(platform::AppendToFile(dir.File("missing/log.CSV"), "x"), platform::Error);
}

TEST(Files, AtomicReplaceKeepsTheOldFileWhenTheWriteFails) {
  TempDir dir;
  const auto file = dir.File("RVUKiosk.xml");
  WriteWholeFile(file, "old content\r\n");
  platform::ReplaceFileAtomically(file, "new content\r\n");
  EXPECT_EQ(ReadWholeFile(file), "new content\r\n");
  struct stat st {};
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);

  // A folder in the way of the target makes the rename fail after the write.
  const auto blocked = dir.File("blocked");
  std::filesystem::create_directory(blocked);
  WriteWholeFile(blocked + "/inside", "x");
  try {
    platform::ReplaceFileAtomically(blocked, "new");
    FAIL() << "replacing a folder must fail";
  } catch (const platform::Error& e) {
    EXPECT_EQ(e.ClassName(), platform::kInOutError);
  }
  // Nothing is left behind: only the file, the folder and its content.
  std::vector<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) left.push_back(e.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"RVUKiosk.xml", "blocked"}));
  EXPECT_EQ(ReadWholeFile(file), "new content\r\n");
}

TEST(Files, AtomicReplaceInAFolderThatCannotBeWritten) {
  TempDir dir;
  WriteWholeFile(dir.File("plain"), "x");
  // A path below a plain file cannot be created, even by root.
  EXPECT_THROW(platform::ReplaceFileAtomically(dir.File("plain/RVUKiosk.xml"), "x"), platform::Error);
  EXPECT_THROW(platform::ReadFile(dir.File("missing")), platform::Error);
}

}  // namespace
