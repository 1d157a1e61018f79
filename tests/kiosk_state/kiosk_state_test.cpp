// The kiosk window as a state machine: random sequences of the events it gets
// (ticks, hours of them, datagrams from senders on and off the station's
// command list, keys, resizes, service answers up to and past their bound,
// failing saves, renderer crashes), with what the screen and the files must
// show checked after every step: nothing from a sender off the list acts, no
// log line or report exceeds its bound, a failure is reported at most once an
// hour. A failing sequence is shrunk and printed one event to a line.
//
//   KIOSK_STATE_SEQUENCES  sequences per round (300)
//   KIOSK_STATE_MINUTES    rounds go on until this many minutes have passed (one round)
#include <gtest/gtest.h>
#include <httplib.h>
#include <rapidcheck.h>
#include <rapidcheck/state.h>

#include <QCoreApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cctype>
#include <cstdio>
#include <deque>
#include <fstream>
#include <random>
#include <cstdlib>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <thread>

#include "kiosk/message_list.h"
#include "platform/ip_address.h"
#include "service/incident.h"
#include "service/rvu_srvc.h"
#include "service/task_summary.h"
#include "platform/clock.h"
#include "tests/kiosk_state/station.h"

namespace kioskstate {
namespace {

using platform::Now;
using platform::TDateTime;

// Counts for the closing line.
long long sequencesTried = 0;
long long eventsTried = 0;

// ---- What the screen must show -------------------------------------------

const QRgb kGreen = qRgb(0, 128, 0);
const QRgb kYellow = qRgb(255, 255, 0);
const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kRed = qRgb(255, 0, 0);
const char* const kNoIncident = "GOOGLE MAP - INVALID INCIDIENT DETAILS";

// Dark while now is later than the screen-saver deadline.
bool Dark(TDateTime now, TDateTime until) { return now > until; }

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The lines a text makes in the list: broken at CR LF, CR or LF.
std::vector<QString> LinesOf(const std::string& text) {
  std::vector<QString> lines;
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      lines.push_back(QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())));
      line.clear();
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += text[i];
    }
  }
  lines.push_back(QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())));
  return lines;
}

// The list is over-full at a height while that height is below (lines - 1)
// x 8 points x 1.7 (the 11-pixel font is 8 points).
bool OverFull(int height, size_t lines) { return lines > 0 && height < (static_cast<double>(lines) - 1) * 8 * 1.7; }

// A line the list is to gain: its whole text, or (for the kiosk's own lines,
// stamped while the clock may move) the text after the stamp or its start.
struct Gained {
  QString text;
  QRgb colour;
  enum Match { Whole, AfterStamp, StartAfterStamp } match = Whole;
  int height = 0;  // the list's height when it is added
  bool Matches(const ShownLine& shown) const {
    if (shown.colour != colour) return false;
    switch (match) {
      case Whole:
        return shown.text == text;
      case AfterStamp:
        return shown.text.size() > 9 && shown.text.mid(9) == text;
      case StartAfterStamp:
        return shown.text.size() > 9 && shown.text.mid(9).startsWith(text);
    }
    return false;
  }
};

// The list after the gained lines were added to `before`, each trimmed at
// the height it was added at; whether `after` is exactly that.
bool ListFollows(const std::vector<ShownLine>& before, const std::vector<Gained>& gained,
                 const std::vector<ShownLine>& after) {
  struct Slot {
    const ShownLine* old;
    const Gained* gained;
  };
  std::deque<Slot> list;
  for (const auto& line : before) list.push_back({&line, nullptr});
  for (const auto& g : gained) {
    list.push_back({nullptr, &g});
    while (OverFull(g.height, list.size())) list.pop_front();
  }
  if (list.size() != after.size()) return false;
  for (size_t i = 0; i < after.size(); ++i) {
    if (list[i].old ? !(*list[i].old == after[i]) : !list[i].gained->Matches(after[i])) return false;
  }
  return true;
}

// The pager lines a datagram makes, as the settings at its arrival call for.
std::vector<Gained> PagerLines(const std::string& text, const config::tKioskSettings& s, int height) {
  const bool shown = (s.ShowCFS && Has(text, "[CFS")) || (s.ShowMFS && Has(text, "[MFS")) ||
                     (s.ShowMSC && Has(text, "[MSC")) || (s.ShowSAAS && Has(text, "[SAAS")) ||
                     (s.ShowRVU && Has(text, "[RVU")) || (s.ShowUnknown && Has(text, "[Unknown")) ||
                     (s.ShowHeartBeat && Has(text, "[MSC:HEARTBEAT"));
  if (!shown || text.rfind("CMD:", 0) == 0) return {};
  const QRgb colour = Has(text, ":" + std::to_string(s.CapCode) + "]") ? kGreen
                      : Has(text, "[RVU")                                ? kYellow
                                                                         : kWhite;
  std::vector<Gained> lines;
  for (const QString& line : LinesOf(platform::FormatDateTime("hh:nn:ss", Now()) + " " + text))
    lines.push_back({line, colour, Gained::Whole, height});
  return lines;
}

struct Rect {
  int left, top, width, height;
};
std::string Describe(const QRect& r) {
  return "(" + std::to_string(r.x()) + ", " + std::to_string(r.y()) + ", " + std::to_string(r.width()) + " x " +
         std::to_string(r.height()) + ")";
}
// The toolkit makes a negative width or height 0.
bool At(const QWidget* w, Rect r) {
  return w->geometry() == QRect(r.left, r.top, std::max(0, r.width), std::max(0, r.height));
}

