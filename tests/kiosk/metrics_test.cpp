// The window's figures as the metrics publisher reads them on its thread.
#include "kiosk/metrics_publisher.h"

#include "config/kiosk_settings.h"
#include "tests/kiosk/kiosk_fixture.h"
#include "tests/support/metrics_snapshot.h"

namespace {

using namespace kiosk;
using testsupport::SampleValue;

class MetricsTest : public testsupport::StationSettingsTest {
 protected:
  std::optional<std::string> StationSettingsText() override { return "CommandHosts = 192.0.2.1\n"; }
  void SetUp() override {
    KioskTest::SetUp();
    publisher = std::make_unique<MetricsPublisher>(*window, *unitService, endpoint, dir.File("bin"), 1796990000.5);
  }
  void TearDown() override {
    publisher.reset();
    KioskTest::TearDown();
  }
  platform::MetricsSnapshot Published() {
    publisher->Publish();
    return endpoint.last;
  }
  double Datagrams(const char* kind) {
    return SampleValue(Published(), "rvukiosk_datagrams_total", std::string("kind=") + kind).value_or(-1);
  }

  testsupport::RecordingMetricsEndpoint endpoint;
  std::unique_ptr<MetricsPublisher> publisher;
};

TEST_F(MetricsTest, EachDatagramIsCountedOnceByWhatBecameOfIt) {
  config::KioskSettings.CapCode = 1234567;
  config::KioskSettings.ShowCFS = false;
  const platform::IpAddress station = platform::IpAddress::V4(192, 0, 2, 1);
  const platform::IpAddress stranger = platform::IpAddress::V4(192, 0, 2, 9);
  const struct {
    const char* text;
    platform::IpAddress sender;
    const char* kind;
  } cases[] = {
      {"12:00:01 [MFS:0451003] STRUCTURE FIRE", stranger, "shown"},
      {"12:00:02 [CFS:0451004] GRASS FIRE", stranger, "hidden"},
      {"12:00:03 [RVU:1234567] RESCUE", stranger, "own_page"},
      {"CMD:SCROLL", station, "command"},
      {"CMD:SCROLL", stranger, "command_refused"},
      {"12:00:04 [MSC:HEARTBEAT] 12:00:04", stranger, "shown"},
  };
  for (const auto& c : cases) {
    const double before = Datagrams(c.kind);
    window->IdUDPServer1UDPRead(c.text, c.sender);
    EXPECT_EQ(Datagrams(c.kind), before + 1) << c.text;
  }
  const platform::MetricsSnapshot s = Published();
  EXPECT_EQ(SampleValue(s, "rvukiosk_datagrams_total", "kind=shown"), 2);
  EXPECT_EQ(SampleValue(s, "rvukiosk_heartbeat_pages_total"), 1);
  EXPECT_EQ(SampleValue(s, "rvukiosk_seconds_since_last_datagram"), 0);
  EXPECT_EQ(SampleValue(s, "rvukiosk_start_time_seconds"), 1796990000.5);
  EXPECT_GT(SampleValue(s, "rvukiosk_receive_buffer_bytes").value_or(0), 0);
}

TEST_F(MetricsTest, SilenceLostCommsTheScreenAndTheDarkAsTheWindowHasThem) {
  window->IdUDPServer1UDPRead("12:00:01 [MFS:0451003] STRUCTURE FIRE");
  clock->Advance(61000);
  window->TimerTimer();  // the lost comms line
  window->ShowWeatherPage();
  platform::MetricsSnapshot s = Published();
  EXPECT_NEAR(SampleValue(s, "rvukiosk_seconds_since_last_datagram").value_or(0), 61, 0.01);
  EXPECT_EQ(SampleValue(s, "rvukiosk_lost_comms"), 1);
  EXPECT_EQ(SampleValue(s, "rvukiosk_screen", "screen=weather"), 1);
  EXPECT_EQ(SampleValue(s, "rvukiosk_dark"), 0);

  window->State.ScreenSaverUntil = platform::Now() - platform::kOneMinute;
  window->IdUDPServer1UDPRead("12:00:02 [MFS:0451003] STRUCTURE FIRE");
  s = Published();
  EXPECT_EQ(SampleValue(s, "rvukiosk_lost_comms"), 0);
  EXPECT_EQ(SampleValue(s, "rvukiosk_dark"), 1);
  // The tick's poll went to the service, which knows no feed here (404).
  EXPECT_EQ(SampleValue(s, "rvukiosk_service_requests_total", "request=status_poll,result=http_error"), 1);
}

}  // namespace
