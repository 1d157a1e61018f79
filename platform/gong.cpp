#include <cmath>
#include <numbers>

#include "platform/alert_sound.h"

namespace platform {

std::vector<std::int16_t> MakeGong(int sampleRate) {
  // Each tone: a 5 ms strike, then an exponential decay, with a quieter
  // partial an octave up for a bell's colour; a short gap between the tones.
  const auto toneSamples = static_cast<std::size_t>(kGongToneSeconds * sampleRate);
  const auto gapSamples = static_cast<std::size_t>(0.05 * sampleRate);
  const double attack = 0.005 * sampleRate;
  const double decay = 0.18 * sampleRate;
  std::vector<std::int16_t> samples;
  samples.reserve(2 * toneSamples + 2 * gapSamples);
  for (const double hz : {kGongHighHz, kGongLowHz}) {
    for (std::size_t i = 0; i < toneSamples; ++i) {
      const double t = static_cast<double>(i) / sampleRate;
      const double envelope = std::min(1.0, static_cast<double>(i) / attack) * std::exp(-static_cast<double>(i) / decay);
      const double wave = std::sin(2 * std::numbers::pi * hz * t) + 0.3 * std::sin(4 * std::numbers::pi * hz * t);
      samples.push_back(static_cast<std::int16_t>(std::lround(0.55 * 32767 / 1.3 * envelope * wave)));
    }
    samples.insert(samples.end(), gapSamples, 0);
  }
  return samples;
}

}  // namespace platform
