// 100,000 abusive datagrams at full speed on the pager port: the kiosk stays
// up, its settings file stays one that commands could have written, and a
// normal page is shown afterwards.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <optional>
#include <random>
#include <regex>

#include "config/kiosk_settings.h"
#include "tests/reliability_e2e/station.h"

namespace reliability {
namespace {

constexpr int kDatagrams = 100000;
constexpr size_t kLongest = 8192;

const std::array<const char*, 15> kCommands = {
    "SCREEN0",    "SCREEN1",      "SCROLL",          "TOGGLECFS",          "TOGGLEMFS",
    "TOGGLEMSC",  "TOGGLESAAS",   "TOGGLERVU",       "TOGGLEUNKNOWN",      "TOGGLEHEARTBEAT",
    "CAPCODE=",   "TOGGLEBROWSER", "TOGGLESCREENSAVER", "SCREENSAVER=OFF", "TERMINATE"};
const std::array<const char*, 7> kAgencies = {"CFS", "MFS", "MSC", "SAAS", "RVU", "Unknown", "MSC:HEARTBEAT"};

// Random datagrams: raw bytes, "CMD:" with garbage, real command names with
// garbage after them, pager-like lines with broken text, and now and then an
// exact command (never CMD:TERMINATE).
class DatagramMaker {
 public:
  explicit DatagramMaker(std::uint64_t seed) : random_(seed) {}

  std::string Next() {
    std::string d;
    do d = Make(); while (d == "CMD:TERMINATE");
    if (d.size() > kLongest) d.resize(kLongest);
    return d;
  }

 private:
  size_t Up(size_t n) { return static_cast<size_t>(random_() % (n + 1)); }
  std::string Bytes(size_t n) {
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(random_() & 0xFF);
    return s;
  }
  std::string Printable(size_t n) {
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 :[]=-+$#\r\n\t";
    std::string s(n, ' ');
    for (char& c : s) c = kChars[random_() % (sizeof kChars - 1)];
    return s;
  }
  std::string Garbage() {
    switch (random_() % 6) {
      case 0: return Bytes(1 + Up(kLongest / 4));
      case 1: return Printable(1 + Up(64));
      case 2: return std::string(1 + Up(8), '\0');
      case 3: return "\r\n";
      case 4: return " ";
      default: return std::to_string(static_cast<std::int64_t>(random_())) + Bytes(Up(4));
    }
  }
  std::string CapCodeText() {
    switch (random_() % 6) {
      case 0: return std::to_string(random_() % 10000000);             // a valid capcode
      case 1: return "-" + std::to_string(random_() % 1000);
      case 2: return std::to_string(random_());                         // out of range
      case 3: return "$" + Printable(1 + Up(8));
      case 4: return " " + std::to_string(random_() % 100000) + " ";
      default: return Garbage();
    }
  }
  std::string Make() {
    const unsigned roll = static_cast<unsigned>(random_() % 1000);
    if (roll < 300) return Bytes(Up(kLongest));
    if (roll < 450) return Bytes(Up(64));
    if (roll < 650) return "CMD:" + (random_() % 2 ? Bytes(Up(kLongest - 4)) : Printable(Up(40)));
    if (roll < 850) {
      const std::string name = kCommands[random_() % kCommands.size()];
      if (name == "CAPCODE=") return "CMD:CAPCODE=" + CapCodeText();
      return "CMD:" + name + Garbage();
    }
    if (roll < 990) {
      return Printable(Up(8)) + "[" + kAgencies[random_() % kAgencies.size()] + ":" +
             std::to_string(random_() % 10000000) + "] " + (random_() % 2 ? Printable(Up(300)) : Bytes(Up(300)));
    }
    return std::string("CMD:") + kCommands[random_() % (kCommands.size() - 1)] +
           (random_() % 4 == 0 ? std::to_string(random_() % 100000) : "");
  }

