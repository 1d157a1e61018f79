#include "tests/pager_gateway/encoder/pocsag_encoder.h"

#include <cmath>
#include <cstring>
#include <random>
#include <stdexcept>

namespace pocsagtest {

namespace {

constexpr std::uint32_t kGenerator = 0x769;  // x^10+x^9+x^8+x^6+x^5+x^3+1

int NumericCode(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  switch (c) {
    case '.': return 0xA;  // the spare code
    case 'U': return 0xB;
    case ' ': return 0xC;
    case '-': return 0xD;
    case ']': return 0xE;
    case '[': return 0xF;
  }
  throw std::invalid_argument(std::string("no numeric code for '") + c + "'");
}

void PushLsbFirst(std::vector<bool>& bits, unsigned value, int count) {
  for (int i = 0; i < count; ++i) bits.push_back((value >> i) & 1u);
}

// Sync word at the start of each batch of 16 codewords.
class Batcher {
 public:
  explicit Batcher(std::vector<std::uint32_t>& out) : out_(out) {}
  int Position() const { return position_; }
  void Put(std::uint32_t codeword) {
    if (position_ == 0) out_.push_back(kSyncCodeword);
    out_.push_back(codeword);
    position_ = (position_ + 1) % 16;
  }
  void FillBatch() {
    while (position_ != 0) Put(kIdleCodeword);
  }

 private:
  std::vector<std::uint32_t>& out_;
  int position_ = 0;
};

}  // namespace

std::uint32_t WithParity(std::uint32_t data) {
  data &= 0xFFFFF800u;
  std::uint32_t remainder = data >> 1;  // the 31-bit word without the parity bit
  for (int bit = 30; bit >= 10; --bit)
    if (remainder & (1u << bit)) remainder ^= kGenerator << (bit - 10);
  std::uint32_t word = data | ((remainder & 0x3FFu) << 1);
  if (__builtin_popcount(word) & 1) word |= 1u;
  return word;
}

std::uint32_t AddressCodeword(std::uint32_t capcode, int function) {
  return WithParity(((capcode >> 3) & 0x3FFFFu) << 13 | (static_cast<std::uint32_t>(function) & 3u) << 11);
}

std::vector<std::uint32_t> MessageCodewords(const Page& page) {
  std::vector<bool> bits;
  if (page.kind == Kind::Tone) return {};
  if (page.kind == Kind::Numeric) {
    for (char c : page.text) PushLsbFirst(bits, static_cast<unsigned>(NumericCode(c)), 4);
    while (bits.empty() || bits.size() % 20 != 0) PushLsbFirst(bits, 0xC, 4);
  } else {
    for (char c : page.text) PushLsbFirst(bits, static_cast<unsigned char>(c) & 0x7Fu, 7);
    if (page.terminator >= 0) PushLsbFirst(bits, static_cast<unsigned>(page.terminator), 7);
    while (bits.empty() || bits.size() % 20 != 0) bits.push_back(false);
  }
  std::vector<std::uint32_t> words;
  for (std::size_t i = 0; i < bits.size(); i += 20) {
    std::uint32_t chunk = 0;
    for (std::size_t k = 0; k < 20; ++k) chunk = chunk << 1 | (bits[i + k] ? 1u : 0u);
    words.push_back(WithParity(0x80000000u | chunk << 11));
  }
  return words;
}

std::vector<bool> TransmissionBits(const std::vector<Page>& pages) {
  std::vector<std::uint32_t> words;
  Batcher batch(words);
  for (const Page& page : pages) {
    const int frame = static_cast<int>(page.capcode & 7u);
    if (batch.Position() > 2 * frame + 1) batch.FillBatch();
    while (batch.Position() < 2 * frame) batch.Put(kIdleCodeword);
    batch.Put(AddressCodeword(page.capcode, page.function));
    for (std::uint32_t w : MessageCodewords(page)) batch.Put(w);
    batch.Put(kIdleCodeword);
  }
  batch.FillBatch();

  std::vector<bool> bits;
  for (int i = 0; i < 576; ++i) bits.push_back(i % 2 == 0);
  for (std::uint32_t w : words)
    for (int b = 31; b >= 0; --b) bits.push_back((w >> b) & 1u);
  return bits;
}

namespace {

class Noise {
 public:
  Noise(const AudioOptions& o) : sigma_(o.noise), rng_(o.seed) {}
  double Next() { return sigma_ > 0 ? dist_(rng_) * sigma_ : 0.0; }

 private:
  double sigma_;
  std::mt19937_64 rng_;
  std::normal_distribution<double> dist_;
};

std::int16_t Clip(double v) { return static_cast<std::int16_t>(std::lround(std::fmax(-32767.0, std::fmin(32767.0, v)))); }

}  // namespace

std::vector<std::int16_t> Baseband(const std::vector<bool>& bits, const AudioOptions& options) {
  if (options.baud <= 0) throw std::invalid_argument("baud must be positive");
  Noise noise(options);
  const double samplesPerBit = static_cast<double>(kSampleRate) / options.baud;
  const std::size_t total = static_cast<std::size_t>(std::ceil(static_cast<double>(bits.size()) * samplesPerBit));
  // One-pole low-pass with a time constant of a tenth of a bit.
  const double alpha = 1.0 - std::exp(-1.0 / (0.1 * samplesPerBit));
  std::vector<std::int16_t> samples;
  samples.reserve(total);
  double level = bits.empty() || bits[0] ? -options.amplitude : options.amplitude;
  for (std::size_t n = 0; n < total; ++n) {
    std::size_t bit = static_cast<std::size_t>(static_cast<double>(n) / samplesPerBit);
    if (bit >= bits.size()) bit = bits.size() - 1;
    const double target = bits[bit] ? -options.amplitude : options.amplitude;
    level += alpha * (target - level);
    samples.push_back(Clip(level + noise.Next()));
  }
  return samples;
}

std::vector<std::int16_t> Gap(double seconds, const AudioOptions& options) {
  Noise noise(options);
  std::vector<std::int16_t> samples(static_cast<std::size_t>(seconds * kSampleRate));
  for (auto& s : samples) s = Clip(noise.Next());
  return samples;
}

std::string RawBytes(const std::vector<std::int16_t>& samples) {
  std::string bytes(samples.size() * sizeof(std::int16_t), '\0');
  if (!samples.empty()) std::memcpy(bytes.data(), samples.data(), bytes.size());
  return bytes;
}

}  // namespace pocsagtest
