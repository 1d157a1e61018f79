#include "tools/unit-service-sim/incidents.h"

#include <algorithm>
#include <cmath>

namespace sim {

const std::array<const char*, 15> kAgencyNames = {
    "LocalCouncil", "Charity", "CFS",  "EPA",   "Gas",             "MFS",     "Other", "OtherRVUUnit",
    "RSPCA",        "SAAS",    "SAPOL", "SAPowerNetworks", "SAWater", "VMR",     "Welfare"};

const std::vector<std::string> kSectorNames = {"N", "NE", "E", "SE", "S", "SW", "W", "NW"};

namespace {

constexpr double kPi = 3.14159265358979323846;

enum Agency { kCouncil, kCharity, kCFS, kEPA, kGas, kMFS, kOther, kOtherUnit, kRSPCA, kSAAS, kSAPOL, kPower, kWater,
              kVMR, kWelfare };

// A suburb and its centre in km east and north of the station.
struct Suburb {
  const char* name;
  double east;
  double north;
};

const std::vector<Suburb> kSuburbs = {
    {"BRINDLEMOOR", 0.4, 0.3},   {"ASHCOMBE", 2.6, 1.8},    {"KESTREL HILL", -3.1, 2.4}, {"MARLOW FLAT", 4.3, -1.1},
    {"OAKRIDGE", -1.6, -3.3},    {"PENFOLD PARK", 1.1, 4.6}, {"REDGUM VALE", -4.9, -0.7}, {"STONEY CREEK", 5.6, 3.2},
    {"THORNBURY", -2.3, 5.1},    {"WILLOW BEND", 3.1, -4.3}, {"CRAIGMORE", -5.4, 3.9},    {"LINDEN PARK", 0.9, -2.2},
};

const std::vector<std::string> kStreets = {
    "HIGH ST",        "QUARRY RD",    "MAIN NORTH RD",   "STATION TCE", "WATTLE AVE",    "CHURCH ST",
    "MILL RD",        "RIVER DR",     "GUM TREE LANE",   "SCHOOL RD",   "HILLCREST AVE", "OLD COACH RD",
    "SHEPHERDS RD",   "BRIDGE ST",    "PARK TCE",        "VINEYARD RD", "FOREST DR",     "LAKE VIEW RD",
    "SALTBUSH CRES",  "MAGPIE CT",    "EUCALYPT WAY",    "RAILWAY TCE", "COPPER MINE RD", "ORCHARD GR"};

// A kind of task with its incident type code, usual priorities, what the
// caller says and what the crew notes.
struct TaskKind {
  const char* name;
  int type;
  std::vector<int> priorities;
  std::vector<std::string> descriptions;
  std::vector<std::string> notes;
  std::vector<int> agencies;
  int weight;
};

const std::vector<TaskKind> kTaskKinds = {
    {"ROAD CRASH RESCUE", 1, {1, 1, 1, 2}, {"2 VEHICLE COLLISION &#8211; PERSON TRAPPED", "SINGLE VEHICLE ROLLOVER",
                                            "VEHICLE VS TREE &#8211; DRIVER TRAPPED", "TRUCK VS CAR, FLUIDS ON ROAD"},
     {"Vehicle stabilised, 1 patient extricated and handed to SAAS", "Roof removed, driver released",
      "Scene made safe, fluids absorbed", "No entrapment on arrival, assisted SAAS"},
     {kSAAS, kSAPOL, kMFS, kCFS}, 5},
    {"STORM DAMAGE", 2, {2, 3, 3}, {"ROOF DAMAGE &#8211; WATER ENTERING HOUSE", "TREE ON HOUSE", "SHED ROOF LIFTED"},
     {"Roof tarped, owner advised to contact insurer", "Tree limb removed from roof, tarp fitted",
      "Loose sheets secured"},
     {kCouncil, kPower, kWelfare}, 4},
    {"TREE DOWN", 3, {2, 3}, {"TREE ACROSS ROAD &#8211; BLOCKING BOTH LANES", "LARGE BRANCH ON POWER LINES",
                              "TREE DOWN ON FOOTPATH"},
     {"Tree cut and cleared from road", "Area cordoned, awaiting SAPN", "Branch removed, council to collect"},
     {kCouncil, kPower, kSAPOL}, 4},
    {"FLOOD ASSIST", 4, {2, 3}, {"WATER ENTERING PROPERTY", "SANDBAGGING REQUIRED", "CAR STUCK IN FLOODWATER"},
     {"Sandbags placed at rear door", "Water pumped from under floor", "Vehicle towed clear, occupant unhurt"},
     {kCouncil, kWater, kSAPOL}, 2},
    {"ANIMAL RESCUE", 5, {3, 7}, {"HORSE TRAPPED IN DAM", "DOG TRAPPED IN DRAIN", "COW STUCK IN MUD"},
     {"Animal recovered with slings, vet attending", "Dog freed, returned to owner", "Animal released unhurt"},
     {kRSPCA, kOther}, 2},
    {"SEARCH", 6, {1, 2}, {"MISSING ELDERLY PERSON", "OVERDUE BUSHWALKER", "CHILD MISSING NEAR CREEK"},
     {"Person located safe and well", "Search stood down by SAPOL", "Subject found, handed to SAAS"},
     {kSAPOL, kOtherUnit, kSAAS}, 1},
    {"CLIFF RESCUE", 7, {1, 2}, {"PERSON FALLEN DOWN EMBANKMENT", "CLIMBER INJURED ON LEDGE"},
     {"Patient recovered by stretcher haul", "Rope system rigged, patient raised"},
     {kSAAS, kSAPOL, kOtherUnit}, 1},
    {"BUILDING DAMAGE", 8, {2, 3}, {"WALL COLLAPSE", "VEHICLE INTO BUILDING", "AWNING HANGING OVER FOOTPATH"},
     {"Structure shored, building engineer requested", "Awning removed, area safe"},
     {kCouncil, kSAPOL, kGas}, 1},
    {"ASSIST AGENCY", 9, {3, 7, 7}, {"LIGHTING ASSIST SAPOL", "ACCESS ASSIST SAAS", "TRAFFIC MANAGEMENT ASSIST"},
     {"Lighting provided for 2 hours", "Access gained through rear window", "Traffic managed until road cleared"},
     {kSAPOL, kSAAS, kCFS}, 2},
    {"INDUSTRIAL RESCUE", 10, {1}, {"PERSON TRAPPED IN MACHINERY", "WORKER FALLEN INTO SILO"},
     {"Machinery dismantled, patient released", "Worker recovered, SafeWork notified"},
     {kSAAS, kSAPOL, kEPA}, 1},
};

const std::vector<std::string> kFirstNames = {"JOHN", "MARY", "PETER", "SUSAN", "DAVID", "KAREN", "MICHAEL", "HELEN",
                                              "ROBERT", "LINDA", "JAMES", "ANNE", "GARY", "JULIE", "MARK", "TRACEY"};
const std::vector<std::string> kLastNames = {"SMITH", "NGUYEN", "BROWN", "WILSON", "TAYLOR", "JONES", "WHITE",
                                             "MARTIN", "ANDERSON", "THOMPSON", "KELLY", "RYAN", "MURPHY", "CLARKE"};

const std::vector<int> kCrewRoster = {12, 17, 23, 34, 41, 56, 58, 63, 71, 77, 84, 90, 102, 115};
const std::vector<int> kTeamLeaders = {12, 34, 56, 77};

const TaskKind* KindNamed(const std::string& name) {
  for (const auto& kind : kTaskKinds)
    if (EqualsNoCase(kind.name, name)) return &kind;
  return nullptr;
}

const TaskKind& PickKind(Rng& rng) {
  int total = 0;
  for (const auto& kind : kTaskKinds) total += kind.weight;
  int roll = rng.Below(total);
  for (const auto& kind : kTaskKinds) {
    if (roll < kind.weight) return kind;
    roll -= kind.weight;
  }
  return kTaskKinds.front();
}

const Suburb* SuburbNamed(const std::string& name) {
  for (const auto& suburb : kSuburbs)
    if (EqualsNoCase(suburb.name, name)) return &suburb;
  return nullptr;
}

std::string MakeStreet(Rng& rng) {
  const std::string& a = rng.Pick(kStreets);
  std::string b = rng.Pick(kStreets);
  if (b == a) b = kStreets[(static_cast<size_t>(rng.Below(static_cast<int>(kStreets.size()) - 1)) + 1) % kStreets.size()];
  const int form = rng.Below(20);
  if (form < 11) return std::to_string(rng.Range(1, 260)) + " " + a;
  if (form < 16) return "CNR " + a + "/" + b;
  return a + " &#8211; NEAR " + b;
}

std::string ActionFor(int priority) {
  switch (priority) {
    case 1: return "RESPOND CODE 1";
    case 2: return "RESPOND CODE 2";
    case 3: return "ATTEND";
    default: return "ADVISE";
  }
}

}  // namespace

std::string StopCallName(int code) {
  switch (code) {
    case 1: return "Incident resolved";
    case 2: return "Handed to other agency";
    case 3: return "No action required";
    case 4: return "Stood down en route";
    case 5: return "False alarm";
    case 6: return "Made safe, follow-up";
    default: return "Code " + std::to_string(code);
  }
}

std::vector<std::string> KnownSuburbs() {
  std::vector<std::string> names;
  for (const auto& suburb : kSuburbs) names.emplace_back(suburb.name);
  return names;
}

std::string Incident::PlainStreet() const { return ReplaceAll(street, "&#8211;", "-"); }

TaskStage Incident::Stage(TimePoint now) const {
  if (!task) return TaskStage::Received;
  if (now < At(task->acknowledgedAfter)) return TaskStage::Received;
  if (now < At(task->mobileAfter)) return TaskStage::Acknowledged;
  if (now < At(task->completeAfter)) return TaskStage::Mobile;
  return TaskStage::Closed;
}

double Incident::DistanceKm() const {
  const double north = (lat - kStationLat) * 110.574;
  const double east = (lng - kStationLng) * 111.320 * std::cos(kStationLat * kPi / 180.0);
  return std::hypot(north, east);
}

int Incident::Sector() const {
  const double north = (lat - kStationLat) * 110.574;
  const double east = (lng - kStationLng) * 111.320 * std::cos(kStationLat * kPi / 180.0);
  double bearing = std::atan2(east, north) * 180.0 / kPi;
  if (bearing < 0) bearing += 360.0;
  return static_cast<int>(std::lround(bearing / 45.0)) % 8;
}

IncidentBook::IncidentBook(std::uint64_t seed) : rng_(seed) {
  // Region-wide incident numbers run into the millions; this unit sees a few of them.
  nextNumber_ = 2610000 + rng_.Range(1000, 8999);
}

void IncidentBook::AddHistory(TimePoint now) {
  const int count = rng_.Range(18, 26);
  std::vector<int> minutesAgo;
  // Between 23 hours and 35 minutes ago, so the window of a day does not
  // move across one of them while a client looks.
  for (int i = 0; i < count; ++i) minutesAgo.push_back(rng_.Range(35, 23 * 60));
  std::sort(minutesAgo.rbegin(), minutesAgo.rend());
  // Older pages nearly all have had a task opened by now; a few recent ones not yet.
  for (int ago : minutesAgo) {
    IncidentFields fields;
    Insert(Make(fields, now - std::chrono::minutes(ago), rng_.Chance(ago > 180 ? 0.92 : 0.6)));
  }
}

const Incident& IncidentBook::Raise(const IncidentFields& fields, TimePoint now) {
  const int ago = std::max(0, fields.minutesAgo.value_or(0));
  Incident incident = Make(fields, now - std::chrono::minutes(ago), rng_.Chance(0.7));
  const int number = incident.number;
  Insert(std::move(incident));
  current_ = number;
  return *Find(number);
}

Incident IncidentBook::Make(const IncidentFields& fields, TimePoint pagerTime, bool defaultTask) {
  Incident inc;
  inc.number = nextNumber_;
  nextNumber_ += rng_.Range(1, 37);
  inc.pagerTime = std::chrono::time_point_cast<std::chrono::seconds>(pagerTime);
  inc.callReceived = inc.pagerTime - std::chrono::seconds(rng_.Range(40, 240));

  const TaskKind* kind = fields.taskType ? KindNamed(Trim(*fields.taskType)) : &PickKind(rng_);
  inc.taskType = fields.taskType ? ToUpper(Trim(*fields.taskType)) : kind->name;
  inc.incidentType = kind ? kind->type : 99;
  inc.priority = fields.priority.value_or(kind ? rng_.Pick(kind->priorities) : 3);
  inc.action = ActionFor(inc.priority);
  inc.description = kind ? rng_.Pick(kind->descriptions) : "AS PER CALLER";

  const Suburb* suburb = fields.suburb ? SuburbNamed(Trim(*fields.suburb)) : &rng_.Pick(kSuburbs);
  inc.suburb = fields.suburb ? ToUpper(Trim(*fields.suburb)) : suburb->name;
  double east = 0, north = 0;
  if (suburb) {
    east = suburb->east;
    north = suburb->north;
  } else {
    // Somewhere in the shire, always the same place for the same name.
    Rng place(HashText(inc.suburb));
    east = place.Uniform(-6, 6);
    north = place.Uniform(-6, 6);
  }
  east += rng_.Uniform(-0.7, 0.7);
  north += rng_.Uniform(-0.7, 0.7);
  inc.lat = kStationLat + north / 110.574;
  inc.lng = kStationLng + east / (111.320 * std::cos(kStationLat * kPi / 180.0));
  inc.street = fields.street ? Trim(*fields.street) : MakeStreet(rng_);
  if (fields.unit) inc.unit = Trim(*fields.unit);

  inc.mapRef = "UBD " + std::to_string(rng_.Range(38, 52)) + " " + std::string(1, static_cast<char>('A' + rng_.Below(12))) +
               std::to_string(rng_.Range(1, 16));
  inc.callerName = rng_.Pick(kFirstNames) + " " + rng_.Pick(kLastNames);
  char phone[32];
  std::snprintf(phone, sizeof phone, "04%02d %03d %03d", rng_.Below(100), rng_.Below(1000), rng_.Below(1000));
  inc.callerPhone = phone;

  if (!fields.task.value_or(defaultTask)) return inc;

  Task task;
  task.acknowledgedAfter = rng_.Range(1, 2);
  task.mobileAfter = task.acknowledgedAfter + rng_.Range(2, 5);
  const int travel = std::max(4, static_cast<int>(inc.DistanceKm() * 1.4 / 55.0 * 60.0) + rng_.Range(1, 5));
  task.arrivedAfter = task.mobileAfter + travel;
  task.completeAfter = task.arrivedAfter + rng_.Range(20, 95);
  std::vector<int> crew = kCrewRoster;
  for (size_t i = crew.size(); i > 1; --i) std::swap(crew[i - 1], crew[static_cast<size_t>(rng_.Below(static_cast<int>(i)))]);
  task.teamLeader = rng_.Pick(kTeamLeaders);
  task.crew.push_back(task.teamLeader);
  const size_t crewSize = static_cast<size_t>(rng_.Range(3, 5));
  for (int id : crew) {
    if (task.crew.size() >= crewSize) break;
    if (id != task.teamLeader) task.crew.push_back(id);
  }
  task.drivers.push_back(task.crew.back());
  if (task.crew.size() > 3 && rng_.Chance(0.4)) task.drivers.push_back(task.crew[1]);
  task.dutyOfficer = rng_.Chance(0.5) ? 5 : 9;
  task.unitManager = 3;
  if (kind)
    for (int agency : kind->agencies) task.agencies[static_cast<size_t>(agency)] = rng_.Chance(0.6);
  if (rng_.Chance(0.1)) task.agencies[static_cast<size_t>(rng_.Below(15))] = true;
  task.risks = rng_.Below(4);
  task.stopCall = rng_.Range(1, 6);
  task.weather = rng_.Range(1, 5);
  task.kmStart = odometer_;
  task.kmTravelled = static_cast<int>(inc.DistanceKm() * 2.6) + rng_.Range(1, 4);
  odometer_ += task.kmTravelled + rng_.Range(0, 3);
  task.vehicle31 = rng_.Chance(0.85);
  task.vehicle32 = !task.vehicle31 || rng_.Chance(0.3);
  task.vehicle33 = rng_.Chance(0.08);
  task.vehicle41 = rng_.Chance(0.25);
  task.vehicle42 = rng_.Chance(0.1);
  task.trailer = inc.incidentType == 2 || inc.incidentType == 4 ? rng_.Chance(0.6) : rng_.Chance(0.05);
  task.notes = kind ? rng_.Pick(kind->notes) : "Attended, no further action";
  inc.task = std::move(task);
  return inc;
}

void IncidentBook::Insert(Incident incident) {
  const auto at = std::lower_bound(incidents_.begin(), incidents_.end(), incident.number,
                                   [](const Incident& a, int number) { return a.number < number; });
  incidents_.insert(at, std::move(incident));
}

const Incident* IncidentBook::Current() const { return current_ ? Find(*current_) : nullptr; }

const Incident* IncidentBook::Find(int number) const {
  const auto at = std::lower_bound(incidents_.begin(), incidents_.end(), number,
                                   [](const Incident& a, int n) { return a.number < n; });
  return at != incidents_.end() && at->number == number ? &*at : nullptr;
}

const Incident* IncidentBook::Next(int number) const {
  const auto at = std::upper_bound(incidents_.begin(), incidents_.end(), number,
                                   [](int n, const Incident& a) { return n < a.number; });
  return at != incidents_.end() ? &*at : nullptr;
}

const Incident* IncidentBook::Prior(int number) const {
  const auto at = std::lower_bound(incidents_.begin(), incidents_.end(), number,
                                   [](const Incident& a, int n) { return a.number < n; });
  return at != incidents_.begin() ? &*(at - 1) : nullptr;
}

const Incident* IncidentBook::First() const { return incidents_.empty() ? nullptr : &incidents_.front(); }
const Incident* IncidentBook::Last() const { return incidents_.empty() ? nullptr : &incidents_.back(); }

std::vector<const Incident*> IncidentBook::Between(TimePoint from, TimePoint to) const {
  std::vector<const Incident*> found;
  for (const auto& incident : incidents_)
    if (incident.pagerTime > from && incident.pagerTime <= to) found.push_back(&incident);
  return found;
}

}  // namespace sim
