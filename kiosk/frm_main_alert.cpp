// The alert: a page to the unit's own capcode heard (a gong, then the page
// read out) and the station's screen switched on. The decisions are
// alert_logic's; the sound and the screen run on threads of their own and get
// values only, so nothing here waits for them.
#include "config/kiosk_settings.h"
#include "diag/log.h"
#include "kiosk/frm_main.h"
#include "platform/clock.h"

namespace kiosk {

namespace {

std::string Function(const char* name) {
  return std::string("[Function=Main.") + name + "][Version=" + diag::Globals.ProgramVersion + "]";
}

void LogProblems(ProblemThrottle& throttle, std::int32_t code, const char* function,
                 const platform::DeviceProblems& problems) {
  if (problems.count == 0) return;
  const ProblemNote note = NoteProblems(throttle, platform::Now(), problems.count);
  if (!note.log) return;
  diag::LogEntry({code, 0,
                  Function(function) + "[Message=" + problems.text + "][Count=" + std::to_string(note.count) + "]",
                  0});
}

}  // namespace

void TfrmMain::StartAlert() {
  const config::AlertSettings& settings = StationSettings.alert;
  if (settings.alert) {
    alertSound_ = options_.makeAlertSound
                      ? options_.makeAlertSound(settings)
                      : platform::MakeAlsaAlertSound({settings.device, settings.voice, settings.rate, settings.volume, {}});
    if (settings.speech) {
      const config::PronunciationTable table = config::ReadPronunciationTable(settings.pronunciationTable);
      pronunciation_ = table.entries;
      for (const std::string& problem : table.problems)
        diag::LogEntry({kStationSettingsProblemCode, 0,
                        Function("FormCreate") + "[Message=" + problem + "][FileName=" + settings.pronunciationTable +
                            "]",
                        0});
    }
  }
  if (settings.screenPower != config::ScreenPowerWay::None) {
    std::unique_ptr<platform::ScreenPower> way =
        options_.makeScreenPower ? options_.makeScreenPower(settings.screenPower)
        : settings.screenPower == config::ScreenPowerWay::Cec ? platform::MakeCecScreenPower()
                                                              : platform::MakeDdcScreenPower();
    screen_ = std::make_unique<platform::ScreenSwitcher>(std::move(way), options_.screenSettle);
    lookDark_.reset();  // the next layout switches the screen to its look, as at waking
  }
}

void TfrmMain::PageAlert(const std::string& text, const DatagramView& view) {
  if (view.ownCapcode && !IsCommandText(text)) SwitchScreen(ScreenEvent::OwnPage);
  const config::AlertSettings& settings = StationSettings.alert;
  const AlertDecision decision =
      DecideAlert(alertMemory_, text, view, alertSound_ != nullptr, config::KioskSettings.CapCode,
                  alertSound_ ? alertSound_->Pending() : 0, platform::Now());
  if (decision == AlertDecision::QueueFull) {
    LogProblems(alertsLeftOut_, kAlertProblemCode, "PageAlert",
                {"Page not heard: " + std::to_string(kAlertsQueued) + " alerts wait already", 1});
    return;
  }
  if (decision != AlertDecision::Start) return;
  const std::string page = PageSpeechText(text, config::KioskSettings.CapCode);
  platform::SoundAlert alert;
  alert.gong = settings.gong;
  if (settings.speech) alert.speech = SpeakableText(page, pronunciation_);
  alert.repeats = settings.repeats;
  alertSound_->Play(alert);
  diag::LogEntry({kAlertStartedCode, 0, Function("PageAlert") + "[Message=Alert][Text=" + page + "]", 0});
}

void TfrmMain::SwitchScreen(ScreenEvent event) {
  if (!screen_) return;
  switch (DecideScreenPower(StationSettings.alert, event)) {
    case ScreenPowerChange::On:
      screen_->Request(platform::ScreenState::On);
      break;
    case ScreenPowerChange::Standby:
      screen_->Request(platform::ScreenState::Standby);
      break;
    case ScreenPowerChange::None:
      break;
  }
}

void TfrmMain::NoteLook(bool dark) {
  if (lookDark_ == dark) return;
  lookDark_ = dark;
  SwitchScreen(dark ? ScreenEvent::WentDark : ScreenEvent::Woke);
}

void TfrmMain::AlertUpkeep() {
  if (alertSound_) LogProblems(soundProblems_, kAlertProblemCode, "AlertSound", alertSound_->TakeProblems());
  if (screen_) LogProblems(screenProblems_, kScreenPowerProblemCode, "ScreenPower", screen_->TakeProblems());
}

}  // namespace kiosk
