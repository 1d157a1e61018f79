#pragma once

#include <map>
#include <mutex>
#include <string>

namespace sim {

inline constexpr int kPictureWidth = 1024;
inline constexpr int kPictureHeight = 768;

// Draws station picture `number` (from 1) and returns it as JPEG bytes. Every
// number gives a different scene; the same number always the same one.
std::string DrawStationPicture(int number, int width = kPictureWidth, int height = kPictureHeight);

// Pictures are drawn on first request and kept.
class PictureCache {
 public:
  std::string Get(int number);

 private:
  std::mutex mutex_;
  std::map<int, std::string> pictures_;
};

}  // namespace sim
