// The alert's sound through libasound and libespeak-ng, on an ALSA device of
// the test's own: the `file` plugin writing a WAV (its slave, the null device,
// takes the samples as fast as they come). Judged by what the file holds.
#include "platform/alert_sound.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"
#include "tests/support/wav_analysis.h"

namespace {

using platform::AlsaSoundOptions;
using platform::SoundAlert;

std::string FileDevice(const std::string& wav) { return "file:FILE=" + wav + ",FORMAT=wav"; }

bool Finished(platform::AlertSound& sound) {
  return testsupport::WaitUntil([&] { return sound.Pending() == 0; }, 30000, 10);
}

TEST(Gong, TwoTonesHighThenLow) {
  testsupport::Wav wav{22050, platform::MakeGong(22050)};
  const auto tone = static_cast<std::size_t>(platform::kGongToneSeconds * wav.rate);
  ASSERT_GE(wav.samples.size(), 2 * tone);
  const std::size_t lowStart = wav.samples.size() / 2;
  EXPECT_GT(testsupport::ToneShare(wav, 0, tone / 2, platform::kGongHighHz), 0.9);
  EXPECT_LT(testsupport::ToneShare(wav, 0, tone / 2, platform::kGongLowHz), 0.1);
  EXPECT_GT(testsupport::ToneShare(wav, lowStart, lowStart + tone / 2, platform::kGongLowHz), 0.9);
  EXPECT_LT(testsupport::ToneShare(wav, lowStart, lowStart + tone / 2, platform::kGongHighHz), 0.1);
  const auto alerts = testsupport::HeardAlerts(wav, platform::kGongHighHz, platform::kGongLowHz);
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_EQ(alerts[0].speechSeconds, 0);
}

TEST(AlsaAlertSound, GongThenTheTextReadOutAsOftenAsAsked) {
  testsupport::TempDir dir;
  struct Case {
    std::string speech;
    int repeats;
  } cases[] = {{"twelve main road", 1}, {"twelve main road", 2}, {"", 1}};
  std::vector<double> speech;
  for (const auto& c : cases) {
    const std::string file = dir.File("alert" + std::to_string(speech.size()) + ".wav");
    std::mutex mutex;
    std::vector<AlsaSoundOptions::Part> parts;
    AlsaSoundOptions options;
    options.device = FileDevice(file);
    options.onFirstSamples = [&](AlsaSoundOptions::Part part) {
      std::lock_guard lock(mutex);
      parts.push_back(part);
    };
    auto sound = platform::MakeAlsaAlertSound(options);
    sound->Play({true, c.speech, c.repeats});
    ASSERT_TRUE(Finished(*sound));
    sound.reset();
    const auto wav = testsupport::ReadWav(file);
    ASSERT_TRUE(wav) << file;
    const auto alerts = testsupport::HeardAlerts(*wav, platform::kGongHighHz, platform::kGongLowHz);
    ASSERT_EQ(alerts.size(), 1u) << c.speech;
    EXPECT_LT(alerts[0].gongAt, 0.1);
    speech.push_back(alerts[0].speechSeconds);
    EXPECT_EQ(parts.size(), c.speech.empty() ? 1u : 2u);
    if (!parts.empty()) {
      EXPECT_EQ(parts[0], AlsaSoundOptions::Part::Gong);
    }
  }
  // Three words at 160 a minute: about a second; twice as long read twice; nothing without text.
  EXPECT_GT(speech[0], 0.5);
  EXPECT_LT(speech[0], 2.5);
  EXPECT_NEAR(speech[1], 2 * speech[0], 0.5 * speech[0]);
  EXPECT_EQ(speech[2], 0);
}

TEST(AlsaAlertSound, AMissingDeviceIsAProblemAndPlayNeverWaits) {
  AlsaSoundOptions options;
  options.device = "rvukiosk_no_such_device";
  auto sound = platform::MakeAlsaAlertSound(options);
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 3; ++i) sound->Play({true, "a page to the unit", 2});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
  ASSERT_TRUE(Finished(*sound));
  const platform::DeviceProblems problems = sound->TakeProblems();
  EXPECT_EQ(problems.count, 3);
  EXPECT_NE(problems.text.find("\"rvukiosk_no_such_device\" cannot be opened"), std::string::npos) << problems.text;
  EXPECT_EQ(sound->TakeProblems().count, 0);
}

TEST(AlsaAlertSound, AVoiceNotFoundIsAProblemAndTheDefaultVoiceReads) {
  testsupport::TempDir dir;
  AlsaSoundOptions options;
  options.device = FileDevice(dir.File("voice.wav"));
  options.voice = "no-such-voice";
  auto sound = platform::MakeAlsaAlertSound(options);
  sound->Play({false, "station ready", 1});
  ASSERT_TRUE(Finished(*sound));
  EXPECT_NE(sound->TakeProblems().text.find("no voice \"no-such-voice\""), std::string::npos);
  sound.reset();
  const auto wav = testsupport::ReadWav(dir.File("voice.wav"));
  ASSERT_TRUE(wav);
  EXPECT_GT(testsupport::SoundSeconds(*wav), 0.3);
}

}  // namespace
