#include "tools/unit-service-sim/weather.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

#include "tools/unit-service-sim/svg.h"

namespace sim {

namespace {

enum Sky { kSunny, kPartly, kCloudy, kShowers, kStorm, kWindy };

const char* SkyName(int sky) {
  static const char* const kNames[] = {"Sunny", "Partly cloudy", "Cloudy", "Showers", "Thunderstorms", "Windy"};
  return kNames[sky];
}

struct Day {
  TimePoint date;
  int sky = kSunny;
  int minTemp = 10;
  int maxTemp = 22;
  int rainChance = 0;
  int rainLow = 0;
  int rainHigh = 0;
  std::string windDirection;
  int windSpeed = 10;
};

// Each day's weather from its date, so the page agrees with itself all day.
Day WeatherOf(TimePoint date) {
  Rng rng(HashText("weather " + DateText(date)));
  static const std::vector<std::string> kDirections = {"N", "NE", "E", "SE", "S", "SW", "W", "NW"};
  Day day;
  day.date = date;
  const int roll = rng.Below(100);
  day.sky = roll < 30 ? kSunny : roll < 55 ? kPartly : roll < 70 ? kCloudy : roll < 85 ? kShowers : roll < 93 ? kStorm
                                                                                                            : kWindy;
  day.minTemp = rng.Range(6, 16);
  day.maxTemp = day.minTemp + rng.Range(6, 15) - (day.sky == kShowers || day.sky == kStorm ? 4 : 0);
  switch (day.sky) {
    case kShowers: day.rainChance = rng.Range(60, 90); break;
    case kStorm: day.rainChance = rng.Range(70, 95); break;
    case kCloudy: day.rainChance = rng.Range(20, 40); break;
    default: day.rainChance = rng.Range(0, 15);
  }
  if (day.rainChance >= 30) {
    day.rainLow = rng.Range(1, 4);
    day.rainHigh = day.rainLow + rng.Range(2, day.sky == kStorm ? 20 : 8);
  }
  day.windDirection = rng.Pick(kDirections);
  day.windSpeed = rng.Range(8, 25) + (day.sky == kWindy || day.sky == kStorm ? 20 : 0);
  return day;
}

std::string CloudShape(double dx, double dy, double scale, std::string_view fill) {
  auto n = [&](double v) { return Num(v * scale); };
  return "<g transform=\"translate(" + Num(dx) + " " + Num(dy) + ")\" fill=\"" + std::string(fill) + "\">" +
         "<circle cx=\"" + n(32) + "\" cy=\"" + n(58) + "\" r=\"" + n(16) + "\"/>" + "<circle cx=\"" + n(52) +
         "\" cy=\"" + n(46) + "\" r=\"" + n(22) + "\"/>" + "<circle cx=\"" + n(72) + "\" cy=\"" + n(58) + "\" r=\"" +
         n(15) + "\"/>" + "<rect x=\"" + n(32) + "\" y=\"" + n(56) + "\" width=\"" + n(40) + "\" height=\"" + n(18) +
         "\" rx=\"" + n(4) + "\"/></g>";
}

std::string SunShape(double cx, double cy, double r) {
  std::string out = "<g stroke=\"#ffcc33\" stroke-width=\"" + Num(r / 5) + "\" stroke-linecap=\"round\">";
  for (int i = 0; i < 8; ++i) {
    const double a = i * std::numbers::pi / 4;
    out += "<line x1=\"" + Num(cx + r * 1.35 * std::cos(a)) + "\" y1=\"" + Num(cy + r * 1.35 * std::sin(a)) +
           "\" x2=\"" + Num(cx + r * 1.8 * std::cos(a)) + "\" y2=\"" + Num(cy + r * 1.8 * std::sin(a)) + "\"/>";
  }
  return out + "</g><circle cx=\"" + Num(cx) + "\" cy=\"" + Num(cy) + "\" r=\"" + Num(r) + "\" fill=\"#ffcc33\"/>";
}

std::string RainLines(std::string_view colour) {
  std::string out = "<g stroke=\"" + std::string(colour) + "\" stroke-width=\"4\" stroke-linecap=\"round\">";
  for (int i = 0; i < 3; ++i) {
    const double x = 38 + i * 14;
    out += "<line x1=\"" + Num(x) + "\" y1=\"80\" x2=\"" + Num(x - 5) + "\" y2=\"94\"/>";
  }
  return out + "</g>";
}

// A weather symbol as an SVG of the given size.
std::string Icon(int sky, int size) {
  std::string inner;
  switch (sky) {
    case kSunny: inner = SunShape(50, 50, 20); break;
    case kPartly: inner = SunShape(64, 34, 14) + CloudShape(-6, 4, 1.0, "#e3e8ee"); break;
    case kCloudy: inner = CloudShape(-14, -4, 1.0, "#9aa5b1") + CloudShape(0, 6, 1.0, "#d5dbe1"); break;
    case kShowers: inner = CloudShape(0, -6, 1.0, "#c3ccd5") + RainLines("#4aa3ff"); break;
    case kStorm:
      inner = CloudShape(0, -8, 1.0, "#6b7785") +
              "<polygon points=\"52,58 40,80 50,80 44,98 64,72 53,72 60,58\" fill=\"#ffd60a\"/>" + RainLines("#4aa3ff");
      break;
    default:
      inner =
          "<g fill=\"none\" stroke=\"#cfe3f5\" stroke-width=\"5\" stroke-linecap=\"round\">"
          "<path d=\"M10 38 H62 a10 10 0 1 0 -10 -10\"/><path d=\"M10 54 H78 a10 10 0 1 1 -10 10\"/>"
          "<path d=\"M18 70 H50\"/></g>";
  }
  return "<svg class=\"icon\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(size) + "\" height=\"" +
         std::to_string(size) + "\" viewBox=\"0 0 100 100\">" + inner + "</svg>";
}

std::string FireDanger(double temp, int wind, int humidity) {
  const double index = temp * 0.9 + wind * 0.7 - humidity * 0.35;
  if (index < 10) return "NO RATING";
  if (index < 22) return "MODERATE";
  if (index < 32) return "HIGH";
  if (index < 42) return "EXTREME";
  return "CATASTROPHIC";
}

}  // namespace

std::string WeatherPage(TimePoint now) {
  const Day today = WeatherOf(now);
  // Temperature runs from the minimum near 6:00 to the maximum near 15:00.
  const double hour = std::stod(FormatLocal(now, "%H")) + std::stod(FormatLocal(now, "%M")) / 60.0;
  double phase = 0;
  if (hour >= 6 && hour <= 15)
    phase = (1 - std::cos((hour - 6) / 9 * std::numbers::pi)) / 2;
  else
    phase = (1 + std::cos(((hour < 6 ? hour + 24 : hour) - 15) / 15 * std::numbers::pi)) / 2;
  const double temp = today.minTemp + (today.maxTemp - today.minTemp) * phase;
  const int humidity = std::clamp(static_cast<int>(95 - phase * 50 + (today.rainChance > 50 ? 15 : 0)), 15, 100);
  const int wind = std::max(0, today.windSpeed + static_cast<int>(std::lround(6 * std::sin(hour))));
  const double feels = temp - wind * 0.12 + (humidity > 70 ? 1.0 : 0.0);
  Rng observed(HashText("obs " + FormatLocal(now, "%Y-%m-%d %H")));
  const double rainSince9 = today.rainHigh > 0 ? observed.Uniform(0, today.rainHigh * 0.6) : 0.0;
  const int pressure = 1022 - (today.sky == kStorm ? 16 : today.sky == kShowers ? 9 : 0) - observed.Range(0, 6);

  char text[128];
  std::string html = "<div class=\"page\">\n<header><h1>VENDALE SHIRE WEATHER</h1><div class=\"issued\">Observations " +
                     FormatLocal(now, "%H:%M") + " &middot; " + FormatLocal(now, "%A %d %B %Y") + "</div></header>\n";
  html += "<section class=\"now\">\n<div class=\"now-icon\">" + Icon(today.sky, 190) + "</div>\n<div class=\"now-main\">";
  std::snprintf(text, sizeof text, "%.1f&deg;C", temp);
  html += std::string("<div class=\"temp\" id=\"current-temp\">") + text + "</div>";
  std::snprintf(text, sizeof text, "Feels like %.0f&deg;C", feels);
  html += "<div class=\"sky\">" + std::string(SkyName(today.sky)) + "</div><div class=\"feels\">" + text + "</div></div>\n";
  html += "<table class=\"details\">";
  auto row = [&](std::string_view name, const std::string& value) {
    html += "<tr><th>" + std::string(name) + "</th><td>" + value + "</td></tr>";
  };
  row("Humidity", std::to_string(humidity) + "%");
  row("Wind", today.windDirection + " " + std::to_string(wind) + " km/h");
  row("Gusts", std::to_string(wind + 9 + observed.Range(0, 12)) + " km/h");
  std::snprintf(text, sizeof text, "%.1f mm", rainSince9);
  row("Rain since 9am", text);
  row("Pressure", std::to_string(pressure) + " hPa");
  row("Fire danger", "<span class=\"fire\">" + FireDanger(temp, wind, humidity) + "</span>");
  html += "</table>\n</section>\n<section class=\"forecast\">\n";
  for (int i = 0; i < 6; ++i) {
    const Day day = WeatherOf(now + std::chrono::hours(24 * i));
    html += "<div class=\"day\"><div class=\"name\">" +
            (i == 0 ? std::string("Today") : FormatLocal(day.date, "%a %d")) + "</div>" + Icon(day.sky, 86) +
            "<div class=\"desc\">" + SkyName(day.sky) + "</div><div class=\"range\"><span class=\"max\">" +
            std::to_string(day.maxTemp) + "&deg;</span> <span class=\"min\">" + std::to_string(day.minTemp) +
            "&deg;</span></div><div class=\"rain\">Rain " + std::to_string(day.rainChance) + "%" +
            (day.rainHigh > 0 ? " &middot; " + std::to_string(day.rainLow) + "-" + std::to_string(day.rainHigh) + " mm"
                              : std::string()) +
            "</div></div>\n";
  }
  html += "</section>\n<footer>Simulated observations for the station at Brindlemoor</footer>\n</div>\n";

  const char* css =
      "html,body{background:#0b1622;}\n"
      ".page{width:1140px;margin:0 auto;padding:20px;}\n"
      "header{display:flex;justify-content:space-between;align-items:baseline;border-bottom:2px solid #24415e;}\n"
      "h1{font-size:34px;margin:8px 0;color:#ffffff;letter-spacing:2px;}\n"
      ".issued{color:#8fb3d9;font-size:18px;}\n"
      ".now{display:flex;align-items:center;gap:30px;margin:24px 0;}\n"
      ".temp{font-size:96px;font-weight:bold;color:#ffffff;line-height:1;}\n"
      ".sky{font-size:30px;color:#ffd479;margin-top:8px;}\n"
      ".feels{font-size:20px;color:#a9c1da;}\n"
      ".details{margin-left:auto;font-size:21px;border-collapse:collapse;}\n"
      ".details th{text-align:left;color:#8fb3d9;font-weight:normal;padding:6px 24px 6px 0;}\n"
      ".details td{color:#ffffff;padding:6px 0;}\n"
      ".fire{background:#ff8c00;color:#000;padding:2px 10px;border-radius:4px;font-weight:bold;}\n"
      ".forecast{display:flex;gap:14px;}\n"
      ".day{flex:1;background:#13263a;border-radius:10px;padding:14px;text-align:center;}\n"
      ".day .name{font-size:20px;font-weight:bold;color:#ffffff;}\n"
      ".day .desc{font-size:16px;color:#ffd479;}\n"
      ".range{font-size:24px;margin:6px 0;}.max{color:#ff8a65;font-weight:bold;}.min{color:#64b5f6;}\n"
      ".rain{font-size:15px;color:#a9c1da;}\n"
      "footer{margin-top:22px;color:#5d7d9c;font-size:13px;}\n";
  return HtmlPage("Vendale Shire weather", html, css);
}

}  // namespace sim
