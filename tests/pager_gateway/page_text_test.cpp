#include <gtest/gtest.h>

#include "pager-gateway/page_text.h"

namespace {

using pagergw::DecodedPage;
using Form = DecodedPage::Form;

std::string Text(const std::string& protocol, Form form, const std::string& printed) {
  DecodedPage page;
  page.protocol = protocol;
  page.form = form;
  page.text = printed;
  return pagergw::PagerText(page);
}

TEST(PagerText, PocsagAlphaMarkers) {
  const struct {
    const char* printed;
    std::string shown;
  } cases[] = {
      {"FIRE<EOT>", "FIRE"},
      {"FIRE<ETX><NUL><NUL>", "FIRE"},
      {"FIRE<NUL>", "FIRE"},
      {"A<LF>B<CR><LF>C<ETX>", "A\nB\r\nC"},        // inside: the byte received
      {"<STX>START", "\x02START"},
      {"50% <DEL>", "50% "},                         // trailing markers go, blanks before them stay
      {"<NUL><NUL>", ""},
      {"", ""},
      {"<X> <ABCD> <NUL", "<X> <ABCD> <NUL"},        // no markers of the decoder
      {"<us> <Esc>", "<us> <Esc>"},                  // markers are upper case
      {"A<US>B<SUB>", "A\x1F" "B"},
      {"TEXT <EOT> MORE<EOT>", "TEXT \x04 MORE"},
  };
  for (const auto& c : cases) EXPECT_EQ(Text("POCSAG1200", Form::Alpha, c.printed), c.shown) << c.printed;
}

TEST(PagerText, NumericToneAndFlex) {
  EXPECT_EQ(Text("POCSAG512", Form::Numeric, "12345 67-890   "), "12345 67-890");
  EXPECT_EQ(Text("POCSAG512", Form::Numeric, "     "), "");
  EXPECT_EQ(Text("POCSAG512", Form::Tone, ""), "");
  EXPECT_EQ(Text("FLEX", Form::Tone, "123"), "");
  // FLEX prints alpha text raw: trailing control bytes go, markers are text.
  EXPECT_EQ(Text("FLEX", Form::Alpha, "FIRE\x03\r"), "FIRE");
  EXPECT_EQ(Text("FLEX", Form::Alpha, "A\nB<ETX>"), "A\nB<ETX>");
}

TEST(PagerText, MarkerBytes) {
  EXPECT_EQ(pagergw::MarkerByte("<NUL>"), 0);
  EXPECT_EQ(pagergw::MarkerByte("<HT>"), 9);
  EXPECT_EQ(pagergw::MarkerByte("<US>"), 31);
  EXPECT_EQ(pagergw::MarkerByte("<DEL>"), 127);
  EXPECT_EQ(pagergw::MarkerByte("<SP>"), -1);
  EXPECT_EQ(pagergw::MarkerByte("NUL"), -1);
}

}  // namespace
