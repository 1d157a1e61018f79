#include "diag/log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <regex>
#include <sstream>

#include "diag/syslog.h"
#include "diag/text.h"
#include "platform/clock.h"
#include "tests/support/temp_dir.h"
#include "tests/support/udp_receiver.h"

namespace {

using namespace diag;
using platform::EncodeDateTime;
using testsupport::ReadWholeFile;
using testsupport::WriteWholeFile;

std::vector<std::string> Lines(const std::string& content) {
  std::vector<std::string> lines;
  size_t pos = 0;
  for (size_t end; (end = content.find("\r\n", pos)) != std::string::npos; pos = end + 2)
    lines.push_back(content.substr(pos, end - pos));
  EXPECT_EQ(pos, content.size()) << "every line ends with CR LF";
  return lines;
}

class LogEntryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Globals = tGlobalSettings{};
    Globals.Log.ProgramId = "VUDURE";
    Globals.Log.SyslogLevel = 7;
  }
  void TearDown() override {
    Globals = tGlobalSettings{};
    SyslogPort = kSyslogPort;
  }

  std::string LogFile(const char* date) const { return dir.File("rvukiosk-") + date + ".CSV"; }

  testsupport::TempDir dir;
  testsupport::ScopedCwd cwd{dir.path()};
  testsupport::ScopedProgramPath program{dir.File("rvukiosk")};
  testsupport::ScopedClock clock{EncodeDateTime({2026, 12, 9, 13, 45, 10, 123})};
};

