#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "config/station_settings.h"
#include "kiosk/kiosk_logic.h"
#include "platform/datetime.h"

// The alert's decisions: which datagram is heard, what is read out, and when
// a problem of the sound card or the screen is logged.
namespace kiosk {

// The same page to the own capcode again within a minute (a repeat, another
// transmitter, a second gateway) gives no second alert.
inline constexpr platform::TDateTime kAlertRepeatWindow = 60.0 / 86400.0;
// The pages remembered for that; past this many within the minute the oldest
// is forgotten.
inline constexpr std::size_t kAlertPagesRemembered = 32;
// Alerts that wait behind the one that sounds; a page beyond them is not heard.
inline constexpr std::size_t kAlertsQueued = 3;

// Log codes: a problem of the sound card, of the screen's power switch, an alert started.
inline constexpr std::int32_t kAlertProblemCode = 40020;
inline constexpr std::int32_t kScreenPowerProblemCode = 40021;
inline constexpr std::int32_t kAlertStartedCode = 60210;
// A problem that keeps coming back is logged once an hour.
inline constexpr platform::TDateTime kAlertProblemLogInterval = platform::kOneHour;

// What is read out of a pager line: the text after the own-capcode tag
// ("HH:MM:SS [AGENCY:capcode] text"), control characters as blanks, blanks
// trimmed. A line without the tag is read whole.
std::string PageSpeechText(std::string_view line, std::int32_t capCode);

// The text with every word of the table replaced by its spoken form: whole
// words of letters and digits only, in any case; what stands next to a word
// (punctuation, a slash) stays.
std::string SpeakableText(std::string_view text, const std::vector<config::PronunciationEntry>& table);

// The pages that sounded within the last minute, newest last.
struct AlertMemory {
  struct Page {
    std::string text;
    platform::TDateTime at = 0;
  };
  std::deque<Page> pages;  // at most kAlertPagesRemembered
};

enum class AlertDecision {
  None,       // no page to the own capcode, a command, or the alert is off
  Start,      // hand it to the sound
  Repeat,     // the same page within the minute: not again
  QueueFull,  // kAlertsQueued already wait: not heard
};
// Decides on one datagram at `now`. `pending` is how many alerts the sound
// has been handed and not finished (the one sounding included). A page that
// starts is remembered.
AlertDecision DecideAlert(AlertMemory& memory, std::string_view text, const DatagramView& view, bool alertOn,
                          std::int32_t capCode, std::size_t pending, platform::TDateTime now);

// A problem that repeats is logged at most once per kAlertProblemLogInterval,
// with how many there were since the line before.
struct ProblemThrottle {
  bool logged = false;
  platform::TDateTime loggedAt = 0;
  std::int64_t heldBack = 0;
};
struct ProblemNote {
  bool log = false;
  std::int64_t count = 0;  // when logged: these and those held back since the last line
};
// Notes `count` problems found at `now`. A clock set back counts as the interval passed.
ProblemNote NoteProblems(ProblemThrottle& throttle, platform::TDateTime now, std::int64_t count);

// What the screen's power should become: on for a page to the own capcode
// and whenever the kiosk wakes; standby when it goes dark, if the station
// wants that. Nothing without a way to switch it.
enum class ScreenPowerChange { None, On, Standby };
enum class ScreenEvent { OwnPage, Woke, WentDark };
ScreenPowerChange DecideScreenPower(const config::AlertSettings& settings, ScreenEvent event);

}  // namespace kiosk
