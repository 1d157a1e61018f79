#pragma once

#include <cstdint>
#include <string>

#include "platform/datetime.h"

// The service settings file "RVU-Settings.xml", shared with the unit's other
// programs: where the unit's web service lives, and the logging settings.
namespace service {

struct tRVUSettings {
  bool PlayHeartBeat = false;
  double IncidentSamplePeriod = 0;
  platform::TDateTime IncidentSampleSince = 0;
  std::string GUID;
  std::string WWWHost;  // "name" or "name:port" (port 80 without one)
  std::string URI;      // path of the web service program
  std::string UPSXML;
  std::string LoginSuccessURL;
  std::string LoginFailURL;
  std::int32_t UDPPort = 0;
  std::string HQEmail;
  std::string EmailMissingTaskTo;
  std::string RVUPagingPassword;
  std::string ReadAt;
  std::string SMTPRelay;
  std::int32_t ZAVSamplePeriod = 0;
  std::string DBPath;
  std::int32_t DatabaseIdleTimer = 0;
};

// The copy the kiosk reads at start-up and uses afterwards.
extern tRVUSettings ServiceSettings;

inline constexpr const char* gkRVUSettingsFile = "RVU-Settings.xml";
inline constexpr const char* kDefaultWWWHost = "localhost:8080";
inline constexpr const char* kDefaultURI = "/rvu/rvuisapi.dll";

// The 24 lines written when the file is missing, CR LF after each.
std::string DefaultRVUSettingsFileText();

// Fills `settings` from the file (writing the default file first when there is
// none) and hands SyslogServer, SyslogLevel, DaysOfLogsFilesRetained and
// EmailDebugAlertTo to the diagnostics record. A failure ends the reading: the
// values read so far stay, the rest keep what they held, and the failure is
// reported (an exception report and a 30000 log entry). Never raises.
void InitRVUSettings(tRVUSettings& settings);

}  // namespace service
