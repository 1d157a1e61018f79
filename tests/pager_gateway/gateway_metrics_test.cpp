#include "pager-gateway/gateway_metrics.h"

#include <gtest/gtest.h>

#include "tests/support/metrics_snapshot.h"

namespace {

using namespace pagergw;
using testsupport::SampleValue;

TEST(GatewayMetrics, EveryModeSetUpFromTheStartAndTheBrokerOnlyWhereThereIsOne) {
  GatewayFigures f;
  f.modes = {"POCSAG1200", "FLEX"};
  f.pagesDecodedByMode = {{"POCSAG1200", 4}};
  f.duplicatesDropped = 2;
  f.secondsSinceLastPage = 12.5;
  f.silenceReportSeconds = 600;
  f.receiverRestarts = 3;
  platform::MetricsSnapshot s = GatewaySnapshot(f);
  EXPECT_EQ(SampleValue(s, "rvu_pager_gateway_pages_decoded_total", "mode=POCSAG1200"), 4);
  EXPECT_EQ(SampleValue(s, "rvu_pager_gateway_pages_decoded_total", "mode=FLEX"), 0);
  EXPECT_FALSE(SampleValue(s, "rvu_pager_gateway_pages_decoded_total", "mode=POCSAG512"));
  EXPECT_EQ(SampleValue(s, "rvu_pager_gateway_duplicates_dropped_total"), 2);
  EXPECT_EQ(SampleValue(s, "rvu_pager_gateway_seconds_since_last_page"), 12.5);
  EXPECT_EQ(SampleValue(s, "rvu_pager_gateway_silence_report_seconds"), 600);
  EXPECT_EQ(SampleValue(s, "rvu_pager_gateway_receiver_restarts_total"), 3);
  EXPECT_FALSE(SampleValue(s, "rvu_pager_gateway_mqtt_broker_connected"));

  f.mqtt = MqttFigures{5, 6, 1, true};
  s = GatewaySnapshot(f);
  EXPECT_EQ(SampleValue(s, "rvu_pager_gateway_mqtt_published_total"), 5);
  EXPECT_EQ(SampleValue(s, "rvu_pager_gateway_mqtt_relayed_total"), 6);
  EXPECT_EQ(SampleValue(s, "rvu_pager_gateway_mqtt_stale_total"), 1);
  EXPECT_EQ(SampleValue(s, "rvu_pager_gateway_mqtt_broker_connected"), 1);
}

}  // namespace
