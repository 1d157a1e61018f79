#include "tests/support/temp_dir.h"

#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/system.h"

namespace testsupport {

TempDir::TempDir() {
  std::string pattern = "/tmp/kiosk-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern + "/";
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

ScopedCwd::ScopedCwd(const std::string& folder) {
  previous_ = std::filesystem::current_path().string();
  std::filesystem::current_path(folder);
}

ScopedCwd::~ScopedCwd() {
  std::error_code ec;
  std::filesystem::current_path(previous_, ec);
}

ScopedProgramPath::ScopedProgramPath(const std::string& path) { platform::SetProgramFilePathForTesting(path); }
ScopedProgramPath::~ScopedProgramPath() { platform::SetProgramFilePathForTesting(""); }

ScopedTimeZone::ScopedTimeZone(const char* tz) {
  if (const char* old = std::getenv("TZ")) {
    previous_ = old;
    hadPrevious_ = true;
  }
  setenv("TZ", tz, 1);
  tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
  if (hadPrevious_)
    setenv("TZ", previous_.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteWholeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path);
  out << content;
}

}  // namespace testsupport
