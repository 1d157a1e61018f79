#include <gtest/gtest.h>

#include "pager-gateway/feed_line.h"

namespace {

using pagergw::DecodedPage;
using pagergw::MapPage;
using Form = DecodedPage::Form;

pagergw::CapcodeTable Table() {
  return pagergw::ParseCapcodeTable("1234567 RVU Brindlemoor rescue\n1900000 MSC:HEARTBEAT\n451003 CFS\n").table;
}

DecodedPage Page(std::vector<std::uint64_t> capcodes, Form form, std::string text, std::string protocol = "POCSAG1200") {
  DecodedPage p;
  p.protocol = std::move(protocol);
  p.capcodes = std::move(capcodes);
  p.function = form == Form::Numeric ? 0 : 3;
  p.form = form;
  p.text = std::move(text);
  return p;
}

TEST(FeedLine, OneLinePerCapcodeInTheFeedsFormat) {
  const struct {
    DecodedPage page;
    pagergw::TimeOfDay at;
    std::vector<std::string> lines;
  } cases[] = {
      {Page({1234567}, Form::Alpha, "RESCUE P1<EOT>"), {9, 5, 7}, {"09:05:07 [RVU:1234567] RESCUE P1"}},
      {Page({451003}, Form::Numeric, "12345  "), {23, 59, 59}, {"23:59:59 [CFS:451003] 12345"}},
      {Page({1900000}, Form::Alpha, "10:00<ETX>"), {0, 0, 0}, {"00:00:00 [MSC:HEARTBEAT:1900000] 10:00"}},
      {Page({42}, Form::Alpha, "???"), {12, 0, 1}, {"12:00:01 [Unknown:42] ???"}},
      // A tone-only page is the line with an empty text.
      {Page({1234567}, Form::Tone, ""), {12, 0, 1}, {"12:00:01 [RVU:1234567] "}},
      {Page({0}, Form::Tone, ""), {12, 0, 1}, {"12:00:01 [Unknown:0] "}},
      // A page that begins like a remote command of the kiosk.
      {Page({1234567}, Form::Alpha, "CMD:TERMINATE<EOT>"), {1, 2, 3}, {"01:02:03 [RVU:1234567]  CMD:TERMINATE"}},
      {Page({1234567}, Form::Alpha, "cmd:x CMD:TERMINATE"), {1, 2, 3}, {"01:02:03 [RVU:1234567] cmd:x CMD:TERMINATE"}},
      // One message to several capcodes, as each pager receives it.
      {Page({1234567, 451003, 77}, Form::Alpha, "GROUP", "FLEX"),
       {8, 0, 0},
       {"08:00:00 [RVU:1234567] GROUP", "08:00:00 [CFS:451003] GROUP", "08:00:00 [Unknown:77] GROUP"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> lines;
    for (const auto& line : MapPage(c.page, Table(), c.at)) lines.push_back(line.text);
    EXPECT_EQ(lines, c.lines) << c.page.text;
  }
  const auto line = MapPage(Page({1234567}, Form::Alpha, "X"), Table(), {}).at(0);
  EXPECT_EQ(line.alias, "Brindlemoor rescue");
  EXPECT_EQ(line.pagerText, "X");
}

TEST(FeedLine, OwnCapcodeMarkerOfTheKioskMatchesOnlyItsCapcode) {
  // The kiosk looks for ":" capcode "]": no leading zeros, no other capcode.
  const auto line = MapPage(Page({1234}, Form::Alpha, "X"), Table(), {}).at(0).text;
  EXPECT_NE(line.find(":1234]"), std::string::npos);
  EXPECT_EQ(line.find(":234]"), std::string::npos);
  EXPECT_EQ(line.find(":0001234]"), std::string::npos);
}

TEST(FeedLine, DatagramNeverTooLongNorACommand) {
  const std::string max(platform::kFeedMaxDatagramBytes, 'x');
  const struct {
    std::string line;
    std::string sent;
    bool cut;
  } cases[] = {
      {"12:00:00 [RVU:1] X", "12:00:00 [RVU:1] X", false},
      {max, max, false},
      {max + "y", max, true},
      {max + std::string(10000, 'y'), max, true},
      {"CMD:TERMINATE", " CMD:TERMINATE", false},
      {"CMD:" + max, " CMD:" + max.substr(0, platform::kFeedMaxDatagramBytes - 5), true},
      {"", "", false},
  };
  for (const auto& c : cases) {
    const auto d = pagergw::PrepareDatagram(c.line);
    EXPECT_EQ(d.bytes, c.sent) << c.line.substr(0, 20);
    EXPECT_EQ(d.cut, c.cut) << c.line.substr(0, 20);
  }
}

}  // namespace
