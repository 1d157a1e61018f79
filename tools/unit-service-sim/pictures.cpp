#include "tools/unit-service-sim/pictures.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "tools/unit-service-sim/text.h"

namespace sim {

namespace {

struct Colour {
  double r, g, b;
};

Colour Mix(Colour a, Colour b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
Colour Scale(Colour c, double f) { return {c.r * f, c.g * f, c.b * f}; }

// 5x7 glyphs, one row per byte, the low five bits from left to right.
struct Glyph {
  char c;
  std::uint8_t rows[7];
};
const Glyph kFont[] = {
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}}, {'D', {0x1E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1E}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}}, {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}}, {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}}, {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}}, {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}}, {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}}, {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}}, {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}}, {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}}, {'#', {0x0A, 0x0A, 0x1F, 0x0A, 0x1F, 0x0A, 0x0A}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}}, {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'/', {0x01, 0x01, 0x02, 0x04, 0x08, 0x10, 0x10}},
};

const Glyph* GlyphOf(char c) {
  for (const Glyph& g : kFont)
    if (g.c == c) return &g;
  return nullptr;
}

class Canvas {
 public:
  Canvas(int width, int height) : w_(width), h_(height), px_(static_cast<size_t>(width) * height) {}
  int Width() const { return w_; }
  int Height() const { return h_; }

  void Blend(int x, int y, Colour c, double alpha = 1.0) {
    if (x < 0 || y < 0 || x >= w_ || y >= h_) return;
    Colour& p = px_[static_cast<size_t>(y) * w_ + x];
    p = Mix(p, c, alpha);
  }

  void Rect(double x0, double y0, double x1, double y1, Colour c, double alpha = 1.0) {
    const int xa = std::max(0, static_cast<int>(std::lround(x0))), xb = std::min(w_, static_cast<int>(std::lround(x1)));
    const int ya = std::max(0, static_cast<int>(std::lround(y0))), yb = std::min(h_, static_cast<int>(std::lround(y1)));
    for (int y = ya; y < yb; ++y)
      for (int x = xa; x < xb; ++x) Blend(x, y, c, alpha);
  }

  void Gradient(double y0, double y1, Colour top, Colour bottom) {
    for (int y = std::max(0, static_cast<int>(y0)); y < std::min(h_, static_cast<int>(y1)); ++y) {
      const Colour c = Mix(top, bottom, (y - y0) / std::max(1.0, y1 - y0));
      for (int x = 0; x < w_; ++x) Blend(x, y, c);
    }
  }

  void Circle(double cx, double cy, double r, Colour c, double alpha = 1.0) {
    for (int y = std::max(0, static_cast<int>(cy - r)); y <= std::min(h_ - 1, static_cast<int>(cy + r)); ++y)
      for (int x = std::max(0, static_cast<int>(cx - r)); x <= std::min(w_ - 1, static_cast<int>(cx + r)); ++x) {
        const double d = std::hypot(x - cx, y - cy);
        if (d <= r) Blend(x, y, c, alpha * std::min(1.0, r - d + 0.5));
      }
  }

  // Soft glow, strongest in the middle.
  void Glow(double cx, double cy, double r, Colour c, double strength) {
    for (int y = std::max(0, static_cast<int>(cy - r)); y <= std::min(h_ - 1, static_cast<int>(cy + r)); ++y)
      for (int x = std::max(0, static_cast<int>(cx - r)); x <= std::min(w_ - 1, static_cast<int>(cx + r)); ++x) {
        const double d = std::hypot(x - cx, y - cy) / r;
        if (d < 1) Blend(x, y, c, strength * (1 - d) * (1 - d));
      }
  }

  // Even-odd scanline fill.
  void Polygon(const std::vector<std::pair<double, double>>& pts, Colour c, double alpha = 1.0) {
    if (pts.size() < 3) return;
    double minY = pts[0].second, maxY = pts[0].second;
    for (const auto& p : pts) {
      minY = std::min(minY, p.second);
      maxY = std::max(maxY, p.second);
    }
    std::vector<double> xs;
    for (int y = std::max(0, static_cast<int>(minY)); y <= std::min(h_ - 1, static_cast<int>(maxY)); ++y) {
      const double sy = y + 0.5;
      xs.clear();
      for (size_t i = 0; i < pts.size(); ++i) {
        const auto& a = pts[i];
        const auto& b = pts[(i + 1) % pts.size()];
        if ((a.second <= sy && b.second > sy) || (b.second <= sy && a.second > sy))
          xs.push_back(a.first + (sy - a.second) / (b.second - a.second) * (b.first - a.first));
      }
      std::sort(xs.begin(), xs.end());
      for (size_t i = 0; i + 1 < xs.size(); i += 2)
        for (int x = std::max(0, static_cast<int>(std::lround(xs[i])));
             x < std::min(w_, static_cast<int>(std::lround(xs[i + 1]))); ++x)
          Blend(x, y, c, alpha);
    }
  }

