#include "tools/unit-service-sim/svg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tools/unit-service-sim/text.h"

namespace sim {

std::string Num(double value) {
  if (!std::isfinite(value)) return "0";
  char text[40];
  std::snprintf(text, sizeof text, "%.2f", value);
  std::string s = text;
  while (!s.empty() && s.back() == '0') s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
  return s == "-0" ? "0" : s;
}

namespace {
std::string PointList(const Points& points) {
  std::string out;
  for (const auto& [x, y] : points) out += (out.empty() ? "" : " ") + Num(x) + "," + Num(y);
  return out;
}

std::string Extra(std::string_view extra) { return extra.empty() ? std::string() : " " + std::string(extra); }
}  // namespace

Svg::Svg(int width, int height, std::string_view extra) {
  out_ = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) + "\" height=\"" +
         std::to_string(height) + "\" viewBox=\"0 0 " + std::to_string(width) + " " + std::to_string(height) + "\"" +
         Extra(extra) + ">\n";
}

Svg& Svg::Raw(std::string_view markup) {
  out_.append(markup);
  return *this;
}

Svg& Svg::Rect(double x, double y, double w, double h, std::string_view fill, std::string_view extra) {
  out_ += "<rect x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" width=\"" + Num(std::max(0.0, w)) + "\" height=\"" +
          Num(std::max(0.0, h)) + "\" fill=\"" + std::string(fill) + "\"" + Extra(extra) + "/>\n";
  return *this;
}

Svg& Svg::Line(double x1, double y1, double x2, double y2, std::string_view stroke, double width,
               std::string_view extra) {
  out_ += "<line x1=\"" + Num(x1) + "\" y1=\"" + Num(y1) + "\" x2=\"" + Num(x2) + "\" y2=\"" + Num(y2) +
          "\" stroke=\"" + std::string(stroke) + "\" stroke-width=\"" + Num(width) + "\"" + Extra(extra) + "/>\n";
  return *this;
}

Svg& Svg::Circle(double cx, double cy, double r, std::string_view fill, std::string_view extra) {
  out_ += "<circle cx=\"" + Num(cx) + "\" cy=\"" + Num(cy) + "\" r=\"" + Num(r) + "\" fill=\"" + std::string(fill) +
          "\"" + Extra(extra) + "/>\n";
  return *this;
}

Svg& Svg::Text(double x, double y, std::string_view text, double size, std::string_view fill,
               std::string_view extra) {
  out_ += "<text x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" font-size=\"" + Num(size) + "\" fill=\"" +
          std::string(fill) + "\"" + Extra(extra) + ">" + XmlEscape(text) + "</text>\n";
  return *this;
}

Svg& Svg::Path(std::string_view d, std::string_view fill, std::string_view stroke, double width,
               std::string_view extra) {
  out_ += "<path d=\"" + std::string(d) + "\" fill=\"" + std::string(fill) + "\" stroke=\"" + std::string(stroke) +
          "\" stroke-width=\"" + Num(width) + "\"" + Extra(extra) + "/>\n";
  return *this;
}

Svg& Svg::Polyline(const Points& points, std::string_view stroke, double width, std::string_view extra) {
  out_ += "<polyline points=\"" + PointList(points) + "\" fill=\"none\" stroke=\"" + std::string(stroke) +
          "\" stroke-width=\"" + Num(width) + "\"" + Extra(extra) + "/>\n";
  return *this;
}

Svg& Svg::Polygon(const Points& points, std::string_view fill, std::string_view extra) {
  out_ += "<polygon points=\"" + PointList(points) + "\" fill=\"" + std::string(fill) + "\"" + Extra(extra) + "/>\n";
  return *this;
}

std::string Svg::Finish() {
  out_ += "</svg>\n";
  return std::move(out_);
}

std::string HtmlPage(std::string_view title, std::string_view body, std::string_view css) {
  return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" + XmlEscape(title) +
         "</title>\n<style>\nhtml,body{margin:0;padding:0;background:#000;color:#e8e8e8;"
         "font-family:'Segoe UI',Arial,Helvetica,sans-serif;}\nsvg{display:block;}\n" +
         std::string(css) + "</style>\n</head>\n<body>\n" + std::string(body) + "</body>\n</html>\n";
}

}  // namespace sim
