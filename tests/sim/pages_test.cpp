#include <cctype>
#include <cstdio>
#include <set>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/datetime.h"
#include "platform/http.h"
#include "service/endpoints.h"
#include "tests/sim/sim_fixture.h"

namespace {

using namespace simtest;

constexpr const char* kDestination = "14 HIGH ST ASHCOMBE";

// The ways the map address reaches the service: as the kiosk's browser sends
// it (blanks escaped), with raw blanks, and with the whole value escaped.
struct Encoding {
  const char* name;
  std::string (*encode)(const std::string& target);
};

void PrintTo(const Encoding& e, std::ostream* os) { *os << e.name; }

std::string EscapeBlanks(const std::string& target) { return ReplaceAll(target, " ", "%20"); }
std::string Unchanged(const std::string& target) { return target; }
std::string EscapeUrlValue(const std::string& target) {
  const size_t at = target.find("&url=") + 5;
  std::string value;
  for (char c : target.substr(at)) {
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.')
      value += c;
    else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
      value += hex;
    }
  }
  return target.substr(0, at) + value;
}

class RouteMap : public ::testing::TestWithParam<Encoding> {};

TEST_P(RouteMap, ShowsBothAddressesWithAmpReadAsAmpersand) {
  const auto service = StartSim();
  const auto res = Get(service->Port(), GetParam().encode(MapTarget("2612345", "2026-05-12", kDestination)));
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(res->get_header_value("Content-Type").rfind("text/html", 0), 0u);
  const std::string& page = res->body;
  EXPECT_NE(page.find("<svg"), std::string::npos);
  EXPECT_NE(page.find("width=\"1180\" height=\"840\""), std::string::npos);
  // Each address ends where its "[amp]" was.
  EXPECT_NE(page.find(">From: " + std::string(kStation) + "<"), std::string::npos);
  EXPECT_NE(page.find(">To: " + std::string(kDestination) + ",vendale shire<"), std::string::npos);
  EXPECT_NE(page.find("2612345"), std::string::npos);
  EXPECT_NE(page.find("2026-05-12"), std::string::npos);
  EXPECT_EQ(page.find("[amp]"), std::string::npos);
  EXPECT_NE(page.find("directionsmode=driving&amp;daddr="), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Encodings, RouteMap,
                         ::testing::Values(Encoding{"BrowserEscaped", EscapeBlanks}, Encoding{"RawBlanks", Unchanged},
                                           Encoding{"ValueEscaped", EscapeUrlValue}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RouteMapPage, IsTheSameForTheSameAddressesAndFollowsTheSize) {
  const auto service = StartSim();
  const int port = service->Port();
  const auto first = Get(port, EscapeBlanks(MapTarget("1", "2026-05-12", kDestination)));
  const auto again = Get(port, EscapeBlanks(MapTarget("1", "2026-05-12", kDestination)));
  const auto elsewhere = Get(port, EscapeBlanks(MapTarget("1", "2026-05-12", "3 MILL RD OAKRIDGE")));
  const auto small = Get(port, EscapeBlanks(MapTarget("1", "2026-05-12", kDestination, 800, 600)));
  ASSERT_TRUE(first && again && elsewhere && small);
  EXPECT_EQ(first->body, again->body);
  EXPECT_NE(first->body, elsewhere->body);
  EXPECT_NE(small->body.find("width=\"800\" height=\"600\""), std::string::npos);
}

// The route map address as the kiosk builds it, sent by the kiosk's HTTP client
// (which escapes blanks as the browser view does): a destination with
// characters that would split the query, cut it off or change on decoding
// reaches the service's page whole.
TEST(RouteMapPage, TheKiosksDestinationArrivesWhole) {
  const auto service = StartSim();
  const std::string host = "127.0.0.1:" + std::to_string(service->Port());
  struct Case {
    const char* street;
    const char* suburb;
    const char* shown;  // as the page writes it
  } cases[] = {
      {"14 HIGH ST", "ASHCOMBE", "14 HIGH ST ASHCOMBE"},
      {"SMITH & SONS LANE", "ASHCOMBE", "SMITH &amp; SONS LANE ASHCOMBE"},
      {"UNIT #4 MILL RD", "ASHCOMBE", "UNIT #4 MILL RD ASHCOMBE"},
      {"100% RD", "A+B", "100% RD A+B"},
  };
  for (const auto& c : cases) {
    const std::string address = service::RouteMapAddress(
        host, "/rvu/rvuisapi.dll", 2612345, platform::EncodeDateTime({2026, 5, 12, 14, 30, 0, 0}), c.street, c.suburb);
    platform::HttpClient client;
    client.SetTotalTimeoutMs(5000);
    std::string page;
    try {
      page = client.Get(address);
    } catch (const std::exception& e) {
      ADD_FAILURE() << c.street << ": " << e.what();
    }
    EXPECT_NE(page.find(">To: " + std::string(c.shown) + ",vendale shire<"), std::string::npos) << c.street;
    EXPECT_NE(page.find(">From: " + std::string(kStation) + "<"), std::string::npos) << c.street;
  }
}

TEST(RouteMapPage, NeedsTheGuid) {
  const auto service = StartSim();
  std::string target = EscapeBlanks(MapTarget("1", "2026-05-12", kDestination));
  target = ReplaceAll(target, kGuid, "00000000-0000-0000-0000-000000000000");
  const auto res = Get(service->Port(), target);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 403);
}

// Each chart draws its data with marks of its own kind.
struct ChartCase {
  const char* path;
  const char* mark;
};

void PrintTo(const ChartCase& c, std::ostream* os) { *os << c.path; }

class HtmlPages : public ::testing::TestWithParam<ChartCase> {};

TEST_P(HtmlPages, AreHtmlWithAnSvgChart) {
  const auto service = StartSim();
  const auto res = Get(service->Port(), GetParam().path);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(res->get_header_value("Content-Type").rfind("text/html", 0), 0u);
  EXPECT_EQ(res->body.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_NE(res->body.find("<svg"), std::string::npos);
  EXPECT_NE(res->body.find("</svg>"), std::string::npos);
  EXPECT_NE(res->body.find(GetParam().mark), std::string::npos) << GetParam().mark;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, HtmlPages,
    ::testing::Values(ChartCase{"/rvu/ChartCrewIncidentCounts.html", "class=\"bar\""},
                      ChartCase{"/rvu/ChartTaskCoordinates.html", "class=\"point\""},
                      ChartCase{"/rvu/ChartTaskStopCalls.html", "class=\"bar\""},
                      ChartCase{"/rvu/ChartTaskTypes.html", "class=\"slice\""},
                      ChartCase{"/rvu/ChartTaskPriorities.html", "class=\"slice\""},
                      ChartCase{"/rvu/ChartUnitSectorInidentCounts.html", "class=\"bar\""},
                      ChartCase{"/rvu/ChartUnitSuburbsCounts.html", "class=\"bar\""},
                      ChartCase{"/rvu/ChartUnitIncidentsCounts.html", "class=\"series\""},
                      ChartCase{"/rvu/bom.htm", "class=\"icon\""}));

// Width and height from the start-of-frame segment of a JPEG.
std::pair<int, int> JpegSize(const std::string& jpeg) {
  for (size_t i = 2; i + 9 < jpeg.size();) {
    if (static_cast<unsigned char>(jpeg[i]) != 0xFF) return {0, 0};
    const unsigned char marker = static_cast<unsigned char>(jpeg[i + 1]);
    const size_t length = static_cast<unsigned char>(jpeg[i + 2]) * 256u + static_cast<unsigned char>(jpeg[i + 3]);
    if (marker == 0xC0 || marker == 0xC2) {
      const int height = static_cast<unsigned char>(jpeg[i + 5]) * 256 + static_cast<unsigned char>(jpeg[i + 6]);
      const int width = static_cast<unsigned char>(jpeg[i + 7]) * 256 + static_cast<unsigned char>(jpeg[i + 8]);
      return {width, height};
    }
    i += 2 + length;
  }
  return {0, 0};
}

TEST(Pictures, AreDistinctJpegsUpToTheCount) {
  const auto service = StartSim();
  std::set<std::string> seen;
  for (const char* name : {"IMG001", "IMG002", "IMG003"}) {
    const auto res = Get(service->Port(), std::string("/rvu/kioskpix/html/") + name + "_big.jpg");
    ASSERT_TRUE(res) << name;
    EXPECT_EQ(res->status, 200) << name;
    EXPECT_EQ(res->get_header_value("Content-Type"), "image/jpeg");
    const std::string& jpeg = res->body;
    ASSERT_GT(jpeg.size(), 4u);
    EXPECT_EQ(jpeg.substr(0, 2), "\xFF\xD8") << name;
    EXPECT_EQ(jpeg.substr(jpeg.size() - 2), "\xFF\xD9") << name;
    EXPECT_EQ(JpegSize(jpeg), std::make_pair(1024, 768)) << name;
    seen.insert(jpeg);
  }
  EXPECT_EQ(seen.size(), 3u);
}

struct PictureName {
  int pix;
  const char* name;
  int status;
};

void PrintTo(const PictureName& p, std::ostream* os) { *os << p.name << " of " << p.pix; }

class PictureNames : public ::testing::TestWithParam<PictureName> {};

TEST_P(PictureNames, FollowTheKiosksNumbering) {
  auto options = TestOptions();
  options.pix = GetParam().pix;
  const auto service = StartSim(options);
  const auto res = Get(service->Port(), std::string("/rvu/kioskpix/html/") + GetParam().name + "_big.jpg");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(Names, PictureNames,
                         ::testing::Values(PictureName{3, "IMG004", 404}, PictureName{3, "IMG000", 404},
                                           PictureName{3, "IMG1", 404}, PictureName{3, "IMG0001", 404},
                                           PictureName{0, "IMG001", 404}, PictureName{1000, "IMG1000", 200},
                                           PictureName{1000, "IMG01000", 404}));

TEST(OtherPaths, AreNotFound) {
  const auto service = StartSim();
  for (const char* target : {"/", "/rvu/", "/rvu/rvusrvc.xml", "/rvu/rvuisapi.dll/Unknown", "/rvu/ChartNope.html",
                             "/rvu/kioskpix/html/IMG001.jpg", "/rvu/rvuisapi.dll/GetZAVPagerXML/extra"}) {
    const auto res = Get(service->Port(), target);
    ASSERT_TRUE(res) << target;
    EXPECT_EQ(res->status, 404) << target;
  }
}

}  // namespace
