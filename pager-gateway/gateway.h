#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pager-gateway/capcode_table.h"
#include "pager-gateway/decoder_line.h"
#include "pager-gateway/dedup.h"
#include "pager-gateway/feed_line.h"
#include "pager-gateway/flex_parts.h"

namespace pagergw {

// Severities of the gateway's own reports, as syslog numbers them.
enum Severity { kError = 3, kWarning = 4, kNotice = 5, kInfo = 6, kDebug = 7 };
using ReportFn = std::function<void(int severity, const std::string& message)>;

// Says once when no page has been decoded for longer than the limit, and once
// when pages come again. Times in milliseconds of a steady clock.
class SilenceWatch {
 public:
  SilenceWatch(std::int64_t limitMs, std::int64_t startMs) : limitMs_(limitMs), lastPageMs_(startMs) {}
  // The report due at `nowMs`, if any.
  std::optional<std::string> Check(std::int64_t nowMs);
  // A page was decoded; the report of the silence's end when one was reported.
  std::optional<std::string> OnPage(std::int64_t nowMs);
  std::int64_t SilentForMs(std::int64_t nowMs) const { return nowMs - lastPageMs_; }

 private:
  std::int64_t limitMs_;
  std::int64_t lastPageMs_;
  bool reported_ = false;
};

// From multimon-ng's output lines to the datagrams of the feed: parse, join
// the parts of a long FLEX message, map through the capcode table, drop
// duplicates, cut to the kiosk's size. No I/O: the caller passes the times and
// sends what it is given.
class Gateway {
 public:
  Gateway(CapcodeTable table, std::int64_t duplicateWindowMs, std::int64_t silenceReportMs, std::int64_t startMs,
          ReportFn report);

  void SetTable(CapcodeTable table) { table_ = std::move(table); }
  // Told of every feed line decoded here with its decoder mode, after the
  // capcode table and before the duplicate check (the region's broker takes them).
  using PublishFn = std::function<void(const FeedLine& line, const std::string& mode)>;
  void SetPublisher(PublishFn publish) { publish_ = std::move(publish); }

  // One output line without its line end, received at `wall` (local time of
  // day) and `nowMs`. Gives the datagrams to send now.
  std::vector<std::string> OnDecoderLine(std::string_view line, TimeOfDay wall, std::int64_t nowMs);
  // A feed line from elsewhere (the region's broker), through the same
  // duplicate check as the pages decoded here. Gives the datagrams to send now.
  std::vector<std::string> OnRelayedLine(const FeedLine& line, std::int64_t nowMs);
  // Time passing: reports a silence that has gone on too long; gives the
  // datagrams of FLEX messages whose next part did not come in time.
  std::vector<std::string> OnTick(std::int64_t nowMs);
  // The end of the decoder's output: gives the datagrams of what is still held.
  std::vector<std::string> OnEndOfInput(std::int64_t nowMs);

  std::int64_t SilentForMs(std::int64_t nowMs) const { return silence_.SilentForMs(nowMs); }
  std::uint64_t PagesDecoded() const { return pagesDecoded_; }
  // Pages decoded by the decoder's mode ("POCSAG1200", "FLEX" ...), and pages
  // not sent again within the duplicate window.
  const std::map<std::string, std::uint64_t>& PagesDecodedByMode() const { return pagesByMode_; }
  std::uint64_t DuplicatesDropped() const { return duplicatesDropped_; }

 private:
  void EmitReady(std::vector<FlexPartJoiner::Ready> ready, std::int64_t nowMs, std::vector<std::string>& out);
  void Emit(const DecodedPage& page, TimeOfDay wall, std::int64_t nowMs, std::vector<std::string>& out);
  void Send(const FeedLine& line, std::int64_t nowMs, std::vector<std::string>& out);

  CapcodeTable table_;
  std::int64_t duplicateWindowMs_;
  DuplicateFilter duplicates_;
  SilenceWatch silence_;
  FlexPartJoiner flexParts_;
  ReportFn report_;
  PublishFn publish_;
  std::uint64_t pagesDecoded_ = 0;
  std::map<std::string, std::uint64_t> pagesByMode_;
  std::uint64_t duplicatesDropped_ = 0;
};

}  // namespace pagergw
