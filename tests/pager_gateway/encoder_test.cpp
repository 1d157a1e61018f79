// The test transmitter itself: a fault here would make every decoder test meaningless.
#include <gtest/gtest.h>

#include "tests/pager_gateway/encoder/pocsag_encoder.h"

namespace {

using namespace pocsagtest;

// The remainder of the 31 code bits by the generator and the overall parity: zero for a codeword.
bool IsCodeword(std::uint32_t w) {
  std::uint32_t r = w >> 1;
  for (int bit = 30; bit >= 10; --bit)
    if (r & (1u << bit)) r ^= 0x769u << (bit - 10);
  return (r & 0x3FF) == 0 && __builtin_popcount(w) % 2 == 0;
}

TEST(PocsagEncoder, CodewordsOfTheStandard) {
  // The sync and idle words are codewords of the same code.
  EXPECT_EQ(WithParity(kSyncCodeword), kSyncCodeword);
  EXPECT_EQ(WithParity(kIdleCodeword), kIdleCodeword);
  for (std::uint32_t capcode : {0u, 7u, 8u, 1234567u, 2097151u})
    for (int function = 0; function < 4; ++function) {
      const std::uint32_t w = AddressCodeword(capcode, function);
      EXPECT_TRUE(IsCodeword(w));
      EXPECT_EQ(w >> 31, 0u);
      EXPECT_EQ((w >> 13) & 0x3FFFF, capcode >> 3);
      EXPECT_EQ((w >> 11) & 3u, static_cast<std::uint32_t>(function));
    }
}

TEST(PocsagEncoder, MessageBits) {
  // "1" is 0001, sent LSB first, then padded with blanks (0xC, sent 0011).
  auto words = MessageCodewords({8, 0, Kind::Numeric, "1", -1});
  ASSERT_EQ(words.size(), 1u);
  EXPECT_EQ(words[0] >> 11, 0x100000u | 0b1000'0011'0011'0011'0011u);
  EXPECT_TRUE(IsCodeword(words[0]));
  // Alpha: 7-bit characters LSB first; "A" (1000001) and EOT (0000100), then zeros.
  words = MessageCodewords({8, 3, Kind::Alpha, "A", 0x04});
  ASSERT_EQ(words.size(), 1u);
  EXPECT_EQ(words[0] >> 11, 0x100000u | (0b1000001'0010000'000000u));
  EXPECT_EQ(MessageCodewords({8, 3, Kind::Alpha, std::string(20, 'x'), 0x04}).size(), 8u);  // 147 bits
  EXPECT_TRUE(MessageCodewords({8, 0, Kind::Tone, "", -1}).empty());
}

TEST(PocsagEncoder, AddressInItsFrame) {
  // Preamble, sync, then the address of capcode 8 + 5 in frame 5 (codeword 10).
  const auto bits = TransmissionBits({{13, 0, Kind::Tone, "", -1}});
  ASSERT_EQ(bits.size(), 576u + 17 * 32);
  auto word = [&](int index) {
    std::uint32_t w = 0;
    for (int b = 0; b < 32; ++b) w = w << 1 | (bits[576 + 32 * index + b] ? 1u : 0u);
    return w;
  };
  EXPECT_EQ(word(0), kSyncCodeword);
  for (int i = 1; i <= 10; ++i) EXPECT_EQ(word(i), kIdleCodeword) << i;
  EXPECT_EQ(word(11), AddressCodeword(13, 0));
  EXPECT_EQ(word(12), kIdleCodeword);
}

}  // namespace