// What a step left behind, for the checks that compare.
struct Before {
  size_t navigations, requests;
  std::vector<ShownLine> lines;
  int listHeight;
  bool timerActive;
  std::string file;
  std::vector<bool> seen;
};

std::vector<bool> SeenFlags(Station& st) {
  std::vector<bool> seen;
  for (QWidget* child : st.window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    seen.push_back(child->isVisibleTo(st.window.get()));
  return seen;
}

Before Snapshot(Station& st) {
  return {st.browser->navigations.size(), st.transport->Requests().size(), st.ShownLines(),
          st.window->rchMessages->height(), st.window->Timer->isActive(), st.FileOnDisk(), SeenFlags(st)};
}

// The addresses of the unit web service the browser may be sent to.
bool Allowed(const std::string& address, const Station& st) {
  const std::string site = "http://" + st.transport->host();
  if (address == "about:blank" || address == site + "/rvu/bom.htm" ||
      address == site + "/rvu/ChartCrewIncidentCounts.html")
    return true;
  if (address.rfind(site + "/rvu/rvuisapi.dll/iframe?iframeonly=true&output=html&guid=", 0) == 0) return true;
  const int pictures = st.expect.feedAnswers ? st.expect.pix : 0;
  for (int n = 1; n <= pictures; ++n) {
    char name[64];
    std::snprintf(name, sizeof name, "/rvu/kioskpix/html/IMG%03d_big.jpg", n);
    if (address == site + name) return true;
  }
  return false;
}

// Everything that must hold after a step. `gained` are the lines the step
// added for certain; a tick may also write the lost-comms line first.
// `routeMap`: a command or key showed the route map (whose request may have
// been left out after a failure, asking nothing).
void CheckStep(Station& st, const Before& before, std::vector<Gained> gained, bool tick, bool routeMap = false) {
  Expect& e = st.expect;
  kiosk::TfrmMain& w = *st.window;

  RC_ASSERT(st.terminations == (e.terminated ? 1 : 0));
  // Every own page that is no repeat within the minute started exactly one
  // alert, in arrival order, and nothing else started one.
  RC_ASSERT(st.sound != nullptr);
  RC_ASSERT(st.sound->played == e.alerts);

  // The program's folder: no log line or report past its bound, and no
  // failure reported again within the hour.
  if (const std::string problem = st.CheckFolder(); !problem.empty()) RC_FAIL(problem);

  // The browser only ever goes to the unit web service's pages.
  const auto& navigations = st.browser->navigations;
  for (size_t i = before.navigations; i < navigations.size(); ++i) {
    if (!Allowed(navigations[i], st)) RC_FAIL("the browser was sent to " + navigations[i]);
  }
  // Which screen the rotation last showed: the summary asks for the counts;
  // every other screen navigates or asks for the incident.
  const auto paths = st.RequestPaths();
  bool summaryAsked = false, incidentAsked = false;
  for (size_t i = before.requests; i < paths.size(); ++i) {
    summaryAsked |= paths[i] == "/rvu/rvuisapi.dll/json";
    incidentAsked |= paths[i] == "/rvu/rvuisapi.dll/GetZAVPagerXML";
  }
  const bool navigated = navigations.size() > before.navigations;
  if (summaryAsked)
    e.summaryStep = true;
  else if (navigated || incidentAsked || routeMap)
    e.summaryStep = false;

  // The message list: lines kept in order, each in its colour, trimmed to
  // what the height allows after each line added.
  const auto lines = st.ShownLines();
  const int listHeight = w.rchMessages->height();
  if ((incidentAsked || routeMap) && !navigated) gained.push_back({QString::fromLatin1(kNoIncident), kRed, Gained::AfterStamp, listHeight});
  bool follows = ListFollows(before.lines, gained, lines);
  if (!follows && tick) {
    std::vector<Gained> withLostComms = gained;
    withLostComms.insert(withLostComms.begin(), {QStringLiteral("Lost comms: "), kWhite, Gained::StartAfterStamp, before.listHeight});
    follows = ListFollows(before.lines, withLostComms, lines);
  }
  if (!follows) {
    std::ostringstream shown;
    for (const auto& l : lines) shown << "\n  " << l.text.toStdString() << " #" << std::hex << (l.colour & 0xFFFFFF) << std::dec;
    RC_FAIL("the message list is not the lines before plus the lines expected (" + std::to_string(gained.size()) +
            " new), trimmed to its height " + std::to_string(listHeight) + "; it shows:" + shown.str());
  }
  for (const auto& l : lines) RC_ASSERT(!l.text.mid(9).startsWith(QStringLiteral("CMD:")));

  // The settings: the values in memory, and the file the last whole save wrote.
  const config::tKioskSettings& s = config::KioskSettings;
  RC_ASSERT(s.CapCode == e.settings.CapCode);
  RC_ASSERT(s.ShowCFS == e.settings.ShowCFS);
  RC_ASSERT(s.ShowMFS == e.settings.ShowMFS);
  RC_ASSERT(s.ShowMSC == e.settings.ShowMSC);
  RC_ASSERT(s.ShowSAAS == e.settings.ShowSAAS);
  RC_ASSERT(s.ShowRVU == e.settings.ShowRVU);
  RC_ASSERT(s.ShowUnknown == e.settings.ShowUnknown);
  RC_ASSERT(s.ShowHeartBeat == e.settings.ShowHeartBeat);
  RC_ASSERT(s.BrowserVisible == e.settings.BrowserVisible);
  const std::string file = st.FileOnDisk();
  if (file != e.fileText) RC_FAIL("the settings file holds:\n" + file + "\ninstead of:\n" + e.fileText);

  if (e.terminated) {
    // Told to end: nothing more happens.
    RC_ASSERT(st.browser->navigations.size() == before.navigations);
    RC_ASSERT(st.transport->Requests().size() == before.requests);
    RC_ASSERT(lines == before.lines);
    RC_ASSERT(file == before.file);
    RC_ASSERT(w.Timer->isActive() == before.timerActive);
    RC_ASSERT(SeenFlags(st) == before.seen);
    return;
  }

  // The timer runs unless a screen was held by a command or a key.
  if (w.Timer->isActive() == e.timerStopped)
    RC_FAIL(std::string("the timer ") + (e.timerStopped ? "runs after a held screen" : "is stopped"));

  const int W = e.width, H = e.height;
  QWidget* summary = w.pnlSummary;
  const bool summarySeen = summary->isVisibleTo(&w);
  if (e.dark) {
    // Dark: of all the window's parts only the clock is seen (the key box is
    // 1 x 1, black on black).
    for (QWidget* child : w.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      if (!child->isVisibleTo(&w) || child == w.lblTime) continue;
      if (child == w.txtCaptureKeystrokes && child->size() == QSize(1, 1)) continue;
      RC_FAIL("dark, yet " + std::string(child == summary ? "the summary grid" : child == w.pnlWebBrowser ? "the browser panel" : child == w.rchMessages ? "the message list" : child == w.lblPageJ ? "the ticker" : "a part") +
              " is seen at " + Describe(child->geometry()));
    }
    RC_ASSERT(w.lblTime->isVisibleTo(&w));
    const QRect clock = w.lblTime->geometry();
    if (e.clockPlacedWhileDark && clock.width() < W && clock.height() < H && !QRect(0, 0, W, H).contains(clock))
      RC_FAIL("dark, and the clock lies outside the window at " + Describe(clock));
    return;
  }

  // Awake: ticker, list and (as BrowserVisible was laid out) the browser panel
  // at the rectangles of the layout for the window's size.
  const bool browserShown = e.browserLaidOut;
  const int browserWidth = browserShown ? std::min(W - 380, 1250) : 0;
  RC_ASSERT(w.lblPageJ->isVisibleTo(&w));
  RC_ASSERT(w.rchMessages->isVisibleTo(&w));
  if (w.pnlWebBrowser->isVisibleTo(&w) != browserShown)
    RC_FAIL(std::string("awake, and the browser panel is ") + (browserShown ? "hidden" : "shown"));
  if (!At(w.lblPageJ, {40, H - 80, W - 100, 40})) RC_FAIL("ticker at " + Describe(w.lblPageJ->geometry()));
  if (!At(w.pnlWebBrowser, {40, 40, browserWidth, H - 120}))
    RC_FAIL("browser panel at " + Describe(w.pnlWebBrowser->geometry()));
  if (!At(w.rchMessages, {40 + browserWidth + 10, 40, W - browserWidth - 100, H - 120}))
    RC_FAIL("message list at " + Describe(w.rchMessages->geometry()));
  if (w.lblTime->pos() != QPoint(W - 300, H - 80))
    RC_FAIL("clock at " + Describe(w.lblTime->geometry()));
  // The summary grid: seen only in the summary step with the browser panel
  // shown, and then over the panel.
  if (summarySeen) {
    if (!e.summaryStep) RC_FAIL("the summary grid is seen outside the summary step");
    if (!browserShown) RC_FAIL("the summary grid is seen with the browser panel off");
    RC_ASSERT(summary->geometry() == w.pnlWebBrowser->geometry());
  } else if (e.summaryStep && browserShown && !e.browserStale && !Dark(Now(), e.screenSaverUntil)) {
    RC_FAIL("the summary step with the browser panel shown, and no summary grid");
  }
}

// ---- The events ----------------------------------------------------------

struct Model {};
using Command = rc::state::Command<Model, Station>;

std::string Printable(const std::string& text, size_t limit = 80) {
  std::ostringstream out;
  out << '"';
  for (size_t i = 0; i < text.size() && i < limit; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\r')
      out << "\\r";
    else if (c == '\n')
      out << "\\n";
    else if (c == '"' || c == '\\')
      out << '\\' << c;
    else if (c < 0x20 || c >= 0x7F)
      out << "\\x" << std::hex << std::setw(2) << std::setfill('0') << int(c) << std::dec;
    else
      out << c;
  }
  out << '"';
  if (text.size() > limit) out << "... (" << text.size() << " bytes)";
  return out.str();
}

// The kiosk went through a layout pass (FormResize): the look follows the time.
void LaidOut(Expect& e) {
  const bool dark = Dark(Now(), e.screenSaverUntil);
  if (dark && !e.dark) e.clockPlacedWhileDark = false;
  e.dark = dark;
  if (!dark) {
    e.browserLaidOut = e.settings.BrowserVisible;
    e.browserStale = false;
  }
}

// The browser switch lays the window out again, unless its save failed: that
// ends the command first, and the screen keeps the old layout.
void BrowserToggled(Expect& e) {
  if (e.savesFail)
    e.browserStale = true;
  else
    LaidOut(e);
}

// A toggle's save: the file follows when it can be written.
void Saved(Expect& e) {
  if (!e.savesFail) e.fileText = Station::SettingsFileText(e.settings);
}

// Time passes and the timer ticks, once or several times.
struct Tick : Command {
  int count = 1;
  std::int64_t stepMs = 1000;
  Tick() {
    switch (*rc::gen::inRange(0, 10)) {
      case 0:
      case 1:
        count = 15;
        break;
      case 2:
        count = *rc::gen::inRange(2, 45);
        break;
      case 3:
        stepMs = *rc::gen::inRange(60, 900) * 1000;  // minutes
        break;
      case 4:
        stepMs = *rc::gen::element<std::int64_t>(3600000, -3600000);  // the clock stepped an hour
        break;
      case 5:  // hours of ticks a minute apart, with a poll every quarter of an hour
        count = 60 * *rc::gen::inRange(1, 4);
        stepMs = 60000;
        break;
      default:
        stepMs = *rc::gen::inRange(900, 1101);
        break;
    }
  }
  void run(const Model&, Station& st) const override {
    for (int i = 0; i < count; ++i) {
      if (st.expect.terminated) return;  // the event loop has ended: no more ticks
      const Before before = Snapshot(st);
      (*st.folders.clock).Advance(stepMs);
      if (!st.window->Timer->isActive()) continue;  // a held screen: the timer does not tick
      ++eventsTried;
      Expect& e = st.expect;
      const TDateTime now = Now();
      e.tickCount = e.tickCount + 1 == 15 ? 0 : e.tickCount + 1;
      if (now > e.screenSaverUntil && !e.dark) {
        e.dark = true;
        e.clockPlacedWhileDark = false;
      } else if (now < e.screenSaverUntil && e.dark) {
        e.dark = false;
        e.browserLaidOut = e.settings.BrowserVisible;
      }
      if (e.dark && e.tickCount == 0) e.clockPlacedWhileDark = true;
      st.window->TimerTimer();
      if (st.metrics) st.metrics->Publish();  // as its own timer would, between events
      CheckStep(st, before, {}, true);
    }
  }
  void show(std::ostream& os) const override {
    os << "tick";
    if (count > 1) os << " x" << count;
    os << " (clock " << (stepMs >= 0 ? "+" : "") << stepMs << " ms" << (count > 1 ? " each)" : ")");
  }
};

// The datagram grammar.
std::string GenCapCode();
std::string GenCapCodeText() {
  switch (*rc::gen::inRange(0, 9)) {
    case 0:
      return GenCapCode();
    case 1:
      return std::to_string(*rc::gen::inRange(-50, 2000000));
    case 2: {  // hexadecimal
      const auto v = *rc::gen::inRange(0, 0x7FFFFFFF);
      std::ostringstream out;
      out << *rc::gen::element<std::string>("$", "0x", "0X", "x", "-$", "+0x") << std::hex << v;
      return out.str();
    }
    case 3:
      return *rc::gen::element<std::string>(" 42", "-5", "+7", "-2147483648", "2147483647", "$7FFFFFFF");
    case 4:  // overflow
      return *rc::gen::element<std::string>("2147483648", "-2147483649", "99999999999", "$80000000",
                                            "0x100000000");
    case 5:  // garbage
      return *rc::gen::element<std::string>("", "12a", "abc", " ", "+", "$", "0x", "1 2", "12\r\n", "--3");
    case 6: {  // a capcode of the set in hexadecimal
      std::ostringstream out;
      const int v = *rc::gen::element(0, 5, 16, 1234);
      out << *rc::gen::element<std::string>("$", "0x", "X") << std::hex << (*rc::gen::inRange(0, 2) ? std::uppercase : std::nouppercase) << v;
      return out.str();
    }
    default:
      return GenCapCode();
  }
}

// Capcodes come from a small set, so that lines for the own capcode are frequent.
std::string GenCapCode() { return std::to_string(*rc::gen::element(0, 5, 16, 1234, -5)); }

std::string GenDatagram() {
  static const std::vector<std::string> kCommands = {
      "CMD:SCREEN0",      "CMD:SCREEN1",       "CMD:SCROLL",          "CMD:TOGGLECFS",
      "CMD:TOGGLEMFS",    "CMD:TOGGLEMSC",     "CMD:TOGGLESAAS",      "CMD:TOGGLERVU",
      "CMD:TOGGLEUNKNOWN", "CMD:TOGGLEHEARTBEAT", "CMD:TOGGLEBROWSER", "CMD:TOGGLESCREENSAVER",
      "CMD:SCREENSAVER=OFF", "CMD:TERMINATE",
  };
  static const std::vector<std::string> kAgencies = {"CFS", "MFS", "MSC", "SAAS", "RVU", "Unknown"};
  const std::string body = *rc::gen::element<std::string>("ROAD CRASH MAIN RD", "STRUCTURE FIRE 12 HILL ST",
                                                           "", "TEST PAGE", "CMD:SCREEN0 in a page");
  switch (*rc::gen::inRange(0, 20)) {
    case 0:
    case 1:
    case 2: {  // a pager line of an agency
      const std::string agency = *rc::gen::elementOf(kAgencies);
      const std::string cap = *rc::gen::inRange(0, 2) == 0 ? GenCapCode() : std::to_string(*rc::gen::inRange(100, 9999999));
      return "[" + agency + ":" + cap + "] " + body;
    }
    case 3:  // a heartbeat
      return "[MSC:HEARTBEAT] " + std::to_string(*rc::gen::inRange(0, 100000));
    case 4:  // a capcode of the set, with and without "[RVU"
      return *rc::gen::element<std::string>("[RVU", "[CFS", "[Unknown", "") + ":" + GenCapCode() + "] " + body;
    case 5:
    case 6:
    case 7:
    case 8:
      return *rc::gen::elementOf(kCommands);
    case 9:  // near misses
    {
      std::string command = *rc::gen::elementOf(kCommands);
      switch (*rc::gen::inRange(0, 4)) {
        case 0:
          std::transform(command.begin(), command.end(), command.begin(), [](char c) {
            return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
          });
          return command;
        case 1:
          return command + "\r\n";
        case 2:
          return " " + command;
        default:
          return command + " ";
      }
    }
    case 10:
    case 11:
      return "CMD:CAPCODE=" + GenCapCodeText();
    case 12:  // lines with line breaks
      return "[" + std::string(*rc::gen::elementOf(kAgencies)) + ":" + std::to_string(*rc::gen::inRange(0, 999)) +
             "] " + body + *rc::gen::element<std::string>("\r\n", "\n", "\r", "\r\nSECOND LINE\r\n", "\n\n");
    case 13: {  // random bytes, up to the datagram limit
      const int size = *rc::gen::inRange(0, 8193);
      std::string bytes(static_cast<size_t>(size), '\0');
      for (auto& b : bytes) b = static_cast<char>(*rc::gen::inRange(0, 256));
      return bytes;
    }
    case 14:  // a long pager line
      return "[CFS:" + std::to_string(*rc::gen::inRange(0, 99)) + "] " + std::string(static_cast<size_t>(*rc::gen::inRange(100, 8180)), 'X');
    default:
      return "[" + std::string(*rc::gen::elementOf(kAgencies)) + ":" + std::to_string(*rc::gen::inRange(0, 999)) +
             "] " + body;
  }
}

// The value "CMD:CAPCODE=" sets, when its text is a valid number.
bool CapCodeOf(const std::string& text, std::int32_t& value) {
  // Leading blanks, one sign, then decimal digits or hexadecimal ones after
  // "$", "x", "X", "0x" or "0X"; a signed 32-bit value.
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X'))
    base = 16, ++i;
  else if (text.compare(i, 2, "0x") == 0 || text.compare(i, 2, "0X") == 0)
    base = 16, i += 2;
  if (i >= text.size()) return false;
  long long magnitude = 0;
  for (; i < text.size(); ++i) {
    const int digit = std::isdigit(static_cast<unsigned char>(text[i])) ? text[i] - '0'
                      : base == 16 && std::isxdigit(static_cast<unsigned char>(text[i]))
                          ? std::tolower(static_cast<unsigned char>(text[i])) - 'a' + 10
                          : -1;
    if (digit < 0) return false;
    magnitude = magnitude * base + digit;
    if (magnitude > 2147483648LL) return false;
  }
  const long long v = negative ? -magnitude : magnitude;
  if (v > 2147483647LL) return false;
  value = static_cast<std::int32_t>(v);
  return true;
}

// The alert a datagram starts, by the rule: a page to the own capcode that is
// no command, unless the same page sounded within the last 60 s (to the
// millisecond); the pages of the last minute are remembered up to the bound.
void ExpectAlert(const std::string& text, Expect& e, TDateTime now) {
  if (!Has(text, ":" + std::to_string(e.settings.CapCode) + "]") || text.rfind("CMD:", 0) == 0) return;
  auto& pages = e.alertPages;
  std::erase_if(pages, [now](const auto& page) {
    const long long ms = std::llround((now - page.second) * 86400000.0);
    return ms < 0 || ms > 60000;
  });
  const std::string page = kiosk::PageSpeechText(text, e.settings.CapCode);
  for (const auto& [seen, at] : pages)
    if (seen == page) return;
  if (pages.size() >= kiosk::kAlertPagesRemembered) pages.pop_front();
  pages.emplace_back(page, now);
  e.alerts.push_back(page);
}

struct Datagram : Command {
  std::string text;
  // The sender: this machine and 10.1.2.3 are on the station's command list
  // (when it has one), 192.0.2.7 is not.
  platform::IpAddress sender = *rc::gen::element(platform::IpAddress::V4(127, 0, 0, 1),
                                                 platform::IpAddress::V4(10, 1, 2, 3),
                                                 platform::IpAddress::V4(192, 0, 2, 7));
  Datagram() : text(GenDatagram()) {}
  bool Refused(const Expect& e) const {
    return e.commandHostsListed && text.rfind("CMD:", 0) == 0 && sender == platform::IpAddress::V4(192, 0, 2, 7);
  }
  void run(const Model&, Station& st) const override {
    ++eventsTried;
    Expect& e = st.expect;
    const Before before = Snapshot(st);
    const TDateTime now = Now();
    std::vector<Gained> gained;
    // A command from a sender not on the list does nothing at all.
    const bool acts = !e.terminated && !Refused(e);
    const bool routeMap = acts && text == "CMD:SCREEN0";
    if (acts) {
      gained = PagerLines(text, e.settings, before.listHeight);
      if (Has(text, ":" + std::to_string(e.settings.CapCode) + "]")) e.screenSaverUntil = now + platform::kOneHour;
      ExpectAlert(text, e, now);
      Apply(text, e, now);
    }
    st.window->IdUDPServer1UDPRead(text, sender);
    CheckStep(st, before, gained, false, routeMap);
    // Every datagram, a refused command too, is a sign of a live feed.
    if (!e.terminated) RC_ASSERT(st.window->State.LastPacketTime == now);
  }
  // What the command, if it is one, changes.
  static void Apply(const std::string& t, Expect& e, TDateTime now) {
    auto toggle = [&e](bool config::tKioskSettings::*value) {
      e.settings.*value = !(e.settings.*value);
      Saved(e);
    };
    if (t == "CMD:SCREEN0" || t == "CMD:SCREEN1") {
      e.timerStopped = true;
    } else if (t == "CMD:SCROLL") {
      e.timerStopped = false;
      e.tickCount = -1;
    } else if (t == "CMD:TOGGLECFS") {
      toggle(&config::tKioskSettings::ShowCFS);
    } else if (t == "CMD:TOGGLEMFS") {
      toggle(&config::tKioskSettings::ShowMFS);
    } else if (t == "CMD:TOGGLEMSC") {
      toggle(&config::tKioskSettings::ShowMSC);
    } else if (t == "CMD:TOGGLESAAS") {
      toggle(&config::tKioskSettings::ShowSAAS);
    } else if (t == "CMD:TOGGLERVU") {
      toggle(&config::tKioskSettings::ShowRVU);
    } else if (t == "CMD:TOGGLEUNKNOWN") {
      toggle(&config::tKioskSettings::ShowUnknown);
    } else if (t == "CMD:TOGGLEHEARTBEAT") {
      toggle(&config::tKioskSettings::ShowHeartBeat);
    } else if (t.rfind("CMD:CAPCODE=", 0) == 0) {
      std::int32_t value = 0;
      if (CapCodeOf(t.substr(12), value)) {
        e.settings.CapCode = value;
        Saved(e);
      }
    } else if (t == "CMD:TOGGLEBROWSER") {
      toggle(&config::tKioskSettings::BrowserVisible);
      BrowserToggled(e);
    } else if (t == "CMD:TOGGLESCREENSAVER") {
      e.screenSaverUntil = now < e.screenSaverUntil ? now - 1 : now + platform::kOneHour;
      LaidOut(e);
    } else if (t == "CMD:SCREENSAVER=OFF") {
      e.screenSaverUntil = now + platform::kOneHour;
      LaidOut(e);
    } else if (t == "CMD:TERMINATE") {
      e.terminated = true;
    }
  }
  void show(std::ostream& os) const override {
    os << "datagram " << Printable(text) << " from " << platform::IpAddressText(sender);
  }
};

// A key typed into the key box, with the quit box's answer scripted.
struct Key : Command {
  char key;
  bool yes;
  Key() {
    static const char kKeys[] = "01bBcCeEhHmMqQ sStTuU?";
    key = *rc::gen::inRange(0, 5) == 0 ? *rc::gen::element('2', ')', 'x', 'Z', '\xE9', 'a', '\t')
                                       : kKeys[*rc::gen::inRange(0, static_cast<int>(sizeof kKeys) - 1)];
    yes = *rc::gen::inRange(0, 4) == 0;
  }
  void run(const Model&, Station& st) const override {
    Expect& e = st.expect;
    if (e.terminated) return;  // the event loop has ended: no more keys
    ++eventsTried;
    const Before before = Snapshot(st);
    const TDateTime now = Now();
    const size_t errors = st.boxes.errors.size();
    const bool quitKey = key == 'q' || key == 'Q' || key == ' ';
    bool saves = false;
    bool routeMap = false;
    if (now >= e.screenSaverUntil) {  // a key on a dark display only wakes it
      e.screenSaverUntil = now + platform::kOneHour;
      LaidOut(e);
    } else {
      auto toggle = [&](bool config::tKioskSettings::*value) {
        e.settings.*value = !(e.settings.*value);
        Saved(e);
        saves = true;
      };
      const char upper = key >= 'a' && key <= 'z' ? static_cast<char>(key - 'a' + 'A') : key;
      switch (upper) {
        case '0':
        case '1':
          e.timerStopped = true;
          routeMap = key == '0';
          break;
        case 'T':
          e.timerStopped = false;
          break;
        case 'B':
          toggle(&config::tKioskSettings::BrowserVisible);
          BrowserToggled(e);
          break;
        case 'C':
          toggle(&config::tKioskSettings::ShowCFS);
          break;
        case 'E':
          toggle(&config::tKioskSettings::ShowRVU);
          break;
        case 'H':
          toggle(&config::tKioskSettings::ShowHeartBeat);
          break;
        case 'M':
          toggle(&config::tKioskSettings::ShowMFS);
          break;
        case 'S':
          toggle(&config::tKioskSettings::ShowSAAS);
          break;
        case 'U':
          toggle(&config::tKioskSettings::ShowUnknown);
          break;
        default:
          if (quitKey && yes) e.terminated = true;
          break;
      }
    }
    st.boxes.answers = {yes};
    const QString typed = QString::fromLatin1(&key, 1);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, typed);
    QCoreApplication::sendEvent(st.window->txtCaptureKeystrokes, &press);
    st.boxes.answers.clear();
    // The error box comes exactly when a key's save failed.
    RC_ASSERT(st.boxes.errors.size() - errors == (saves && e.savesFail ? 1u : 0u));
    CheckStep(st, before, {}, false, routeMap);
  }
  void show(std::ostream& os) const override {
    os << "key " << Printable(std::string(1, key));
    if (key == 'q' || key == 'Q' || key == ' ') os << (yes ? " (quit box: Yes)" : " (quit box: No)");
  }
};

