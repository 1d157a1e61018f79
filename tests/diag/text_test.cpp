#include "diag/text.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/system.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace diag;
using testsupport::ReadWholeFile;
using testsupport::TempDir;
using testsupport::WriteWholeFile;

TEST(TextHelpers, TextBetween) {
  struct Case {
    const char* start;
    const char* end;
    const char* expected;
  } cases[] = {
      {"<a>", "</a>", "1"},
      {"<b>", "</a>", ""},
      {"<a>", "</b>", "1</a><a>2</a>"},
      {"", "</a>", "<a>1"},
      {"", "", "<a>1</a><a>2</a>"},
      {"<a>", "", "1</a><a>2</a>"},
      {"</a><a>", "</a>", "2"},
      {"<A>", "</a>", ""},  // case counts
  };
  for (const auto& c : cases)
    EXPECT_EQ(TextBetween("<a>1</a><a>2</a>", c.start, c.end), c.expected) << c.start << " / " << c.end;
  // The end marker is searched after the start marker only.
  EXPECT_EQ(TextBetween("</RC><RC>-3</RC>", "<RC>", "</RC>"), "-3");
}

TEST(TextHelpers, StrToIntOrZero) {
  struct Case {
    const char* text;
    std::int32_t expected;
    bool valid;
  } cases[] = {
      {" 42", 42, true},        {"-7", -7, true},           {"+7", 7, true},
      {"42 ", 0, false},        {"", 0, false},             {" ", 0, false},
      {"$1F", 31, true},        {"x1f", 31, true},          {"X10", 16, true},
      {"0x10", 16, true},       {"0X7fffffff", 2147483647, true},
      {"-$10", -16, true},      {"$", 0, false},            {"0x", 0, false},
      {"2147483647", 2147483647, true},                     {"-2147483648", -2147483647 - 1, true},
      {"2147483648", 0, false}, {"-2147483649", 0, false},  {"99999999999999999999", 0, false},
      {"$80000000", 0, false},  {"12a", 0, false},          {"1 2", 0, false},
      {"--1", 0, false},        {"\t1", 0, false},          {"0", 0, true},
      {"007", 7, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StrToIntOrZero(c.text), c.expected) << "'" << c.text << "'";
    std::int32_t value = 12345;
    EXPECT_EQ(TryStrToInt(c.text, value), c.valid) << "'" << c.text << "'";
  }
  try {
    StrToInt("12a");
    FAIL();
  } catch (const platform::Error& e) {
    EXPECT_EQ(e.ClassName(), platform::kConvertError);
    EXPECT_STREQ(e.what(), "'12a' is not a valid integer value");
  }
}

TEST(TextHelpers, FloatConversions) {
  struct Case {
    const char* text;
    double expected;
    bool valid;
  } cases[] = {
      {"1.5", 1.5, true},  {"-2", -2, true},   {" 3.25 ", 3.25, true}, {"1e3", 1000, true},
      {".5", 0.5, true},   {"5.", 5, true},    {"abc", 0, false},      {"", 0, false},
      {"1,5", 0, false},   {"1.5x", 0, false}, {"e5", 0, false},       {"1e", 0, false},
      {"+0.25", 0.25, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsFloatText(c.text), c.valid) << c.text;
    EXPECT_DOUBLE_EQ(StrToFloatOrZero(c.text), c.expected) << c.text;
  }
}

TEST(TextHelpers, FlagsAndSmallConversions) {
  for (const char* t : {"true", "Yes", "enabled", "T", "y", "E"}) EXPECT_TRUE(IsTrueText(t)) << t;
  for (const char* t : {"False", "0", "no", " true", "", "on", "1"}) EXPECT_FALSE(IsTrueText(t)) << t;
  EXPECT_EQ(IfElseStr(true, "True", "False"), "True");
  EXPECT_EQ(IfElseStr(false, "True", "False"), "False");
  EXPECT_EQ(ReplaceEnDash("a &#8211; b &#8211; c"), "a - b - c");
  EXPECT_EQ(ReplaceEnDash("&#8211;&#8211;"), "--");
  EXPECT_EQ(TrimText(" \t\r\n x y \x01"), "x y");
  EXPECT_EQ(UpperCaseText("abc\xE9z"), "ABC\xE9Z");
  EXPECT_EQ(ReplaceFirst("ERR-{timestamp}-{timestamp}.xml", "{timestamp}", "1"), "ERR-1-{timestamp}.xml");
}

