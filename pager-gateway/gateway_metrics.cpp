#include "pager-gateway/gateway_metrics.h"

namespace pagergw {

platform::MetricsSnapshot GatewaySnapshot(const GatewayFigures& f) {
  platform::MetricsBuilder b;
  b.Gauge("rvu_pager_gateway_build_info", "The gateway's program version (always 1).", 1, {{"version", f.version}});
  b.Gauge("rvu_pager_gateway_start_time_seconds", "When the gateway started, in seconds since 1970.",
          f.startTimeSeconds);
  std::map<std::string, std::uint64_t> byMode;
  for (const std::string& mode : f.modes) byMode[mode] = 0;
  for (const auto& [mode, count] : f.pagesDecodedByMode) byMode[mode] = count;
  for (const auto& [mode, count] : byMode)
    b.Counter("rvu_pager_gateway_pages_decoded_total", "Pages decoded, by the decoder's mode.",
              static_cast<double>(count), {{"mode", mode}});
  b.Counter("rvu_pager_gateway_datagrams_sent_total", "Feed datagrams sent, one per page and kiosk.",
            static_cast<double>(f.datagramsSent));
  b.Counter("rvu_pager_gateway_duplicates_dropped_total", "Pages not sent again within the duplicate window.",
            static_cast<double>(f.duplicatesDropped));
  b.Counter("rvu_pager_gateway_send_errors_total", "Feed datagrams that could not be sent to a kiosk.",
            static_cast<double>(f.sendErrors));
  b.Gauge("rvu_pager_gateway_seconds_since_last_page",
          "Seconds since the last decoded page (since the start when none was).", f.secondsSinceLastPage);
  b.Gauge("rvu_pager_gateway_silence_report_seconds", "The SilenceReport setting: silence longer than this is reported.",
          f.silenceReportSeconds);
  b.Counter("rvu_pager_gateway_receiver_restarts_total", "Restarts of the receiver (it ended, or stayed silent).",
            static_cast<double>(f.receiverRestarts));
  if (f.mqtt) {
    b.Counter("rvu_pager_gateway_mqtt_published_total", "Pages published to the MQTT broker.",
              static_cast<double>(f.mqtt->published));
    b.Counter("rvu_pager_gateway_mqtt_relayed_total", "Pages taken from the MQTT broker and sent on.",
              static_cast<double>(f.mqtt->relayed));
    b.Counter("rvu_pager_gateway_mqtt_stale_total", "Pages from the MQTT broker dropped as too old.",
              static_cast<double>(f.mqtt->stale));
    b.Gauge("rvu_pager_gateway_mqtt_broker_connected", "1 while the connection to the MQTT broker is up.",
            f.mqtt->connected ? 1 : 0);
  }
  return b.Take();
}

}  // namespace pagergw
