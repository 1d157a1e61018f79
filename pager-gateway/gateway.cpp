#include "pager-gateway/gateway.h"

namespace pagergw {

namespace {

std::string Seconds(std::int64_t ms) { return std::to_string(ms / 1000) + " s"; }

}  // namespace

std::optional<std::string> SilenceWatch::Check(std::int64_t nowMs) {
  if (reported_ || nowMs - lastPageMs_ < limitMs_) return std::nullopt;
  reported_ = true;
  return "no page decoded for " + Seconds(nowMs - lastPageMs_);
}

std::optional<std::string> SilenceWatch::OnPage(std::int64_t nowMs) {
  const std::int64_t silent = nowMs - lastPageMs_;
  lastPageMs_ = nowMs;
  if (!reported_) return std::nullopt;
  reported_ = false;
  return "pages decoded again after " + Seconds(silent) + " without";
}

Gateway::Gateway(CapcodeTable table, std::int64_t duplicateWindowMs, std::int64_t silenceReportMs,
                 std::int64_t startMs, ReportFn report)
    : table_(std::move(table)),
      duplicateWindowMs_(duplicateWindowMs),
      duplicates_(duplicateWindowMs),
      silence_(silenceReportMs, startMs),
      report_(std::move(report)) {}

std::vector<std::string> Gateway::OnDecoderLine(std::string_view line, TimeOfDay wall, std::int64_t nowMs) {
  std::vector<std::string> out;
  if (std::optional<DecodedPage> page = ParseDecoderLine(line))
    Emit(*page, wall, nowMs, out);
  else if (!line.empty())
    report_(kDebug, "decoder: " + std::string(line));
  return out;
}

void Gateway::OnTick(std::int64_t nowMs) {
  if (auto message = silence_.Check(nowMs)) report_(kWarning, *message);
}

void Gateway::Emit(const DecodedPage& page, TimeOfDay wall, std::int64_t nowMs, std::vector<std::string>& out) {
  ++pagesDecoded_;
  ++pagesByMode_[page.protocol];
  if (auto message = silence_.OnPage(nowMs)) report_(kNotice, *message);
  for (const FeedLine& line : MapPage(page, table_, wall)) {
    const std::string who = std::to_string(line.capcode) + (line.alias.empty() ? "" : " (" + line.alias + ")");
    if (duplicateWindowMs_ > 0 && !duplicates_.ShouldSend(line.capcode, line.pagerText, nowMs)) {
      ++duplicatesDropped_;
      report_(kDebug, "duplicate page to " + who + " not sent again");
      continue;
    }
    Datagram datagram = PrepareDatagram(line.text);
    if (datagram.cut)
      report_(kWarning, "page to " + who + " cut from " + std::to_string(line.text.size()) + " to " +
                            std::to_string(datagram.bytes.size()) + " bytes");
    report_(kDebug, "page to " + who + ": " + datagram.bytes);
    out.push_back(std::move(datagram.bytes));
  }
}

}  // namespace pagergw
