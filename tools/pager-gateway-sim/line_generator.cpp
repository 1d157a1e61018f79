#include "tools/pager-gateway-sim/line_generator.h"

#include <array>
#include <string_view>

namespace gatewaysim {

namespace {

// splitmix64: a fixed, platform-independent mix so a seed gives the same lines
// everywhere (the standard distributions differ between libraries).
std::uint64_t Mix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

class Rng {
 public:
  Rng(std::uint64_t seed, std::uint64_t index) : state_(Mix(seed + Mix(index))) {}

  std::uint64_t Next() {
    state_ += 0x9E3779B97F4A7C15ULL;
    return Mix(state_);
  }
  // Uniform in [0, 1).
  double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
  bool Chance(double p) { return Unit() < p; }
  int Between(int lo, int hi) { return lo + static_cast<int>(Next() % static_cast<std::uint64_t>(hi - lo + 1)); }
  template <std::size_t N>
  std::string_view Pick(const std::array<std::string_view, N>& items) {
    return items[Next() % N];
  }

 private:
  std::uint64_t state_;
};

std::string Digits(long value, int width) {
  std::string s = std::to_string(value);
  if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<std::size_t>(width) - s.size(), '0');
  return s;
}

std::string Clock(const LocalTime& t, bool withSeconds) {
  std::string s = Digits(t.hour, 2) + ":" + Digits(t.minute, 2);
  if (withSeconds) s += ":" + Digits(t.second, 2);
  return s;
}

std::string Date(const LocalTime& t) {
  return Digits(t.day, 2) + "/" + Digits(t.month, 2) + "/" + Digits(t.year % 100, 2);
}

constexpr std::array<std::string_view, 14> kTowns = {
    "BRINDLEMOOR",  "BRINDLEMOOR EAST", "QUARRY FLAT", "OLD MILL",     "VENDALE",
    "KESTREL CREEK", "HARROWDENE",      "CORRIN VALE", "FENNICK SPRINGS", "SALLOW CREEK",
    "EMBERLY DOWNS", "GILCREST FLAT",   "WENDLE HILL", "POLLARDS GAP"};

constexpr std::array<std::string_view, 16> kStreets = {
    "OLD MILL RD",    "QUARRY FLAT RD", "CHURCH ST",      "STATION ST",    "KESTREL CREEK RD", "BOUNDARY RD",
    "RAILWAY TCE",    "SCHOOL LANE",    "PIONEER DR",     "MILLERS TRACK", "HOMESTEAD RD",     "SALLOW CREEK RD",
    "TANNERY LANE",   "VENDALE HWY",    "WENDLE HILL RD", "GRAIN STORE RD"};

std::string Street(Rng& r) { return std::to_string(r.Between(1, 240)) + " " + std::string(r.Pick(kStreets)); }

std::string MapRef(Rng& r) {
  return "MAP:VS " + std::to_string(r.Between(1, 96)) + " " + std::string(1, static_cast<char>('A' + r.Between(0, 10))) +
         std::to_string(r.Between(1, 12));
}

// A seven-digit capcode inside the block of an agency, as the region's pagers use.
std::string AgencyCapcode(Rng& r, long block) { return Digits(block + r.Between(0, 60), 7); }

constexpr std::array<std::string_view, 14> kCfsIncidents = {
    "GRASS FIRE, SMALL",         "GRASS FIRE, LARGE", "SCRUB FIRE",          "STRUCTURE FIRE, RESIDENTIAL",
    "STRUCTURE FIRE, SHED",      "VEHICLE FIRE",      "RUBBISH FIRE",        "TREE DOWN, ROAD BLOCKED",
    "SMOKE SIGHTING",            "ALARM, COMMERCIAL", "FUEL SPILL",          "BURN OFF, UNATTENDED",
    "POWER LINES DOWN",          "HAYSTACK FIRE"};

constexpr std::array<std::string_view, 9> kAppliances = {"BRDM24", "BRDM34P", "QFLT14", "OLDM34", "KSTC24",
                                                         "HRWD13", "CRVL34P", "FNKS24", "VNDL14"};

std::string CfsResponse(Rng& r, const LocalTime& t, std::string_view incident) {
  std::string s = "*CFSRES INC" + Digits(r.Between(1, 999), 3) + " " + Date(t) + " " + Clock(t, false) + " RESPOND " +
                  std::string(incident) + ". " + Street(r) + "," + std::string(r.Pick(kTowns)) + " " + MapRef(r) +
                  " TG " + std::to_string(r.Between(200, 260));
  // One to three different appliances, taken in a row from a random start.
  const std::size_t first = r.Next() % kAppliances.size();
  for (int n = r.Between(1, 3), k = 0; k < n; ++k) s += "," + std::string(kAppliances[(first + k) % kAppliances.size()]);
  return s;
}

std::string CfsBody(Rng& r, const LocalTime& t) {
  switch (r.Between(0, 9)) {
    case 0:
      return "*CFSRES INC" + Digits(r.Between(1, 999), 3) + " " + Date(t) + " " + Clock(t, false) + " STOP " +
             std::string(r.Pick(kCfsIncidents)) + ". " + Street(r) + "," + std::string(r.Pick(kTowns)) +
             " UNDER CONTROL, NO FURTHER APPLIANCES";
    case 1: {
      constexpr std::array<std::string_view, 5> notices = {
          "TRAINING TUESDAY 1900 AT STATION - BRING FULL PPE",
          "FIRE DANGER RATING EXTREME VENDALE SHIRE TOMORROW - TOTAL FIRE BAN",
          "APPLIANCE OFF RUN FOR SERVICE UNTIL FRIDAY",
          "BRIGADE MEETING SUNDAY 1000, BBQ TO FOLLOW",
          "CREW REQUIRED FOR STRIKE TEAM, CONTACT GROUP OFFICER"};
      return std::string(r.Pick(kTowns)) + " CFS - " + std::string(r.Pick(notices));
    }
    default:
      return CfsResponse(r, t, r.Pick(kCfsIncidents));
  }
}

std::string MfsBody(Rng& r) {
  constexpr std::array<std::string_view, 8> premises = {
      "VENDALE DISTRICT HOSPITAL", "BRINDLEMOOR AREA SCHOOL", "OLD MILL HOTEL",         "QUARRY FLAT GRAIN SILOS",
      "VENDALE SHIRE OFFICES",     "KESTREL CREEK AGED CARE", "VENDALE SWIMMING CENTRE", "SUNDOWN MOTEL"};
  constexpr std::array<std::string_view, 7> incidents = {"STRUCTURE FIRE", "GAS LEAK",       "LIFT RESCUE",
                                                         "SMOKE IN BUILDING", "CAR FIRE",   "HAZMAT INCIDENT",
                                                         "BIN FIRE"};
  std::string station = "VENDALE " + std::to_string(r.Between(20, 22)) + "P";
  if (r.Chance(0.5))
    return "ALARM ACTIVATION " + Street(r) + " " + std::string(r.Pick(kTowns)) + " - " + std::string(r.Pick(premises)) +
           " ZONE " + std::to_string(r.Between(1, 12)) + " " + MapRef(r) + " " + station;
  return std::string(r.Pick(incidents)) + " " + Street(r) + " " + std::string(r.Pick(kTowns)) + " " + MapRef(r) + " " +
         station;
}

std::string SaasBody(Rng& r) {
  constexpr std::array<std::array<std::string_view, 5>, 4> complaints = {{
      {"CARDIAC ARREST", "UNCONSCIOUS PERSON", "BREATHING DIFFICULTY", "MVA MULTIPLE PATIENTS", "ANAPHYLAXIS"},
      {"CHEST PAIN", "STROKE SYMPTOMS", "FALL FROM HEIGHT", "SEIZURE", "DIABETIC EMERGENCY"},
      {"FALL ELDERLY", "ABDOMINAL PAIN", "BACK PAIN", "LACERATION", "SICK PERSON"},
      {"TRANSFER TO VENDALE DISTRICT HOSPITAL", "NON URGENT TRANSPORT", "RETURN TRANSFER", "PATIENT ASSIST",
       "TRANSFER TO KESTREL CREEK AGED CARE"},
  }};
  int priority = r.Between(1, 4);
  std::string s = "P" + std::to_string(priority) + " " + std::string(r.Pick(complaints[priority - 1])) + " " +
                  Street(r) + " " + std::string(r.Pick(kTowns));
  s += std::string(" ") + (r.Chance(0.5) ? "M " : "F ") + std::to_string(r.Between(1, 95));
  s += " CASE " + Digits(r.Between(1, 9999), 4) + " VNDL" + std::to_string(r.Between(101, 106));
  return s;
}

constexpr std::array<std::string_view, 10> kRescues = {
    "VEHICLE ROLLOVER",      "ROAD CRASH PERSON TRAPPED", "TRUCK VS CAR",        "HORSE STUCK IN DAM",
    "TREE ON HOUSE",         "FLOOD WATER ASSIST",        "SEARCH MISSING WALKER", "VERTICAL RESCUE QUARRY",
    "CHILD LOCKED IN VEHICLE", "MACHINERY ENTRAPMENT"};

std::string RvuBody(Rng& r) {
  if (r.Chance(0.2)) {
    constexpr std::array<std::string_view, 5> notices = {
        "UNIT TRAINING THURSDAY 1930 - ROPE SKILLS", "STANDBY - SEVERE WEATHER WARNING VENDALE SHIRE",
        "RESCUE STOOD DOWN - CREWS RETURN TO STATION", "VEHICLE CHECK SATURDAY 0900 ALL MEMBERS",
        "STANDBY FOR POSSIBLE FLOOD TASKING SALLOW CREEK"};
    return std::string(r.Pick(notices));
  }
  constexpr std::array<std::string_view, 6> details = {
      "1 PERSON TRAPPED", "SAAS AND CFS RESPONDING", "CALLER REPORTS FUEL LEAKING", "ACCESS VIA GATE 3",
      "2 VEHICLES INVOLVED", "POLICE ON SCENE"};
  std::string s = "RESCUE P" + std::to_string(r.Between(1, 3)) + " " + std::string(r.Pick(kRescues)) + " " + Street(r) +
                  " " + std::string(r.Pick(kTowns));
  if (r.Chance(0.6)) s += " " + std::string(r.Pick(details));
  return s;
}

std::string MscBody(Rng& r) {
  constexpr std::array<std::string_view, 5> notices = {
      "PAGING NETWORK TEST - NO RESPONSE REQUIRED", "VENDALE HILL TX SITE ON BATTERY SUPPLY",
      "TX SITE QUARRY FLAT RESTORED",               "SCHEDULED MAINTENANCE 0200-0400 TG 233",
      "ALL SITES NORMAL"};
  return std::string(r.Pick(notices));
}

// Garbled text of a message the gateway could not attribute; the alphabet has
// neither ':' nor ']' so it cannot imitate a capcode marker.
std::string UnknownBody(Rng& r) {
  constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 .-/#*?";
  if (r.Chance(0.3)) return "..." + Street(r) + " " + std::string(r.Pick(kTowns)).substr(0, 5) + "?";
  std::string s;
  for (int n = r.Between(8, 60); n > 0; --n) s += alphabet[r.Next() % alphabet.size()];
  return s;
}

std::string Tagged(std::string_view agency, const std::string& capcode, const std::string& body) {
  return "[" + std::string(agency) + ":" + capcode + "] " + body;
}

std::string OwnPage(Rng& r, const LocalTime& t, const std::string& capcode) {
  double kind = r.Unit();
  if (kind < 0.7) return Tagged("RVU", capcode, RvuBody(r));
  if (kind < 0.9) return Tagged("CFS", capcode, CfsResponse(r, t, "ROAD CRASH, PERSONS TRAPPED"));
  return Tagged("SAAS", capcode, "P1 MVA MULTIPLE PATIENTS " + Street(r) + " " + std::string(r.Pick(kTowns)) +
                                     " RESCUE REQUESTED");
}

std::string OtherLine(Rng& r, const LocalTime& t) {
  int kind = r.Between(0, 99);
  if (kind < 10) return "[MSC:HEARTBEAT] " + Clock(t, true);
  if (kind < 38) return Tagged("CFS", AgencyCapcode(r, 451000), CfsBody(r, t));
  if (kind < 60) return Tagged("SAAS", AgencyCapcode(r, 771200), SaasBody(r));
  if (kind < 74) return Tagged("MFS", AgencyCapcode(r, 123400), MfsBody(r));
  if (kind < 86) return Tagged("RVU", AgencyCapcode(r, 431200), RvuBody(r));
  if (kind < 92) return Tagged("MSC", AgencyCapcode(r, 999900), MscBody(r));
  std::string capcode = r.Chance(0.5) ? std::string("0000000") : Digits(static_cast<long>(r.Next() % 10000000), 7);
  return Tagged("Unknown", capcode, UnknownBody(r));
}

}  // namespace

