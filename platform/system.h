#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

// Full path of the running program file. Tests may put another path in its
// place, which moves the program's folder (daily logs, exception reports).
std::string ProgramFilePath();
void SetProgramFilePathForTesting(std::string path);  // empty restores the real one

// The version recorded in a program file's version note as "a.b.c.d"; empty
// text for a file without one or a file that cannot be read.
std::string ReadFileVersion(const std::string& path);

// Memory figures as the nearest Linux offers: physical memory from
// /proc/meminfo, the commit limit for the page file, and the process's address
// space for the virtual figures.
struct MemoryStatus {
  std::uint32_t memoryLoad = 0;  // percent of physical memory in use
  std::uint64_t totalPhysical = 0;
  std::uint64_t availPhysical = 0;
  std::uint64_t totalPageFile = 0;
  std::uint64_t availPageFile = 0;
  std::uint64_t totalVirtual = 0;
  std::uint64_t availVirtual = 0;
};
// False when the figures could not be read.
bool QueryMemoryStatus(MemoryStatus& status);

// Sounds a tone. There is usually no speaker, so by default it is silent and
// returns at once; a sink installed here receives every tone instead.
using BeepSink = std::function<void(int frequencyHz, int durationMs)>;
void Beep(int frequencyHz, int durationMs);
void SetBeepSink(BeepSink sink);  // empty restores the silent default

}  // namespace platform
