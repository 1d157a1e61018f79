#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/device_problems.h"

// The alert's sound in the kiosk's terms: a gong, then a text read out, on a
// thread of its own. The caller only hands a value over and never waits.
namespace platform {

struct SoundAlert {
  bool gong = true;
  std::string speech;  // single-byte (Latin-1) text; empty: nothing is read out
  int repeats = 1;     // how often the text is read out
  bool operator==(const SoundAlert&) const = default;
};

class AlertSound {
 public:
  virtual ~AlertSound() = default;
  // Hands an alert over and returns at once. Alerts sound one after the
  // other, in the order handed over.
  virtual void Play(SoundAlert alert) = 0;
  // Alerts handed over and not finished, the one sounding included.
  virtual std::size_t Pending() const = 0;
  // The problems since the last call (a missing or busy device, a voice not found).
  virtual DeviceProblems TakeProblems() = 0;
};

// The gong: two tones, the high one and then the low one, each struck and
// dying away.
inline constexpr double kGongHighHz = 880.0;
inline constexpr double kGongLowHz = 660.0;
inline constexpr double kGongToneSeconds = 0.45;
// Mono 16-bit samples of the gong at `sampleRate`.
std::vector<std::int16_t> MakeGong(int sampleRate);

// The ALSA device and espeak-ng's voice.
struct AlsaSoundOptions {
  std::string device = "default";
  std::string voice = "en";
  int rate = 160;    // words a minute
  int volume = 100;  // espeak-ng's scale
  // Told on the sound thread when the first samples of an alert's gong or of
  // its speech have been handed to the device (benchmarks).
  enum class Part { Gong, Speech };
  std::function<void(Part)> onFirstSamples;
};
// Plays through libasound, speaking with libespeak-ng in the process. The
// device is opened for each alert and closed after it, so that a device that
// was missing or busy is tried again at the next alert.
std::unique_ptr<AlertSound> MakeAlsaAlertSound(AlsaSoundOptions options);

}  // namespace platform
