#include "kiosk/kiosk_logic.h"

#include <algorithm>
#include <cmath>

#include "diag/text.h"

namespace kiosk {

namespace {
bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }
}  // namespace

DatagramView DecideDatagram(std::string_view text, const config::tKioskSettings& s) {
  DatagramView view;
  view.show = (s.ShowCFS && Contains(text, "[CFS")) || (s.ShowMFS && Contains(text, "[MFS")) ||
              (s.ShowMSC && Contains(text, "[MSC")) || (s.ShowSAAS && Contains(text, "[SAAS")) ||
              (s.ShowRVU && Contains(text, "[RVU")) || (s.ShowUnknown && Contains(text, "[Unknown")) ||
              (s.ShowHeartBeat && IsHeartbeatPage(text));
  if (IsCommandText(text)) view.show = false;
  const std::string marker = ":" + std::to_string(s.CapCode) + "]";
  view.ownCapcode = Contains(text, marker);
  view.colour = view.ownCapcode ? kGreen : Contains(text, "[RVU") ? kYellow : kWhite;
  return view;
}

bool InNetwork(const platform::IpAddress& address, const config::IpNetwork& network) {
  platform::IpAddress a = address;
  const auto& b = a.bytes;
  if (a.v6 && std::all_of(b.begin(), b.begin() + 10, [](std::uint8_t x) { return x == 0; }) && b[10] == 0xFF &&
      b[11] == 0xFF)
    a = platform::IpAddress::V4(b[12], b[13], b[14], b[15]);
  if (a.v6 != network.address.v6) return false;
  const int whole = network.prefix / 8;
  if (!std::equal(a.bytes.begin(), a.bytes.begin() + whole, network.address.bytes.begin())) return false;
  const int rest = network.prefix % 8;
  if (rest == 0) return true;
  const auto mask = static_cast<std::uint8_t>(0xFF << (8 - rest));
  return (a.bytes[whole] & mask) == (network.address.bytes[whole] & mask);
}

bool CommandAllowed(const platform::IpAddress& sender, const std::optional<std::vector<config::IpNetwork>>& hosts) {
  if (!hosts) return true;
  return std::any_of(hosts->begin(), hosts->end(),
                     [&sender](const config::IpNetwork& network) { return InNetwork(sender, network); });
}

RefusedCommandNote NoteRefusedCommand(RefusedCommands& memory, const platform::IpAddress& sender,
                                      platform::TDateTime now) {
  const auto due = [now](const RefusedSender& s) {
    return now >= s.loggedAt + kRefusedCommandLogInterval || now < s.loggedAt;
  };
  const auto count = [now, &due](RefusedSender& s, bool first) {
    ++s.refused;
    if (!first && !due(s)) return RefusedCommandNote{};
    const RefusedCommandNote note{true, false, s.refused};
    s.loggedAt = now;
    s.refused = 0;
    return note;
  };
  auto& senders = memory.senders;
  const auto known = std::find_if(senders.begin(), senders.end(),
                                  [&sender](const RefusedSender& s) { return s.address == sender; });
  if (known != senders.end()) return count(*known, false);
  if (senders.size() >= kRefusedSendersRemembered) {
    // A sender whose hour is over gives up its place; what it sent since its
    // last line goes to the shared line.
    const auto over = std::find_if(senders.begin(), senders.end(), due);
    if (over != senders.end()) {
      memory.others.refused += over->refused;
      senders.erase(over);
    }
  }
  if (senders.size() < kRefusedSendersRemembered) {
    senders.push_back({sender, now, 0});
    return count(senders.back(), true);
  }
  RefusedCommandNote note = count(memory.others, !memory.othersLogged);
  memory.othersLogged = true;
  note.others = note.log;
  return note;
}

