#pragma once

#include <string>

#include "platform/clock.h"

namespace testsupport {

// A fresh folder under /tmp, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder, ending in "/".
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

// Makes a folder the working directory for the scope.
class ScopedCwd {
 public:
  explicit ScopedCwd(const std::string& folder);
  ~ScopedCwd();

 private:
  std::string previous_;
};

// Installs a manual clock for the scope.
class ScopedClock {
 public:
  explicit ScopedClock(platform::TDateTime localNow) : clock_(localNow) { platform::SetClock(&clock_); }
  ~ScopedClock() { platform::SetClock(nullptr); }
  platform::ManualClock& operator*() { return clock_; }
  platform::ManualClock* operator->() { return &clock_; }

 private:
  platform::ManualClock clock_;
};

// Moves the program file (and so the program's folder) for the scope.
class ScopedProgramPath {
 public:
  explicit ScopedProgramPath(const std::string& path);
  ~ScopedProgramPath();
};

// Sets the TZ variable for the scope.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* tz);
  ~ScopedTimeZone();

 private:
  std::string previous_;
  bool hadPrevious_ = false;
};

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& content);

}  // namespace testsupport
