// The broker tests need Debian's mosquitto; without it they are skipped as a
// whole (exit 77, which ctest counts as skipped).
#include <gtest/gtest.h>

#include <iostream>

#include "tests/pager_gateway/mqtt/test_broker.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!pagergwtest::MosquittoInstalled()) {
    std::cout << "skipped: " << pagergwtest::kMosquitto << " or " << pagergwtest::kMosquittoPasswd
              << " is missing (scripts/bootstrap installs them)\n";
    return 77;
  }
  return RUN_ALL_TESTS();
}