ParsedCommand ParseRemoteCommand(std::string_view text) {
  struct Entry {
    const char* text;
    RemoteCommand command;
  };
  // In the order they are compared; "CMD:CAPCODE=" stands between the toggles
  // and the browser switch.
  static const Entry kBefore[] = {
      {"CMD:SCREEN0", RemoteCommand::Screen0},           {"CMD:SCREEN1", RemoteCommand::Screen1},
      {"CMD:SCROLL", RemoteCommand::Scroll},             {"CMD:TOGGLECFS", RemoteCommand::ToggleCFS},
      {"CMD:TOGGLEMFS", RemoteCommand::ToggleMFS},       {"CMD:TOGGLEMSC", RemoteCommand::ToggleMSC},
      {"CMD:TOGGLESAAS", RemoteCommand::ToggleSAAS},     {"CMD:TOGGLERVU", RemoteCommand::ToggleRVU},
      {"CMD:TOGGLEUNKNOWN", RemoteCommand::ToggleUnknown}, {"CMD:TOGGLEHEARTBEAT", RemoteCommand::ToggleHeartBeat},
  };
  static const Entry kAfter[] = {
      {"CMD:TOGGLEBROWSER", RemoteCommand::ToggleBrowser},
      {"CMD:TOGGLESCREENSAVER", RemoteCommand::ToggleScreenSaver},
      {"CMD:SCREENSAVER=OFF", RemoteCommand::ScreenSaverOff},
      {"CMD:TERMINATE", RemoteCommand::Terminate},
  };
  for (const auto& e : kBefore)
    if (text == e.text) return {e.command, 0};
  if (text.substr(0, 12) == "CMD:CAPCODE=") {
    std::int32_t value = 0;
    if (diag::TryStrToInt(text.substr(12), value)) return {RemoteCommand::CapCode, value};
    return {RemoteCommand::BadCapCode, 0};
  }
  for (const auto& e : kAfter)
    if (text == e.text) return {e.command, 0};
  return {};
}

KioskLayout ComputeLayout(int w, int h, bool browserVisible) {
  KioskLayout l;
  l.ticker = {40, h - 80, w - 100, 40};
  l.browser = {40, 40, browserVisible ? std::min(w - 380, 1250) : 0, h - 120};
  l.clockLeft = w - 300;
  l.clockTop = l.ticker.top;
  l.messages = {l.browser.left + l.browser.width + 10, l.browser.top, w - l.browser.width - l.browser.left - 60,
                l.browser.height};
  return l;
}

RotationStep Rotate(int screenStep, std::int32_t kioskPix) {
  const bool pictures = kioskPix > 0;
  switch (screenStep) {
    case 0:
      return {Screen::RouteMap, 1};
    case 1:
      return {Screen::Weather, 2};
    case 2:
      return {Screen::TaskSummary, 3};
    case 3:
      return {pictures ? Screen::Picture : Screen::Weather, 4};
    default:
      return {pictures ? Screen::Picture : Screen::Chart0, 0};
  }
}

namespace {
struct ToggleRow {
  RemoteCommand command;
  KeyAction key;  // None: no key toggles it
  Toggle toggle;
};
using config::tKioskSettings;
const ToggleRow kToggles[] = {
    {RemoteCommand::ToggleCFS, KeyAction::ToggleCFS, {&tKioskSettings::ShowCFS, "Display CFS pages: "}},
    {RemoteCommand::ToggleMFS, KeyAction::ToggleMFS, {&tKioskSettings::ShowMFS, "Display MFS pages: "}},
    {RemoteCommand::ToggleMSC, KeyAction::None, {&tKioskSettings::ShowMSC, nullptr}},
    {RemoteCommand::ToggleSAAS, KeyAction::ToggleSAAS, {&tKioskSettings::ShowSAAS, "Display SAAS pages: "}},
    {RemoteCommand::ToggleRVU, KeyAction::ToggleRVU, {&tKioskSettings::ShowRVU, "Display RVU pages: "}},
    {RemoteCommand::ToggleUnknown, KeyAction::ToggleUnknown, {&tKioskSettings::ShowUnknown, "Display unknown pages: "}},
    {RemoteCommand::ToggleHeartBeat, KeyAction::ToggleHeartBeat,
     {&tKioskSettings::ShowHeartBeat, "Display HeartBeat pages: "}},
    {RemoteCommand::ToggleBrowser, KeyAction::ToggleBrowser, {&tKioskSettings::BrowserVisible, nullptr}},
};
}  // namespace

Toggle ToggleOf(RemoteCommand command) {
  for (const auto& row : kToggles)
    if (row.command == command) return row.toggle;
  return {};
}

Toggle ToggleOf(KeyAction key) {
  for (const auto& row : kToggles)
    if (row.key != KeyAction::None && row.key == key) return row.toggle;
  return {};
}

