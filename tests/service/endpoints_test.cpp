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
      {-5, 0, "A&B", "/rvu/rvuisapi.dll/GetZAVPagerXML?MFSIncNo=-5&RVUUnit=A&B&GUID=3C9D2B70-5E41-4A8F-9B26-D17E0A4C58F3"},
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
