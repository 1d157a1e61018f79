#include "platform/udp.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "tests/support/udp_receiver.h"

namespace {

TEST(Udp, SendsOneDatagramByteForByte) {
  testsupport::UdpReceiver receiver;
  const std::string payload("<131>a\0b\xE9", 9);
  platform::SendDatagram("127.0.0.1", receiver.port(), payload);
  platform::SendDatagram("localhost", receiver.port(), "second");
  EXPECT_EQ(receiver.Receive(), payload);
  EXPECT_EQ(receiver.Receive(), "second");
}

TEST(Udp, FailuresRaiseSocketErrors) {
  testsupport::UdpReceiver receiver;
  for (auto send : {+[](int port) { platform::SendDatagram("no-such-host.invalid", port, "x"); },
                    +[](int port) { platform::SendDatagram("127.0.0.1", port, std::string(70000, 'x')); }}) {
    try {
      send(receiver.port());
      ADD_FAILURE() << "expected an error";
    } catch (const platform::Error& e) {
      EXPECT_EQ(e.ClassName(), platform::kSocketError);
    }
  }
  EXPECT_EQ(receiver.Receive(100), std::nullopt);
}

}  // namespace