// The window is sized anew, now and then below 380 x 120 or wider than 1630.
struct Resize : Command {
  int width, height;
  Resize() {
    switch (*rc::gen::inRange(0, 4)) {
      case 0:
        width = *rc::gen::inRange(1, 380);
        height = *rc::gen::inRange(1, 120);
        break;
      case 1:
        width = *rc::gen::inRange(1631, 4000);
        height = *rc::gen::inRange(120, 2200);
        break;
      default:
        width = *rc::gen::inRange(380, 1631);
        height = *rc::gen::inRange(120, 1300);
        break;
    }
  }
  void run(const Model&, Station& st) const override {
    if (st.expect.terminated) return;
    ++eventsTried;
    const Before before = Snapshot(st);
    if (width != st.expect.width || height != st.expect.height) st.expect.clockPlacedWhileDark = false;
    st.Resize(width, height);
    LaidOut(st.expect);
    CheckStep(st, before, {}, false);
  }
  void show(std::ostream& os) const override { os << "resize to " << width << " x " << height; }
};

// The unit web service answers otherwise from now on.
struct Serve : Command {
  enum What { PageA, PageJ, Pix, Incident, Fault } what;
  int value = 0;         // pictures, the incident's age, the fault kind
  std::string path;      // the faulty path
  Serve() {
    what = static_cast<What>(*rc::gen::inRange(0, 5));
    switch (what) {
      case Pix:
        value = *rc::gen::element(0, 1, 2, 1000);
        break;
      case Incident:
        value = *rc::gen::inRange(0, 3);  // fresh, old, no pager time
        break;
      case Fault:
        value = *rc::gen::inRange(0, 6);  // refused, silent, HTTP 500, garbage, at and past the answer bound
        path = *rc::gen::element<std::string>("/rvu/RVUSrvc.xml", "/rvu/rvuisapi.dll/GetZAVPagerXML",
                                              "/rvu/rvuisapi.dll/json");
        break;
      default:
        value = *rc::gen::inRange(0, 1000);
        break;
    }
  }
  void run(const Model&, Station& st) const override {
    if (st.expect.terminated) return;
    ++eventsTried;
    const Before before = Snapshot(st);
    switch (what) {
      case PageA:
        st.pageA = "INCIDENT " + std::to_string(value);
        st.ServeFeed();
        break;
      case PageJ:
        st.pageJ = "TICKER " + std::to_string(value);
        st.ServeFeed();
        break;
      case Pix:
        st.expect.pix = value;
        st.ServeFeed();
        break;
      case Incident:
        st.transport->Answer("/rvu/rvuisapi.dll/GetZAVPagerXML", IncidentAnswer(value));
        break;
      case Fault:
        if (path == "/rvu/RVUSrvc.xml") st.expect.feedAnswers = false;
        if (value == 0) st.transport->Refuse(path);
        if (value == 1) st.transport->Silent(path);
        if (value == 2) st.transport->Answer(path, "Internal Server Error", 500);
        if (value == 3) st.transport->Answer(path, "\x01<<garbage>>{\"id\":P1,\"REC\":");
        if (value >= 4) st.transport->Answer(path, BoundAnswer(path, value == 5));
        break;
    }
    CheckStep(st, before, {}, false);
  }
  // An answer of exactly the path's reader bound (or a byte past it): a
  // number field, or a field without its end tag, that runs on with line
  // breaks and quotes in it.
  static std::string BoundAnswer(const std::string& path, bool past) {
    const std::size_t bound = path == "/rvu/RVUSrvc.xml"                  ? service::kStatusFeedMaxAnswerBytes
                              : path == "/rvu/rvuisapi.dll/GetZAVPagerXML" ? service::kIncidentMaxAnswerBytes
                                                                           : service::kTaskSummaryMaxAnswerBytes;
    const bool feed = path == "/rvu/RVUSrvc.xml";
    const std::string head = feed ? "<xml><RVUSrvc><LEDDisplay><PageA>A</PageA></LEDDisplay><LastGRNMFSIncNo>" : "<Street>";
    const std::string tail = feed ? "</LastGRNMFSIncNo></RVUSrvc></xml>" : "";
    const std::size_t size = bound + (past ? 1 : 0);
    std::string filler;
    const std::string unit = "12\r\n\"x\x01";
    while (filler.size() < size - head.size() - tail.size()) filler += unit;
    filler.resize(size - head.size() - tail.size());
    return head + filler + tail;
  }
  static std::string IncidentAnswer(int age) {
    std::string answer = ReadFixture();
    const std::string stamp = "<ZAVDateTime>2026-12-09 13:32:40</ZAVDateTime>";
    const auto at = answer.find(stamp);
    if (at == std::string::npos) return answer;
    std::string time;
    if (age == 0) time = platform::FormatDateTime("yyyy-mm-dd hh:nn:ss", Now() - platform::kOneMinute);
    if (age == 1) time = platform::FormatDateTime("yyyy-mm-dd hh:nn:ss", Now() - 2 * platform::kOneHour);
    return answer.replace(at, stamp.size(), "<ZAVDateTime>" + time + "</ZAVDateTime>");
  }
  static std::string ReadFixture() {
    static const std::string text = [] {
      std::ifstream in(std::string(KIOSK_SOURCE_DIR) + "/tests/service/fixtures/incident_found.txt", std::ios::binary);
      std::ostringstream out;
      out << in.rdbuf();
      return out.str();
    }();
    return text;
  }
  void show(std::ostream& os) const override {
    static const char* const kFaults[] = {"refuses",         "is silent", "answers HTTP 500", "answers garbage",
                                          "answers 1 MiB", "answers 1 MiB and a byte"};
    switch (what) {
      case PageA:
        os << "service: page A \"INCIDENT " << value << "\"";
        break;
      case PageJ:
        os << "service: page J \"TICKER " << value << "\"";
        break;
      case Pix:
        os << "service: KioskPix " << value;
        break;
      case Incident:
        os << "service: incident " << (value == 0 ? "paged a minute ago" : value == 1 ? "paged two hours ago" : "without a pager time");
        break;
      case Fault:
        os << "service: " << path << " " << kFaults[value];
        break;
    }
  }
};

