#include "config/kiosk_settings.h"

#include "diag/exception_report.h"
#include "diag/log.h"
#include "diag/text.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/xml.h"

namespace config {

tKioskSettings KioskSettings;

namespace {
constexpr const char* kNotes = "kFileName=RVUKiosk.xml";
}

std::string KioskSettingsFileText(const tKioskSettings& s) {
  using diag::BoolText;
  std::string text;
  auto line = [&text](const std::string& l) { text += l + "\r\n"; };
  line("<xml>");
  line(" <GlobalSettings>");
  line("  <!-- Turn screen saver off when this capcode received -->");
  line("  <CapCode>" + std::to_string(s.CapCode) + "</CapCode>");
  line("  <!-- Only display the following pages -->");
  line("  <CFS>" + BoolText(s.ShowCFS) + "</CFS>");
  line("  <HeartBeat>" + BoolText(s.ShowHeartBeat) + "</HeartBeat>");
  line("  <MFS>" + BoolText(s.ShowMFS) + "</MFS>");
  line("  <MSC>" + BoolText(s.ShowMSC) + "</MSC>");
  line("  <SAAS>" + BoolText(s.ShowSAAS) + "</SAAS>");
  line("  <RVU>" + BoolText(s.ShowRVU) + "</RVU>");
  line("  <Unknown>" + BoolText(s.ShowUnknown) + "</Unknown>");
  line("  <!-- Start with Browser ON or OFF -->");
  line("  <BrowserVisible>" + BoolText(s.BrowserVisible) + "</BrowserVisible>");
  line(" </GlobalSettings>");
  line("</xml>");
  return text;
}

void SaveKioskSettings() {
  // Written whole to a temporary file and renamed over the old one, so a failed
  // write never leaves the settings missing or cut short.
  platform::ReplaceFileAtomically(kFileName, KioskSettingsFileText(KioskSettings));
}

bool GetSettings() {
  using diag::Globals;
  diag::tLogRec logRec;
  bool result = true;
  logRec.Trace = 100;
  ++Globals.CoInitializeCount;
  try {
    if (!platform::FileExists(kFileName)) {
      KioskSettings.ShowCFS = true;
      KioskSettings.ShowMFS = true;
      KioskSettings.ShowSAAS = true;
      KioskSettings.ShowRVU = true;
      KioskSettings.ShowHeartBeat = true;
      KioskSettings.ShowUnknown = true;
      KioskSettings.BrowserVisible = true;
      KioskSettings.DebugMode = false;
      SaveKioskSettings();
    }
    if (platform::FileExists(kFileName)) {
      platform::XmlDocument doc;
      logRec.Trace = 210;  // naming and loading the file are one step here
      doc.LoadFile(kFileName);
      logRec.Trace = 300;
      const platform::XmlElement root = doc.TopElement("xml");
      logRec.Trace = 310;
      const platform::XmlElement settings = root.Child("GlobalSettings");
      auto text = [&settings](const char* name) { return settings.Child(name).Text(); };
      KioskSettings.CapCode = diag::StrToIntOrZero(text("CapCode"));
      KioskSettings.ShowCFS = diag::IsTrueText(text("CFS"));
      KioskSettings.ShowMFS = diag::IsTrueText(text("MFS"));
      KioskSettings.ShowMSC = diag::IsTrueText(text("MSC"));
      KioskSettings.ShowSAAS = diag::IsTrueText(text("SAAS"));
      KioskSettings.ShowRVU = diag::IsTrueText(text("RVU"));
      KioskSettings.ShowHeartBeat = diag::IsTrueText(text("HeartBeat"));
      KioskSettings.ShowUnknown = diag::IsTrueText(text("Unknown"));
      KioskSettings.BrowserVisible = diag::IsTrueText(text("BrowserVisible"));
      KioskSettings.DebugMode = diag::IsTrueText(text("Debug"));
      logRec.Trace = 330;
      (void)text("LoadFromQuorb");  // read and of no effect
    }
  } catch (const std::exception& e) {
    result = false;
    diag::tExceptionRec report{"Lib.GetSettings", platform::ErrorClassName(e), e.what(), logRec.Trace, kNotes, "",
                               false};
    report.FileName = diag::SaveExceptionRecAsXML(report);
    logRec.Code = 30000;
    logRec.Text = diag::FailureLogText("Lib.GetSettings", report.ClassName, report.Message, logRec.Trace,
                                       report.FileName, kNotes);
    diag::LogEntry(logRec);
  }
  --Globals.CoInitializeCount;
  return result;
}

}  // namespace config
