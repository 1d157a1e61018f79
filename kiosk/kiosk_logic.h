#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

#include "config/kiosk_settings.h"
#include "config/station_settings.h"
#include "platform/ip_address.h"
#include "platform/datetime.h"
#include "platform/feed_wire.h"

// The kiosk's decisions as plain functions: what a datagram shows and in which
// colour, which command a text is, where the parts of the window go, which
// screen comes next, what a key does and what a tick does.
namespace kiosk {

// Colours as the window system's numbers: blue in the high byte, red in the low.
inline constexpr std::uint32_t kWhite = 0xFFFFFF;
inline constexpr std::uint32_t kYellow = 0x00FFFF;
inline constexpr std::uint32_t kLime = 0x00FF00;
inline constexpr std::uint32_t kGreen = 0x008000;
inline constexpr std::uint32_t kRed = 0x0000FF;
inline constexpr std::uint32_t kBlack = 0x000000;
inline constexpr std::uint32_t kBlue = 0xFF0000;
// Red, green and blue parts of such a number.
inline int RedOf(std::uint32_t colour) { return static_cast<int>(colour & 0xFF); }
inline int GreenOf(std::uint32_t colour) { return static_cast<int>((colour >> 8) & 0xFF); }
inline int BlueOf(std::uint32_t colour) { return static_cast<int>((colour >> 16) & 0xFF); }

inline constexpr int kPagerPort = platform::kFeedPort;
inline constexpr std::size_t kMaxDatagramBytes = platform::kFeedMaxDatagramBytes;

// The start-up note of the pager port's receive buffer: what the socket got
// (half what the kernel reports, which counts its bookkeeping twice) and what
// the kiosk asks for; less than asked means a shorter burst fits while the
// window is busy.
inline constexpr int kReceiveBufferNoteCode = 69980;
std::string ReceiveBufferNoteText(int port, int grantedBytes, int askedBytes);

// The kiosk is dark while now is later than the screen-saver deadline.
inline bool IsDark(platform::TDateTime now, platform::TDateTime screenSaverUntil) { return now > screenSaverUntil; }
// Keys and commands that wake the display count the deadline itself as dark.
inline bool IsDarkForWaking(platform::TDateTime now, platform::TDateTime screenSaverUntil) {
  return now >= screenSaverUntil;
}

struct DatagramView {
  bool show = false;         // goes into the message list
  std::uint32_t colour = kWhite;
  bool ownCapcode = false;   // a page to the unit's own capcode
};
DatagramView DecideDatagram(std::string_view text, const config::tKioskSettings& settings);

enum class RemoteCommand {
  None,
  Screen0,
  Screen1,
  Scroll,
  ToggleCFS,
  ToggleMFS,
  ToggleMSC,
  ToggleSAAS,
  ToggleRVU,
  ToggleUnknown,
  ToggleHeartBeat,
  CapCode,  // with a valid number
  BadCapCode,  // "CMD:CAPCODE=" with text that is no number: nothing happens
  ToggleBrowser,
  ToggleScreenSaver,
  ScreenSaverOff,
  Terminate,
};
struct ParsedCommand {
  RemoteCommand command = RemoteCommand::None;
  std::int32_t capCode = 0;
};
// Compares the whole text with the command texts, exactly and case-sensitively
// ("CMD:CAPCODE=" on its first 12 characters).
ParsedCommand ParseRemoteCommand(std::string_view text);

// A text that begins "CMD:" is a command, whether or not it is a known one.
inline bool IsCommandText(std::string_view text) { return text.substr(0, 4) == "CMD:"; }

// A page of the paging network's heartbeat capcode (the gateway tags it
// "MSC:HEARTBEAT"), whether or not the filter shows it.
inline bool IsHeartbeatPage(std::string_view text) { return text.find("[MSC:HEARTBEAT") != std::string_view::npos; }

// Whether an address lies in a network. An IPv4 address in IPv6 form
// (::ffff:a.b.c.d, as a dual-stack socket reports IPv4 senders) counts as the
// IPv4 address.
bool InNetwork(const platform::IpAddress& address, const config::IpNetwork& network);
// Whether a command from `sender` is taken: from every sender when the station
// gives no list (the kiosk's design), else from the senders in it.
bool CommandAllowed(const platform::IpAddress& sender, const std::optional<std::vector<config::IpNetwork>>& hosts);

// Log codes of the station settings and of the refused commands.
inline constexpr std::int32_t kStationSettingsProblemCode = 40000;
inline constexpr std::int32_t kCommandRefusedCode = 40001;
inline constexpr std::int32_t kCommandHostsCode = 60200;
// Log codes of the metrics endpoint: listening, and cannot listen.
inline constexpr std::int32_t kMetricsListeningCode = 60201;
inline constexpr std::int32_t kMetricsFailedCode = 40002;

// A refused command is logged at most once an hour per sender; the senders are
// remembered up to a bound, and those that find no room share one line an hour.
inline constexpr std::size_t kRefusedSendersRemembered = 64;
inline constexpr platform::TDateTime kRefusedCommandLogInterval = platform::kOneHour;
struct RefusedSender {
  platform::IpAddress address;
  platform::TDateTime loggedAt = 0;
  std::int64_t refused = 0;  // refused since its last line
};
struct RefusedCommands {
  std::vector<RefusedSender> senders;  // at most kRefusedSendersRemembered
  RefusedSender others;                // every sender that found no room, as one
  bool othersLogged = false;
};
struct RefusedCommandNote {
  bool log = false;          // write a line now
  bool others = false;       // the line stands for the senders that found no room
  std::int64_t refused = 0;  // refused since the last line, this one included
};
// Counts a refused command from `sender` at `now` and says whether to log it.
// A clock set back counts as an hour passed.
RefusedCommandNote NoteRefusedCommand(RefusedCommands& memory, const platform::IpAddress& sender,
                                      platform::TDateTime now);

struct Rect {
  int left = 0, top = 0, width = 0, height = 0;
  bool operator==(const Rect&) const = default;
};
struct KioskLayout {
  Rect ticker;   // height stays as it is (40)
  Rect browser;
  Rect messages;
  int clockLeft = 0, clockTop = 0;
};
// The working layout for a window of W x H.
KioskLayout ComputeLayout(int width, int height, bool browserVisible);

// The task summary grid is seen only while awake, with the browser panel shown,
// during the summary step; it then lies over the browser panel. Dark, only the
// clock is seen, whatever screen the rotation has reached.
inline bool SummarySeen(bool dark, bool browserVisible, bool summaryStep) {
  return !dark && browserVisible && summaryStep;
}

// The message list's trim rule: lines are dropped from the top while the height
// is below (lines - 1) x font points x 1.7.
inline constexpr int kMessageFontPoints = 8;  // 11 pixels at 96 dots per inch
inline bool MessageListNeedsTrim(int height, std::size_t lines, int fontPoints = kMessageFontPoints) {
  return lines > 0 && height < (static_cast<double>(lines) - 1) * fontPoints * 1.7;
}

// The screen of a rotation step and the step after it.
enum class Screen { RouteMap, Weather, TaskSummary, Chart0, Picture };
struct RotationStep {
  Screen screen;
  int next;
};
RotationStep Rotate(int screenStep, std::int32_t kioskPix);

// What one 1-second tick does before the poll, from the state it reads.
struct TickInput {
  platform::TDateTime now = 0;
  int tickCount = -1;  // before this tick
  platform::TDateTime lastPacketTime = 0;
  bool commsLostReported = false;
  platform::TDateTime screenSaverUntil = 0;
  bool listShown = true;  // the message list's visibility: which look is on the screen
};
enum class LookChange { None, Dark, Awake };
struct TickPlan {
  int tickCount = 0;
  std::string caption;   // the clock's
  std::string lostComms;  // the line to write, or empty
  LookChange look = LookChange::None;
  bool due = false;        // the 15-second work: poll, ticker, screens
  bool moveClock = false;  // the burn-in guard, on a due tick while dark
};
TickPlan PlanTick(const TickInput& in);

// Where the burn-in guard puts the clock: a place that keeps it inside the
// window; `draw(low, high)` picks an integer from low to high.
template <typename Draw>
std::pair<int, int> PlaceClock(int windowWidth, int windowHeight, int clockWidth, int clockHeight, Draw&& draw) {
  const int left = draw(0, std::max(0, windowWidth - clockWidth - 1));
  const int top = draw(0, std::max(0, windowHeight - clockHeight - 1));
  return {left, top};
}

// The most characters a label is handed: as many as its width in pixels can
// show when every one is the narrowest glyph of its font (a quote mark, about a
// sixth of the font's pixel height). A longer text from outside is cut to that
// before it reaches the label, so a huge value is never laid out.
constexpr std::size_t LabelMaxChars(int widthPx, int fontPx) {
  return static_cast<std::size_t>(widthPx) * 6 / static_cast<std::size_t>(fontPx);
}
// The ticker: 32-pixel text across the window less 100 pixels, on a screen up
// to 3840 pixels wide.
inline constexpr std::size_t kTickerMaxChars = LabelMaxChars(3840 - 100, 32);
// A task summary cell: 16-pixel text in 80 pixels.
inline constexpr std::size_t kSummaryCellMaxChars = LabelMaxChars(80, 16);

// The text as a label of `maxChars` shows it: its first `maxChars` characters.
inline std::string_view LabelText(std::string_view text, std::size_t maxChars) { return text.substr(0, maxChars); }

// What a due tick does with the poll's record.
struct RotationInput {
  platform::TDateTime now = 0;  // after the poll
  std::string_view pageA, pageJ;
  std::int32_t kioskPix = 0;
  std::string_view tickerCaption;  // as the ticker shows it (LabelText of kTickerMaxChars)
  bool debugMode = false;
  std::string_view lastPageA;
  platform::TDateTime holdScreenUntil = 0;
  int screenStep = 0;
};
struct RotationPlan {
  bool newTicker = false;    // show page J, and fetch the incident afresh next time
  bool newIncident = false;  // page A changed: it is taken over and the route map shown
  bool showScreen = false;
  Screen screen = Screen::RouteMap;
  int nextStep = 0;
};
RotationPlan PlanRotation(const RotationInput& in);

enum class KeyAction {
  None,
  ShowMap,
  ShowWeather,
  ToggleBrowser,
  ToggleCFS,
  ToggleRVU,
  ToggleHeartBeat,
  ToggleMFS,
  AskQuit,
  ToggleSAAS,
  StartTimer,
  ToggleUnknown,
  Help,
};
// "0", "1" and space as typed; letters in either case.
KeyAction DecideKey(char key);

// Which setting a toggle switches, for the remote commands and the keys alike,
// and what a key says afterwards ("Display CFS pages: " and the new value);
// no text: nothing is said.
struct Toggle {
  bool config::tKioskSettings::*setting = nullptr;
  const char* said = nullptr;
  bool browser() const { return setting == &config::tKioskSettings::BrowserVisible; }
};
// A command or key that toggles nothing gives a Toggle without a setting.
Toggle ToggleOf(RemoteCommand command);
Toggle ToggleOf(KeyAction key);

// The 13-line help text (CR LF after each line).
std::string HelpText(std::string_view version, const config::tKioskSettings& settings, bool timerRunning,
                     platform::TDateTime lastPacketTime);


// The text shown for a datagram: single-byte, split into lines at CR LF, CR or LF.
std::vector<std::string> SplitLines(std::string_view text);

}  // namespace kiosk