// Saves begin to fail (the working folder is gone), or work again.
struct Saves : Command {
  bool fail = *rc::gen::inRange(0, 3) != 0;
  void run(const Model&, Station& st) const override {
    if (st.expect.terminated) return;
    ++eventsTried;
    const Before before = Snapshot(st);
    if (fail != st.expect.savesFail) st.MakeSavesFail(fail);
    CheckStep(st, before, {}, false);
  }
  void show(std::ostream& os) const override { os << (fail ? "saves fail (working folder gone)" : "saves work again"); }
};

// The browser view's renderer dies for good: it gives up on its page.
struct Crash : Command {
  void run(const Model&, Station& st) const override {
    if (st.expect.terminated) return;
    ++eventsTried;
    const Before before = Snapshot(st);
    st.browser->RendererCrashed();
    CheckStep(st, before, {}, false);
    RC_ASSERT(st.browser->backgrounds.back() == "#000000");  // the blank page is painted black
  }
  void show(std::ostream& os) const override { os << "the renderer gives up on its page"; }
};

void Sequence() {
  ++sequencesTried;
  Station station;
  if (*rc::gen::inRange(0, 2) == 0) station.ListCommandHosts();
  rc::state::check(Model{}, station,
                   rc::state::gen::execOneOfWithArgs<Tick, Tick, Tick, Datagram, Datagram, Datagram, Key, Key,
                                                     Resize, Serve, Serve, Saves, Crash>());
}

