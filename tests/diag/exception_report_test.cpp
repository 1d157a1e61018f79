#include "diag/exception_report.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <filesystem>
#include <utility>
#include <vector>

#include "diag/log.h"
#include "diag/report_throttle.h"
#include "diag/text.h"
#include "platform/clock.h"
#include "platform/system.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace diag;
using platform::EncodeDateTime;
using testsupport::ReadWholeFile;
using testsupport::WriteWholeFile;

class ExceptionReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Globals = tGlobalSettings{};
    Globals.ProgramVersion = "1.0.3.27";
    clock->SetTickCount(8 * 86400000u + 3 * 3600000u + 2000u);
  }
  void TearDown() override {
    Globals = tGlobalSettings{};
    platform::SetBeepSink({});
  }

  static tExceptionRec Record() {
    return {"RVULib.GetRVUSrvcXML", "EConvertError", "'' is not a valid integer value", 600, "notes", "", false};
  }

  testsupport::TempDir dir;
  testsupport::ScopedCwd cwd{dir.path()};
  testsupport::ScopedProgramPath program{dir.File("bin/rvukiosk")};
  testsupport::ScopedClock clock{EncodeDateTime({2026, 12, 9, 13, 45, 10, 123})};

  void SetUpProgramFolder() { std::filesystem::create_directory(dir.File("bin")); }

  size_t ReportsInFolder() const {
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.File("bin")))
      count += entry.path().extension() == ".XML";
    return count;
  }
  static std::string Element(const std::string& report, const char* name) {
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_file(report.c_str())) << report;
    return doc.child("xml").child("Exception").child(name).text().get();
  }
};

TEST(MachineUpTime, FromTicks) {
  struct Case {
    std::uint32_t ticks;
    const char* text;
    double days;
  } cases[] = {
      {0, "0w0d0h0m0s", 0},
      {999, "0w0d0h0m0s", 0},
      {8 * 86400000u + 3 * 3600000u + 2000u, "1w1d3h0m2s", 8 + 3 / 24.0 + 2 / 86400.0},
      {4294967295u, "7w0d17h2m47s", 49 + 17 / 24.0 + 2 / 1440.0 + 47 / 86400.0},
  };
  for (const auto& c : cases) {
    const auto up = MachineUpTimeFromTicks(c.ticks);
    EXPECT_EQ(up.Text, c.text);
    EXPECT_EQ(up.Ticks, c.ticks);
    EXPECT_NEAR(up.Days, c.days, 1e-9);
  }
  EXPECT_NEAR(MachineUpTimeFromTicks(8 * 86400000u + 3 * 3600000u + 2000u).Days, 8.125023, 1e-6);
}

TEST(ExceptionReportNames, Patterns) {
  const auto now = EncodeDateTime({2026, 12, 9, 13, 45, 10, 7});
  EXPECT_EQ(ExceptionReportName("", now), "EXCEPTION-20261209134510007.XML");
  EXPECT_EQ(ExceptionReportName("ERR-{timestamp}-{timestamp}.xml", now), "ERR-20261209134510007-{timestamp}.xml");
  EXPECT_EQ(ExceptionReportName("fixed.xml", now), "fixed.xml");
}

TEST_F(ExceptionReportTest, ReportParsesBackWithEveryElementInOrder) {
  SetUpProgramFolder();
  std::vector<std::pair<int, int>> beeps;
  platform::SetBeepSink([&beeps](int hz, int ms) { beeps.emplace_back(hz, ms); });
  auto rec = Record();
  rec.Message = "first line\r\nsecond line";
  rec.BeepOnSave = true;
  const std::string name = SaveExceptionRecAsXML(rec);
  EXPECT_EQ(name, dir.File("bin/EXCEPTION-20261209134510123.XML"));

  // Line breaks are written as they are; a parser that keeps them sees CR LF.
  EXPECT_NE(ReadWholeFile(name).find("first line\r\nsecond line"), std::string::npos);
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file(name.c_str(), pugi::parse_default & ~pugi::parse_eol));
  const auto report = doc.child("xml").child("Exception");
  std::vector<std::pair<std::string, std::string>> elements;
  for (auto child : report.children()) elements.emplace_back(child.name(), child.text().get());
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"DateTime", "2026-12-09 13:45:10"},
      {"MachineUpTime", "1w1d3h0m2s"},
      {"SelfName", ""},
      {"Version", "1.0.3.27"},
      {"Function", "RVULib.GetRVUSrvcXML"},
      {"Trace", "600"},
      {"HostName", ""},
      {"ClassName", "EConvertError"},
      {"e.Message", "first line\r\nsecond line"},
      {"Notes", "notes"},
  };
  EXPECT_EQ(elements, expected);
  EXPECT_EQ(beeps, (std::vector<std::pair<int, int>>{{200, 50}, {400, 50}, {800, 50}, {1600, 50}}));
  EXPECT_FALSE(std::filesystem::exists(dir.File("Exception.txt")));
}