  std::mt19937_64 random_;
};

// The settings file when it is one that the kiosk's commands could have
// written: every value well formed, and the file exactly as the kiosk writes it.
std::optional<config::tKioskSettings> ReadWrittenSettings(const std::string& text, std::string& why) {
  config::tKioskSettings s;
  std::smatch m;
  if (!std::regex_search(text, m, std::regex("<CapCode>(-?[0-9]{1,10})</CapCode>"))) {
    why = "CapCode is not an integer";
    return std::nullopt;
  }
  const long long capCode = std::stoll(m[1]);
  if (capCode < INT32_MIN || capCode > INT32_MAX) {
    why = "CapCode is out of range";
    return std::nullopt;
  }
  s.CapCode = static_cast<std::int32_t>(capCode);
  const std::pair<const char*, bool*> flags[] = {{"CFS", &s.ShowCFS},   {"HeartBeat", &s.ShowHeartBeat},
                                                 {"MFS", &s.ShowMFS},   {"MSC", &s.ShowMSC},
                                                 {"SAAS", &s.ShowSAAS}, {"RVU", &s.ShowRVU},
                                                 {"Unknown", &s.ShowUnknown}, {"BrowserVisible", &s.BrowserVisible}};
  for (const auto& [tag, value] : flags) {
    const std::string name = tag;
    if (!std::regex_search(text, m, std::regex("<" + name + ">(True|False)</" + name + ">"))) {
      why = name + " is not True or False";
      return std::nullopt;
    }
    *value = m[1] == "True";
  }
  if (text != config::KioskSettingsFileText(s)) {
    why = "the file is not laid out as the kiosk writes it";
    return std::nullopt;
  }
  return s;
}

bool IsPageGreen(const QColor& c) { return c.green() > 80 && c.red() < 60 && c.blue() < c.green(); }

// Where the message list is, with the browser shown or not.
Area MessageArea(bool browserVisible) { return browserVisible ? kMessageArea : Area{50, 40, 1180, 904}; }

TEST(DatagramFlood, KioskSurvivesAndStillShowsPages) {
  Station station;
  ASSERT_TRUE(station.WaitUntilUp());

  std::string why;
  const auto initial = ReadWrittenSettings(station.ReadFile("RVUKiosk.xml"), why);
  ASSERT_TRUE(initial.has_value()) << why;

  std::uint64_t seed = std::random_device{}();
  if (const char* given = std::getenv("RELIABILITY_SEED")) seed = std::strtoull(given, nullptr, 10);
  std::printf("datagram seed %llu (RELIABILITY_SEED=%llu repeats it)\n", static_cast<unsigned long long>(seed),
              static_cast<unsigned long long>(seed));
  DatagramMaker maker(seed);

  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_in kiosk{};
  kiosk.sin_family = AF_INET;
  kiosk.sin_port = htons(15167);
  kiosk.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&kiosk), sizeof kiosk), 0);
  int sent = 0, refused = 0;
  std::uint64_t bytes = 0;
  const auto start = SteadyClock::now();
  for (int i = 0; i < kDatagrams; ++i) {
    const std::string d = maker.Next();
    if (send(fd, d.data(), d.size(), 0) == static_cast<ssize_t>(d.size())) {
      ++sent;
      bytes += d.size();
    } else {
      ++refused;
    }
  }
  const double floodSeconds = std::chrono::duration<double>(SteadyClock::now() - start).count();
  close(fd);
  std::printf("sent %d datagrams (%llu bytes) in %.2f s, %d not sent\n", sent,
              static_cast<unsigned long long>(bytes), floodSeconds, refused);

  // The kiosk works through what the socket kept. A scroll command restarts
  // the timer that an exact CMD:SCREEN0/1 may have stopped, and the screen
  // saver is switched off so that the clock is back in its place.
  station.RunFor(2);
  ASSERT_TRUE(station.Kiosk().Running()) << "the kiosk died under the flood";
  station.Send("CMD:SCROLL");
  station.Send("CMD:SCREENSAVER=OFF");
  const bool ticking = station.WaitForClockChanges(3, 60);
  EXPECT_TRUE(ticking) << "the clock does not move after the flood";

  const auto flooded = ReadWrittenSettings(station.ReadFile("RVUKiosk.xml"), why);
  EXPECT_TRUE(flooded.has_value()) << why << ":\n" << station.ReadFile("RVUKiosk.xml");
  // How many values the flood's commands changed: a sign that they were read.
  int changedValues = 0;
  if (flooded) {
    const config::tKioskSettings& a = *initial;
    const config::tKioskSettings& b = *flooded;
    for (bool same : {a.CapCode == b.CapCode, a.ShowCFS == b.ShowCFS, a.ShowHeartBeat == b.ShowHeartBeat,
                      a.ShowMFS == b.ShowMFS, a.ShowMSC == b.ShowMSC, a.ShowSAAS == b.ShowSAAS,
                      a.ShowRVU == b.ShowRVU, a.ShowUnknown == b.ShowUnknown, a.BrowserVisible == b.BrowserVisible})
      changedValues += same ? 0 : 1;
  }
  Score("e2e.datagrams.settings_file_valid",
        flooded ? "16 lines as written, CapCode " + std::to_string(flooded->CapCode) + ", flags True/False (" +
                      std::to_string(changedValues) + " of 9 values changed by the flood)"
                : "invalid: " + why,
        "a file commands could have written", flooded.has_value());

  // A fresh capcode of our own makes the test page the only green line, and
  // shows that commands still work.
  const int capCode = 7000000 + static_cast<int>(seed % 999999);
  station.Send("CMD:CAPCODE=" + std::to_string(capCode));
  std::optional<config::tKioskSettings> settings;
  station.RunUntil(
      [&] {
        settings = ReadWrittenSettings(station.ReadFile("RVUKiosk.xml"), why);
        return settings && settings->CapCode == capCode;
      },
      10);
  ASSERT_TRUE(settings && settings->CapCode == capCode) << "CMD:CAPCODE has no effect after the flood";
  if (!settings->ShowRVU) {
    station.Send("CMD:TOGGLERVU");
    ASSERT_TRUE(station.RunUntil(
        [&] {
          settings = ReadWrittenSettings(station.ReadFile("RVUKiosk.xml"), why);
          return settings && settings->ShowRVU;
        },
        10));
  }
  station.RunFor(1.5);

  const Area list = MessageArea(settings->BrowserVisible);
  const int before = Count(station.Screen(), list, IsPageGreen);
  const auto pagedAt = SteadyClock::now();
  int after = before;
  bool shown = false;
  for (int attempt = 0; attempt < 6 && !shown; ++attempt) {
    station.Send("[RVU:" + std::to_string(capCode) + "] TEST PAGE AFTER THE FLOOD");
    shown = station.RunUntil(
        [&] {
          after = Count(station.Screen(), list, IsPageGreen);
          return after > before + 100;
        },
        5);
  }
  const double pageSeconds = std::chrono::duration<double>(SteadyClock::now() - pagedAt).count();
  station.SaveScreen("datagrams-after");
  const bool alive = station.Kiosk().Running();
  EXPECT_TRUE(shown) << "green pixels in the message list: " << before << " before, " << after << " after";
  EXPECT_TRUE(alive);
  Score("e2e.datagrams.alive_and_showing_pages",
        std::to_string(sent) + " datagrams in " + Fixed(floodSeconds, 1) + " s; " + (alive ? "alive" : "DEAD") +
            "; page " + (shown ? "shown after " + Fixed(pageSeconds, 1) + " s" : "NOT shown") + "; clock " +
            (ticking ? "ticking" : "STOPPED"),
        "alive, page shown, clock ticking", alive && shown && ticking && sent == kDatagrams);
  station.KeepArtifacts("datagrams");
}

}  // namespace
}  // namespace reliability
