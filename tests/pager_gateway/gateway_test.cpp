// The gateway's decisions with the time given by the test.
#include <gtest/gtest.h>

#include "pager-gateway/gateway.h"

namespace {

using pagergw::Gateway;

struct Reports {
  std::vector<std::pair<int, std::string>> all;
  pagergw::ReportFn Fn() {
    return [this](int severity, const std::string& message) { all.emplace_back(severity, message); };
  }
  // The reports of a severity up to notice (what reaches syslog besides info).
  std::vector<std::string> Up(int severity) const {
    std::vector<std::string> out;
    for (const auto& [s, m] : all)
      if (s <= severity) out.push_back(m);
    return out;
  }
};

pagergw::CapcodeTable Table() {
  return pagergw::ParseCapcodeTable("1234567 RVU\n1900000 MSC:HEARTBEAT\n").table;
}

const pagergw::TimeOfDay kAt{10, 0, 5};

TEST(Gateway, PagesDuplicatesAndOtherLines) {
  Reports reports;
  Gateway gateway(Table(), 60000, 600000, 0, reports.Fn());
  const struct {
    const char* line;
    std::int64_t atMs;
    std::vector<std::string> sent;
  } steps[] = {
      {"Enabled demodulators: POCSAG512 POCSAG1200 POCSAG2400 FLEX", 0, {}},
      {"POCSAG1200: Address: 1234567  Function: 3  Alpha:   RESCUE P1<EOT><NUL>", 100, {"10:00:05 [RVU:1234567] RESCUE P1"}},
      // The same page from another transmitter, with other padding: a duplicate.
      {"POCSAG512: Address: 1234567  Function: 3  Alpha:   RESCUE P1<ETX>", 2000, {}},
      {"POCSAG1200: Address: 1900000  Function: 0  Numeric: 1000  ", 3000, {"10:00:05 [MSC:HEARTBEAT:1900000] 1000"}},
      {"POCSAG1200: Address:    4321  Function: 0 ", 4000, {"10:00:05 [Unknown:4321] "}},
      {"FLEX|2024-05-01 10:11:13|3200/4/K/C|05.013|002029568 001234567 000004321|ALN|RESCUE P1", 5000,
       {"10:00:05 [Unknown:4321] RESCUE P1"}},  // 1234567 had it already
      {"POCSAG1200: Address: 1234567  Function: 3  Alpha:   RESCUE P1<EOT>", 60100, {"10:00:05 [RVU:1234567] RESCUE P1"}},
  };
  for (const auto& s : steps) EXPECT_EQ(gateway.OnDecoderLine(s.line, kAt, s.atMs), s.sent) << s.line;
  EXPECT_EQ(gateway.PagesDecoded(), 6u);
  EXPECT_TRUE(reports.Up(pagergw::kInfo).empty()) << reports.Up(pagergw::kInfo).front();
}

// Every page goes to the broker, duplicates too (another station may not have
// had the first); a page from the broker goes through the same duplicate check
// as those decoded here.
TEST(Gateway, PublishedBeforeTheDuplicateCheckRelayedThroughIt) {
  Reports reports;
  Gateway gateway(Table(), 60000, 600000, 0, reports.Fn());
  std::vector<std::string> published;
  gateway.SetPublisher([&](const pagergw::FeedLine& line, const std::string& mode) {
    published.push_back(mode + " " + line.agency + " " + std::to_string(line.capcode) + " " + line.pagerText);
  });
  const char* line = "POCSAG1200: Address: 1234567  Function: 3  Alpha:   CMD:TERMINATE<EOT>";
  EXPECT_EQ(gateway.OnDecoderLine(line, kAt, 0).size(), 1u);
  EXPECT_TRUE(gateway.OnDecoderLine(line, kAt, 100).empty());
  EXPECT_EQ(gateway.OnDecoderLine("FLEX|2024-05-01 10:11:13|1600/2/K/A|05.013|001900000|ALN|HB", kAt, 200).size(), 1u);
  EXPECT_EQ(published, (std::vector<std::string>{"POCSAG1200 RVU 1234567  CMD:TERMINATE",
                                                 "POCSAG1200 RVU 1234567  CMD:TERMINATE",
                                                 "FLEX MSC:HEARTBEAT 1900000 HB"}));
  // The broker brings back what was shown here, and a page only another receiver heard.
  const auto echo = pagergw::MakeFeedLine({9, 0, 0}, "RVU", "", 1234567, " CMD:TERMINATE");
  EXPECT_TRUE(gateway.OnRelayedLine(echo, 300).empty());
  const auto other = pagergw::MakeFeedLine({9, 0, 0}, "CFS", "", 451003, "ELSEWHERE");
  EXPECT_EQ(gateway.OnRelayedLine(other, 400), std::vector<std::string>{"09:00:00 [CFS:451003] ELSEWHERE"});
  EXPECT_TRUE(gateway.OnRelayedLine(other, 500).empty());
}

TEST(Gateway, NoDuplicateCheckWithAZeroWindow) {
  Reports reports;
  Gateway gateway(Table(), 0, 600000, 0, reports.Fn());
  const char* line = "POCSAG1200: Address: 1234567  Function: 3  Alpha:   X";
  EXPECT_EQ(gateway.OnDecoderLine(line, kAt, 0).size(), 1u);
  EXPECT_EQ(gateway.OnDecoderLine(line, kAt, 0).size(), 1u);
}

TEST(Gateway, CutLineIsReported) {
  Reports reports;
  Gateway gateway(Table(), 60000, 600000, 0, reports.Fn());
  const std::string line = "FLEX|2024-05-01 10:11:13|1600/2/K/A|05.013|001234567|ALN|" + std::string(9000, 'A');
  const auto sent = gateway.OnDecoderLine(line, kAt, 0);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].size(), platform::kFeedMaxDatagramBytes);
  EXPECT_EQ(reports.Up(pagergw::kWarning), std::vector<std::string>{"page to 1234567 cut from 9023 to 8192 bytes"});
}

TEST(Gateway, SilenceIsReportedOnceAndItsEnd) {
  Reports reports;
  Gateway gateway(Table(), 60000, 600000, 1000, reports.Fn());
  const struct {
    std::int64_t atMs;
    const char* line;  // nullptr: a tick
    std::vector<std::string> reported;
  } steps[] = {
      {600999, nullptr, {}},
      {601000, nullptr, {"no page decoded for 600 s"}},
      {900000, nullptr, {}},  // once
      {900000, "FLEX: Synchronisation Lost", {}},  // decoder output that is no page does not count
      {950000, "POCSAG1200: Address: 42  Function: 0 ", {"pages decoded again after 949 s without"}},
      {1549999, nullptr, {}},
      {1550000, nullptr, {"no page decoded for 600 s"}},
  };
  for (const auto& s : steps) {
    reports.all.clear();
    if (s.line)
      gateway.OnDecoderLine(s.line, kAt, s.atMs);
    else
      gateway.OnTick(s.atMs);
    EXPECT_EQ(reports.Up(pagergw::kNotice), s.reported) << s.atMs;
    for (const auto& [severity, message] : reports.all)
      if (message.rfind("no page", 0) == 0) {
        EXPECT_EQ(severity, pagergw::kWarning);
      }
  }
}

}  // namespace