// Message and notes may carry an answer's text: each is cut at the bound with a
// marker saying how long it was.
TEST_F(ExceptionReportTest, MessageAndNotesAreCutAtTheBound) {
  SetUpProgramFolder();
  const std::string marker = "... [cut, 1025 bytes]";
  const std::string marker64MiB = "... [cut, 67108864 bytes]";
  const struct {
    size_t length;
    std::string written;
  } cases[] = {
      {kOutsideTextMaxBytes, std::string(1024, 'v')},
      {kOutsideTextMaxBytes + 1, std::string(1024 - marker.size(), 'v') + marker},
      {64u << 20, std::string(1024 - marker64MiB.size(), 'v') + marker64MiB},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    auto rec = Record();
    rec.Trace = static_cast<std::int32_t>(c.length % 1000);  // each its own failure, so none is held back
    rec.Message = std::string(c.length, 'v');
    rec.Notes = rec.Message;
    const std::string name = SaveExceptionRecAsXML(rec);
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(name.c_str()));
    const auto report = doc.child("xml").child("Exception");
    EXPECT_EQ(report.child("e.Message").text().get(), c.written);
    EXPECT_EQ(report.child("Notes").text().get(), c.written);
    EXPECT_LT(std::filesystem::file_size(name), 4096u);
  }
}

TEST_F(ExceptionReportTest, ReportsInTheSameMillisecondNeverReplaceEachOther) {
  SetUpProgramFolder();
  auto first = Record();
  auto second = Record();
  second.Trace = -5;
  auto third = Record();
  third.Trace = 0;
  EXPECT_EQ(SaveExceptionRecAsXML(first), dir.File("bin/EXCEPTION-20261209134510123.XML"));
  EXPECT_EQ(SaveExceptionRecAsXML(second), dir.File("bin/EXCEPTION-20261209134510123-2.XML"));
  EXPECT_EQ(SaveExceptionRecAsXML(third), dir.File("bin/EXCEPTION-20261209134510123-3.XML"));
  EXPECT_NE(ReadWholeFile(dir.File("bin/EXCEPTION-20261209134510123.XML")).find("<Trace>600</Trace>"), std::string::npos);
  EXPECT_NE(ReadWholeFile(dir.File("bin/EXCEPTION-20261209134510123-2.XML")).find("<Trace>-5</Trace>"), std::string::npos);
  EXPECT_NE(ReadWholeFile(dir.File("bin/EXCEPTION-20261209134510123-3.XML")).find("<Trace>0</Trace>"), std::string::npos);

  auto patterned = Record();
  patterned.FileName = "ERR-{timestamp}-{timestamp}.xml";
  patterned.Trace = 700;
  EXPECT_EQ(SaveExceptionRecAsXML(patterned), dir.File("bin/ERR-20261209134510123-{timestamp}.xml"));
  patterned.Trace = 710;
  EXPECT_EQ(SaveExceptionRecAsXML(patterned), dir.File("bin/ERR-20261209134510123-{timestamp}-2.xml"));
}

TEST_F(ExceptionReportTest, AnUnwritableFolderLeavesALineInExceptionTxt) {
  WriteWholeFile(dir.File("bin"), "a plain file where the program folder should be");
  std::vector<int> beeps;
  platform::SetBeepSink([&beeps](int hz, int) { beeps.push_back(hz); });
  auto rec = Record();
  rec.BeepOnSave = true;
  const std::string name = SaveExceptionRecAsXML(rec);
  EXPECT_EQ(name, dir.File("bin/EXCEPTION-20261209134510123.XML"));
  EXPECT_FALSE(std::filesystem::exists(name));
  EXPECT_TRUE(beeps.empty());
  EXPECT_EQ(ReadWholeFile(dir.File("Exception.txt")),
            "09/12/2026 13:45:10: rer32.SaveExceptionRecAsXML LogRec.Trace=420 E.Message=Cannot create " + name +
                ": Not a directory sFileName=" + name + " \r\n");
}

TEST_F(ExceptionReportTest, BadInputStillGivesAReadableReport) {
  SetUpProgramFolder();
  auto rec = Record();
  rec.Message = std::string("nul\0bell\x07 high\xE9 <&>", 19) + std::string(1 << 20, 'm');
  rec.Notes = "\x01\x02\x1F";
  rec.Function = "";
  const std::string name = SaveExceptionRecAsXML(rec);
  ASSERT_TRUE(std::filesystem::exists(name));
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file(name.c_str()));
  const auto report = doc.child("xml").child("Exception");
  const std::string message = report.child("e.Message").text().get();
  EXPECT_EQ(message.substr(0, 20), "nul?bell? high\xC3\xA9 <&>");  // control characters as "?", é as UTF-8
  // Cut at the bound (the é written as two bytes), with the message's full length.
  EXPECT_EQ(message.size(), kOutsideTextMaxBytes + 1);
  EXPECT_TRUE(message.ends_with("m... [cut, 1048595 bytes]")) << message.substr(message.size() - 40);
  EXPECT_STREQ(report.child("Notes").text().get(), "???");
  EXPECT_FALSE(std::filesystem::exists(dir.File("Exception.txt")));
}

