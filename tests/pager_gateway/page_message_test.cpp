// The page messages of the region's broker: the JSON written and read back,
// and every way a payload is refused.
#include <gtest/gtest.h>

#include "pager-gateway/page_message.h"

namespace {

using namespace pagergw;

PageMessage Sample() {
  PageMessage p;
  p.decoded = 1714522272;  // 2024-05-01 00:11:12 UTC
  p.utcOffsetSeconds = 10 * 3600;
  p.capcode = 1234567;
  p.agency = "MSC:HEARTBEAT";
  p.alias = "Brindlemoor \"rescue\"";
  p.text = std::string(" CMD:X\\ \x01\r\n\xe9\xff", 13);
  p.mode = "POCSAG1200";
  p.receiver = "ridge";
  return p;
}

TEST(PageMessage, WrittenAsPlainAsciiJsonAndReadBack) {
  const std::string json = WritePageMessage(Sample());
  EXPECT_EQ(json,
            "{\"time\":\"2024-05-01T10:11:12+10:00\",\"capcode\":1234567,\"agency\":\"MSC:HEARTBEAT\","
            "\"alias\":\"Brindlemoor \\\"rescue\\\"\",\"text\":\" CMD:X\\\\ \\u0001\\u000d\\u000a\\u00e9\\u00ff\","
            "\"mode\":\"POCSAG1200\",\"receiver\":\"ridge\"}");
  std::string why;
  const auto back = ReadPageMessage(json, why);
  ASSERT_TRUE(back) << why;
  EXPECT_EQ(*back, Sample());
}

TEST(PageMessage, TopicsOfPagesAndStates) {
  EXPECT_EQ(PageTopic("rvu", "MSC:HEARTBEAT", 1900000), "rvu/pages/MSC/HEARTBEAT/1900000");
  EXPECT_EQ(PageTopic("region/north", "CFS", 451003), "region/north/pages/CFS/451003");
  EXPECT_EQ(StateTopic("rvu", "ridge"), "rvu/receivers/ridge/state");
}

// A payload around the text: what another publisher may write.
std::string With(const std::string& text, const std::string& rest = "") {
  return "{\"time\":\"2024-05-01T00:11:12Z\",\"capcode\":7,\"agency\":\"RVU\",\"alias\":\"\",\"text\":" + text +
         ",\"mode\":\"FLEX\",\"receiver\":\"r\"" + rest + "}";
}

TEST(PageMessage, StringsAsOtherWritersMayWriteThem) {
  const struct {
    std::string text;
    std::string shown;
  } cases[] = {
      {"\"plain\"", "plain"},
      {"\"\\\"\\\\\\/\\b\\f\\n\\r\\t\"", "\"\\/\b\f\n\r\t"},
      {"\"\\u0041\\u00E9\"", "A\xe9"},
      {"\"caf\xc3\xa9\"", "caf\xe9"},               // UTF-8 in the Latin-1 range: its byte
      {"\"\xe2\x82\xac \\u20ac\"", "? ?"},          // beyond it: a question mark
      {"\"\\ud83d\\ude00\xf0\x9f\x98\x80\"", "??"},  // a pair of surrogates, and the same in UTF-8
      {"\"\"", ""},
  };
  for (const auto& c : cases) {
    std::string why;
    const auto page = ReadPageMessage(With(c.text), why);
    ASSERT_TRUE(page) << c.text << ": " << why;
    EXPECT_EQ(page->text, c.shown) << c.text;
    EXPECT_EQ(page->decoded, 1714522272);
  }
}

TEST(PageMessage, AnythingElseIsRefusedWithItsReason) {
  const struct {
    std::string payload;
    const char* why;
  } cases[] = {
      {"CMD:TERMINATE", "not a JSON object"},
      {"[1,2]", "not a JSON object"},
      {With("{\"a\":\"b\"}"), "nested value at \"text\""},
      {With("[\"CMD:X\"]"), "nested value at \"text\""},
      {With("\"x\"", ",\"extra\":\"y\""), "unknown key \"extra\""},
      {With("\"x\"", ",\"text\":\"y\""), "\"text\" twice"},
      {With("7"), "\"text\" is no string"},
      {With("true"), "a string or a whole number expected"},
      {With("\"x\"") + " x", "text after the object"},
      {With("\"a\x01\""), "control character in a string"},
      {With("\"\\x\""), "bad escape"},
      {With("\"\\u12\""), "bad \\u escape"},
      {With("\"\\udc00\""), "lone surrogate"},
      {With("\"\\ud800x\""), "lone surrogate"},
      {With("\"\xc3\""), "not UTF-8"},
      {With("\"\xe0\x80\x80\""), "not UTF-8"},
      {With("\"\xff\""), "not UTF-8"},
      {"{\"text\":\"unterminated", "unterminated string"},
      {"{\"time\":\"2024-05-01T00:11:12Z\"}", "no \"agency\""},
      {"{\"time\":\"2024-05-01T00:11:12Z\",\"capcode\":07,\"agency\":\"RVU\",\"alias\":\"\",\"text\":\"x\",\"mode\":\"FLEX\",\"receiver\":\"r\"}",
       "a number with a leading zero"},
      {"{\"time\":\"2024-05-01T00:11:12Z\",\"capcode\":1.5,\"agency\":\"RVU\",\"alias\":\"\",\"text\":\"x\",\"mode\":\"FLEX\",\"receiver\":\"r\"}",
       "not a whole number"},
      {"{\"time\":\"2024-05-01T00:11:12Z\",\"capcode\":-1,\"agency\":\"RVU\",\"alias\":\"\",\"text\":\"x\",\"mode\":\"FLEX\",\"receiver\":\"r\"}",
       "a string or a whole number expected"},
      {"{\"time\":\"2024-05-01T00:11:12\",\"capcode\":7,\"agency\":\"RVU\",\"alias\":\"\",\"text\":\"x\",\"mode\":\"FLEX\",\"receiver\":\"r\"}",
       "\"time\" is no ISO 8601 time with its zone"},
      {"{\"time\":\"2024-05-01T00:11:12Z\",\"capcode\":7,\"agency\":\"[RVU\",\"alias\":\"\",\"text\":\"x\",\"mode\":\"FLEX\",\"receiver\":\"r\"}",
       "\"agency\" is no agency tag"},
      {"{\"time\":\"2024-05-01T00:11:12Z\",\"capcode\":7,\"agency\":\"RVU\",\"alias\":\"\",\"text\":\"x\",\"mode\":\"AFSK\",\"receiver\":\"r\"}",
       "\"mode\" is none of POCSAG512 POCSAG1200 POCSAG2400 FLEX"},
      {"{\"time\":\"2024-05-01T00:11:12Z\",\"capcode\":7,\"agency\":\"RVU\",\"alias\":\"\",\"text\":\"x\",\"mode\":\"FLEX\",\"receiver\":\"\"}",
       "\"receiver\" is no receiver name"},
  };
  for (const auto& c : cases) {
    std::string why;
    EXPECT_FALSE(ReadPageMessage(c.payload, why)) << c.payload;
    EXPECT_EQ(why, c.why) << c.payload;
  }
}

TEST(PageMessage, PayloadsUpToTheLimitAreTaken) {
  PageMessage p = Sample();
  p.text.clear();
  const std::size_t frame = WritePageMessage(p).size();
  p.text = std::string(kMaxPageMessageBytes - frame, 'x');
  std::string why;
  EXPECT_TRUE(ReadPageMessage(WritePageMessage(p), why)) << why;
  p.text += 'x';
  EXPECT_FALSE(ReadPageMessage(WritePageMessage(p), why));
  EXPECT_EQ(why, "over 8192 bytes");
}

TEST(PageMessage, IsoTimes) {
  EXPECT_EQ(WriteIsoTime(0, 0), "1970-01-01T00:00:00+00:00");
  EXPECT_EQ(WriteIsoTime(951782400, -3 * 3600 - 1800), "2000-02-28T20:30:00-03:30");  // 2000-02-29 00:00 UTC
  const struct {
    const char* text;
    std::optional<std::int64_t> utc;
  } cases[] = {
      {"2000-02-29T00:00:00Z", 951782400},
      {"2000-02-28T20:30:00-03:30", 951782400},
      {"2000-02-29T10:00:00.250+10:00", 951782400},
      {"2001-02-29T00:00:00Z", std::nullopt},  // no such day
      {"2000-02-29 00:00:00Z", std::nullopt},
      {"2000-02-29T00:00:00", std::nullopt},   // no zone
      {"2000-02-29T24:00:00Z", std::nullopt},
      {"2000-02-29T00:00:00+1000", std::nullopt},
  };
  for (const auto& c : cases) {
    const auto t = ReadIsoTime(c.text);
    EXPECT_EQ(t ? std::optional<std::int64_t>(t->utcSeconds) : std::nullopt, c.utc) << c.text;
  }
}

}  // namespace