TickPlan PlanTick(const TickInput& in) {
  constexpr int kPeriodTicks = 15;
  constexpr std::int64_t kLostCommsMs = 60 * 1000;
  TickPlan plan;
  plan.tickCount = in.tickCount + 1 == kPeriodTicks ? 0 : in.tickCount + 1;
  plan.caption = platform::FormatDateTime("hh:nn:ss", in.now);
  const auto silentMs = std::llround((in.now - in.lastPacketTime) * static_cast<double>(platform::kMillisPerDay));
  if (silentMs > kLostCommsMs && !in.commsLostReported)
    plan.lostComms = "Lost comms: " + platform::DateTimeToStr(in.lastPacketTime);
  // The list's visibility records which look is on the screen.
  if (in.now > in.screenSaverUntil && in.listShown)
    plan.look = LookChange::Dark;
  else if (in.now < in.screenSaverUntil && !in.listShown)
    plan.look = LookChange::Awake;
  plan.due = plan.tickCount == 0;
  plan.moveClock = plan.due && IsDark(in.now, in.screenSaverUntil);
  return plan;
}

RotationPlan PlanRotation(const RotationInput& in) {
  RotationPlan plan;
  plan.nextStep = in.screenStep;
  // The ticker shows page J cut to what it can show; only a change there is new.
  plan.newTicker = LabelText(in.pageJ, kTickerMaxChars) != in.tickerCaption && !in.debugMode;
  if (in.pageA != in.lastPageA && !in.pageA.empty()) {
    // A new incident overrides the rotation and its hold.
    plan.newIncident = true;
    plan.showScreen = true;
    plan.screen = Screen::RouteMap;
    plan.nextStep = 1;
  } else if (in.now > in.holdScreenUntil) {
    const RotationStep step = Rotate(in.screenStep, in.kioskPix);
    plan.showScreen = true;
    plan.screen = step.screen;
    plan.nextStep = step.next;
  }
  return plan;
}

KeyAction DecideKey(char key) {
  switch (key) {
    case '0':
      return KeyAction::ShowMap;
    case '1':
      return KeyAction::ShowWeather;
    case ' ':
      return KeyAction::AskQuit;
    case '?':
      return KeyAction::Help;
    default:
      break;
  }
  const char upper = key >= 'a' && key <= 'z' ? static_cast<char>(key - 'a' + 'A') : key;
  switch (upper) {
    case 'B':
      return KeyAction::ToggleBrowser;
    case 'C':
      return KeyAction::ToggleCFS;
    case 'E':
      return KeyAction::ToggleRVU;
    case 'H':
      return KeyAction::ToggleHeartBeat;
    case 'M':
      return KeyAction::ToggleMFS;
    case 'Q':
      return KeyAction::AskQuit;
    case 'S':
      return KeyAction::ToggleSAAS;
    case 'T':
      return KeyAction::StartTimer;
    case 'U':
      return KeyAction::ToggleUnknown;
    default:
      return KeyAction::None;
  }
}

std::string ReceiveBufferNoteText(int port, int grantedBytes, int askedBytes) {
  return "[Function=Main.FormCreate][Note=Receive buffer][UDPPort=" + std::to_string(port) + "][Bytes=" +
         std::to_string(grantedBytes) + "][Asked=" + std::to_string(askedBytes) + "]";
}

std::string HelpText(std::string_view version, const config::tKioskSettings& s, bool timerRunning,
                     platform::TDateTime lastPacketTime) {
  using diag::BoolText;
  const std::string lines[] = {
      "Quorb RVU Kiosk. " + std::string(version),
      " 0 - Show Google map",
      " 1 - Show BOM",
      " B - Toggle browser",
      " C - Toggle CFS pages (" + BoolText(s.ShowCFS) + ")",
      " E - Toggle RVU pages (" + BoolText(s.ShowRVU) + ")",
      " H - Toggle Heartbeat pages (" + BoolText(s.ShowHeartBeat) + ")",
      " M - Toggle MFS pages (" + BoolText(s.ShowMFS) + ")",
      " Q - Quit",
      " S - Toggle SAAS pages (" + BoolText(s.ShowSAAS) + ")",
      " T - Cycle Screens (" + BoolText(timerRunning) + ")",
      " U - Toggle unknown pages (" + BoolText(s.ShowUnknown) + ")",
      "Last UDP packet RX: " + platform::FormatDateTime(platform::kShortDateFormat, lastPacketTime) + " " +
          platform::FormatDateTime(platform::kLongTimeFormat, lastPacketTime),
  };
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  return text;
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      lines.emplace_back(text.substr(start, i - start));
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  lines.emplace_back(text.substr(start));
  return lines;
}

}  // namespace kiosk