// A service that stays unreachable fails the same way on every poll: one
// report an hour, the next one saying how many were left out in between.
TEST_F(ExceptionReportTest, ARepeatedFailureIsReportedOnceAnHourSayingHowManyWereLeftOut) {
  SetUpProgramFolder();
  std::vector<int> beeps;
  platform::SetBeepSink([&beeps](int hz, int) { beeps.push_back(hz); });
  auto rec = Record();
  rec.BeepOnSave = true;
  const std::string first = SaveExceptionRecAsXML(rec);
  EXPECT_EQ(first, dir.File("bin/EXCEPTION-20261209134510123.XML"));
  EXPECT_EQ(beeps.size(), 4u);

  // A poll every 15 s, each message a little different, up to one millisecond
  // before the hour: no report, and each call names the one that describes it.
  std::int64_t elapsed = 0, heldBack = 0;
  auto again = [&](std::int64_t step) {
    clock->Advance(step);
    elapsed += step;
    rec.Message = "attempt " + std::to_string(++heldBack);
    return SaveExceptionRecAsXML(rec);
  };
  while (elapsed + 15000 < kRepeatedReportIntervalMs) ASSERT_EQ(again(15000), first);
  ASSERT_EQ(again(kRepeatedReportIntervalMs - 1 - elapsed), first);
  EXPECT_EQ(heldBack, 240);
  EXPECT_EQ(ReportsInFolder(), 1u);
  EXPECT_EQ(beeps.size(), 4u) << "a report held back makes no sound";

  // The hour is up: the next one is written and tells the count.
  const std::string second = again(1);
  --heldBack;  // this one is written
  EXPECT_EQ(second, dir.File("bin/EXCEPTION-20261209144510123.XML"));
  EXPECT_EQ(ReportsInFolder(), 2u);
  EXPECT_EQ(Element(second, "Notes"), "notes [Held back=" + std::to_string(heldBack) + "]");
  EXPECT_EQ(Element(second, "e.Message"), "attempt 241");
  EXPECT_EQ(Element(first, "Notes"), "notes");
  EXPECT_EQ(beeps.size(), 8u);

  // The count starts again from there.
  EXPECT_EQ(again(15000), second);
  EXPECT_EQ(ReportsInFolder(), 2u);
}

TEST_F(ExceptionReportTest, AnotherRoutineClassOrStepHasItsOwnReport) {
  SetUpProgramFolder();
  SaveExceptionRecAsXML(Record());
  struct Case {
    const char* change;
    void (*apply)(tExceptionRec&);
    bool ownReport;
  } cases[] = {
      {"routine", [](tExceptionRec& r) { r.Function = "RVULib.GetIncidentRecFromWeb"; }, true},
      {"class", [](tExceptionRec& r) { r.ClassName = "EIdSocketError"; }, true},
      {"step", [](tExceptionRec& r) { r.Trace = 400; }, true},
      {"message only", [](tExceptionRec& r) { r.Message = "another text"; }, false},
      {"notes only", [](tExceptionRec& r) { r.Notes = "other notes"; }, false},
  };
  for (const auto& c : cases) {
    clock->Advance(60000);
    auto rec = Record();
    c.apply(rec);
    const size_t before = ReportsInFolder();
    const std::string name = SaveExceptionRecAsXML(rec);
    EXPECT_EQ(ReportsInFolder() - before, c.ownReport ? 1u : 0u) << c.change;
    EXPECT_EQ(Element(name, "Notes"), c.ownReport ? rec.Notes : "notes") << c.change;
    // ... and is held back in turn when it comes again.
    clock->Advance(15000);
    EXPECT_EQ(SaveExceptionRecAsXML(rec), name) << c.change;
  }
  EXPECT_EQ(ReportsInFolder(), 4u);
}

TEST_F(ExceptionReportTest, AReportThatCouldNotBeWrittenIsWrittenOnceThereIsRoom) {
  WriteWholeFile(dir.File("bin"), "a plain file where the program folder should be");
  EXPECT_FALSE(std::filesystem::exists(SaveExceptionRecAsXML(Record())));
  std::filesystem::remove(dir.File("bin"));
  SetUpProgramFolder();
  clock->Advance(15000);
  const std::string name = SaveExceptionRecAsXML(Record());
  ASSERT_TRUE(std::filesystem::exists(name));
  EXPECT_EQ(Element(name, "Notes"), "notes [Held back=1]");
}

}  // namespace
