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
  std::optional<DecodedPage> page = ParseDecoderLine(line);
  if (!page) {
    if (!line.empty()) report_(kDebug, "decoder: " + std::string(line));
    return out;
  }
  ++pagesDecoded_;
  ++pagesByMode_[page->protocol];
  if (auto message = silence_.OnPage(nowMs)) report_(kNotice, *message);
  EmitReady(flexParts_.Take(std::move(*page), wall, nowMs), nowMs, out);
  return out;
}

std::vector<std::string> Gateway::OnTick(std::int64_t nowMs) {
  if (auto message = silence_.Check(nowMs)) report_(kWarning, *message);
  std::vector<std::string> out;
  EmitReady(flexParts_.Expire(nowMs), nowMs, out);
  return out;
}

std::vector<std::string> Gateway::OnEndOfInput(std::int64_t nowMs) {
  std::vector<std::string> out;
  EmitReady(flexParts_.Flush(), nowMs, out);
  return out;
}

void Gateway::EmitReady(std::vector<FlexPartJoiner::Ready> ready, std::int64_t nowMs, std::vector<std::string>& out) {
  for (FlexPartJoiner::Ready& r : ready) {
    if (!r.incomplete.empty()) {
      std::string to;
      for (std::uint64_t capcode : r.page.capcodes) to += (to.empty() ? "" : " ") + std::to_string(capcode);
      report_(kWarning, "FLEX message to " + to + ": " + r.incomplete);
    }
    Emit(r.page, r.received, nowMs, out);
  }
}

void Gateway::Emit(const DecodedPage& page, TimeOfDay wall, std::int64_t nowMs, std::vector<std::string>& out) {
  for (const FeedLine& line : MapPage(page, table_, wall)) {
    if (publish_) publish_(line, page.protocol);
    Send(line, nowMs, out);
  }
}

std::vector<std::string> Gateway::OnRelayedLine(const FeedLine& line, std::int64_t nowMs) {
  std::vector<std::string> out;
  Send(line, nowMs, out);
  return out;
}

void Gateway::Send(const FeedLine& line, std::int64_t nowMs, std::vector<std::string>& out) {
  const std::string who = std::to_string(line.capcode) + (line.alias.empty() ? "" : " (" + line.alias + ")");
  if (duplicateWindowMs_ > 0 && !duplicates_.ShouldSend(line.capcode, line.pagerText, nowMs)) {
    ++duplicatesDropped_;
    report_(kDebug, "duplicate page to " + who + " not sent again");
    return;
  }
  Datagram datagram = PrepareDatagram(line.text);
  if (datagram.cut)
    report_(kWarning, "page to " + who + " cut from " + std::to_string(line.text.size()) + " to " +
                          std::to_string(datagram.bytes.size()) + " bytes");
  report_(kDebug, "page to " + who + ": " + datagram.bytes);
  out.push_back(std::move(datagram.bytes));
}

}  // namespace pagergw
