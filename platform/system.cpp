#include "platform/system.h"

#include <sys/resource.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <utility>

namespace platform {

namespace {
std::string gProgramPathOverride;
BeepSink gBeepSink;

// Values of /proc/meminfo-style files ("Key:   123 kB") in bytes.
std::map<std::string, std::uint64_t> ReadKiloByteTable(const char* path) {
  std::map<std::string, std::uint64_t> table;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string key;
    std::uint64_t value = 0;
    std::string unit;
    if (!(fields >> key >> value)) continue;
    fields >> unit;
    if (!key.empty() && key.back() == ':') key.pop_back();
    table[key] = unit == "kB" ? value * 1024 : value;
  }
  return table;
}
}  // namespace

std::string ProgramFilePath() {
  if (!gProgramPathOverride.empty()) return gProgramPathOverride;
  char buffer[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  return std::string(buffer, static_cast<size_t>(n));
}

void SetProgramFilePathForTesting(std::string path) { gProgramPathOverride = std::move(path); }

bool QueryMemoryStatus(MemoryStatus& status) {
  status = MemoryStatus{};
  const auto mem = ReadKiloByteTable("/proc/meminfo");
  auto value = [&mem](const char* key, std::uint64_t& out) {
    auto it = mem.find(key);
    if (it == mem.end()) return false;
    out = it->second;
    return true;
  };
  std::uint64_t committed = 0;
  if (!value("MemTotal", status.totalPhysical) || !value("MemAvailable", status.availPhysical) ||
      !value("CommitLimit", status.totalPageFile) || !value("Committed_AS", committed))
    return false;
  if (status.totalPhysical == 0) return false;
  status.availPageFile = committed < status.totalPageFile ? status.totalPageFile - committed : 0;
  const double used = 100.0 * static_cast<double>(status.totalPhysical - std::min(status.availPhysical, status.totalPhysical)) /
                      static_cast<double>(status.totalPhysical);
  status.memoryLoad = static_cast<std::uint32_t>(std::nearbyint(used));

  // The process's address space: its limit (or the 47-bit user space of
  // x86-64 without one) less what it has mapped.
  rlimit limit{};
  std::uint64_t total = 1ULL << 47;
  if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) total = limit.rlim_cur;
  const auto self = ReadKiloByteTable("/proc/self/status");
  auto vm = self.find("VmSize");
  if (vm == self.end()) return false;
  status.totalVirtual = total;
  status.availVirtual = vm->second < total ? total - vm->second : 0;
  return true;
}

void Beep(int frequencyHz, int durationMs) {
  if (gBeepSink) gBeepSink(frequencyHz, durationMs);
}

void SetBeepSink(BeepSink sink) { gBeepSink = std::move(sink); }

}  // namespace platform
