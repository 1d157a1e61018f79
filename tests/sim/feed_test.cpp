#include <string>

#include <gtest/gtest.h>

#include "platform/xml.h"
#include "tests/sim/sim_fixture.h"

namespace {

using namespace simtest;

// The feed as the kiosk reads it.
struct Feed {
  std::string pages[10];
  std::string lastIncident, lastUnit, lastPriority, lastTaskType, pix;
};

Feed ReadFeed(int port) {
  Feed feed;
  const auto res = Get(port, FeedTarget());
  EXPECT_TRUE(res);
  if (!res) return feed;
  EXPECT_EQ(res->status, 200);
  platform::XmlDocument doc;
  EXPECT_NO_THROW(doc.LoadText(res->body));
  const auto srvc = doc.TopElement("xml").Child("RVUSrvc");
  for (int i = 0; i < 10; ++i) feed.pages[i] = srvc.Child("LEDDisplay").Child(std::string("Page") + char('A' + i)).Text();
  feed.lastIncident = srvc.Child("LastGRNMFSIncNo").Text();
  feed.lastUnit = srvc.Child("LastRVUUnit").Text();
  feed.lastPriority = srvc.Child("LastPriority").Text();
  feed.lastTaskType = srvc.Child("LastTaskType").Text();
  feed.pix = srvc.Child("KioskPix").Text();
  return feed;
}

TEST(Feed, IsXmlWithEveryElementAndNoDeclaration) {
  const auto service = StartSim();
  const auto res = Get(service->Port(), FeedTarget());
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(res->get_header_value("Content-Type").rfind("text/xml", 0), 0u);
  EXPECT_EQ(res->body.find("<?xml"), std::string::npos);

  platform::XmlDocument doc;
  ASSERT_NO_THROW(doc.LoadText(res->body));
  const auto srvc = doc.TopElement("xml").Child("RVUSrvc");
  ASSERT_TRUE(srvc.Exists());
  ASSERT_TRUE(srvc.Child("LEDDisplay").Exists());
  for (char page = 'A'; page <= 'J'; ++page)
    EXPECT_TRUE(srvc.Child("LEDDisplay").Child(std::string("Page") + page).Exists()) << "Page" << page;
  for (const char* name : {"LastGRNMFSIncNo", "LastPriority", "KioskPix"}) {
    const std::string text = srvc.Child(name).Text();
    EXPECT_FALSE(text.empty()) << name;
    EXPECT_EQ(text.find_first_not_of("0123456789"), std::string::npos) << name << " = " << text;
  }
  EXPECT_EQ(srvc.Child("LastRVUUnit").Text(), "JUX");
  EXPECT_TRUE(srvc.Child("LastTaskType").Exists());
  EXPECT_EQ(srvc.Child("KioskPix").Text(), "3");
}

TEST(Feed, DescribesTheCurrentIncidentAndFollowsANewOne) {
  const auto service = StartSim();
  const Feed before = ReadFeed(service->Port());
  const auto current = service->CurrentIncident();
  ASSERT_TRUE(current);
  EXPECT_EQ(before.lastIncident, std::to_string(current->number));
  EXPECT_NE(before.pages[0].find("#" + std::to_string(current->number)), std::string::npos) << before.pages[0];
  EXPECT_FALSE(before.pages[9].empty());

  sim::IncidentFields fields;
  fields.street = "7 MILL RD &#8211; REAR LANE";
  fields.suburb = "oakridge";
  fields.priority = 2;
  fields.taskType = "TREE DOWN";
  const int number = service->RaiseIncident(fields);
  const Feed after = ReadFeed(service->Port());

  EXPECT_NE(after.pages[0], before.pages[0]);
  for (const std::string& part : {"#" + std::to_string(number), std::string("P2"), std::string("TREE DOWN"),
                                 std::string("7 MILL RD - REAR LANE"), std::string("OAKRIDGE")})
    EXPECT_NE(after.pages[0].find(part), std::string::npos) << "'" << part << "' in " << after.pages[0];
  EXPECT_EQ(after.lastIncident, std::to_string(number));
  EXPECT_EQ(after.lastPriority, "2");
  EXPECT_EQ(after.lastTaskType, "TREE DOWN");
  EXPECT_EQ(after.lastUnit, "JUX");
  // The kiosk fetches an incident afresh only after the ticker changed.
  EXPECT_NE(after.pages[9], before.pages[9]);
}

TEST(Feed, WithoutIncidentPageAIsEmptyAndTheNumbersStillRead) {
  auto options = TestOptions();
  options.startWithIncident = false;
  options.pix = 0;
  const auto service = StartSim(options);
  const Feed feed = ReadFeed(service->Port());
  EXPECT_EQ(feed.pages[0], "");
  EXPECT_EQ(feed.lastIncident, "0");
  EXPECT_EQ(feed.lastPriority, "0");
  EXPECT_EQ(feed.pix, "0");
  EXPECT_FALSE(feed.pages[1].empty());
}

}  // namespace
