// The program's folder full (a small tmpfs) or unwritable: the kiosk goes on,
// without a busy loop, and writes again once there is room.
#include <sys/mount.h>
#include <time.h>

#include <QFrame>
#include <filesystem>
#include <fstream>
#include <optional>

#include "tests/reliability/reliability_fixture.h"

namespace {

using testsupport::KioskWithSimulator;
using testsupport::Score;

double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

class LogFaults : public KioskWithSimulator {
 protected:
  void SetUp() override {
    KioskWithSimulator::SetUp();
    folder = dir.File("small");
    std::filesystem::create_directory(folder);
    mounted = mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=64k") == 0;
    program.emplace(folder + "/rvukiosk");
    diag::Globals.Log.LogFileBase.clear();
    diag::Globals.Log.LastDay = 0;
  }
  void TearDown() override {
    program.reset();
    if (mounted) umount2(folder.c_str(), MNT_DETACH);
    KioskWithSimulator::TearDown();
  }
  size_t FilesIn(const std::string& suffix) const {
    size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator(folder))
      n += e.path().string().size() >= suffix.size() &&
           e.path().string().compare(e.path().string().size() - suffix.size(), suffix.size(), suffix) == 0;
    return n;
  }

  std::string folder;
  bool mounted = false;
  std::optional<testsupport::ScopedProgramPath> program;
};

TEST_F(LogFaults, AFullFolderCostsLinesNotTheKiosk) {
  if (!mounted) GTEST_SKIP() << "no tmpfs can be mounted here";
  // Fill the folder to the last byte.
  {
    std::ofstream filler(folder + "/filler", std::ios::binary);
    const std::string block(4096, 'x');
    while (filler.write(block.data(), block.size())) {
    }
  }
  service->Control("/fault?endpoint=feed&mode=status&code=500");

  const double cpuBefore = CpuSeconds();
  window->rchMessages->resize(280, 960);
  for (int i = 0; i < 300; ++i) {
    Tick();
    if (i % 10 == 0) window->IdUDPServer1UDPRead("[CFS:1] still shown " + std::to_string(i));
  }
  const double cpu = CpuSeconds() - cpuBefore;
  EXPECT_EQ(Lines().back().substr(9), "[CFS:1] still shown 290");
  EXPECT_LT(cpu, 5.0);
  // The reports could not be written: their fallback lines went to the working directory.
  const std::string fallback = testsupport::ReadWholeFile(dir.File("Exception.txt"));
  EXPECT_NE(fallback.find("rer32.SaveExceptionRecAsXML LogRec.Trace=420"), std::string::npos);
  EXPECT_EQ(FilesIn(".XML"), 0u);

  // Room again: the next failed poll is reported and logged.
  std::filesystem::remove(folder + "/filler");
  Tick(15);
  const size_t reports = FilesIn(".XML");
  const size_t logs = FilesIn(".CSV");
  EXPECT_GE(reports, 1u);
  EXPECT_EQ(logs, 1u);
  Score("full program folder: CPU for 300 ticks", std::to_string(static_cast<int>(cpu * 1000)) + " ms", "< 5 s", cpu < 5.0);
  Score("full program folder: writing resumes with room", std::to_string(reports) + " reports, " +
                                                              std::to_string(logs) + " log file",
        ">= 1 each", reports >= 1 && logs == 1);
}

TEST_F(LogFaults, AnUnwritableFolderIsNoWorse) {
  // A program folder below a plain file: nothing can be created there, even by root.
  testsupport::WriteWholeFile(dir.File("plain"), "x");
  program.emplace(dir.File("plain/rvukiosk"));
  diag::Globals.Log.LogFileBase.clear();
  service->Control("/fault?endpoint=feed&mode=refuse");
  const double cpuBefore = CpuSeconds();
  Tick(150);
  const double cpu = CpuSeconds() - cpuBefore;
  EXPECT_LT(cpu, 5.0);
  EXPECT_EQ(diag::Globals.Log.ErrorCount, 0);
  Score("unwritable program folder: CPU for 150 ticks", std::to_string(static_cast<int>(cpu * 1000)) + " ms", "< 5 s",
        cpu < 5.0);
}

}  // namespace
