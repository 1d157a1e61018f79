#include "pager-gateway/decoder_line.h"

#include <charconv>

namespace pagergw {

namespace {

bool ConsumePrefix(std::string_view& s, std::string_view prefix) {
  if (s.substr(0, prefix.size()) != prefix) return false;
  s.remove_prefix(prefix.size());
  return true;
}

void SkipBlanks(std::string_view& s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
}

// The item `index` (from 0) of a "/"-separated list; empty when there are fewer.
std::string_view Item(std::string_view list, int index) {
  for (; index > 0; --index) {
    const auto slash = list.find('/');
    if (slash == std::string_view::npos) return {};
    list.remove_prefix(slash + 1);
  }
  return list.substr(0, list.find('/'));
}

std::optional<std::uint64_t> ConsumeNumber(std::string_view& s) {
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || end == s.data()) return std::nullopt;
  s.remove_prefix(static_cast<std::size_t>(end - s.data()));
  return value;
}

std::optional<DecodedPage> ParsePocsag(std::string_view s) {
  DecodedPage page;
  for (std::string_view name : {"POCSAG512", "POCSAG1200", "POCSAG2400"})
    if (s.substr(0, name.size()) == name && s.substr(name.size(), 2) == ": ") page.protocol = name;
  if (page.protocol.empty()) return std::nullopt;
  s.remove_prefix(page.protocol.size() + 2);
  if (!ConsumePrefix(s, "Address:")) return std::nullopt;
  SkipBlanks(s);
  const auto address = ConsumeNumber(s);  // "-" for a partial decode: no page
  if (!address || !ConsumePrefix(s, "  Function: ")) return std::nullopt;
  if (s.empty() || s.front() < '0' || s.front() > '3') return std::nullopt;
  page.function = s.front() - '0';
  s.remove_prefix(1);
  page.capcodes = {*address};
  if (s.empty() || s == " ") {
    page.form = DecodedPage::Form::Tone;
    return page;
  }
  if (ConsumePrefix(s, "  Alpha:   ")) {
    page.form = DecodedPage::Form::Alpha;
  } else if (ConsumePrefix(s, "  Numeric: ")) {
    page.form = DecodedPage::Form::Numeric;
  } else {
    return std::nullopt;
  }
  page.text = std::string(s);
  return page;
}

// "FLEX|date time|baud/levels/frag/phase|cycle.frame|capcodes|ALN|text"
std::optional<DecodedPage> ParseFlexAlpha(std::string_view s) {
  if (!ConsumePrefix(s, "FLEX|")) return std::nullopt;
  std::string_view channel;  // "baud/levels/part/phase"
  for (int field = 0; field < 3; ++field) {
    const auto bar = s.find('|');
    if (bar == std::string_view::npos) return std::nullopt;
    if (field == 1) channel = s.substr(0, bar);
    s.remove_prefix(bar + 1);
  }
  const auto bar = s.find('|');
  if (bar == std::string_view::npos) return std::nullopt;
  std::string_view capcodes = s.substr(0, bar);
  s.remove_prefix(bar);
  if (!ConsumePrefix(s, "|ALN|")) return std::nullopt;
  DecodedPage page;
  page.protocol = "FLEX";
  page.form = DecodedPage::Form::Alpha;
  // The part flag is the third item of the channel; any other letter is read as a whole message.
  if (const auto flag = Item(channel, 2); flag == "F")
    page.part = DecodedPage::Part::More;
  else if (flag == "C")
    page.part = DecodedPage::Part::Last;
  while (!capcodes.empty()) {
    const auto capcode = ConsumeNumber(capcodes);
    if (!capcode || (!capcodes.empty() && capcodes.front() != ' ')) return std::nullopt;
    page.capcodes.push_back(*capcode);
    SkipBlanks(capcodes);
  }
  if (page.capcodes.empty()) return std::nullopt;
  // A group page names its temporary group address first, then the members'
  // own capcodes; pagers receive it on their own ones.
  constexpr std::uint64_t kFirstGroupAddress = 2029568, kLastGroupAddress = 2029583;
  if (page.capcodes.size() > 1 && page.capcodes[0] >= kFirstGroupAddress && page.capcodes[0] <= kLastGroupAddress)
    page.capcodes.erase(page.capcodes.begin());
  page.text = std::string(s);
  return page;
}

// "FLEX: date time baud/levels/phase cycle.frame [capcode] NUM digits" (or TON)
std::optional<DecodedPage> ParseFlexOther(std::string_view s) {
  if (!ConsumePrefix(s, "FLEX: ")) return std::nullopt;
  const auto open = s.find(" [");
  if (open == std::string_view::npos) return std::nullopt;
  s.remove_prefix(open + 2);
  const auto capcode = ConsumeNumber(s);
  if (!capcode || !ConsumePrefix(s, "] ")) return std::nullopt;
  DecodedPage page;
  page.protocol = "FLEX";
  page.capcodes = {*capcode};
  if (ConsumePrefix(s, "NUM")) {
    page.form = DecodedPage::Form::Numeric;
  } else if (ConsumePrefix(s, "TON")) {
    page.form = DecodedPage::Form::Tone;
  } else {
    return std::nullopt;  // UNK: data words in hex, nothing a pager shows
  }
  if (!s.empty() && !ConsumePrefix(s, " ")) return std::nullopt;
  page.text = std::string(s);
  return page;
}

}  // namespace

std::optional<DecodedPage> ParseDecoderLine(std::string_view line) {
  if (line.substr(0, 6) == "POCSAG") return ParsePocsag(line);
  if (line.substr(0, 5) == "FLEX|") return ParseFlexAlpha(line);
  if (line.substr(0, 6) == "FLEX: ") return ParseFlexOther(line);
  return std::nullopt;
}

}  // namespace pagergw
