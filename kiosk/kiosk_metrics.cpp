#include "kiosk/kiosk_metrics.h"

#include <algorithm>

#include "diag/log.h"

namespace kiosk {

const char* NameOf(DatagramKind kind) {
  switch (kind) {
    case DatagramKind::Shown:
      return "shown";
    case DatagramKind::Hidden:
      return "hidden";
    case DatagramKind::OwnPage:
      return "own_page";
    case DatagramKind::Command:
      return "command";
    case DatagramKind::CommandRefused:
      return "command_refused";
  }
  return "";
}

DatagramKind KindOfDatagram(std::string_view text, const DatagramView& view) {
  if (IsCommandText(text)) return DatagramKind::Command;
  if (view.ownCapcode) return DatagramKind::OwnPage;
  return view.show ? DatagramKind::Shown : DatagramKind::Hidden;
}

void StallWatch::Beat(std::int64_t nowMs, std::int64_t intervalMs) {
  if (lastBeatMs_ >= 0) {
    const std::int64_t stall = std::max<std::int64_t>(0, nowMs - lastBeatMs_ - intervalMs);
    const std::int64_t second = nowMs / kSlotMs;
    Slot& slot = slots_[static_cast<std::size_t>(second % static_cast<std::int64_t>(slots_.size()))];
    if (slot.second != second) slot = {second, 0};
    slot.longestMs = std::max(slot.longestMs, stall);
  }
  lastBeatMs_ = nowMs;
}

std::int64_t StallWatch::LongestMs(std::int64_t nowMs) const {
  const std::int64_t now = nowMs / kSlotMs;
  const auto span = static_cast<std::int64_t>(slots_.size());
  std::int64_t longest = 0;
  for (const Slot& slot : slots_)
    if (slot.second >= 0 && slot.second > now - span && slot.second <= now) longest = std::max(longest, slot.longestMs);
  return longest;
}

double SecondsBetween(platform::TDateTime since, platform::TDateTime now) {
  return std::max(0.0, (now - since) * 86400.0);
}

const char* NameOf(Screen screen) {
  switch (screen) {
    case Screen::RouteMap:
      return "route_map";
    case Screen::Weather:
      return "weather";
    case Screen::TaskSummary:
      return "task_summary";
    case Screen::Chart0:
      return "chart";
    case Screen::Picture:
      return "picture";
  }
  return "";
}

platform::MetricsSnapshot KioskSnapshot(const KioskFigures& f) {
  using Kind = platform::MetricFamily::Kind;
  platform::MetricsBuilder b;
  b.Gauge("rvukiosk_build_info", "The kiosk's program version (always 1).", 1, {{"version", f.version}});
  b.Gauge("rvukiosk_start_time_seconds", "When the kiosk started, in seconds since 1970.", f.startTimeSeconds);

  for (int k = 0; k < kDatagramKinds; ++k)
    b.Counter("rvukiosk_datagrams_total", "Datagrams handled on the pager port, by what became of them.",
              static_cast<double>(f.datagrams.byKind[static_cast<std::size_t>(k)]),
              {{"kind", NameOf(static_cast<DatagramKind>(k))}});
  b.Counter("rvukiosk_heartbeat_pages_total", "Pages of the paging network's heartbeat capcode.",
            static_cast<double>(f.datagrams.heartbeatPages));
  b.Gauge("rvukiosk_seconds_since_last_datagram", "Seconds since the last datagram (since the start when none came).",
          f.secondsSinceDatagram);
  b.Gauge("rvukiosk_seconds_since_last_heartbeat_page",
          "Seconds since the last heartbeat page (since the start when none came).", f.secondsSinceHeartbeat);
  b.Gauge("rvukiosk_lost_comms", "1 while the \"Lost comms\" line stands: no datagram for a minute.",
          f.lostComms ? 1 : 0);

  std::vector<platform::MetricSample> seconds;
  for (int k = 0; k < service::kRequestKinds; ++k) {
    const auto kind = static_cast<service::RequestKind>(k);
    for (int r = 0; r < service::kRequestResults; ++r) {
      const auto result = static_cast<service::RequestResult>(r);
      b.Counter("rvukiosk_service_requests_total", "Requests to the unit web service, by request and result.",
                static_cast<double>(f.requests.Count(kind, result)),
                {{"request", service::NameOf(kind)}, {"result", service::NameOf(result)}});
    }
    b.Gauge("rvukiosk_service_failing", "1 while the latest request of the kind failed.",
            f.requests.lastFailed[static_cast<std::size_t>(k)] ? 1 : 0, {{"request", service::NameOf(kind)}});
    seconds.push_back({{{"request", service::NameOf(kind)}}, 0, f.requests.seconds[static_cast<std::size_t>(k)]});
  }
  b.Family("rvukiosk_service_request_seconds", "How long requests to the unit web service took.", Kind::Histogram)
      .samples = std::move(seconds);

  b.Gauge("rvukiosk_ui_longest_stall_seconds", "The longest time the window's thread was held up in the last minute.",
          f.longestStallSeconds);
  for (const Screen screen : {Screen::RouteMap, Screen::Weather, Screen::TaskSummary, Screen::Chart0, Screen::Picture})
    b.Gauge("rvukiosk_screen", "1 for the screen last shown in the browser panel.", f.screen == screen ? 1 : 0,
            {{"screen", NameOf(screen)}});
  b.Gauge("rvukiosk_dark", "1 while the kiosk is dark (only the clock shows).", f.dark ? 1 : 0);

  b.Counter("rvukiosk_renderer_crashes_total", "Deaths of the browser view's page renderer.",
            static_cast<double>(f.renderer.crashes));
  b.Counter("rvukiosk_renderer_reloads_total", "Pages reloaded after their renderer died.",
            static_cast<double>(f.renderer.reloads));
  b.Counter("rvukiosk_renderer_give_ups_total", "Pages given up because their renderer kept dying.",
            static_cast<double>(f.renderer.giveUps));

  for (const auto& [code, count] : f.diag.entriesByCode)
    b.Counter("rvukiosk_log_entries_total", "Log entries written, by code.", static_cast<double>(count),
              {{"code", diag::CodeText(code)}});
  b.Counter("rvukiosk_log_entries_total", "Log entries written, by code.",
            static_cast<double>(f.diag.entriesOfOtherCodes), {{"code", "other"}});
  b.Counter("rvukiosk_log_write_failures_total", "Log entries whose line did not reach the daily file.",
            static_cast<double>(f.diag.logWriteFailures));
  b.Counter("rvukiosk_reports_written_total", "Error reports written.", static_cast<double>(f.diag.reportsWritten));
  b.Counter("rvukiosk_reports_held_back_total", "Error reports held back: the same failure had one within the hour.",
            static_cast<double>(f.diag.reportsHeldBack));
  b.Counter("rvukiosk_report_write_failures_total", "Error reports that could not be written.",
            static_cast<double>(f.diag.reportWriteFailures));

  b.Gauge("rvukiosk_program_folder_bytes", "Size of the files in the program's folder.",
          static_cast<double>(f.programFolder.bytes));
  b.Gauge("rvukiosk_program_folder_files", "Files in the program's folder.",
          static_cast<double>(f.programFolder.files));
  b.Gauge("rvukiosk_program_folder_walk_cut", "1 when the folder held more entries than are looked at.",
          f.programFolder.cut ? 1 : 0);
  b.Gauge("rvukiosk_filesystem_size_bytes", "Size of the file system of the program's folder.",
          static_cast<double>(f.fileSystem.sizeBytes));
  b.Gauge("rvukiosk_filesystem_free_bytes", "Free space of the file system of the program's folder.",
          static_cast<double>(f.fileSystem.freeBytes));
  b.Gauge("rvukiosk_receive_buffer_bytes", "The pager port's receive buffer as granted.", f.receiveBufferBytes);
  return b.Take();
}

}  // namespace kiosk
