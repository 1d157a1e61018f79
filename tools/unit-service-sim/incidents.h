#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/unit-service-sim/text.h"

namespace sim {

// The unit all incidents are paged to, and its station.
inline constexpr const char* kUnit = "JUX";
inline constexpr const char* kStationSuburb = "BRINDLEMOOR";
inline constexpr double kStationLat = -34.5861;
inline constexpr double kStationLng = 138.8123;

// How far a task has got; the summary counts by these.
enum class TaskStage { Received, Acknowledged, Mobile, Closed };

// Names of the fifteen assisting agencies, in the order of the answer.
extern const std::array<const char*, 15> kAgencyNames;

// The unit's task on an incident. Times are minutes after the page.
struct Task {
  int acknowledgedAfter = 1;
  int mobileAfter = 4;
  int arrivedAfter = 15;
  int completeAfter = 60;
  std::vector<int> crew;
  std::vector<int> drivers;
  int teamLeader = 0;
  int dutyOfficer = 0;
  int unitManager = 0;
  std::array<bool, 15> agencies{};
  int risks = 0;
  int stopCall = 0;  // reason code once the task is complete
  int weather = 1;
  int kmStart = 0;
  int kmTravelled = 0;
  bool vehicle31 = false, vehicle32 = false, vehicle33 = false, vehicle41 = false, vehicle42 = false;
  bool trailer = false;
  std::string notes;
};

struct Incident {
  int number = 0;
  TimePoint pagerTime;
  TimePoint callReceived;
  int priority = 3;
  std::string taskType;
  int incidentType = 0;
  std::string action;
  std::string unit = kUnit;
  std::string street;  // as the service sends it; may hold "&#8211;"
  std::string suburb;  // upper case
  std::string mapRef;
  std::string callerName;
  std::string callerPhone;
  std::string description;
  double lat = kStationLat;
  double lng = kStationLng;
  std::optional<Task> task;

  // The street as the kiosk shows it: every "&#8211;" read as "-".
  std::string PlainStreet() const;
  TaskStage Stage(TimePoint now) const;
  // Compass sector from the station, 0 = N, 1 = NE, ... 7 = NW.
  int Sector() const;
  double DistanceKm() const;
  TimePoint At(int minutesAfterPage) const { return pagerTime + std::chrono::minutes(minutesAfterPage); }
};

// Values for a new incident; whatever is left out is made up.
struct IncidentFields {
  std::optional<std::string> street;
  std::optional<std::string> suburb;
  std::optional<int> priority;
  std::optional<std::string> taskType;
  std::optional<int> minutesAgo;
  std::optional<bool> task;
  std::optional<std::string> unit;
};

// Descriptions for chart labels.
extern const std::vector<std::string> kSectorNames;
std::string StopCallName(int code);
// Suburbs of the shire, for charts that list them all.
std::vector<std::string> KnownSuburbs();

// Every incident paged to the unit, ordered by number; the newest raised one is
// the current incident. Not thread-safe: the owner locks.
class IncidentBook {
 public:
  explicit IncidentBook(std::uint64_t seed);

  // Adds a believable run of incidents over the day before `now`.
  void AddHistory(TimePoint now);
  // Adds an incident that becomes the current one.
  const Incident& Raise(const IncidentFields& fields, TimePoint now);

  const Incident* Current() const;
  const Incident* Find(int number) const;
  const Incident* Next(int number) const;
  const Incident* Prior(int number) const;
  const Incident* First() const;
  const Incident* Last() const;
  const std::vector<Incident>& All() const { return incidents_; }
  // Incidents paged in (from, to].
  std::vector<const Incident*> Between(TimePoint from, TimePoint to) const;

 private:
  Incident Make(const IncidentFields& fields, TimePoint pagerTime, bool defaultTask);
  void Insert(Incident incident);

  Rng rng_;
  std::vector<Incident> incidents_;
  std::optional<int> current_;
  int nextNumber_ = 0;
  int odometer_ = 48213;
};

}  // namespace sim
