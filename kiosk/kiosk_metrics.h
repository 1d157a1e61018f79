#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "diag/counters.h"
#include "kiosk/kiosk_logic.h"
#include "platform/browser_view.h"
#include "platform/datetime.h"
#include "platform/files.h"
#include "platform/metrics.h"
#include "service/unit_service.h"

// What the kiosk tells a monitoring system: the counts the window keeps as it
// handles datagrams, how long its thread was held up, and the snapshot of all
// its figures that the metrics endpoint serves.
namespace kiosk {

// What became of a datagram.
enum class DatagramKind { Shown, Hidden, OwnPage, Command, CommandRefused };
inline constexpr int kDatagramKinds = 5;
const char* NameOf(DatagramKind kind);  // "shown", "hidden", "own_page", "command", "command_refused"

// The kind of a datagram the window took (a refused command is told apart
// before): a command by its text, a page to the unit's own capcode, else
// shown or hidden by the kind filters.
DatagramKind KindOfDatagram(std::string_view text, const DatagramView& view);

// The window's datagram counts, kept on its thread.
struct DatagramCounts {
  std::array<std::uint64_t, kDatagramKinds> byKind{};
  std::uint64_t heartbeatPages = 0;
  platform::TDateTime lastHeartbeat = 0;  // 0: none yet

  void Note(DatagramKind kind, std::string_view text, platform::TDateTime now) {
    ++byKind[static_cast<std::size_t>(kind)];
    if (kind != DatagramKind::CommandRefused && kind != DatagramKind::Command && IsHeartbeatPage(text)) {
      ++heartbeatPages;
      lastHeartbeat = now;
    }
  }
};

// The longest time the UI thread was held up within the last kStallWindowMs:
// a beat that should come every `intervalMs` and came `gap` later is a stall
// of gap - intervalMs, counted when the beat comes.
class StallWatch {
 public:
  static constexpr std::int64_t kStallWindowMs = 60000;
  static constexpr std::int64_t kSlotMs = 1000;

  void Beat(std::int64_t nowMs, std::int64_t intervalMs);
  // The longest stall that ended within the window up to `nowMs`.
  std::int64_t LongestMs(std::int64_t nowMs) const;

 private:
  struct Slot {
    std::int64_t second = -1;  // nowMs / kSlotMs of the stalls it holds
    std::int64_t longestMs = 0;
  };
  std::array<Slot, kStallWindowMs / kSlotMs> slots_{};
  std::int64_t lastBeatMs_ = -1;
};

// Everything the kiosk reports, as read on the UI thread.
struct KioskFigures {
  DatagramCounts datagrams;
  double secondsSinceDatagram = 0;   // since the start when none came yet
  double secondsSinceHeartbeat = 0;  // since the start when none came yet
  bool lostComms = false;            // the "Lost comms" line is up
  std::optional<Screen> screen;      // the screen last shown, if any
  bool dark = false;
  service::RequestCounts requests;
  double longestStallSeconds = 0;
  platform::RendererCounts renderer;
  diag::tDiagCounts diag;
  platform::FolderUsage programFolder;
  platform::FileSystemSpace fileSystem;
  int receiveBufferBytes = 0;
  std::string version;
  double startTimeSeconds = 0;  // Unix time
};

// Seconds from `since` to `now` (local date-times), never negative.
double SecondsBetween(platform::TDateTime since, platform::TDateTime now);

const char* NameOf(Screen screen);  // "route_map", "weather", "task_summary", "chart", "picture"

// The snapshot the metrics endpoint serves. Every kind, request and result is
// there from the start, at 0 until it happens.
platform::MetricsSnapshot KioskSnapshot(const KioskFigures& figures);

}  // namespace kiosk
