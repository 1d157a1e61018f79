#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sim {

// A number for an SVG attribute: at most two decimals, no trailing zeros.
std::string Num(double value);

using Points = std::vector<std::pair<double, double>>;

// Builds an inline SVG element. Texts are escaped; `extra` attributes are
// written as given.
class Svg {
 public:
  Svg(int width, int height, std::string_view extra = {});

  Svg& Raw(std::string_view markup);
  Svg& Rect(double x, double y, double w, double h, std::string_view fill, std::string_view extra = {});
  Svg& Line(double x1, double y1, double x2, double y2, std::string_view stroke, double width,
            std::string_view extra = {});
  Svg& Circle(double cx, double cy, double r, std::string_view fill, std::string_view extra = {});
  Svg& Text(double x, double y, std::string_view text, double size, std::string_view fill,
            std::string_view extra = {});
  Svg& Path(std::string_view d, std::string_view fill, std::string_view stroke, double width,
            std::string_view extra = {});
  Svg& Polyline(const Points& points, std::string_view stroke, double width, std::string_view extra = {});
  Svg& Polygon(const Points& points, std::string_view fill, std::string_view extra = {});

  // Closes the element and hands the markup over.
  std::string Finish();

 private:
  std::string out_;
};

// A complete HTML page on a black background around `body`.
std::string HtmlPage(std::string_view title, std::string_view body, std::string_view css = {});

}  // namespace sim
