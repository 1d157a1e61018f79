#include "pager-gateway/page_text.h"

#include <array>

namespace pagergw {

namespace {

constexpr std::array<std::string_view, 32> kControlNames = {
    "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",  "VT",  "FF",  "CR",  "SO",  "SI",
    "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

std::string PocsagAlphaText(std::string_view printed) {
  std::string text;
  std::size_t keep = 0;  // length of the text up to its last character that is no marker
  for (std::size_t i = 0; i < printed.size();) {
    if (printed[i] == '<') {
      const auto close = printed.find('>', i);
      if (close != std::string_view::npos && close - i <= 4) {
        const int byte = MarkerByte(printed.substr(i, close - i + 1));
        if (byte >= 0) {
          text += static_cast<char>(byte);
          i = close + 1;
          continue;
        }
      }
    }
    text += printed[i++];
    keep = text.size();
  }
  text.resize(keep);
  return text;
}

}  // namespace

int MarkerByte(std::string_view marker) {
  if (marker.size() < 3 || marker.front() != '<' || marker.back() != '>') return -1;
  const std::string_view name = marker.substr(1, marker.size() - 2);
  if (name == "DEL") return 0x7F;
  for (std::size_t i = 0; i < kControlNames.size(); ++i)
    if (kControlNames[i] == name) return static_cast<int>(i);
  return -1;
}

std::string PagerText(const DecodedPage& page) {
  switch (page.form) {
    case DecodedPage::Form::Tone:
      return "";
    case DecodedPage::Form::Numeric: {
      std::string text = page.text;
      while (!text.empty() && text.back() == ' ') text.pop_back();
      return text;
    }
    case DecodedPage::Form::Alpha:
      break;
  }
  if (page.protocol != "FLEX") return PocsagAlphaText(page.text);
  std::string text = page.text;
  while (!text.empty() && IsControl(static_cast<unsigned char>(text.back()))) text.pop_back();
  return text;
}

}  // namespace pagergw
