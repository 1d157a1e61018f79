#pragma once

#include <cstdint>
#include <string>

// The kiosk's own display settings and their file "RVUKiosk.xml" in the
// working directory.
namespace config {

struct tKioskSettings {
  bool BrowserVisible = false;
  std::int32_t CapCode = 0;  // the unit's own pager capcode
  bool ShowHeartBeat = false;
  bool ShowSAAS = false;
  bool ShowRVU = false;
  bool ShowMFS = false;
  bool ShowMSC = false;
  bool ShowCFS = false;
  bool ShowUnknown = false;
  bool DebugMode = false;  // read from a hand-edited file, never written
};

// The process-wide values; whoever changes one calls SaveKioskSettings.
extern tKioskSettings KioskSettings;

inline constexpr const char* kFileName = "RVUKiosk.xml";

// Reads the file into KioskSettings, writing a default file first when there is
// none. False when any step failed; the failure is then reported (an exception
// report and a 30000 log entry) and the values read so far stay.
bool GetSettings();

// Writes KioskSettings to the file, replacing it as a whole. Raises
// platform::Error (EInOutError) when the file cannot be written; the old file
// then stays as it was.
void SaveKioskSettings();

// The file's 16 lines for a set of values, CR LF after each.
std::string KioskSettingsFileText(const tKioskSettings& settings);

}  // namespace config
