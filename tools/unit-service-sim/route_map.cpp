#include "tools/unit-service-sim/route_map.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <vector>

#include "tools/unit-service-sim/svg.h"
#include "tools/unit-service-sim/text.h"

namespace sim {

namespace {

// Metres per pixel at zoom 15 at the shire's latitude.
constexpr double kMetresPerPixel = 3.93;

// Splits "k=v&k=v" without decoding.
std::vector<std::pair<std::string, std::string>> SplitPairs(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> pairs;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('&', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view item = text.substr(start, end - start);
    const size_t eq = item.find('=');
    if (!item.empty()) {
      if (eq == std::string_view::npos)
        pairs.emplace_back(std::string(item), "");
      else
        pairs.emplace_back(std::string(item.substr(0, eq)), std::string(item.substr(eq + 1)));
    }
    start = end + 1;
  }
  return pairs;
}

int Dimension(const std::optional<std::string>& text, int fallback) {
  if (!text) return fallback;
  const auto value = ParseInteger(Trim(*text));
  return value ? static_cast<int>(std::clamp(*value, 200LL, 4000LL)) : fallback;
}

enum Traffic { kFast, kSlow, kHeavy };
const char* TrafficColour(int level) {
  switch (level) {
    case kFast: return "#1e8e3e";
    case kSlow: return "#f29900";
    default: return "#d93025";
  }
}
// Speeds in km/h for the time estimate.
double TrafficSpeed(int level) { return level == kFast ? 50.0 : level == kSlow ? 28.0 : 14.0; }

int TrafficLevel(Rng& rng) {
  const double roll = rng.Unit();
  return roll < 0.6 ? kFast : roll < 0.88 ? kSlow : kHeavy;
}

const std::vector<std::string> kStreetNames = {
    "Quarry Rd",    "High St",     "Main North Rd", "Station Tce",  "Wattle Ave",   "Church St",
    "Mill Rd",      "River Dr",    "School Rd",     "Bridge St",    "Park Tce",     "Vineyard Rd",
    "Forest Dr",    "Lake View Rd", "Railway Tce",  "Orchard Gr",   "Copper Mine Rd", "Old Coach Rd"};

// The town: street lines at fixed places, the same for every map.
struct Town {
  std::vector<double> cols;
  std::vector<double> rows;
  std::vector<bool> arterialCol;
  std::vector<bool> arterialRow;
};

Town MakeTown(int width, int height) {
  Town town;
  Rng rng(0x7A11E5u);
  for (double x = -20 + rng.Range(0, 30); x < width + 80; x += rng.Range(82, 132)) town.cols.push_back(x);
  for (double y = -20 + rng.Range(0, 30); y < height + 80; y += rng.Range(72, 118)) town.rows.push_back(y);
  for (size_t i = 0; i < town.cols.size(); ++i) town.arterialCol.push_back(i % 3 == 1);
  for (size_t i = 0; i < town.rows.size(); ++i) town.arterialRow.push_back(i % 3 == 2);
  return town;
}

struct Node {
  size_t col;
  size_t row;
};

struct Piece {
  double x1, y1, x2, y2;
  int traffic;
};

// Text width estimate for label boxes.
double TextWidth(std::string_view text, double size) { return static_cast<double>(text.size()) * size * 0.56; }

struct Box {
  double x, y, w, h;
  bool Overlaps(const Box& o) const { return x < o.x + o.w && o.x < x + w && y < o.y + o.h && o.y < y + h; }
};

// Puts an address label beside its marker where it covers neither the map's
// furniture nor the other label, and draws it.
Box AddressLabel(Svg& svg, double x, double y, int width, int height, std::string_view heading,
                 std::string_view address, std::string_view colour, const std::vector<Box>& avoid) {
  const double w = std::max(TextWidth(address, 15), TextWidth(heading, 12)) + 24;
  const double h = 46;
  const Box candidates[] = {{x + 22, y - h - 8, w, h}, {x - 22 - w, y - h - 8, w, h}, {x + 22, y + 14, w, h},
                            {x - 22 - w, y + 14, w, h}};
  auto inside = [&](const Box& b) { return b.x >= 6 && b.y >= 6 && b.x + b.w <= width - 6 && b.y + b.h <= height - 6; };
  std::optional<Box> chosen;
  for (const Box& b : candidates) {
    if (!inside(b)) continue;
    if (std::none_of(avoid.begin(), avoid.end(), [&](const Box& a) { return a.Overlaps(b); })) {
      chosen = b;
      break;
    }
    if (!chosen) chosen = b;
  }
  Box box = chosen.value_or(Box{std::clamp(x + 22, 6.0, std::max(6.0, width - 6 - w)), y + 14, w, h});
  svg.Rect(box.x + 2, box.y + 3, w, h, "rgba(0,0,0,0.25)", "rx=\"6\"");
  svg.Rect(box.x, box.y, w, h, "#ffffff", "rx=\"6\" stroke=\"" + std::string(colour) + "\" stroke-width=\"2\"");
  svg.Text(box.x + 12, box.y + 17, heading, 12, std::string(colour), "font-weight=\"bold\"");
  svg.Text(box.x + 12, box.y + 36, address, 15, "#202124");
  return box;
}

}  // namespace

MapRequest ParseMapRequest(std::string_view rawQuery) {
  MapRequest request;
  // The url value starts at the first "url=" that begins a parameter.
  size_t urlAt = std::string_view::npos;
  const std::string lower = ToLower(rawQuery);
  for (size_t at = lower.find("url="); at != std::string::npos; at = lower.find("url=", at + 1)) {
    if (at == 0 || rawQuery[at - 1] == '&') {
      urlAt = at;
      break;
    }
  }
  const std::string_view outer = urlAt == std::string_view::npos ? rawQuery : rawQuery.substr(0, urlAt);
  const QueryParams params = ParseQuery(outer);
  request.guid = Param(params, "guid").value_or("");
  request.incidentNumber = Trim(Param(params, "mfsincno").value_or(""));
  request.incidentDate = Trim(Param(params, "incidentdate").value_or(""));
  request.width = Dimension(Param(params, "width"), 1180);
  request.height = Dimension(Param(params, "height"), 840);
  if (urlAt == std::string_view::npos) return request;

  const std::string_view rawAddress = rawQuery.substr(urlAt + 4);
  std::string address = PercentDecode(rawAddress, true);
  address = ReplaceAllNoCase(address, "[amp]", "&");
  address = ReplaceAllNoCase(address, "&amp;", "&");
  request.mapAddress = Trim(address);
  // The map's own values are split off before they are decoded, so that an
  // escaped "&" or "#" stays inside its value. The separators and the map's
  // "?" may arrive escaped themselves; a value escaped as a whole (no "=" of
  // its own left) is unwrapped first.
  std::string raw(rawAddress);
  if (raw.find('=') == std::string::npos) raw = PercentDecode(raw, false);
  for (const char* separator : {"[amp]", "%5Bamp%5D", "&amp;"}) raw = ReplaceAllNoCase(raw, separator, "&");
  const size_t question = std::min(raw.find('?'), ToLower(raw).find("%3f"));
  const size_t queryAt = question == std::string::npos ? raw.size() : question + (raw[question] == '?' ? 1 : 3);
  for (const auto& [key, value] : SplitPairs(std::string_view(raw).substr(queryAt))) {
    const std::string name = PercentDecode(key, true);
    if (EqualsNoCase(name, "saddr") && request.from.empty()) request.from = Trim(PercentDecode(value, true));
    if (EqualsNoCase(name, "daddr") && request.to.empty()) request.to = Trim(PercentDecode(value, true));
  }
  return request;
}

std::string RouteMapPage(const MapRequest& request) {
  const int width = request.width;
  const int height = request.height;
  const Town town = MakeTown(width, height);

  // Intersections where a marker may stand: inside the map, clear of the
  // information card (top left) and the legend (bottom right).
  std::vector<Node> places;
  for (size_t c = 0; c < town.cols.size(); ++c) {
    for (size_t r = 0; r < town.rows.size(); ++r) {
      const double x = town.cols[c], y = town.rows[r];
      if (x < 70 || x > width - 70 || y < 90 || y > height - 60) continue;
      if (x < 480 && y < 215) continue;
      if (x > width - 290 && y > height - 200) continue;
      places.push_back({c, r});
    }
  }
  if (places.empty()) places.push_back({town.cols.size() / 2, town.rows.size() / 2});
  const size_t count = places.size();
  const size_t startIndex = HashText(ToLower(request.from)) % count;
  size_t endIndex = HashText(ToLower(request.to)) % count;
  auto apart = [&](size_t a, size_t b) {
    const long dc = static_cast<long>(places[a].col) - static_cast<long>(places[b].col);
    const long dr = static_cast<long>(places[a].row) - static_cast<long>(places[b].row);
    return std::labs(dc) + std::labs(dr);
  };
  for (size_t step = 0; step < count && count > 1 && apart(startIndex, endIndex) < 4; ++step)
    endIndex = (endIndex + count / 2 + step) % count;
  const Node start = places[startIndex];
  const Node end = places[endIndex];

  // Along the start's column to the arterial row nearest half way, along it,
  // then along the end's column.
  const double middle = (town.rows[start.row] + town.rows[end.row]) / 2;
  size_t via = start.row;
  double best = 1e9;
  for (size_t r = 0; r < town.rows.size(); ++r) {
    if (!town.arterialRow[r] || town.rows[r] < 40 || town.rows[r] > height - 40) continue;
    if (std::fabs(town.rows[r] - middle) < best) {
      best = std::fabs(town.rows[r] - middle);
      via = r;
    }
  }
  Rng traffic(HashText(ToLower(request.from) + "|" + ToLower(request.to)));
  std::vector<Piece> route;
  auto alongColumn = [&](size_t col, size_t fromRow, size_t toRow) {
    const int stepRow = toRow > fromRow ? 1 : -1;
    for (size_t r = fromRow; r != toRow; r = static_cast<size_t>(static_cast<long>(r) + stepRow)) {
      const size_t next = static_cast<size_t>(static_cast<long>(r) + stepRow);
      route.push_back({town.cols[col], town.rows[r], town.cols[col], town.rows[next], TrafficLevel(traffic)});
    }
  };
  auto alongRow = [&](size_t row, size_t fromCol, size_t toCol) {
    const int stepCol = toCol > fromCol ? 1 : -1;
    for (size_t c = fromCol; c != toCol; c = static_cast<size_t>(static_cast<long>(c) + stepCol)) {
      const size_t next = static_cast<size_t>(static_cast<long>(c) + stepCol);
      route.push_back({town.cols[c], town.rows[row], town.cols[next], town.rows[row], TrafficLevel(traffic)});
    }
  };
  alongColumn(start.col, start.row, via);
  alongRow(via, start.col, end.col);
  alongColumn(end.col, via, end.row);

  double metres = 0, minutes = 0;
  for (const Piece& p : route) {
    const double m = std::hypot(p.x2 - p.x1, p.y2 - p.y1) * kMetresPerPixel;
    metres += m;
    minutes += m / 1000.0 / TrafficSpeed(p.traffic) * 60.0;
  }
  minutes += 1;  // lights and turns

  Svg svg(width, height, "id=\"route-map\" font-family=\"Arial,Helvetica,sans-serif\"");
  svg.Rect(0, 0, width, height, "#e9e5dc");

  // Blocks, a few of them parks.
  Rng blocks(0xB10C5u);
  for (size_t c = 0; c + 1 < town.cols.size(); ++c) {
    for (size_t r = 0; r + 1 < town.rows.size(); ++r) {
      const bool park = blocks.Chance(0.09);
      svg.Rect(town.cols[c] + 7, town.rows[r] + 7, town.cols[c + 1] - town.cols[c] - 14,
               town.rows[r + 1] - town.rows[r] - 14, park ? "#c5e4b8" : "#f6f4ee", "rx=\"3\"");
    }
  }
  // A creek winding across the shire.
  const double h = height;
  svg.Path("M -20 " + Num(h * 0.78) + " C " + Num(width * 0.25) + " " + Num(h * 0.62) + ", " + Num(width * 0.45) + " " +
               Num(h * 0.95) + ", " + Num(width * 0.7) + " " + Num(h * 0.7) + " S " + Num(width + 20.0) + " " +
               Num(h * 0.55) + ", " + Num(width + 40.0) + " " + Num(h * 0.5),
           "none", "#a7d3e8", 22, "stroke-linecap=\"round\"");

  // Streets: minor ones first, arterials on top.
  for (int pass = 0; pass < 2; ++pass) {
    const bool arterial = pass == 1;
    const char* casing = arterial ? "#e1b23c" : "#d5d0c4";
    const char* fill = arterial ? "#fcd770" : "#ffffff";
    const double w = arterial ? 11 : 7;
    for (size_t c = 0; c < town.cols.size(); ++c) {
      if (town.arterialCol[c] != arterial) continue;
      svg.Line(town.cols[c], 0, town.cols[c], height, casing, w + 3);
      svg.Line(town.cols[c], 0, town.cols[c], height, fill, w);
    }
    for (size_t r = 0; r < town.rows.size(); ++r) {
      if (town.arterialRow[r] != arterial) continue;
      svg.Line(0, town.rows[r], width, town.rows[r], casing, w + 3);
      svg.Line(0, town.rows[r], width, town.rows[r], fill, w);
    }
  }
  // Traffic on the arterials.
  for (size_t c = 0; c < town.cols.size(); ++c) {
    if (!town.arterialCol[c]) continue;
    for (size_t r = 0; r + 1 < town.rows.size(); ++r)
      svg.Line(town.cols[c], town.rows[r] + 6, town.cols[c], town.rows[r + 1] - 6, TrafficColour(TrafficLevel(traffic)),
               4, "stroke-linecap=\"round\" opacity=\"0.85\"");
  }
  for (size_t r = 0; r < town.rows.size(); ++r) {
    if (!town.arterialRow[r]) continue;
    for (size_t c = 0; c + 1 < town.cols.size(); ++c)
      svg.Line(town.cols[c] + 6, town.rows[r], town.cols[c + 1] - 6, town.rows[r], TrafficColour(TrafficLevel(traffic)),
               4, "stroke-linecap=\"round\" opacity=\"0.85\"");
  }
  // Street names.
  const std::string halo = "stroke=\"#ffffff\" stroke-width=\"3\" paint-order=\"stroke\" font-style=\"italic\"";
  for (size_t r = 0; r < town.rows.size(); ++r) {
    if (town.rows[r] < 20 || town.rows[r] > height - 10) continue;
    const double x = town.cols[std::min(town.cols.size() - 1, 2 + r % 3)] + 12;
    svg.Text(x, town.rows[r] - 7, kStreetNames[r % kStreetNames.size()], 11, "#5f6368", halo);
  }
  for (size_t c = 0; c < town.cols.size(); ++c) {
    if (town.cols[c] < 20 || town.cols[c] > width - 10) continue;
    const double y = town.rows[std::min(town.rows.size() - 1, 3 + c % 3)] + 60;
    const std::string& name = kStreetNames[(c + 7) % kStreetNames.size()];
    svg.Text(town.cols[c] - 6, y, name, 11, "#5f6368",
             halo + " transform=\"rotate(-90 " + Num(town.cols[c] - 6) + " " + Num(y) + ")\"");
  }

  // The route: a dark casing, then each stretch in its traffic colour.
  Points line;
  for (const Piece& p : route) {
    if (line.empty()) line.emplace_back(p.x1, p.y1);
    line.emplace_back(p.x2, p.y2);
  }
  if (!line.empty()) {
    svg.Polyline(line, "#0b3d91", 15, "id=\"route\" stroke-linecap=\"round\" stroke-linejoin=\"round\"");
    for (const Piece& p : route)
      svg.Line(p.x1, p.y1, p.x2, p.y2, TrafficColour(p.traffic), 9, "stroke-linecap=\"round\"");
  }

  // Markers: the station as a green disc, the incident as a red pin.
  const double sx = town.cols[start.col], sy = town.rows[start.row];
  const double ex = town.cols[end.col], ey = town.rows[end.row];
  svg.Circle(sx, sy, 14, "#1e8e3e", "stroke=\"#ffffff\" stroke-width=\"3\" id=\"start-marker\"");
  svg.Text(sx, sy + 5, "S", 14, "#ffffff", "text-anchor=\"middle\" font-weight=\"bold\"");
  svg.Path("M " + Num(ex) + " " + Num(ey) + " C " + Num(ex - 5) + " " + Num(ey - 13) + " " + Num(ex - 16) + " " +
               Num(ey - 20) + " " + Num(ex - 16) + " " + Num(ey - 33) + " A 16 16 0 1 1 " + Num(ex + 16) + " " +
               Num(ey - 33) + " C " + Num(ex + 16) + " " + Num(ey - 20) + " " + Num(ex + 5) + " " + Num(ey - 13) + " " +
               Num(ex) + " " + Num(ey) + " Z",
           "#d93025", "#8c1d18", 1.5, "id=\"end-marker\"");
  svg.Circle(ex, ey - 33, 6, "#ffffff");
  // Places taken by the information card, the legend, the scale bar, the
  // north arrow and the markers, which the address labels keep clear of.
  const double cardWidth =
      std::clamp(std::max(TextWidth("From: " + request.from, 14), TextWidth("To: " + request.to, 14)) + 36, 400.0,
                 width - 40.0);
  const double lx = width - 250, ly = height - 186;
  const double bar = 500.0 / kMetresPerPixel;
  std::vector<Box> taken = {{16, 16, cardWidth, 178},     {lx, ly, 234, 170},       {16, height - 40.0, bar + 20, 28},
                            {width - 64.0, 22, 48, 48},   {sx - 16, sy - 16, 32, 32}, {ex - 18, ey - 52, 36, 52}};
  taken.push_back(AddressLabel(svg, sx, sy, width, height, "STATION", request.from, "#1e8e3e", taken));
  AddressLabel(svg, ex, ey - 30, width, height, "INCIDENT", request.to, "#d93025", taken);

  // Information card.
  char distance[96];
  std::snprintf(distance, sizeof distance, "%.1f km  -  about %d min in current traffic", metres / 1000.0,
                static_cast<int>(std::lround(minutes)));
  svg.Rect(16, 16, cardWidth, 178, "#202124", "rx=\"10\" opacity=\"0.92\"");
  svg.Text(34, 50, "INCIDENT " + request.incidentNumber, 22, "#ffffff", "font-weight=\"bold\" id=\"incident-number\"");
  svg.Text(34, 74, request.incidentDate, 15, "#bdc1c6", "id=\"incident-date\"");
  svg.Text(34, 104, "Driving route", 13, "#8ab4f8", "font-weight=\"bold\"");
  svg.Text(34, 126, "From: " + request.from, 14, "#e8eaed", "id=\"from-address\"");
  svg.Text(34, 148, "To: " + request.to, 14, "#e8eaed", "id=\"to-address\"");
  svg.Text(34, 176, distance, 14, "#fdd663", "id=\"route-summary\"");

  // Legend.
  svg.Rect(lx, ly, 234, 170, "#ffffff", "rx=\"8\" stroke=\"#9aa0a6\" opacity=\"0.95\"");
  svg.Text(lx + 14, ly + 24, "Traffic", 14, "#202124", "font-weight=\"bold\"");
  const char* const kLegend[] = {"Fast", "Slow", "Heavy"};
  for (int i = 0; i < 3; ++i) {
    svg.Line(lx + 16, ly + 44 + i * 22, lx + 56, ly + 44 + i * 22, TrafficColour(i), 7, "stroke-linecap=\"round\"");
    svg.Text(lx + 68, ly + 49 + i * 22, kLegend[i], 13, "#202124");
  }
  svg.Circle(lx + 36, ly + 116, 8, "#1e8e3e", "stroke=\"#ffffff\" stroke-width=\"2\"");
  svg.Text(lx + 68, ly + 121, "Station (start)", 13, "#202124");
  svg.Circle(lx + 36, ly + 146, 8, "#d93025", "stroke=\"#8c1d18\" stroke-width=\"1\"");
  svg.Text(lx + 68, ly + 151, "Incident (destination)", 13, "#202124");

  // Scale bar (500 m) and north arrow.
  svg.Rect(16, height - 40, bar + 20, 28, "#ffffff", "rx=\"4\" opacity=\"0.9\"");
  svg.Line(26, height - 20, 26 + bar, height - 20, "#202124", 3);
  svg.Line(26, height - 26, 26, height - 16, "#202124", 2);
  svg.Line(26 + bar, height - 26, 26 + bar, height - 16, "#202124", 2);
  svg.Text(26 + bar / 2, height - 25, "500 m", 11, "#202124", "text-anchor=\"middle\"");
  const double nx = width - 40, ny = 46;
  svg.Circle(nx, ny, 22, "#ffffff", "opacity=\"0.9\" stroke=\"#9aa0a6\"");
  svg.Polygon({{nx, ny - 17}, {nx - 8, ny + 8}, {nx, ny + 3}, {nx + 8, ny + 8}}, "#d93025");
  svg.Text(nx, ny + 19, "N", 10, "#202124", "text-anchor=\"middle\" font-weight=\"bold\"");

  const std::string body = svg.Finish() + "<div id=\"map-address\" style=\"display:none\">" +
                           XmlEscape(request.mapAddress) + "</div>\n";
  const std::string css = "body{width:" + std::to_string(width) + "px;height:" + std::to_string(height) +
                          "px;overflow:hidden;}\n";
  return HtmlPage("Route to " + request.to, body, css);
}

}  // namespace sim