std::string OwnPageMarker(const std::string& capcode) { return ":" + capcode + "]"; }

std::string GenerateLine(std::uint64_t seed, std::uint64_t index, const GeneratorSettings& settings,
                         const LocalTime& when) {
  Rng r(seed, index);
  // The own-page decision takes the first draw, so the share does not depend on content.
  bool own = r.Chance(settings.ownShare);
  std::string line;
  if (own) {
    line = OwnPage(r, when, settings.capcode);
  } else {
    // Another agency's capcode may happen to equal the unit's; draw again then,
    // and fall back to a heartbeat, which carries no capcode.
    const std::string marker = OwnPageMarker(settings.capcode);
    for (int attempt = 0; attempt < 8 && (line.empty() || line.find(marker) != std::string::npos); ++attempt)
      line = OtherLine(r, when);
    if (line.find(marker) != std::string::npos) line = "[MSC:HEARTBEAT] " + Clock(when, true);
  }
  // Gateways put the receive time in front of some lines; heartbeats carry it already.
  if (line.rfind("[MSC:HEARTBEAT]", 0) != 0 && r.Chance(0.5)) line = Clock(when, true) + " " + line;
  if (line.size() > platform::kFeedMaxDatagramBytes) line.resize(platform::kFeedMaxDatagramBytes);
  return line;
}

}  // namespace gatewaysim
