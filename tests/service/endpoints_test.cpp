#include "service/endpoints.h"

#include <gtest/gtest.h>

namespace {

using namespace service;
using platform::EncodeDateTime;

TEST(Endpoints, IncidentRequestPaths) {
  struct Case {
    std::int32_t incNo;
    platform::TDateTime date;
    const char* unit;
    const char* expected;
  } cases[] = {
      {0, 0, "", "/rvu/rvuisapi.dll/GetZAVPagerXML?MFSIncNo=0&GUID=3C9D2B70-5E41-4A8F-9B26-D17E0A4C58F3"},
      {123456, EncodeDateTime({2013, 5, 12, 14, 30, 0, 0}), "JUX 2",
       "/rvu/rvuisapi.dll/GetZAVPagerXML?MFSIncNo=123456&ZAVDate=2013-05-12&RVUUnit=JUX 2"
       "&GUID=3C9D2B70-5E41-4A8F-9B26-D17E0A4C58F3"},
      {-5, 0, "A&B#1", "/rvu/rvuisapi.dll/GetZAVPagerXML?MFSIncNo=-5&RVUUnit=A%26B%231&GUID=3C9D2B70-5E41-4A8F-9B26-D17E0A4C58F3"},
  };
  for (const auto& c : cases) EXPECT_EQ(IncidentRequestPath("/rvu/rvuisapi.dll", c.incNo, c.date, c.unit), c.expected);
}

TEST(Endpoints, FeedAddressCarriesASeventeenDigitStamp) {
  EXPECT_EQ(StatusFeedAddress("feed.example:81", EncodeDateTime({2026, 12, 9, 7, 5, 3, 9})),
            "http://feed.example:81/rvu/RVUSrvc.xml?20261209070503009");
  EXPECT_EQ(FeedHost(), RVU_FEED_HOST_DEFAULT);
}

TEST(Endpoints, RouteMapAddressByteForByte) {
  EXPECT_EQ(RouteMapAddress("localhost:8080", "/rvu/rvuisapi.dll", 123456, EncodeDateTime({2026, 12, 9, 13, 32, 40, 0}),
                            "14 Old Mill Rd", "BRINDLEMOOR EAST"),
            "http://localhost:8080/rvu/rvuisapi.dll/iframe?iframeonly=true&output=html"
            "&guid=3C9D2B70-5E41-4A8F-9B26-D17E0A4C58F3&mfsincno=123456&incidentdate=2026-12-09"
            "&width=1180&height=840&url=https://maps.google.com/maps?mapmode=standard[amp]views=traffic"
            "[amp]zoom=15[amp]hl=en[amp]iwloc=near[amp]output=embed[amp]directionsmode=driving"
            "[amp]daddr=14 Old Mill Rd BRINDLEMOOR EAST,vendale shire"
            "[amp]saddr=12 quarry rd brindlemoor,vendale shire");
  // No pager time: the date of day 0.
  EXPECT_NE(RouteMapAddress("h", "/u", 0, 0, "", "").find("&incidentdate=1899-12-30&"), std::string::npos);
}

// Street and suburb go into the map address as they are, except the characters
// that would split the outer query ("&"), cut it off ("#"), or change the value
// when the service decodes it ("%", "+", control characters).
TEST(Endpoints, RouteMapDestinationValues) {
  struct Case {
    std::string street, suburb;
    const char* daddr;
  } cases[] = {
      {"14 Old Mill Rd", "BRINDLEMOOR EAST", "14 Old Mill Rd BRINDLEMOOR EAST"},
      {"O'NEIL ST/MAIN RD (REAR), LOT 7-9; \"A\" = ?~", "ST. KILDA [NTH] @ *!$",
       "O'NEIL ST/MAIN RD (REAR), LOT 7-9; \"A\" = ?~ ST. KILDA [NTH] @ *!$"},
      {"\xC9GLISE RD", "", "\xC9GLISE RD "},  // Latin-1 letters stay as they are
      {"SMITH & SONS LANE", "ASHCOMBE", "SMITH %26 SONS LANE ASHCOMBE"},
      {"UNIT #4 MILL RD", "ASHCOMBE", "UNIT %234 MILL RD ASHCOMBE"},
      {"100% RD", "A+B", "100%25 RD A%2BB"},
      {"A\r\nB\tC", std::string("D\0E", 3), "A%0D%0AB%09C D%00E"},
      {"\x1F\x20\x7E\x7F", "&&", "%1F ~%7F %26%26"},
  };
  for (const auto& c : cases) {
    const std::string address = RouteMapAddress("h", "/u", 1, 0, c.street, c.suburb);
    const size_t from = address.find("[amp]daddr=") + 11;
    EXPECT_EQ(address.substr(from, address.find("[amp]saddr=") - from), std::string(c.daddr) + ",vendale shire")
        << c.street;
  }
}

TEST(Endpoints, PagesOfTheWebHost) {
  EXPECT_EQ(TaskSummaryAddress("localhost:8080", "JUX", "1"),
            "http://localhost:8080/rvu/rvuisapi.dll/json?method=getsummary&rvuunit=JUX&days=1"
            "&guid=3C9D2B70-5E41-4A8F-9B26-D17E0A4C58F3");
  EXPECT_EQ(WeatherPageAddress("h:1"), "http://h:1/rvu/bom.htm");
  EXPECT_EQ(ChartPageAddress("h", 0), "http://h/rvu/ChartCrewIncidentCounts.html");
  EXPECT_EQ(ChartPageAddress("h", 5), "http://h/rvu/ChartUnitSectorInidentCounts.html");
  EXPECT_EQ(ChartPageAddress("h", 7), "http://h/rvu/ChartUnitIncidentsCounts.html");
  EXPECT_EQ(ChartPageAddress("h", 8), "");
  struct Case {
    int number;
    const char* name;
  } pictures[] = {{1, "IMG001"}, {7, "IMG007"}, {42, "IMG042"}, {1000, "IMG1000"}, {1234, "IMG1234"}};
  for (const auto& c : pictures)
    EXPECT_EQ(KioskPictureAddress("h", c.number), std::string("http://h/rvu/kioskpix/html/") + c.name + "_big.jpg");
}

}  // namespace
