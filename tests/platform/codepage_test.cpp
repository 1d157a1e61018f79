#include "platform/codepage.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <optional>
#include <set>
#include <string>

namespace {

using platform::SingleByteToUtf8;
using platform::Utf8ToSingleByte;

std::string Byte(int value) { return std::string(1, static_cast<char>(value)); }

// The C library's Windows-1252 converter, as a reference independent of ours.
// It rejects the five bytes the code page leaves undefined.
class SystemCp1252 {
 public:
  SystemCp1252() : cd_(iconv_open("UTF-8", "CP1252")) {}
  ~SystemCp1252() {
    if (ok()) iconv_close(cd_);
  }
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  std::optional<std::string> ToUtf8(const std::string& text) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::string in = text;
    char out[16];
    char* inPtr = in.data();
    char* outPtr = out;
    std::size_t inLeft = in.size();
    std::size_t outLeft = sizeof out;
    if (iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) return std::nullopt;
    return std::string(out, outPtr);
  }

 private:
  iconv_t cd_;
};

TEST(Codepage, EveryByteConvertsToUtf8AsTheSystemConverterDoes) {
  SystemCp1252 reference;
  if (!reference.ok()) GTEST_SKIP() << "no CP1252 converter installed";
  std::set<int> undefined;
  for (int b = 0; b < 256; ++b) {
    const auto expected = reference.ToUtf8(Byte(b));
    if (expected) {
      EXPECT_EQ(SingleByteToUtf8(Byte(b)), *expected) << "byte " << b;
    } else {
      undefined.insert(b);
      // An undefined byte becomes the C1 control of the same number.
      EXPECT_EQ(SingleByteToUtf8(Byte(b)), "\xC2" + Byte(b)) << "byte " << b;
    }
  }
  EXPECT_EQ(undefined, (std::set<int>{0x81, 0x8D, 0x8F, 0x90, 0x9D}));
}

TEST(Codepage, EveryByteRoundTripsThroughUtf8) {
  std::string all;
  for (int b = 0; b < 256; ++b) {
    EXPECT_EQ(Utf8ToSingleByte(SingleByteToUtf8(Byte(b))), Byte(b)) << "byte " << b;
    all += Byte(b);
  }
  EXPECT_EQ(Utf8ToSingleByte(SingleByteToUtf8(all)), all);
}

TEST(Codepage, Utf8Decoding) {
  struct Case {
    const char* label;
    std::string utf8;
    std::string expected;
  } cases[] = {
      {"ascii", "Wache 1", "Wache 1"},
      {"nul kept", std::string("a\0b", 3), std::string("a\0b", 3)},
      {"latin-1 range", "\xC2\xA0\xC3\xA9\xC3\xBF", "\xA0\xE9\xFF"},
      {"euro sign", "\xE2\x82\xAC", "\x80"},
      {"quotes and dashes", "\xE2\x80\x9E\xE2\x80\x9C\xE2\x80\x93", "\x84\x93\x96"},
      {"undefined position", "\xC2\x81\xC2\x9D", "\x81\x9D"},
      // Unicode outside the code page.
      {"C1 control without a byte", "\xC2\x80\xC2\x9F", "??"},
      {"latin extended", "x\xC4\x80y", "x?y"},
      {"cyrillic", "\xD0\x96", "?"},
      {"replacement character", "\xEF\xBF\xBD", "?"},
      {"emoji", "\xF0\x9F\x98\x80!", "?!"},
      {"last code point", "\xF4\x8F\xBF\xBF", "?"},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToSingleByte(c.utf8), c.expected) << c.label;
}

TEST(Codepage, BytesThatAreNotUtf8AreKept) {
  struct Case {
    const char* label;
    std::string input;
    std::string expected;
  } cases[] = {
      {"single-byte text", "Gr\xF6\xDF""e \x84Zitat\x93 \xE0 la carte \x80", "Gr\xF6\xDF""e \x84Zitat\x93 \xE0 la carte \x80"},
      {"lone continuation byte", "a\x80z", "a\x80z"},
      {"lead byte before ASCII", "\xE9t\xE9", "\xE9t\xE9"},
      {"truncated at the end", "x\xE2\x82", "x\xE2\x82"},
      {"truncated before ASCII", "\xE2\x82x", "\xE2\x82x"},
      {"overlong two bytes", "\xC0\xAF\xC1\xBF", "\xC0\xAF\xC1\xBF"},
      {"overlong three bytes", "\xE0\x80\xAF", "\xE0\x80\xAF"},
      {"overlong four bytes", "\xF0\x82\x82\xAC", "\xF0\x82\x82\xAC"},
      {"surrogate", "\xED\xA0\x80", "\xED\xA0\x80"},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", "\xF4\x90\x80\x80"},
      {"five-byte form", "\xF8\x88\x80\x80\x80", "\xF8\x88\x80\x80\x80"},
      {"never-used bytes", "\xFE\xFF", "\xFE\xFF"},
      // Decoding resumes at the byte after a bad one.
      {"bad lead then euro sign", "\xE2\xE2\x82\xAC", "\xE2\x80"},
      {"truncated emoji then e-acute", "\xF0\x9F\x98\xC3\xA9", "\xF0\x9F\x98\xE9"},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToSingleByte(c.input), c.expected) << c.label;
}

}  // namespace
