#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A POCSAG transmitter for tests: codewords with BCH(31,21) parity, batches of
// a sync word and eight frames, numeric and 7-bit alpha messages, and the
// baseband audio a receiver's FM discriminator gives (22050 Hz, signed 16-bit).
namespace pocsagtest {

inline constexpr std::uint32_t kSyncCodeword = 0x7CD215D8;
inline constexpr std::uint32_t kIdleCodeword = 0x7A89C197;
inline constexpr int kSampleRate = 22050;

enum class Kind { Numeric, Alpha, Tone };

struct Page {
  std::uint32_t capcode = 0;  // 21 bits
  int function = 0;           // 0..3
  Kind kind = Kind::Alpha;
  std::string text;           // digits (and " U-[]") for numeric, 7-bit bytes for alpha
  // Alpha only: appended after the text before the zero padding of the last
  // codeword, as transmitters end a message (0x04 EOT, 0x03 ETX); -1 for none.
  int terminator = 0x04;
};

// The 31-bit BCH code word (parity in bits 10..1) plus the even parity bit 0
// for the 21 data bits in bits 31..11 of `data`.
std::uint32_t WithParity(std::uint32_t data);
std::uint32_t AddressCodeword(std::uint32_t capcode, int function);
// The message codewords of a page (none for a tone-only page).
std::vector<std::uint32_t> MessageCodewords(const Page& page);

// A whole transmission: 576 preamble bits, then batches that carry the pages in
// order, each address in the frame its capcode's low three bits name and an
// idle codeword after every message. Bits in sending order (MSB first).
std::vector<bool> TransmissionBits(const std::vector<Page>& pages);

struct AudioOptions {
  int baud = 1200;
  int amplitude = 12000;
  // Standard deviation of white Gaussian noise added to each sample (0: none).
  double noise = 0;
  std::uint64_t seed = 1;
};

// Two-level baseband at the given rate: a 1 bit is the low level, a 0 the high
// one, as the discriminator gives POCSAG's deviation; edges are smoothed over a
// few samples like a receiver's filter.
std::vector<std::int16_t> Baseband(const std::vector<bool>& bits, const AudioOptions& options);
// Silence, or only noise, of the given length.
std::vector<std::int16_t> Gap(double seconds, const AudioOptions& options);

// Samples as raw bytes in the machine's order, as multimon-ng -t raw reads them.
std::string RawBytes(const std::vector<std::int16_t>& samples);

}  // namespace pocsagtest
