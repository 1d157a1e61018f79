#include "kiosk/alert_logic.h"

#include <algorithm>
#include <cmath>

namespace kiosk {

namespace {

// Whole milliseconds from `from` to `to`, so that a bound is exact.
std::int64_t MillisBetween(platform::TDateTime from, platform::TDateTime to) {
  return std::llround((to - from) * 86400000.0);
}

bool IsWordByte(char c) {
  const auto b = static_cast<unsigned char>(c);
  return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b >= 0x80;
}

std::string Upper(std::string_view text) {
  std::string upper;
  for (char c : text) upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return upper;
}

}  // namespace

std::string PageSpeechText(std::string_view line, std::int32_t capCode) {
  const std::string marker = ":" + std::to_string(capCode) + "]";
  if (const auto at = line.find(marker); at != std::string_view::npos) line = line.substr(at + marker.size());
  std::string text;
  for (char c : line) text += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c;
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string SpeakableText(std::string_view text, const std::vector<config::PronunciationEntry>& table) {
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    if (!IsWordByte(text[i])) {
      out += text[i++];
      continue;
    }
    std::size_t end = i;
    while (end < text.size() && IsWordByte(text[end])) ++end;
    const std::string_view word = text.substr(i, end - i);
    const std::string upper = Upper(word);
    const auto entry = std::find_if(table.begin(), table.end(),
                                    [&upper](const config::PronunciationEntry& e) { return e.word == upper; });
    out += entry != table.end() ? std::string_view(entry->spoken) : word;
    i = end;
  }
  return out;
}

AlertDecision DecideAlert(AlertMemory& memory, std::string_view text, const DatagramView& view, bool alertOn,
                          std::int32_t capCode, std::size_t pending, platform::TDateTime now) {
  if (!alertOn || !view.ownCapcode || IsCommandText(text)) return AlertDecision::None;
  // Forget what is older than the window (or lies ahead of a clock set back).
  auto& pages = memory.pages;
  pages.erase(std::remove_if(pages.begin(), pages.end(),
                             [now](const AlertMemory::Page& p) {
                               const std::int64_t age = MillisBetween(p.at, now);
                               return age < 0 || age > MillisBetween(0, kAlertRepeatWindow);
                             }),
              pages.end());
  std::string page = PageSpeechText(text, capCode);
  if (std::any_of(pages.begin(), pages.end(), [&page](const AlertMemory::Page& p) { return p.text == page; }))
    return AlertDecision::Repeat;
  if (pending > kAlertsQueued) return AlertDecision::QueueFull;
  if (pages.size() >= kAlertPagesRemembered) pages.pop_front();
  pages.push_back({std::move(page), now});
  return AlertDecision::Start;
}

ProblemNote NoteProblems(ProblemThrottle& throttle, platform::TDateTime now, std::int64_t count) {
  const std::int64_t since = MillisBetween(throttle.loggedAt, now);
  if (throttle.logged && since >= 0 && since < MillisBetween(0, kAlertProblemLogInterval)) {
    throttle.heldBack += count;
    return {};
  }
  const ProblemNote note{true, throttle.heldBack + count};
  throttle = {true, now, 0};
  return note;
}

ScreenPowerChange DecideScreenPower(const config::AlertSettings& settings, ScreenEvent event) {
  if (settings.screenPower == config::ScreenPowerWay::None) return ScreenPowerChange::None;
  switch (event) {
    case ScreenEvent::OwnPage:
    case ScreenEvent::Woke:
      return ScreenPowerChange::On;
    case ScreenEvent::WentDark:
      return settings.standbyWhileDark ? ScreenPowerChange::Standby : ScreenPowerChange::None;
  }
  return ScreenPowerChange::None;
}

}  // namespace kiosk