TEST(LogLine, CodesAndSeverities) {
  struct Case {
    std::int32_t code;
    const char* text;
    int severity;
  } cases[] = {{5, "00005", 0},        {123456, "123456", 1}, {-30, "-00030", 0}, {30000, "30000", 3},
               {60101, "60101", 6},    {69990, "69990", 6},   {0, "00000", 0},    {-2147483647 - 1, "-2147483648", 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(CodeText(c.code), c.text);
    EXPECT_EQ(CodeSeverity(c.code), c.severity) << c.code;
  }
}

TEST(LogLine, FieldsByteForByte) {
  const auto at = EncodeDateTime({2015, 1, 5, 13, 45, 10, 0});
  const auto stamp = EncodeDateTime({2015, 1, 5, 13, 45, 10, 123});
  struct Case {
    const char* programId;
    std::int32_t code;
    const char* text;
    const char* expected;
  } cases[] = {
      {"VUDURE", 60101, "[Function=RVULib.GetRVUSrvcXML][URL=...][Result=OK]",
       "13:45:10,\"[13:45:10.123]\",\"VUDURE    \",60101,\"[Function=RVULib.GetRVUSrvcXML][URL=...][Result=OK]\"\r\n"},
      {"ABCDEFGHIJKL", 5, "say \"hi\"", "13:45:10,\"[13:45:10.123]\",\"ABCDEFGHIJ\",00005,\"say 'hi'\"\r\n"},
      {"", -30, "a\r\nb", "13:45:10,\"[13:45:10.123]\",\"          \",-00030,\"a  b\"\r\n"},
      {"X", 123456, "", "13:45:10,\"[13:45:10.123]\",\"X         \",123456,\"\"\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatLogLine(at, stamp, c.programId, c.code, c.text), c.expected);
}

// A text from outside never makes a line of its own nor a line of any length:
// its control characters are blanks and it is cut at the bound with a marker,
// while the line's own fields and its CR LF stay as they are.
TEST(LogLine, OutsideTextStaysOneBoundedLine) {
  const auto at = EncodeDateTime({2015, 1, 5, 13, 45, 10, 0});
  const auto stamp = EncodeDateTime({2015, 1, 5, 13, 45, 10, 123});
  const std::string prefix = "13:45:10,\"[13:45:10.123]\",\"VUDURE    \",30000,\"";
  const std::string marker1537 = "... [cut, 1537 bytes]";
  const std::string marker1MiB = "... [cut, 1048576 bytes]";
  struct Case {
    const char* name;
    std::string text;
    std::string field;  // what lies between the text field's quotes
  } cases[] = {
      {"line breaks", "[Message=a\rb\nc\r\n<0>d]", "[Message=a b c  <0>d]"},
      {"every control character", std::string("\0\x01\t\x1b\x1f\x7f|\x20~\x80\xff", 11),
       std::string("      | ~\x80\xff")},
      {"quotes and a line break", "say \"hi\"\r\n", "say 'hi'  "},
      {"at the bound", std::string(kLogTextMaxBytes, 'x'), std::string(1536, 'x')},
      {"one past it", std::string(kLogTextMaxBytes + 1, 'x'), std::string(1536 - marker1537.size(), 'x') + marker1537},
      {"1 MiB with quotes and line feeds", std::string(1 << 20, '"').replace(0, 1, "\n"),
       " " + std::string(1536 - marker1MiB.size() - 1, '\'') + marker1MiB},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string line = FormatLogLine(at, stamp, "VUDURE", 30000, c.text);
    EXPECT_EQ(line, prefix + c.field + "\"\r\n");
    EXPECT_EQ(Lines(line).size(), 1u);
  }
}

TEST(LogLine, NewDayNoteText) {
  tMemoryStatusRec memory;
  memory.MemoryLoad = 41;
  memory.AvailPhysicalPercent = 59;
  memory.TotalPhysical = 2146955264;
  EXPECT_EQ(NewDayNoteText("1.0.3.27", memory),
            "[Function=rer32.LogEntry][Note=New day][Version=1.0.3.27][MemoryLoad=41%][AvailPhysical=59%]"
            "[TotalPhysical=2,146,955,264bytes]");
}

TEST_F(LogEntryTest, WritesOneLineToTheDailyFileBesideTheProgram) {
  const std::string name = LogEntry({60101, 100, "[Function=RVULib.GetRVUSrvcXML][URL=\"x\"][Result=OK]", 0});
  EXPECT_EQ(name, LogFile("20261209"));
  EXPECT_EQ(Globals.Log.LogFileBase, dir.File("rvukiosk"));
  clock->Advance(1500);
  LogEntry({30000, 0, "second", 0});
  EXPECT_EQ(ReadWholeFile(name),
            "13:45:10,\"[13:45:10.123]\",\"VUDURE    \",60101,\"[Function=RVULib.GetRVUSrvcXML][URL='x'][Result=OK]\"\r\n"
            "13:45:11,\"[13:45:11.623]\",\"VUDURE    \",30000,\"second\"\r\n");
  EXPECT_EQ(Globals.Log.ErrorCount, 0);
}

TEST_F(LogEntryTest, SeverityFilter) {
  struct Case {
    int level;
    std::int32_t code;
    bool logged;
  } cases[] = {{5, 60101, false}, {5, 66666, false}, {5, 69990, false}, {5, 30000, true}, {5, 59999, true},
               {0, 9999, true},   {0, 5, true},      {0, 10000, false}, {0, 30000, false}, {7, 79999, true},
               {7, 80000, false}, {-1, 5, false}};
  for (const auto& c : cases) {
    std::filesystem::remove(LogFile("20261209"));
    Globals.Log.SyslogLevel = c.level;
    const std::string name = LogEntry({c.code, 0, "x", 0});
    EXPECT_EQ(name.empty(), !c.logged) << c.level << " " << c.code;
    EXPECT_EQ(std::filesystem::exists(LogFile("20261209")), c.logged) << c.level << " " << c.code;
  }
}

TEST_F(LogEntryTest, SyslogDatagramsByteForByte) {
  testsupport::UdpReceiver receiver;
  Globals.Log.SyslogServer = "127.0.0.1";
  SyslogPort = receiver.port();
  LogEntry({60101, 0, "[Function=RVULib.GetRVUSrvcXML][URL=\"u\"][Result=OK]", 0});
  LogEntry({30000, 0, "failed", 0});
  Globals.Log.SyslogLevel = 5;
  LogEntry({66666, 0, "filtered: neither written nor sent", 0});
  EXPECT_EQ(receiver.Receive(),
            "<134>Dec 09 2026 13:45:10: %VUDURE: 60101: [Function=RVULib.GetRVUSrvcXML][URL='u'][Result=OK]");
  EXPECT_EQ(receiver.Receive(), "<131>Dec 09 2026 13:45:10: %VUDURE: 30000: failed");
  EXPECT_EQ(receiver.Receive(200), std::nullopt);
  EXPECT_EQ(Lines(ReadWholeFile(LogFile("20261209"))).size(), 2u);
}

TEST_F(LogEntryTest, UnreachableSyslogAndUnwritableFolderNeverEscape) {
  Globals.Log.SyslogServer = "no-such-host.invalid";
  EXPECT_EQ(LogEntry({30000, 0, "kept", 0}), LogFile("20261209"));
  EXPECT_EQ(Lines(ReadWholeFile(LogFile("20261209"))).size(), 1u);

  // A program folder below a plain file can never be written, even by root.
  WriteWholeFile(dir.File("plain"), "x");
  Globals.Log.LogFileBase = dir.File("plain/rvukiosk");
  EXPECT_EQ(LogEntry({30000, 0, "lost", 0}), dir.File("plain/rvukiosk-20261209.CSV"));
  EXPECT_EQ(Globals.Log.ErrorCount, 0);  // a lost line still counts as a completed call
}

TEST_F(LogEntryTest, HugeTextsAndNulBytesGoCutAndBlankedIntoTheLineAndTheDatagram) {
  testsupport::UdpReceiver receiver;
  Globals.Log.SyslogServer = "127.0.0.1";
  SyslogPort = receiver.port();
  std::string text(200000, 'x');
  text[10] = '\0';
  text[11] = '"';
  text[12] = '\n';
  EXPECT_EQ(LogEntry({30000, 0, text, 0}), LogFile("20261209"));
  const std::string kept = std::string(10, 'x') + " ' ";

  const auto datagram = receiver.Receive();
  ASSERT_TRUE(datagram);
  EXPECT_LE(datagram->size(), kSyslogDatagramMaxBytes);
  EXPECT_EQ(datagram->find("<131>Dec 09 2026 13:45:10: %VUDURE: 30000: " + kept), 0u) << *datagram;
  EXPECT_TRUE(datagram->ends_with("x... [cut, 200007 bytes]")) << *datagram;

  const auto lines = Lines(ReadWholeFile(LogFile("20261209")));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find(",30000,\"" + kept + "xxx"), std::string::npos) << lines[0];
  EXPECT_TRUE(lines[0].ends_with("x... [cut, 200000 bytes]\"")) << lines[0];
  // The line's own fields (46 bytes here and the closing quote) and the cut text.
  EXPECT_EQ(lines[0].size(), 47 + kLogTextMaxBytes);
}

TEST_F(LogEntryTest, ABusyLogDropsTheLineAfterThreeSeconds) {
  Globals.Log.Busy = true;
  const auto before = platform::CurrentClock().UnixMillis();
  EXPECT_EQ(LogEntry({30000, 0, "dropped", 0}), LogFile("20261209"));
  EXPECT_GE(platform::CurrentClock().UnixMillis() - before, 3000);
  EXPECT_FALSE(std::filesystem::exists(LogFile("20261209")));
  EXPECT_EQ(Globals.Log.ErrorCount, 0);
  Globals.Log.Busy = false;
  LogEntry({30000, 0, "written", 0});
  EXPECT_TRUE(std::filesystem::exists(LogFile("20261209")));
}

TEST_F(LogEntryTest, NewDayPurgesOldFilesThenWritesTheNote) {
  Globals.Log.DaysOfLogsFilesRetained = 7;
  Globals.ProgramVersion = "1.0.3.27";
  struct File {
    std::string path;
    bool kept;
  } files[] = {
      {LogFile("20261202"), false},                  // seven days back: beyond the retention
      {LogFile("20261203"), true},                   // six days back: the oldest kept
      {LogFile("20261209"), true},                   // today
      {dir.File("rvukiosk-20261101.csv"), false},    // any case of the ending
      {dir.File("rvukiosk-notes.CSV"), false},       // no date at all
      {dir.File("other-20261101.CSV"), true},        // another program's file
      {dir.File("Report.xls"), false},               // working directory, no date
      {dir.File("Report-20261208.XLS"), true},
      {dir.File("Report-20261001.Xls"), false},
      {dir.File("report-20261001.xls"), true},       // the prefix must match in exact case to delete
  };
  for (const auto& f : files) WriteWholeFile(f.path, "");

  LogEntry({60101, 0, "first of the day", 0});
  for (const auto& f : files) EXPECT_EQ(std::filesystem::exists(f.path), f.kept) << f.path;
  auto lines = Lines(ReadWholeFile(LogFile("20261209")));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(13:45:10,"\[13:45:10\.123\]","VUDURE    ",69990,"\[Function=rer32\.LogEntry\]\[Note=New day\]\[Version=1\.0\.3\.27\]\[MemoryLoad=\d+%\]\[AvailPhysical=\d+%\]\[TotalPhysical=\d{1,3}(,\d{3})*bytes\]")")))
      << lines[0];
  EXPECT_NE(lines[1].find("first of the day"), std::string::npos);
  EXPECT_EQ(Globals.Log.LastDay, platform::WholeDay(platform::Now()));

  LogEntry({60101, 0, "same day, no note", 0});
  EXPECT_EQ(Lines(ReadWholeFile(LogFile("20261209"))).size(), 3u);

  // After midnight the new file starts with the note, and the oldest kept file goes.
  clock->SetNow(EncodeDateTime({2026, 12, 10, 0, 0, 5, 0}));
  LogEntry({30000, 0, "after midnight", 0});
  EXPECT_FALSE(std::filesystem::exists(LogFile("20261203")));
  lines = Lines(ReadWholeFile(LogFile("20261210")));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find(",69990,"), std::string::npos);
  EXPECT_NE(lines[1].find("after midnight"), std::string::npos);
}

// Error reports in the program's folder are kept as long as the daily files
// and purged with them; the report's time stamp starts with its date.
TEST_F(LogEntryTest, NewDayPurgesErrorReportsWithTheLogFiles) {
  std::filesystem::create_directory(dir.File("bin"));
  testsupport::ScopedProgramPath inBin(dir.File("bin/rvukiosk"));  // the working directory stays above it
  Globals.Log.DaysOfLogsFilesRetained = 7;
  struct File {
    const char* name;
    bool kept;
  } files[] = {
      {"bin/EXCEPTION-20261202235959999.XML", false},    // seven days back: beyond the retention
      {"bin/EXCEPTION-20261203000000000.XML", true},     // six days back: the oldest kept
      {"bin/EXCEPTION-20261209134510000.XML", true},     // today
      {"bin/EXCEPTION-20261101080000000-2.XML", false},  // the second report of a millisecond
      {"bin/EXCEPTION-20251120202612085.XML", false},    // its time of day, 20:26:12.085, reads as a recent date
      {"bin/EXCEPTION-20261101080000000.xml", false},    // any case of the ending
      {"bin/exception-20261101080000000.XML", true},     // the prefix must match in exact case to delete
      {"bin/EXCEPTION-20261101080000000.txt", true},     // another ending
      {"bin/ERR-20261101080000000.xml", true},           // another name
      {"bin/RVU-Settings.xml", true},
      {"bin/RVUKiosk.xml", true},
      {"bin/Exception.txt", true},
      {"EXCEPTION-20261101080000000.XML", true},         // outside the program's folder
  };
  for (const auto& f : files) WriteWholeFile(dir.File(f.name), "");

  LogEntry({60101, 0, "first of the day", 0});
  for (const auto& f : files) EXPECT_EQ(std::filesystem::exists(dir.File(f.name)), f.kept) << f.name;

  // The next day the oldest kept one goes too.
  clock->SetNow(EncodeDateTime({2026, 12, 10, 0, 0, 5, 0}));
  LogEntry({60101, 0, "after midnight", 0});
  EXPECT_FALSE(std::filesystem::exists(dir.File("bin/EXCEPTION-20261203000000000.XML")));
  EXPECT_TRUE(std::filesystem::exists(dir.File("bin/EXCEPTION-20261209134510000.XML")));
}

TEST_F(LogEntryTest, NoRetentionMeansNoPurgeAndNoNote) {
  Globals.Log.DaysOfLogsFilesRetained = 0;
  WriteWholeFile(LogFile("20200101"), "");
  WriteWholeFile(dir.File("Report.xls"), "");
  WriteWholeFile(dir.File("EXCEPTION-20200101000000000.XML"), "");
  LogEntry({60101, 0, "x", 0});
  EXPECT_TRUE(std::filesystem::exists(LogFile("20200101")));
  EXPECT_TRUE(std::filesystem::exists(dir.File("EXCEPTION-20200101000000000.XML")));
  EXPECT_TRUE(std::filesystem::exists(dir.File("Report.xls")));
  EXPECT_EQ(Lines(ReadWholeFile(LogFile("20261209"))).size(), 1u);
  EXPECT_EQ(Globals.Log.LastDay, 0);
}

TEST_F(LogEntryTest, AnEntryFilteredOutStillRunsTheNewDay) {
  // With a level below 6 the note itself is filtered, but the purge runs.
  Globals.Log.DaysOfLogsFilesRetained = 1;
  Globals.Log.SyslogLevel = 3;
  WriteWholeFile(LogFile("20261208"), "");
  EXPECT_EQ(LogEntry({60101, 0, "filtered", 0}), "");
  EXPECT_FALSE(std::filesystem::exists(LogFile("20261208")));
  EXPECT_FALSE(std::filesystem::exists(LogFile("20261209")));
}

TEST_F(LogEntryTest, PurgeWithAHugeRetentionIsQuick) {
  WriteWholeFile(LogFile("00010101"), "");
  WriteWholeFile(LogFile("99991231"), "");  // a date in the future is not among the last days
  EXPECT_EQ(PurgeOldFiles(dir.File("rvukiosk"), "csv", 2147483647), 1);
  EXPECT_TRUE(std::filesystem::exists(LogFile("00010101")));
  EXPECT_FALSE(std::filesystem::exists(LogFile("99991231")));
  EXPECT_EQ(PurgeOldFiles(dir.File("missing/rvukiosk"), "csv", 7), 0);
}

TEST(LogHelpers, AppendTextToFile) {
  testsupport::TempDir dir;
  const auto file = dir.File("a.txt");
  EXPECT_TRUE(AppendTextToFile("one", file, true));
  EXPECT_TRUE(AppendTextToFile("two", file, true));
  EXPECT_EQ(ReadWholeFile(file), "onetwo");
  EXPECT_TRUE(AppendTextToFile("three", file, false));
  EXPECT_EQ(ReadWholeFile(file), "three");
  EXPECT_TRUE(AppendTextToFile("", file, false));  // deleted, nothing written
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_FALSE(AppendTextToFile("x", dir.File("missing/a.txt"), true));
}

TEST(LogHelpers, TimeStampTextAndMemoryStatus) {
  testsupport::ScopedClock clock(EncodeDateTime({2026, 12, 9, 7, 5, 3, 9}));
  EXPECT_EQ(TimeStampText(), "07:05:03.009");
  EXPECT_EQ(TimeStampText(EncodeDateTime({2000, 1, 1, 23, 59, 58, 999})), "23:59:58.999");

  tMemoryStatusRec memory;
  memory.MemoryLoad = 999;
  ReadMemoryStatus(memory);
  ASSERT_TRUE(memory.Valid);
  EXPECT_GT(memory.TotalPhysical, 0u);
  EXPECT_LE(memory.AvailPhysical, memory.TotalPhysical);
  EXPECT_LE(memory.MemoryLoad, 100u);
  for (int percent : {memory.AvailPhysicalPercent, memory.AvailPageFilePercent, memory.AvailVirtualPercent}) {
    EXPECT_GE(percent, 0);
    EXPECT_LE(percent, 100);
  }
  EXPECT_EQ(memory.AvailPhysicalPercent,
            static_cast<int>(std::nearbyint(100.0 * static_cast<double>(memory.AvailPhysical) /
                                            static_cast<double>(memory.TotalPhysical))));
}

}  // namespace
