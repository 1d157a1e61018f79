#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A recording judged by what it sounds like: the gong's two tones found by
// their frequencies, and the speech after each gong as sound that is neither.
namespace testsupport {

struct Wav {
  int rate = 0;
  std::vector<std::int16_t> samples;  // mono
};
// A 16-bit mono WAV file; a data chunk whose length was never filled in
// reaches to the end of the file.
std::optional<Wav> ReadWav(const std::string& path);

// The amplitude of the `hz` component in samples [begin, end), over the
// amplitude a pure tone of the same power would have (1 for a pure tone).
double ToneShare(const Wav& wav, std::size_t begin, std::size_t end, double hz);

// One alert as heard: where its gong began, and how many seconds of other
// sound (speech) followed it before the next gong or the end.
struct HeardAlert {
  double gongAt = 0;
  double speechSeconds = 0;
};
// The alerts in the recording, in order: a gong is at least 150 ms of the high
// tone followed by at least 150 ms of the low one, in 50 ms frames.
std::vector<HeardAlert> HeardAlerts(const Wav& wav, double highHz, double lowHz);

// Seconds of sound (not silence) in the whole recording.
double SoundSeconds(const Wav& wav);

}  // namespace testsupport
