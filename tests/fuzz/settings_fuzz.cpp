// Feeds arbitrary bytes to the two settings readers as their files. The first
// byte picks the reader; the rest is the file. A reader must return normally
// whatever the file holds, with the counter of initialisations back at 0.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "config/kiosk_settings.h"
#include "diag/log.h"
#include "platform/system.h"
#include "service/rvu_settings.h"

namespace {
std::string gFolder;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string pattern = "/tmp/kiosk-fuzz-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  gFolder = pattern + "/";
  std::filesystem::create_directory(gFolder + "bin");
  std::filesystem::current_path(gFolder);
  platform::SetProgramFilePathForTesting(gFolder + "bin/rvukiosk");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view content(reinterpret_cast<const char*>(data) + 1, size - 1);
  // A syslog host read from the input could send datagrams off this machine.
  if (content.find("SyslogServer") != std::string_view::npos) return 0;

  const bool kiosk = data[0] & 1;
  {
    std::ofstream out(kiosk ? config::kFileName : service::gkRVUSettingsFile, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
  }
  diag::Globals = diag::tGlobalSettings{};
  if (kiosk) {
    config::GetSettings();
  } else {
    service::tRVUSettings settings;
    service::InitRVUSettings(settings);
  }
  if (diag::Globals.CoInitializeCount != 0) std::abort();

  // Reports, log files and the fallback file of this run go again.
  std::error_code ec;
  for (const auto& folder : {gFolder, gFolder + "bin"})
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
      if (entry.is_regular_file()) std::filesystem::remove(entry.path(), ec);
  return 0;
}
