// multimon-ng's output lines, recorded from the real decoder (POCSAG, fed with
// the encoder's audio) and in the form multimon-ng 1.2 prints FLEX.
#include <gtest/gtest.h>

#include "pager-gateway/decoder_line.h"
#include "pager-gateway/page_text.h"
#include "tests/pager_gateway/fixtures.h"

namespace {

using pagergw::DecodedPage;
using pagergw::ParseDecoderLine;
using Form = DecodedPage::Form;

struct Expected {
  int line;  // index in the fixture file
  std::vector<std::uint64_t> capcodes;
  int function;
  Form form;
  std::string pagerText;  // after PagerText
};

void CheckFixture(const std::string& file, const std::string& protocol, const std::vector<Expected>& table) {
  const auto lines = pagergwtest::FixtureLines(file);
  ASSERT_EQ(lines.size(), table.size()) << file;
  for (const auto& e : table) {
    SCOPED_TRACE(file + ": " + lines[e.line]);
    const auto page = ParseDecoderLine(lines[e.line]);
    ASSERT_TRUE(page.has_value());
    EXPECT_EQ(page->protocol, protocol);
    EXPECT_EQ(page->capcodes, e.capcodes);
    EXPECT_EQ(page->function, e.function);
    EXPECT_EQ(page->form, e.form);
    EXPECT_EQ(pagergw::PagerText(*page), e.pagerText);
  }
}

// The pages of fixtures/pocsag-pages.txt as the decoder gave them.
const std::vector<Expected> kPocsagTable = {
    {0, {1234567}, 3, Form::Alpha, "RESCUE P1 VEHICLE ROLLOVER 14 OLD MILL RD QUARRY FLAT"},
    {1, {1234}, 0, Form::Numeric, "12345 67-890"},
    {2, {4321}, 0, Form::Tone, ""},
    {3, {1900000}, 3, Form::Alpha, "HB"},
    {4, {99}, 3, Form::Alpha, "LINE1\nLINE2\rEND"},
    {5, {2000000}, 3, Form::Alpha, "CMD:TERMINATE"},
    {6, {5}, 1, Form::Alpha, "[MSC] <X> 50% "},  // the <DEL> before the terminator goes too
    // The decoder takes the form from the function: alpha text sent with
    // function 0 comes out as digits, digits with function 2 as letters.
    {7, {77}, 0, Form::Numeric, "[ 52100000"},
    {8, {78}, 2, Form::Alpha, "!"},
    {9, {2097151}, 3, Form::Alpha, "Mixed case, digits 0123456789 and {|}~ at the top capcode"},
};

TEST(DecoderLine, RecordedPocsagLinesAtEachRate) {
  CheckFixture("pocsag-512.txt", "POCSAG512", kPocsagTable);
  CheckFixture("pocsag-1200.txt", "POCSAG1200", kPocsagTable);
  CheckFixture("pocsag-2400.txt", "POCSAG2400", kPocsagTable);
}

TEST(DecoderLine, FlexLinesOfMultimonNg12) {
  CheckFixture("flex-1.2.txt", "FLEX",
               {
                   {0, {1234567}, -1, Form::Alpha, "RESCUE P1 VEHICLE ROLLOVER 14 OLD MILL RD"},
                   // A group page goes to its members, not to the temporary group address.
                   {1, {1234567, 4321}, -1, Form::Alpha, "GROUP PAGE TO TWO"},
                   {2, {100200}, -1, Form::Alpha, "FIRST PART OF A LONG ONE"},
                   {3, {1234}, -1, Form::Numeric, "12345 678"},
                   {4, {4321}, -1, Form::Tone, ""},
                   {5, {4322}, -1, Form::Tone, ""},
                   // Members missed: the group address is all there is.
                   {6, {2029570}, -1, Form::Alpha, "GROUP WITHOUT MEMBERS"},
                   {7, {1234567}, -1, Form::Alpha, "ENDS IN CONTROL BYTES"},
                   {8, {42}, -1, Form::Alpha, "TEXT|WITH|BARS AND A [TAG]"},
               });
}

TEST(DecoderLine, FlexPartFlags) {
  using Part = DecodedPage::Part;
  const struct {
    const char* channel;
    Part part;
  } cases[] = {
      {"1600/2/K/A", Part::Whole}, {"1600/2/F/A", Part::More}, {"3200/4/C/C", Part::Last},
      {"1600/2/X/A", Part::Whole},  // a flag it does not know: taken as printed
      {"1600/2", Part::Whole},      {"1600/2/F", Part::More},
  };
  for (const auto& c : cases) {
    const std::string line = std::string("FLEX|2024-05-01 10:11:12|") + c.channel + "|05.012|001234567|ALN|TEXT";
    const auto page = ParseDecoderLine(line);
    ASSERT_TRUE(page.has_value()) << line;
    EXPECT_EQ(page->part, c.part) << line;
    EXPECT_EQ(page->text, "TEXT");
  }
}

TEST(DecoderLine, LinesThatAreNoPage) {
  for (const auto& line : pagergwtest::FixtureLines("not-pages.txt"))
    EXPECT_FALSE(ParseDecoderLine(line).has_value()) << line;
  // Cut-off and malformed lines.
  for (const char* line : {"POCSAG1200: Address: ", "POCSAG1200: Address: 12x4  Function: 3  Alpha:   X",
                           "POCSAG1200: Address: 1234  Function: 7  Alpha:   X", "POCSAG9600: Address: 1  Function: 0 ",
                           "FLEX|2024-05-01 10:11:12|1600/2/K/A|05.012|001234567", "FLEX|a|b|c|12 x|ALN|T",
                           "FLEX: 2024-05-01 10:11:15 1600/2/A 05.015 [00000123"})
    EXPECT_FALSE(ParseDecoderLine(line).has_value()) << line;
}

}  // namespace
