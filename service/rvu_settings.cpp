#include "service/rvu_settings.h"

#include "diag/exception_report.h"
#include "diag/log.h"
#include "diag/text.h"
#include "platform/clock.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/xml.h"
#include "service/endpoints.h"

namespace service {

tRVUSettings ServiceSettings;

namespace {

constexpr const char* kNotes = "gkRVUSettingsFile=RVU-Settings.xml";

// An integer that must be there: empty or bad text is an error, not 0.
std::int32_t RequiredInt(const std::string& text) { return diag::StrToInt(text); }

platform::TDateTime DateTimeOrZero(const std::string& text) {
  if (text.empty()) return 0;
  platform::TDateTime value = 0;
  const int year = platform::DecodeDateTime(platform::Now()).year;
  if (!platform::TryStrToDateTime(text, platform::kLocaleFormat, year, value))
    throw platform::Error(platform::kConvertError, "'" + text + "' is not a valid date and time");
  return value;
}

}  // namespace

std::string DefaultRVUSettingsFileText() {
  const std::string host = kDefaultWWWHost;
  const std::string lines[] = {
      "<xml>",
      " <GlobalSettings>",
      "  <DBPath>localhost:" + platform::FolderOf(diag::Globals.DataFileName) + "RVU.FDB</DBPath>",
      "  <DatabaseIdleTimer>1500</DatabaseIdleTimer>",
      "  <DaysOfLogsFilesRetained>7</DaysOfLogsFilesRetained>",
      "  <EmailDebugAlertTo>kiosk-alerts@localhost</EmailDebugAlertTo>",
      "  <ZAVSamplePeriod>40</ZAVSamplePeriod>",
      std::string("  <GUID>") + kAccessGUID + "</GUID>",
      "  <HQEmail>hq@localhost</HQEmail>",
      "  <IncidentSampleSince>00:00:00</IncidentSampleSince>",
      "  <LoginSuccessURL>http://" + host + "/sencha/index.html</LoginSuccessURL>",
      "  <LoginFailURL>http://" + host + "/sencha/html/relogin.html</LoginFailURL>",
      "  <PlayHeartBeat>True</PlayHeartBeat>",
      "  <RVUPagingPassword>KTRWN</RVUPagingPassword>",
      "  <SMTPRelay>" + host + "</SMTPRelay>",
      "  <SyslogLevel>7</SyslogLevel>",
      "  <SyslogServer></SyslogServer>",
      "  <DaysOfLogsFilesRetained>7</DaysOfLogsFilesRetained>",
      "  <UDPPort>15167</UDPPort>",
      "  <WWWHost>" + host + "</WWWHost>",
      std::string("  <URI>") + kDefaultURI + "</URI>",
      "  <UPSXML></UPSXML>",
      " </GlobalSettings>",
      "</xml>",
  };
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  return text;
}

void InitRVUSettings(tRVUSettings& settings) {
  using diag::Globals;
  diag::tLogRec logRec;
  logRec.Trace = 100;
  logRec.Started = platform::Now();
  ++Globals.CoInitializeCount;
  try {
    if (!platform::FileExists(gkRVUSettingsFile))
      platform::ReplaceFileAtomically(gkRVUSettingsFile, DefaultRVUSettingsFileText());
    if (platform::FileExists(gkRVUSettingsFile)) {
      platform::XmlDocument doc;
      logRec.Trace = 210;  // naming and loading the file are one step here
      doc.LoadFile(gkRVUSettingsFile);
      logRec.Trace = 220;
      const platform::XmlElement values = doc.TopElement("xml").Child("GlobalSettings");
      auto text = [&values](const char* name) { return values.Child(name).Text(); };

      settings.ReadAt = platform::DateTimeToStr(platform::Now());
      settings.PlayHeartBeat = diag::UpperCaseText(text("PlayHeartBeat")) == "TRUE";
      settings.RVUPagingPassword = text("RVUPagingPassword");
      settings.GUID = text("GUID");
      settings.HQEmail = text("HQEmail");
      settings.EmailMissingTaskTo = text("EmailMissingTaskTo");
      settings.LoginSuccessURL = text("LoginSuccessURL");
      settings.LoginFailURL = text("LoginFailURL");
      settings.UDPPort = diag::StrToIntOrZero(text("UDPPort"));
      logRec.Trace = 300;
      settings.SMTPRelay = text("SMTPRelay");
      settings.IncidentSamplePeriod = diag::StrToFloatOrZero(text("IncidentSamplePeriod"));
      settings.IncidentSampleSince = DateTimeOrZero(text("IncidentSampleSince"));
      settings.UPSXML = text("UPSXML");
      settings.DBPath = text("DBPath");
      if (settings.DBPath.empty()) settings.DBPath = "localhost:" + diag::GetAppPath() + "RVU.FDB";
      settings.DatabaseIdleTimer = diag::StrToIntOrZero(text("DatabaseIdleTimer"));
      logRec.Trace = 400;
      settings.WWWHost = text("WWWHost");
      if (settings.WWWHost.empty()) settings.WWWHost = kDefaultWWWHost;
      settings.URI = text("URI");
      if (settings.URI.empty()) settings.URI = kDefaultURI;
      settings.ZAVSamplePeriod = RequiredInt(text("ZAVSamplePeriod"));
      Globals.Log.SyslogServer = text("SyslogServer");
      Globals.Log.SyslogLevel = RequiredInt(text("SyslogLevel"));
      Globals.Log.DaysOfLogsFilesRetained = RequiredInt(text("DaysOfLogsFilesRetained"));
      Globals.EmailDebugAlertTo = text("EmailDebugAlertTo");
    }
  } catch (const std::exception& e) {
    diag::tExceptionRec report{"RVULib.InitRVUSettings", platform::ErrorClassName(e), e.what(), logRec.Trace, kNotes,
                               Globals.ExceptionFileName, true};
    report.FileName = diag::SaveExceptionRecAsXML(report);
    logRec.Code = 30000;
    logRec.Text = diag::FailureLogText("RVULib.InitRVUSettings", report.ClassName, report.Message, logRec.Trace,
                                       report.FileName, kNotes, {"Classname", "Filename"});
    diag::LogEntry(logRec);
  }
  // Every counted initialisation is undone here.
  Globals.CoInitializeCount = 0;
}

}  // namespace service
