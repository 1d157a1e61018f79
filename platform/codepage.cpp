#include "platform/codepage.h"

#include <cstddef>

namespace platform {

namespace {

// The code points of bytes 0x80-0x9F. The five positions Windows-1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) carry the C1 control of that number.
constexpr char32_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
};

char32_t ByteToCodePoint(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F) return kHighControls[byte - 0x80];
  return byte;
}

char CodePointToByte(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  for (int i = 0; i < 32; ++i)
    if (kHighControls[i] == cp) return static_cast<char>(0x80 + i);
  return '?';
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    // Every code point of the table lies below U+10000.
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Decodes the well-formed UTF-8 sequence starting at `pos`. Returns its length,
// or 0 when the byte there does not begin one (bad lead byte, truncated,
// overlong, surrogate or beyond U+10FFFF).
std::size_t DecodeSequence(std::string_view s, std::size_t pos, char32_t& cp) {
  const auto lead = static_cast<unsigned char>(s[pos]);
  std::size_t length = 0;
  char32_t min = 0;  // the smallest code point that needs this many bytes
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    min = 0x80;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    min = 0x800;
    cp = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    min = 0x10000;
    cp = lead & 0x07;
  } else {
    return 0;
  }
  if (s.size() - pos < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(s[pos + i]);
    if (!IsContinuation(next)) return 0;
    cp = (cp << 6) | (next & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

std::string Utf8ToSingleByte(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const auto byte = static_cast<unsigned char>(utf8[pos]);
    if (byte < 0x80) {
      out += static_cast<char>(byte);
      ++pos;
      continue;
    }
    char32_t cp = 0;
    if (const std::size_t length = DecodeSequence(utf8, pos, cp)) {
      out += CodePointToByte(cp);
      pos += length;
    } else {
      // Not UTF-8: most likely text already in the single-byte code page.
      out += static_cast<char>(byte);
      ++pos;
    }
  }
  return out;
}

std::string SingleByteToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (char c : text) AppendUtf8(out, ByteToCodePoint(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace platform