  void Text(double x, double y, int scale, std::string_view text, Colour c) {
    for (char ch : text) {
      if (const Glyph* g = GlyphOf(static_cast<char>(std::toupper(static_cast<unsigned char>(ch)))))
        for (int row = 0; row < 7; ++row)
          for (int col = 0; col < 5; ++col)
            if (g->rows[row] & (0x10 >> col))
              Rect(x + col * scale, y + row * scale, x + (col + 1) * scale, y + (row + 1) * scale, c);
      x += 6 * scale;
    }
  }

  void Tint(Colour c, double alpha) {
    for (Colour& p : px_) p = Mix(p, c, alpha);
  }

  void Grain(Rng& rng, double amount) {
    for (Colour& p : px_) {
      const double n = (rng.Unit() - 0.5) * amount;
      p = {p.r + n, p.g + n, p.b + n};
    }
  }

  std::vector<unsigned char> Bytes() const {
    std::vector<unsigned char> out(px_.size() * 3);
    auto clamp = [](double v) { return static_cast<unsigned char>(std::clamp(std::lround(v), 0L, 255L)); };
    for (size_t i = 0; i < px_.size(); ++i) {
      out[i * 3] = clamp(px_[i].r);
      out[i * 3 + 1] = clamp(px_[i].g);
      out[i * 3 + 2] = clamp(px_[i].b);
    }
    return out;
  }

 private:
  int w_, h_;
  std::vector<Colour> px_;
};

struct JpegError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};

void OnJpegError(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1); }
void QuietJpegMessage(j_common_ptr) {}

