// The alert from the datagram to the sound card: the real window, the real
// ALSA and espeak-ng adapter, and an ALSA device of the test's own (the `file`
// plugin writing a WAV). The recording is judged by its content: the gong's
// two tones found by their frequencies, the speech after each gong and its
// length against the text's.
#include <gtest/gtest.h>

#include "kiosk/frm_main.h"
#include "platform/files.h"
#include "tests/kiosk/kiosk_fixture.h"
#include "tests/support/wait.h"
#include "tests/support/wav_analysis.h"

namespace {

using namespace kiosk;

constexpr int kRate = 160;  // words a minute

class AlertTest : public testsupport::StationSettingsTest {
 protected:
  std::optional<std::string> StationSettingsText() override {
    return std::string("Alert = ") + (alertOn ? "on" : "off") + "\nAlertRepeats = " + std::to_string(repeats) +
           "\nAlertRate = " + std::to_string(kRate) + "\nAlertDevice = file:FILE=" + dir.File("alert.wav") +
           ",FORMAT=wav\nPronunciationTable = " + dir.File("none.conf") + "\n";
  }
  void SetUp() override {
    KioskTest::SetUp();
    config::KioskSettings.CapCode = 1234;
  }
  void ShowNothing() {
    auto& s = config::KioskSettings;
    s.ShowCFS = s.ShowMFS = s.ShowMSC = s.ShowSAAS = s.ShowRVU = s.ShowUnknown = s.ShowHeartBeat = false;
  }

  // Waits until the sound has played everything, ends the window (which
  // closes the device and finishes the file), and reads what was heard.
  std::vector<testsupport::HeardAlert> Heard() {
    if (platform::AlertSound* sound = window->AlertSound()) {
      EXPECT_TRUE(testsupport::WaitUntil([sound] { return sound->Pending() == 0; }, 60000, 10));
    }
    window.reset();
    if (!platform::FileExists(dir.File("alert.wav"))) return {};  // the device was never opened
    const auto wav = testsupport::ReadWav(dir.File("alert.wav"));
    EXPECT_TRUE(wav);
    if (!wav) return {};
    const auto alerts = testsupport::HeardAlerts(*wav, platform::kGongHighHz, platform::kGongLowHz);
    if (alerts.empty()) {
      EXPECT_LT(testsupport::SoundSeconds(*wav), 0.1);  // silence, not unknown sound
    }
    for (const auto& a : alerts) std::printf("heard: gong at %.2f s, speech %.2f s\n", a.gongAt, a.speechSeconds);
    return alerts;
  }

  // The seconds a text of `words` words takes, read `times` times at kRate.
  static double Expected(int words, int times) { return times * words * 60.0 / kRate; }

  bool alertOn = true;
  int repeats = 2;
};

TEST_F(AlertTest, AnOwnPageGivesTheGongThenTheSpeechShownOrNot) {
  // Shown (green), then hidden by the agency filters: each is heard.
  window->IdUDPServer1UDPRead("12:00:01 [RVU:1234] smoke seen from the old mill");
  ShowNothing();
  clock->Advance(2000);
  window->IdUDPServer1UDPRead("12:00:03 [CFS:1234] grass fire behind the school");
  const auto alerts = Heard();
  ASSERT_EQ(alerts.size(), 2u);
  EXPECT_LT(alerts[0].gongAt, 0.1);  // the gong at once
  for (const auto& alert : alerts) {
    EXPECT_GT(alert.speechSeconds, 0.5 * Expected(6, repeats));
    EXPECT_LT(alert.speechSeconds, 1.6 * Expected(6, repeats));
  }
}

TEST_F(AlertTest, OtherCapcodesAndCommandsAreSilent) {
  window->IdUDPServer1UDPRead("12:00:01 [RVU:4321] another unit's page");
  window->IdUDPServer1UDPRead("12:00:01 [RVU:12345] a longer capcode");
  window->IdUDPServer1UDPRead("12:00:01 [MSC:HEARTBEAT] network alive");
  window->IdUDPServer1UDPRead("CMD:SCROLL");
  window->IdUDPServer1UDPRead("CMD:CAPCODE=1234]");
  EXPECT_TRUE(Heard().empty());
}

class AlertOffTest : public AlertTest {
 protected:
  AlertOffTest() { alertOn = false; }
};

TEST_F(AlertOffTest, NothingIsHeard) {
  EXPECT_EQ(window->AlertSound(), nullptr);
  window->IdUDPServer1UDPRead("12:00:01 [RVU:1234] smoke seen from the old mill");
  ShowNothing();
  window->IdUDPServer1UDPRead("12:00:02 [RVU:1234] grass fire behind the school");
  EXPECT_TRUE(Heard().empty());
}

TEST_F(AlertTest, ARepeatWithinAMinuteIsHeardOnce) {
  window->IdUDPServer1UDPRead("12:00:01 [RVU:1234] smoke seen from the old mill");
  clock->Advance(20000);
  window->IdUDPServer1UDPRead("12:00:21 [RVU:1234] smoke seen from the old mill");  // a second transmitter
  clock->Advance(20000);
  window->IdUDPServer1UDPRead("12:00:41 [RVU:1234] smoke seen from the old mill");
  EXPECT_EQ(Heard().size(), 1u);
}

class AlertBurstTest : public AlertTest {
 protected:
  AlertBurstTest() { repeats = 1; }
};

TEST_F(AlertBurstTest, ThreePagesInABurstAreHeardInOrder) {
  // Three lengths of text, so that the order shows in the recording.
  const int words[] = {2, 6, 12};
  window->IdUDPServer1UDPRead("12:00:01 [RVU:1234] check smoke");
  window->IdUDPServer1UDPRead("12:00:01 [RVU:1234] grass fire behind the old school");
  window->IdUDPServer1UDPRead(
      "12:00:01 [RVU:1234] car on its roof in the ditch near the bridge with two people inside");
  const auto alerts = Heard();
  ASSERT_EQ(alerts.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_GT(alerts[i].speechSeconds, 0.5 * Expected(words[i], 1)) << i;
    EXPECT_LT(alerts[i].speechSeconds, 1.6 * Expected(words[i], 1) + 0.3) << i;
  }
  EXPECT_LT(alerts[0].speechSeconds, alerts[1].speechSeconds);
  EXPECT_LT(alerts[1].speechSeconds, alerts[2].speechSeconds);
}

}  // namespace
