#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/metrics.h"

namespace pagergw {

// The relay of pages to an MQTT broker, for a gateway that has one.
struct MqttFigures {
  std::uint64_t published = 0;  // pages published to the broker
  std::uint64_t relayed = 0;    // pages taken from the broker and sent on
  std::uint64_t stale = 0;      // pages from the broker dropped as too old
  bool connected = false;       // the broker connection is up
};

// What the gateway tells a monitoring system.
struct GatewayFigures {
  std::vector<std::string> modes;                          // the decoders set up
  std::map<std::string, std::uint64_t> pagesDecodedByMode;  // decoded so far
  std::uint64_t datagramsSent = 0;
  std::uint64_t duplicatesDropped = 0;
  std::uint64_t sendErrors = 0;
  double secondsSinceLastPage = 0;  // since the start when none was decoded
  double silenceReportSeconds = 0;  // the setting: silence longer than this is reported
  std::uint64_t receiverRestarts = 0;
  std::optional<MqttFigures> mqtt;
  std::string version;
  double startTimeSeconds = 0;  // Unix time
};

// The snapshot the gateway's metrics endpoint serves; every mode set up is
// there from the start, at 0 until it decodes a page.
platform::MetricsSnapshot GatewaySnapshot(const GatewayFigures& figures);

}  // namespace pagergw
