// The end-to-end reliability checks run inside xvfb-run; the test's own Qt
// connection to that display takes the screenshots.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) {
    std::fprintf(stderr, "reliability_e2e needs an X display: run it under xvfb-run -a -s \"-screen 0 1280x1024x24\"\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "xcb");  // screenshots of the real display, whatever the caller set
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QGuiApplication app(qtArgc, qtArgv);
  return RUN_ALL_TESTS();
}
