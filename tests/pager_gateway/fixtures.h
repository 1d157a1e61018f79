#pragma once

#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace pagergwtest {

inline std::string FixturePath(const std::string& name) {
  return std::string(KIOSK_SOURCE_DIR) + "/tests/pager_gateway/fixtures/" + name;
}

// The lines of a fixture file, without their "\n".
inline std::vector<std::string> FixtureLines(const std::string& name) {
  const std::string text = testsupport::ReadWholeFile(FixturePath(name));
  std::vector<std::string> lines;
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

}  // namespace pagergwtest