int EnvInt(const char* name, int fallback) {
  const char* text = std::getenv(name);
  return text && *text ? std::atoi(text) : fallback;
}

TEST(KioskStateMachine, EverySequenceOfEventsKeepsTheKioskInvariants) {
  rc::detail::TestParams params;
  params.maxSuccess = EnvInt("KIOSK_STATE_SEQUENCES", 300);
  params.maxSize = 200;
  params.maxDiscardRatio = 10;
  params.seed = static_cast<std::uint64_t>(EnvInt("KIOSK_STATE_SEED", static_cast<int>(std::random_device{}())));
  const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(EnvInt("KIOSK_STATE_MINUTES", 0));
  bool passed = true;
  int round = 0;
  do {
    rc::detail::TestMetadata metadata;
    metadata.id = metadata.description = "kiosk state machine, round " + std::to_string(++round);
    params.seed += 7919;
    const auto result = rc::detail::checkTestable(&Sequence, metadata, params);
    if (!result.is<rc::detail::SuccessResult>()) {
      std::ostringstream report;
      rc::detail::printResultMessage(result, report);
      ADD_FAILURE() << report.str();
      passed = false;
    }
  } while (passed && std::chrono::steady_clock::now() < end);
  std::cout << "kiosk state machine: " << sequencesTried << " sequences, " << eventsTried << " events tried in "
            << round << " round(s), seed " << params.seed << std::endl;
}

