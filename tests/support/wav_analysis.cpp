#include "tests/support/wav_analysis.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numbers>

namespace testsupport {

namespace {

constexpr double kFrameSeconds = 0.05;
constexpr double kSilenceRms = 200;  // of 32767
constexpr double kToneShare = 0.6;
constexpr int kToneFrames = 3;

std::uint32_t U32(const std::string& b, std::size_t at) {
  return static_cast<std::uint8_t>(b[at]) | static_cast<std::uint8_t>(b[at + 1]) << 8 |
         static_cast<std::uint8_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 3])) << 24;
}
std::uint16_t U16(const std::string& b, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<std::uint8_t>(b[at]) | static_cast<std::uint8_t>(b[at + 1]) << 8);
}

double Rms(const Wav& wav, std::size_t begin, std::size_t end) {
  double sum = 0;
  for (std::size_t i = begin; i < end; ++i) sum += static_cast<double>(wav.samples[i]) * wav.samples[i];
  return end > begin ? std::sqrt(sum / static_cast<double>(end - begin)) : 0;
}

}  // namespace

std::optional<Wav> ReadWav(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (b.size() < 12 || b.compare(0, 4, "RIFF") != 0 || b.compare(8, 4, "WAVE") != 0) return std::nullopt;
  Wav wav;
  std::size_t at = 12;
  while (at + 8 <= b.size()) {
    const std::string id = b.substr(at, 4);
    std::size_t size = U32(b, at + 4);
    const std::size_t body = at + 8;
    if (id == "fmt ") {
      if (U16(b, body) != 1 || U16(b, body + 2) != 1 || U16(b, body + 14) != 16) return std::nullopt;
      wav.rate = static_cast<int>(U32(b, body + 4));
    } else if (id == "data") {
      if (size == 0 || body + size > b.size()) size = b.size() - body;
      wav.samples.resize(size / 2);
      std::memcpy(wav.samples.data(), b.data() + body, wav.samples.size() * 2);
      return wav.rate > 0 ? std::optional<Wav>(wav) : std::nullopt;
    }
    at = body + size + (size & 1);
  }
  return std::nullopt;
}

double ToneShare(const Wav& wav, std::size_t begin, std::size_t end, double hz) {
  // Goertzel: the power of one frequency.
  const double w = 2 * std::numbers::pi * hz / wav.rate;
  const double coefficient = 2 * std::cos(w);
  double s1 = 0, s2 = 0;
  for (std::size_t i = begin; i < end; ++i) {
    const double s0 = wav.samples[i] + coefficient * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
  const auto n = static_cast<double>(end - begin);
  const double amplitude = 2 * std::sqrt(std::max(0.0, power)) / n;
  const double rms = Rms(wav, begin, end);
  return rms > 0 ? amplitude / (rms * std::numbers::sqrt2) : 0;
}

std::vector<HeardAlert> HeardAlerts(const Wav& wav, double highHz, double lowHz) {
  enum Kind { Silence, High, Low, Other };
  const auto frame = static_cast<std::size_t>(kFrameSeconds * wav.rate);
  std::vector<Kind> kinds;
  for (std::size_t at = 0; at + frame <= wav.samples.size(); at += frame) {
    if (Rms(wav, at, at + frame) < kSilenceRms)
      kinds.push_back(Silence);
    else if (ToneShare(wav, at, at + frame, highHz) > kToneShare)
      kinds.push_back(High);
    else if (ToneShare(wav, at, at + frame, lowHz) > kToneShare)
      kinds.push_back(Low);
    else
      kinds.push_back(Other);
  }
  std::vector<HeardAlert> alerts;
  std::size_t i = 0;
  while (i < kinds.size()) {
    // A run of the high tone, then (after at most a short gap) a run of the low one.
    std::size_t high = 0;
    while (i + high < kinds.size() && kinds[i + high] == High) ++high;
    if (high >= kToneFrames) {
      std::size_t j = i + high;
      while (j < kinds.size() && j < i + high + 3 && kinds[j] != Low) ++j;
      std::size_t low = 0;
      while (j + low < kinds.size() && kinds[j + low] == Low) ++low;
      if (low >= kToneFrames) {
        alerts.push_back({static_cast<double>(i) * kFrameSeconds, 0});
        i = j + low;
        continue;
      }
    }
    if (kinds[i] == Other && !alerts.empty()) alerts.back().speechSeconds += kFrameSeconds;
    i += high > 0 ? high : 1;
  }
  return alerts;
}

double SoundSeconds(const Wav& wav) {
  const auto frame = static_cast<std::size_t>(kFrameSeconds * wav.rate);
  double seconds = 0;
  for (std::size_t at = 0; at + frame <= wav.samples.size(); at += frame)
    if (Rms(wav, at, at + frame) >= kSilenceRms) seconds += kFrameSeconds;
  return seconds;
}

}  // namespace testsupport
