#include "tools/unit-service-sim/charts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <numbers>

#include "tools/unit-service-sim/svg.h"

namespace sim {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr int kWidth = 1180;
constexpr int kHeight = 840;
// Plot area.
constexpr double kLeft = 110, kTop = 110, kRight = kWidth - 60, kBottom = kHeight - 110;

const std::vector<std::string> kPalette = {"#4e79a7", "#f28e2b", "#e15759", "#76b7b2", "#59a14f",
                                           "#edc948", "#b07aa1", "#ff9da7", "#9c755f", "#bab0ac"};

std::string PriorityColour(int priority) {
  switch (priority) {
    case 1: return "#ff3b30";
    case 2: return "#ffd60a";
    case 3: return "#f2f2f2";
    case 7: return "#32d74b";
    default: return "#8e8e93";
  }
}

struct Bar {
  std::string label;
  double value;
  std::string colour;
};

// A step of 1, 2 or 5 times a power of ten giving about five intervals.
double TickStep(double maxValue) {
  if (maxValue <= 0) return 1;
  const double raw = maxValue / 5.0;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  const double scaled = raw / power;
  const double step = (scaled <= 1 ? 1 : scaled <= 2 ? 2 : scaled <= 5 ? 5 : 10) * power;
  return std::max(step, 1.0);
}

Svg Frame(std::string_view title, std::string_view subtitle) {
  Svg svg(kWidth, kHeight, "class=\"chart\" font-family=\"Arial,Helvetica,sans-serif\"");
  svg.Rect(0, 0, kWidth, kHeight, "#0d1117");
  svg.Text(kWidth / 2.0, 48, title, 28, "#ffffff", "text-anchor=\"middle\" font-weight=\"bold\"");
  svg.Text(kWidth / 2.0, 78, subtitle, 15, "#9ba3af", "text-anchor=\"middle\"");
  return svg;
}

void NoData(Svg& svg, std::string_view text) {
  svg.Text(kWidth / 2.0, kHeight / 2.0, text, 22, "#9ba3af", "text-anchor=\"middle\" class=\"no-data\"");
}

std::string Page(std::string_view title, Svg& svg) { return HtmlPage(title, svg.Finish()); }

// Horizontal grid lines with their values up the left, and the two axes;
// returns the value at the top of the plot.
double ValueGrid(Svg& svg, double maxValue) {
  const double step = TickStep(maxValue);
  const double top = std::max(step, std::ceil(maxValue / step) * step);
  for (double v = 0; v <= top + 1e-9; v += step) {
    const double y = kBottom - (kBottom - kTop) * v / top;
    svg.Line(kLeft, y, kRight, y, "#30363d", 1);
    svg.Text(kLeft - 12, y + 5, Num(v), 14, "#c9d1d9", "text-anchor=\"end\"");
  }
  svg.Line(kLeft, kTop, kLeft, kBottom, "#c9d1d9", 2, "class=\"axis\"");
  svg.Line(kLeft, kBottom, kRight, kBottom, "#c9d1d9", 2, "class=\"axis\"");
  return top;
}

std::string VerticalBars(std::string_view title, std::string_view subtitle, const std::vector<Bar>& bars,
                         std::string_view xAxis, std::string_view yAxis) {
  Svg svg = Frame(title, subtitle);
  double maxValue = 0;
  for (const Bar& b : bars) maxValue = std::max(maxValue, b.value);
  const double top = ValueGrid(svg, maxValue);
  const double slot = (kRight - kLeft) / std::max<size_t>(1, bars.size());
  for (size_t i = 0; i < bars.size(); ++i) {
    const double h = (kBottom - kTop) * bars[i].value / top;
    const double x = kLeft + slot * static_cast<double>(i) + slot * 0.15;
    svg.Rect(x, kBottom - h, slot * 0.7, h, bars[i].colour, "class=\"bar\" rx=\"3\"");
    svg.Text(x + slot * 0.35, kBottom - h - 8, Num(bars[i].value), 15, "#ffffff",
             "text-anchor=\"middle\" font-weight=\"bold\"");
    svg.Text(x + slot * 0.35, kBottom + 24, bars[i].label, 14, "#c9d1d9", "text-anchor=\"middle\"");
  }
  svg.Text((kLeft + kRight) / 2, kHeight - 40, xAxis, 16, "#9ba3af", "text-anchor=\"middle\"");
  svg.Text(34, (kTop + kBottom) / 2, yAxis, 16, "#9ba3af",
           "text-anchor=\"middle\" transform=\"rotate(-90 34 " + Num((kTop + kBottom) / 2) + ")\"");
  return Page(title, svg);
}

std::string HorizontalBars(std::string_view title, std::string_view subtitle, const std::vector<Bar>& bars,
                           std::string_view xAxis) {
  Svg svg = Frame(title, subtitle);
  const double left = 260;
  double maxValue = 0;
  for (const Bar& b : bars) maxValue = std::max(maxValue, b.value);
  const double step = TickStep(maxValue);
  const double top = std::max(step, std::ceil(maxValue / step) * step);
  for (double v = 0; v <= top + 1e-9; v += step) {
    const double x = left + (kRight - left) * v / top;
    svg.Line(x, kTop, x, kBottom, "#30363d", 1);
    svg.Text(x, kBottom + 24, Num(v), 14, "#c9d1d9", "text-anchor=\"middle\"");
  }
  svg.Line(left, kTop, left, kBottom, "#c9d1d9", 2, "class=\"axis\"");
  svg.Line(left, kBottom, kRight, kBottom, "#c9d1d9", 2, "class=\"axis\"");
  const double slot = (kBottom - kTop) / std::max<size_t>(1, bars.size());
  for (size_t i = 0; i < bars.size(); ++i) {
    const double w = (kRight - left) * bars[i].value / top;
    const double y = kTop + slot * static_cast<double>(i) + slot * 0.15;
    svg.Rect(left, y, w, slot * 0.7, bars[i].colour, "class=\"bar\" rx=\"3\"");
    svg.Text(left - 12, y + slot * 0.35 + 5, bars[i].label, 14, "#c9d1d9", "text-anchor=\"end\"");
    svg.Text(left + w + 8, y + slot * 0.35 + 5, Num(bars[i].value), 14, "#ffffff", "font-weight=\"bold\"");
  }
  svg.Text((left + kRight) / 2, kHeight - 48, xAxis, 16, "#9ba3af", "text-anchor=\"middle\"");
  if (bars.empty()) NoData(svg, "No tasks in the past 24 hours");
  return Page(title, svg);
}

std::string PieChart(std::string_view title, std::string_view subtitle, const std::vector<Bar>& slices, bool donut) {
  Svg svg = Frame(title, subtitle);
  double total = 0;
  for (const Bar& s : slices) total += s.value;
  const double cx = 400, cy = 460, r = 290;
  if (total <= 0) {
    svg.Circle(cx, cy, r, "none", "stroke=\"#30363d\" stroke-width=\"2\"");
    NoData(svg, "No incidents in the past 24 hours");
    return Page(title, svg);
  }
  double angle = -kPi / 2;
  for (const Bar& s : slices) {
    if (s.value <= 0) continue;
    const double sweep = 2 * kPi * s.value / total;
    if (sweep >= 2 * kPi - 1e-9) {
      svg.Circle(cx, cy, r, s.colour, "class=\"slice\" stroke=\"#0d1117\" stroke-width=\"2\"");
    } else {
      const double x1 = cx + r * std::cos(angle), y1 = cy + r * std::sin(angle);
      const double x2 = cx + r * std::cos(angle + sweep), y2 = cy + r * std::sin(angle + sweep);
      svg.Path("M " + Num(cx) + " " + Num(cy) + " L " + Num(x1) + " " + Num(y1) + " A " + Num(r) + " " + Num(r) +
                   " 0 " + (sweep > kPi ? "1" : "0") + " 1 " + Num(x2) + " " + Num(y2) + " Z",
               s.colour, "#0d1117", 2, "class=\"slice\"");
    }
    const double mid = angle + sweep / 2;
    const double lr = donut ? r * 0.8 : r * 0.66;
    char percent[16];
    std::snprintf(percent, sizeof percent, "%.0f%%", 100.0 * s.value / total);
    if (sweep > 0.25)
      svg.Text(cx + lr * std::cos(mid), cy + lr * std::sin(mid) + 6, percent, 17, "#000000",
               "text-anchor=\"middle\" font-weight=\"bold\"");
    angle += sweep;
  }
  if (donut) {
    svg.Circle(cx, cy, r * 0.55, "#0d1117");
    svg.Text(cx, cy - 4, Num(total), 54, "#ffffff", "text-anchor=\"middle\" font-weight=\"bold\"");
    svg.Text(cx, cy + 28, "incidents", 18, "#9ba3af", "text-anchor=\"middle\"");
  }
  // Legend.
  double y = 200;
  for (const Bar& s : slices) {
    svg.Rect(760, y - 16, 22, 22, s.colour, "rx=\"3\"");
    svg.Text(794, y, s.label + "  (" + Num(s.value) + ")", 17, "#e6edf3");
    y += 38;
  }
  return Page(title, svg);
}

std::vector<const Incident*> PastDay(const IncidentBook& book, TimePoint now) {
  return book.Between(now - std::chrono::hours(24), now);
}

std::string Subtitle(TimePoint now, std::string_view what) {
  return std::string(kUnit) + " - " + std::string(what) + " - past 24 hours to " + FormatLocal(now, "%d/%m/%Y %H:%M");
}

std::string CrewIncidentCounts(const IncidentBook& book, TimePoint now) {
  std::map<int, int> counts;
  for (const Incident* inc : PastDay(book, now))
    if (inc->task)
      for (int id : inc->task->crew) ++counts[id];
  std::vector<Bar> bars;
  for (const auto& [id, n] : counts) bars.push_back({"Member " + std::to_string(id), static_cast<double>(n), ""});
  std::stable_sort(bars.begin(), bars.end(), [](const Bar& a, const Bar& b) { return a.value > b.value; });
  for (size_t i = 0; i < bars.size(); ++i) bars[i].colour = kPalette[i % kPalette.size()];
  return HorizontalBars("Crew Incident Counts", Subtitle(now, "tasks attended per member"), bars, "Tasks attended");
}

std::string TaskCoordinates(const IncidentBook& book, TimePoint now) {
  const std::string title = "Task Coordinates";
  Svg svg = Frame(title, Subtitle(now, "incident locations by priority"));
  const auto day = PastDay(book, now);
  double minLat = kStationLat, maxLat = kStationLat, minLng = kStationLng, maxLng = kStationLng;
  for (const Incident* inc : day) {
    minLat = std::min(minLat, inc->lat);
    maxLat = std::max(maxLat, inc->lat);
    minLng = std::min(minLng, inc->lng);
    maxLng = std::max(maxLng, inc->lng);
  }
  const double padLat = std::max(0.005, (maxLat - minLat) * 0.08), padLng = std::max(0.005, (maxLng - minLng) * 0.08);
  minLat -= padLat;
  maxLat += padLat;
  minLng -= padLng;
  maxLng += padLng;
  auto px = [&](double lng) { return kLeft + (kRight - 200 - kLeft) * (lng - minLng) / (maxLng - minLng); };
  auto py = [&](double lat) { return kBottom - (kBottom - kTop) * (lat - minLat) / (maxLat - minLat); };
  const double plotRight = kRight - 200;
  for (int i = 0; i <= 5; ++i) {
    const double lng = minLng + (maxLng - minLng) * i / 5.0, lat = minLat + (maxLat - minLat) * i / 5.0;
    char text[24];
    std::snprintf(text, sizeof text, "%.3f", lng);
    svg.Line(px(lng), kTop, px(lng), kBottom, "#30363d", 1);
    svg.Text(px(lng), kBottom + 24, text, 13, "#c9d1d9", "text-anchor=\"middle\"");
    std::snprintf(text, sizeof text, "%.3f", lat);
    svg.Line(kLeft, py(lat), plotRight, py(lat), "#30363d", 1);
    svg.Text(kLeft - 10, py(lat) + 5, text, 13, "#c9d1d9", "text-anchor=\"end\"");
  }
  svg.Line(kLeft, kTop, kLeft, kBottom, "#c9d1d9", 2, "class=\"axis\"");
  svg.Line(kLeft, kBottom, plotRight, kBottom, "#c9d1d9", 2, "class=\"axis\"");
  svg.Text((kLeft + plotRight) / 2, kHeight - 48, "Longitude", 16, "#9ba3af", "text-anchor=\"middle\"");
  svg.Text(30, (kTop + kBottom) / 2, "Latitude", 16, "#9ba3af",
           "text-anchor=\"middle\" transform=\"rotate(-90 30 " + Num((kTop + kBottom) / 2) + ")\"");
  svg.Rect(px(kStationLng) - 9, py(kStationLat) - 9, 18, 18, "#58a6ff", "class=\"station\"");
  for (const Incident* inc : day)
    svg.Circle(px(inc->lng), py(inc->lat), 9, PriorityColour(inc->priority),
               "class=\"point\" stroke=\"#000\" stroke-width=\"1.5\" opacity=\"0.9\"");
  double y = 160;
  svg.Rect(kRight - 170, y - 14, 16, 16, "#58a6ff");
  svg.Text(kRight - 146, y, "Station", 15, "#e6edf3");
  for (int p : {1, 2, 3, 7}) {
    y += 32;
    svg.Circle(kRight - 162, y - 6, 8, PriorityColour(p));
    svg.Text(kRight - 146, y, "Priority " + std::to_string(p), 15, "#e6edf3");
  }
  if (day.empty()) NoData(svg, "No incidents in the past 24 hours");
  return Page(title, svg);
}

std::string TaskStopCalls(const IncidentBook& book, TimePoint now) {
  std::vector<Bar> bars;
  for (int code = 1; code <= 6; ++code) bars.push_back({StopCallName(code), 0, kPalette[static_cast<size_t>(code)]});
  for (const Incident* inc : PastDay(book, now))
    if (inc->task && inc->Stage(now) == TaskStage::Closed) bars[static_cast<size_t>(inc->task->stopCall - 1)].value += 1;
  return VerticalBars("Task Stop Calls", Subtitle(now, "how completed tasks ended"), bars, "Stop call", "Tasks");
}

std::string TaskTypes(const IncidentBook& book, TimePoint now) {
  std::map<std::string, int> counts;
  for (const Incident* inc : PastDay(book, now)) ++counts[inc->taskType];
  std::vector<Bar> slices;
  for (const auto& [type, n] : counts) slices.push_back({type, static_cast<double>(n), ""});
  std::stable_sort(slices.begin(), slices.end(), [](const Bar& a, const Bar& b) { return a.value > b.value; });
  for (size_t i = 0; i < slices.size(); ++i) slices[i].colour = kPalette[i % kPalette.size()];
  return PieChart("Task Types", Subtitle(now, "incidents by task type"), slices, false);
}

std::string TaskPriorities(const IncidentBook& book, TimePoint now) {
  std::vector<Bar> slices;
  for (int p : {1, 2, 3, 7}) slices.push_back({"Priority " + std::to_string(p), 0, PriorityColour(p)});
  for (const Incident* inc : PastDay(book, now)) {
    const int p = inc->priority;
    const size_t index = p == 1 ? 0 : p == 2 ? 1 : p == 3 ? 2 : 3;
    slices[index].value += 1;
  }
  return PieChart("Task Priorities", Subtitle(now, "incidents by priority"), slices, true);
}

std::string SectorCounts(const IncidentBook& book, TimePoint now) {
  std::vector<Bar> bars;
  for (size_t i = 0; i < kSectorNames.size(); ++i) bars.push_back({kSectorNames[i], 0, kPalette[i % kPalette.size()]});
  for (const Incident* inc : PastDay(book, now)) bars[static_cast<size_t>(inc->Sector())].value += 1;
  return VerticalBars("Unit Sector Incident Counts", Subtitle(now, "incidents by direction from the station"), bars,
                      "Sector (bearing from station)", "Incidents");
}

std::string SuburbCounts(const IncidentBook& book, TimePoint now) {
  std::map<std::string, int> counts;
  for (const std::string& suburb : KnownSuburbs()) counts[suburb] = 0;
  for (const Incident* inc : PastDay(book, now)) ++counts[inc->suburb];
  std::vector<Bar> bars;
  for (const auto& [suburb, n] : counts) bars.push_back({suburb, static_cast<double>(n), ""});
  std::stable_sort(bars.begin(), bars.end(), [](const Bar& a, const Bar& b) { return a.value > b.value; });
  for (size_t i = 0; i < bars.size(); ++i) bars[i].colour = kPalette[i % kPalette.size()];
  return HorizontalBars("Unit Suburbs Counts", Subtitle(now, "incidents by suburb"), bars, "Incidents");
}

std::string IncidentCounts(const IncidentBook& book, TimePoint now) {
  const std::string title = "Unit Incidents Counts";
  Svg svg = Frame(title, Subtitle(now, "incidents per hour"));
  const TimePoint first = StartOfHour(now) - std::chrono::hours(23);
  std::vector<int> counts(24, 0);
  for (const Incident* inc : PastDay(book, now)) {
    if (inc->pagerTime < first) continue;
    const auto hour = std::chrono::duration_cast<std::chrono::hours>(inc->pagerTime - first).count();
    if (hour >= 0 && hour < 24) ++counts[static_cast<size_t>(hour)];
  }
  const int maxCount = *std::max_element(counts.begin(), counts.end());
  const double top = ValueGrid(svg, maxCount);
  Points line, area;
  area.emplace_back(kLeft, kBottom);
  for (size_t i = 0; i < counts.size(); ++i) {
    const double x = kLeft + (kRight - kLeft) * static_cast<double>(i) / 23.0;
    const double y = kBottom - (kBottom - kTop) * counts[i] / top;
    line.emplace_back(x, y);
    area.emplace_back(x, y);
    if (i % 2 == 0)
      svg.Text(x, kBottom + 24, FormatLocal(first + std::chrono::hours(i), "%H:00"), 13, "#c9d1d9",
               "text-anchor=\"middle\"");
  }
  area.emplace_back(kRight, kBottom);
  svg.Polygon(area, "#58a6ff", "opacity=\"0.18\"");
  svg.Polyline(line, "#58a6ff", 3, "class=\"series\" stroke-linejoin=\"round\"");
  for (size_t i = 0; i < line.size(); ++i)
    svg.Circle(line[i].first, line[i].second, counts[i] ? 6 : 3.5, "#58a6ff", "class=\"point\"");
  svg.Text((kLeft + kRight) / 2, kHeight - 48, "Hour of the page", 16, "#9ba3af", "text-anchor=\"middle\"");
  svg.Text(34, (kTop + kBottom) / 2, "Incidents", 16, "#9ba3af",
           "text-anchor=\"middle\" transform=\"rotate(-90 34 " + Num((kTop + kBottom) / 2) + ")\"");
  return Page(title, svg);
}

}  // namespace

const std::vector<std::string>& ChartNames() {
  static const std::vector<std::string> names = {
      "ChartCrewIncidentCounts.html",      "ChartTaskCoordinates.html", "ChartTaskStopCalls.html",
      "ChartTaskTypes.html",               "ChartTaskPriorities.html",  "ChartUnitSectorInidentCounts.html",
      "ChartUnitSuburbsCounts.html",       "ChartUnitIncidentsCounts.html"};
  return names;
}

std::optional<std::string> ChartPage(std::string_view name, const IncidentBook& book, TimePoint now) {
  using Draw = std::string (*)(const IncidentBook&, TimePoint);
  static const Draw kDraw[] = {CrewIncidentCounts, TaskCoordinates, TaskStopCalls, TaskTypes,
                               TaskPriorities,     SectorCounts,    SuburbCounts,  IncidentCounts};
  const auto& names = ChartNames();
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] == name) return kDraw[i](book, now);
  return std::nullopt;
}

}  // namespace sim