// The same sequences with the metrics endpoint on: the window's figures are
// published on every tick while another thread scrapes them without pause;
// reading them never changes what the kiosk does, so every invariant holds.
TEST(KioskStateMachine, TheInvariantsHoldWithTheMetricsEndpointScraped) {
  platform::HttpMetricsEndpoint endpoint("127.0.0.1", 0);
  Station::metricsEndpoint = &endpoint;
  std::atomic<bool> scraping{true};
  std::atomic<int> scrapes{0}, failed{0};
  std::thread scraper([&] {
    httplib::Client client("127.0.0.1", endpoint.Port());
    while (scraping) {
      const auto answer = client.Get("/metrics");
      ++(answer && answer->status == 200 ? scrapes : failed);
    }
  });
  rc::detail::TestParams params;
  params.maxSuccess = EnvInt("KIOSK_STATE_METRICS_SEQUENCES", 60);
  params.maxSize = 200;
  params.maxDiscardRatio = 10;
  params.seed = static_cast<std::uint64_t>(EnvInt("KIOSK_STATE_SEED", static_cast<int>(std::random_device{}())));
  rc::detail::TestMetadata metadata;
  metadata.id = metadata.description = "kiosk state machine, metrics endpoint scraped";
  const auto result = rc::detail::checkTestable(&Sequence, metadata, params);
  scraping = false;
  scraper.join();
  Station::metricsEndpoint = nullptr;
  if (!result.is<rc::detail::SuccessResult>()) {
    std::ostringstream report;
    rc::detail::printResultMessage(result, report);
    ADD_FAILURE() << report.str();
  }
  EXPECT_GT(scrapes.load(), 0);
  EXPECT_EQ(failed.load(), 0);
  std::cout << "kiosk state machine with metrics: " << scrapes.load() << " scrapes, seed " << params.seed << std::endl;
}

}  // namespace
}  // namespace kioskstate
