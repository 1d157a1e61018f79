#include "diag/counters.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "diag/exception_report.h"
#include "diag/log.h"
#include "platform/clock.h"
#include "tests/support/kiosk_folders.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace diag;

class DiagCountsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Globals = tGlobalSettings{};
    Globals.Log.SyslogLevel = 7;
    ResetDiagCounts();
  }
  void TearDown() override {
    Globals = tGlobalSettings{};
    ResetDiagCounts();
  }
  testsupport::TempDir dir;
  testsupport::ScopedCwd cwd{dir.path()};
  testsupport::ScopedProgramPath program{dir.File("rvukiosk")};
  testsupport::ScopedClock clock{platform::EncodeDateTime({2026, 12, 9, 13, 45, 10, 123})};
};

std::uint64_t Entries(const tDiagCounts& counts, std::int32_t code) {
  for (const auto& [c, n] : counts.entriesByCode)
    if (c == code) return n;
  return 0;
}

TEST_F(DiagCountsTest, EntriesByCodeUpToTheBoundTheRestTogether) {
  for (std::size_t i = 0; i < kCountedLogCodes; ++i) CountLogEntry(static_cast<std::int32_t>(10000 + i));
  CountLogEntry(10000);
  tDiagCounts counts = DiagCounts();
  EXPECT_EQ(counts.entriesByCode.size(), kCountedLogCodes);
  EXPECT_EQ(Entries(counts, 10000), 2u);
  EXPECT_EQ(counts.entriesOfOtherCodes, 0u);
  // One code past the bound: counted with the others, a known code still on its own.
  CountLogEntry(static_cast<std::int32_t>(10000 + kCountedLogCodes));
  CountLogEntry(10001);
  counts = DiagCounts();
  EXPECT_EQ(counts.entriesByCode.size(), kCountedLogCodes);
  EXPECT_EQ(counts.entriesOfOtherCodes, 1u);
  EXPECT_EQ(Entries(counts, 10001), 2u);
}

TEST_F(DiagCountsTest, LogEntriesWrittenFilteredAndLost) {
  LogEntry({30000, 0, "[Function=T.A]", 0});
  Globals.Log.SyslogLevel = 3;
  LogEntry({60101, 0, "[Function=T.B]", 0});  // above the level: not an entry of the log
  // A program folder below a plain file can never be written, even by root.
  std::ofstream(dir.File("plain")) << "x";
  Globals.Log.LogFileBase = dir.File("plain/rvukiosk");
  LogEntry({30000, 0, "[Function=T.C]", 0});
  const tDiagCounts counts = DiagCounts();
  EXPECT_EQ(Entries(counts, 30000), 2u);
  EXPECT_EQ(Entries(counts, 60101), 0u);
  EXPECT_EQ(counts.logWriteFailures, 1u);
}

TEST_F(DiagCountsTest, ReportsWrittenHeldBackAndFailed) {
  std::filesystem::create_directory(dir.File("bin"));
  testsupport::ScopedProgramPath inBin{dir.File("bin/rvukiosk")};
  tExceptionRec rec{"RVULib.GetRVUSrvcXML", "ESocketError", "refused", 400, "", "", false};
  SaveExceptionRecAsXML(rec);
  SaveExceptionRecAsXML(rec);  // the same failure within the hour
  SaveExceptionRecAsXML(rec);
  rec.Trace = 500;  // another step: a report of its own, into a folder that is gone
  std::filesystem::remove_all(dir.File("bin"));
  std::ofstream(dir.File("bin")) << "x";
  SaveExceptionRecAsXML(rec);
  const tDiagCounts counts = DiagCounts();
  EXPECT_EQ(counts.reportsWritten, 1u);
  EXPECT_EQ(counts.reportsHeldBack, 2u);
  EXPECT_EQ(counts.reportWriteFailures, 1u);
}

}  // namespace