// Compresses RGB rows; false when the library reports an error.
bool EncodeJpeg(const unsigned char* rgb, int width, int height, int quality, std::string& out) {
  jpeg_compress_struct info{};
  JpegError error{};
  info.err = jpeg_std_error(&error.mgr);
  error.mgr.error_exit = OnJpegError;
  error.mgr.output_message = QuietJpegMessage;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  if (setjmp(error.jump)) {
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<unsigned char*>(rgb + static_cast<size_t>(info.next_scanline) * width * 3);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  out.assign(reinterpret_cast<const char*>(buffer), size);
  jpeg_destroy_compress(&info);
  std::free(buffer);
  return true;
}

enum Light { kDay, kDusk, kOvercast, kNight };

void DrawTruck(Canvas& c, Rng& rng, double x, double ground, double s, bool night) {
  static const Colour kBodies[] = {{232, 96, 20}, {205, 30, 35}, {245, 245, 240}};
  const Colour body = kBodies[rng.Below(3)];
  const Colour check1 = rng.Chance(0.5) ? Colour{20, 60, 170} : Colour{200, 20, 30};
  const Colour check2 = rng.Chance(0.5) ? Colour{250, 210, 20} : Colour{250, 250, 250};
  const double w = 300 * s, h = 120 * s, wheel = 24 * s;
  const double top = ground - wheel - h;
  c.Rect(x + 8 * s, ground - 6 * s, x + w + 14 * s, ground + 4 * s, {20, 20, 20}, 0.35);  // shadow
  c.Rect(x, top + 10 * s, x + w * 0.72, ground - wheel, body);                              // box body
  c.Rect(x + w * 0.72, top + 34 * s, x + w, ground - wheel, body);                          // cab
  c.Rect(x + w * 0.76, top + 42 * s, x + w * 0.97, top + 74 * s, night ? Colour{240, 220, 150} : Colour{70, 100, 130});
  // Chequered band along the side.
  const int squares = 18;
  for (int i = 0; i < squares; ++i) {
    const double sx = x + w * 0.72 * i / squares, ex = x + w * 0.72 * (i + 1) / squares;
    c.Rect(sx, top + 70 * s, ex, top + 84 * s, i % 2 ? check1 : check2);
    c.Rect(sx, top + 84 * s, ex, top + 98 * s, i % 2 ? check2 : check1);
  }
  c.Text(x + 18 * s, top + 28 * s, std::max(1, static_cast<int>(4 * s)), "RESCUE", {20, 20, 20});
  // Light bar.
  c.Rect(x + w * 0.75, top + 24 * s, x + w * 0.98, top + 34 * s, {40, 40, 40});
  c.Rect(x + w * 0.76, top + 25 * s, x + w * 0.86, top + 33 * s, {230, 20, 20});
  c.Rect(x + w * 0.87, top + 25 * s, x + w * 0.97, top + 33 * s, {30, 60, 230});
  if (night) {
    c.Glow(x + w * 0.81, top + 29 * s, 60 * s, {255, 40, 40}, 0.6);
    c.Glow(x + w * 0.92, top + 29 * s, 60 * s, {60, 90, 255}, 0.6);
  }
  for (double wx : {x + 50 * s, x + 120 * s, x + w - 50 * s}) {
    c.Circle(wx, ground - wheel, wheel, {25, 25, 25});
    c.Circle(wx, ground - wheel, wheel * 0.45, {150, 150, 150});
  }
}

void DrawTree(Canvas& c, Rng& rng, double x, double ground, double s, Colour leaf) {
  c.Rect(x - 6 * s, ground - 70 * s, x + 6 * s, ground, {90, 60, 35});
  for (int i = 0; i < 6; ++i)
    c.Circle(x + rng.Uniform(-32, 32) * s, ground - 90 * s + rng.Uniform(-30, 20) * s, rng.Uniform(26, 40) * s,
             Scale(leaf, rng.Uniform(0.8, 1.15)));
}

void DrawScene(Canvas& c, int number) {
  Rng rng(static_cast<std::uint64_t>(number) * 0x9E3779B1u + 0x5EEDu);
  const double W = c.Width(), H = c.Height();
  const int light = (number - 1) % 4;
  const double horizon = H * rng.Uniform(0.52, 0.6);

  static const Colour kSkyTop[] = {{40, 110, 200}, {60, 40, 110}, {120, 125, 135}, {8, 12, 35}};
  static const Colour kSkyLow[] = {{170, 210, 245}, {250, 150, 80}, {185, 188, 192}, {30, 40, 80}};
  c.Gradient(0, horizon, kSkyTop[light], kSkyLow[light]);
  if (light == kNight) {
    for (int i = 0; i < 220; ++i) c.Circle(rng.Uniform(0, W), rng.Uniform(0, horizon * 0.9), rng.Uniform(0.6, 1.6), {255, 255, 240});
    c.Circle(rng.Uniform(W * 0.6, W * 0.9), rng.Uniform(60, 160), 34, {240, 240, 220});
  } else if (light != kOvercast) {
    const double sx = rng.Uniform(W * 0.1, W * 0.9), sy = light == kDusk ? horizon - 60 : rng.Uniform(60, 170);
    c.Glow(sx, sy, 200, {255, 240, 200}, 0.5);
    c.Circle(sx, sy, light == kDusk ? 46 : 36, light == kDusk ? Colour{255, 170, 80} : Colour{255, 250, 225});
  }
  const int clouds = light == kOvercast ? 14 : rng.Range(2, 6);
  for (int i = 0; i < clouds; ++i) {
    const double cx = rng.Uniform(-50, W + 50), cy = rng.Uniform(30, horizon * 0.7), s = rng.Uniform(0.6, 1.5);
    const Colour col = light == kNight ? Colour{50, 55, 80} : light == kDusk ? Colour{240, 170, 150}
                                                                              : Colour{245, 245, 248};
    for (int k = 0; k < 5; ++k)
      c.Circle(cx + rng.Uniform(-70, 70) * s, cy + rng.Uniform(-15, 15) * s, rng.Uniform(25, 45) * s, col, 0.85);
  }
  // Two ranges of hills.
  for (int layer = 0; layer < 2; ++layer) {
    std::vector<std::pair<double, double>> hill{{0, H}};
    const double phase = rng.Uniform(0, 6.28), freq = rng.Uniform(0.004, 0.009), amp = rng.Uniform(25, 60);
    for (int x = 0; x <= static_cast<int>(W); x += 16)
      hill.emplace_back(x, horizon - (layer ? 10 : 45) - amp * (0.6 + 0.4 * std::sin(x * freq + phase)));
    hill.emplace_back(W, H);
    c.Polygon(hill, layer ? Colour{95, 135, 70} : Colour{120, 140, 110});
  }
  // Grass, then the concrete apron.
  c.Gradient(horizon, H, {110, 150, 70}, {70, 115, 45});
  const double stationLeft = W * rng.Uniform(0.08, 0.2), stationRight = W * rng.Uniform(0.72, 0.9);
  const double wallTop = horizon - rng.Uniform(150, 210), ground = horizon + 40;
  c.Polygon({{stationLeft - 40, ground}, {stationRight + 40, ground}, {W + 200, H}, {-200, H}}, {170, 168, 160});
  for (int i = 1; i < 6; ++i)
    c.Rect(0, ground + (H - ground) * i / 6.0, W, ground + (H - ground) * i / 6.0 + 2, {150, 148, 140});

  // The station shed with its roller doors.
  static const Colour kWalls[] = {{225, 215, 190}, {170, 75, 55}, {160, 165, 170}, {200, 190, 160}};
  const Colour wall = kWalls[rng.Below(4)];
  c.Rect(stationLeft, wallTop, stationRight, ground, wall);
  for (double y = wallTop + 6; y < ground; y += 12) c.Rect(stationLeft, y, stationRight, y + 2, Scale(wall, 0.9));
  const Colour roof = rng.Chance(0.5) ? Colour{90, 95, 100} : Colour{150, 40, 35};
  c.Polygon({{stationLeft - 25, wallTop + 4}, {(stationLeft + stationRight) / 2, wallTop - rng.Uniform(40, 80)},
             {stationRight + 25, wallTop + 4}},
            roof);
  const int doors = rng.Range(2, 4);
  const double span = (stationRight - stationLeft) / doors;
  const double doorTop = wallTop + 88;
  const int openDoor = rng.Below(doors + 1);  // one past the last: all closed
  for (int d = 0; d < doors; ++d) {
    const double dl = stationLeft + span * d + span * 0.12, dr = stationLeft + span * (d + 1) - span * 0.12;
    if (d == openDoor) {
      c.Rect(dl, doorTop, dr, ground, {25, 25, 28});
      c.Rect(dl, doorTop, dr, doorTop + 14, {140, 140, 145});
    } else {
      for (double y = doorTop; y < ground; y += 9) {
        c.Rect(dl, y, dr, y + 9, {205, 208, 212});
        c.Rect(dl, y + 7, dr, y + 9, {150, 152, 158});
      }
    }
    c.Text(dl + 8, doorTop - 27, 3, "BAY " + std::to_string(d + 1), {40, 40, 40});
  }
  // Sign board.
  const Colour signColour = rng.Chance(0.5) ? Colour{200, 30, 30} : Colour{20, 70, 160};
  const double signX = (stationLeft + stationRight) / 2 - 200;
  c.Rect(signX, wallTop + 8, signX + 400, wallTop + 52, signColour);
  c.Text(signX + 20, wallTop + 13, 5, "JUX RESCUE", {255, 255, 255});

  // Trees either side.
  const Colour leaf = light == kDusk ? Colour{70, 100, 50} : Colour{50, 110, 45};
  for (int i = 0; i < rng.Range(2, 5); ++i) {
    const bool left = i % 2 == 0;
    const double tx = left ? rng.Uniform(10, std::max(20.0, stationLeft - 30)) : rng.Uniform(stationRight + 30, W - 10);
    DrawTree(c, rng, tx, ground + rng.Uniform(-10, 25), rng.Uniform(0.8, 1.3), leaf);
  }

  const bool night = light == kNight;
  if (light == kNight) c.Tint({10, 15, 45}, 0.55);
  if (light == kDusk) c.Tint({120, 60, 40}, 0.15);
  if (night) {
    // Flood lights over the doors.
    for (int d = 0; d < doors; ++d) {
      const double lx = stationLeft + span * (d + 0.5);
      c.Glow(lx, doorTop - 8, 150, {255, 220, 150}, 0.45);
      c.Circle(lx, doorTop - 8, 6, {255, 245, 210});
    }
  }
  // A vehicle out on the apron in most pictures.
  if (number % 5 != 0) {
    const double s = rng.Uniform(0.9, 1.3);
    DrawTruck(c, rng, rng.Uniform(W * 0.1, W * 0.55), ground + rng.Uniform(60, H - ground - 40), s, night);
  }
  c.Grain(rng, 8);

  // Caption strip.
  c.Rect(0, H - 46, W, H, {0, 0, 0}, 0.55);
  char caption[48];
  std::snprintf(caption, sizeof caption, "STATION PICTURE %03d", number);
  c.Text(18, H - 37, 4, caption, {255, 255, 255});
}

}  // namespace

std::string DrawStationPicture(int number, int width, int height) {
  Canvas canvas(width, height);
  DrawScene(canvas, number);
  const std::vector<unsigned char> rgb = canvas.Bytes();
  std::string jpeg;
  if (!EncodeJpeg(rgb.data(), width, height, 85, jpeg)) throw std::runtime_error("JPEG compression failed");
  return jpeg;
}

std::string PictureCache::Get(int number) {
  std::lock_guard lock(mutex_);
  auto found = pictures_.find(number);
  if (found == pictures_.end()) found = pictures_.emplace(number, DrawStationPicture(number)).first;
  return found->second;
}

}  // namespace sim