TEST(TextHelpers, CutTextKeepsTheBoundAndSaysHowLongTheTextWas) {
  struct Case {
    std::string text;
    size_t maxBytes;
    std::string expected;
  } cases[] = {
      {"", 0, ""},
      {"short", 1024, "short"},
      {std::string(30, 'a'), 30, std::string(30, 'a')},
      {std::string(31, 'a'), 30, "aaaaaaaaaaa... [cut, 31 bytes]"},
      {std::string(100000, 'a'), 30, "aaaaaaa... [cut, 100000 bytes]"},
      // A bound too small for the marker: only the text's beginning.
      {std::string(31, 'a'), 10, std::string(10, 'a')},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CutText(c.text, c.maxBytes), c.expected) << c.text.size() << " " << c.maxBytes;
    EXPECT_LE(CutText(c.text, c.maxBytes).size(), c.maxBytes);
  }
  EXPECT_EQ(CutOutsideText(std::string(kOutsideTextMaxBytes, 'b')), std::string(1024, 'b'));
  EXPECT_EQ(CutOutsideText(std::string(kOutsideTextMaxBytes + 1, 'b')),
            std::string(1024 - 21, 'b') + "... [cut, 1025 bytes]");
}

TEST(TextHelpers, BlankControlChars) {
  EXPECT_EQ(BlankControlChars(std::string("a\0b\r\nc\td\x1f\x7f\x20~\x80\xff", 14)), "a b  c d   ~\x80\xff");
  EXPECT_EQ(BlankControlChars(""), "");
}

TEST(TextHelpers, ProgramVersionAndFolder) {
  EXPECT_EQ(GetFileVersionText(), KIOSK_VERSION);
  EXPECT_EQ(GetFileVersionText(""), KIOSK_VERSION);
  EXPECT_EQ(GetFileVersionText("/bin/ls"), "");
  EXPECT_EQ(GetFileVersionText("/no/such/file"), "");

  EXPECT_EQ(GetAppPath(), platform::FolderOf(platform::ProgramFilePath()));
  EXPECT_EQ(GetAppPath().back(), '/');
  EXPECT_EQ(GetAppPath("rvukiosk"), "");  // no registry of installed programs
  testsupport::ScopedProgramPath moved("/opt/rvukiosk/rvukiosk");
  EXPECT_EQ(GetAppPath(), "/opt/rvukiosk/");
}

TEST(TextHelpers, DeleteMatchingFilesSkipsFoldersAndIgnoresFailures) {
  TempDir dir;
  for (const char* name : {"RVUKiosk.xml", "rvukiosk.XML", ".hidden.xml", "keep.txt"}) WriteWholeFile(dir.File(name), "x");
  std::filesystem::create_directory(dir.File("folder.xml"));
  DeleteMatchingFiles(dir.path() + "*.xml");
  EXPECT_FALSE(std::filesystem::exists(dir.File("RVUKiosk.xml")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("rvukiosk.XML")));
  EXPECT_FALSE(std::filesystem::exists(dir.File(".hidden.xml")));
  EXPECT_TRUE(std::filesystem::exists(dir.File("keep.txt")));
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("folder.xml")));
  DeleteMatchingFiles(dir.path() + "missing/*");  // nothing to list: nothing happens
}

TEST(TextHelpers, AppendTimestampedLine) {
  TempDir dir;
  testsupport::ScopedClock clock(platform::EncodeDateTime({2026, 12, 9, 13, 45, 10, 123}));
  const auto file = dir.File("Exception.txt");
  EXPECT_TRUE(AppendTimestampedLine("first", file));
  clock->SetNow(platform::EncodeDateTime({2026, 12, 10, 0, 0, 0, 0}));
  EXPECT_TRUE(AppendTimestampedLine("at midnight", file));
  EXPECT_EQ(ReadWholeFile(file), "09/12/2026 13:45:10: first\r\n10/12/2026: at midnight\r\n");

  EXPECT_TRUE(AppendTimestampedLine("", file));  // empty text deletes the file
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_TRUE(AppendTimestampedLine("", file));  // also when there is none

  WriteWholeFile(dir.File("plain"), "x");
  EXPECT_FALSE(AppendTimestampedLine("text", dir.File("plain/Exception.txt")));
}

}  // namespace
