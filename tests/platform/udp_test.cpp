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

// The sender the gateway and the simulator share: each failure with its kind,
// so each caller words it as before.
TEST(Udp, SenderTellsWhyADatagramDidNotGo) {
  using Failure = platform::DatagramSender::Failure;
  testsupport::UdpReceiver receiver;
  platform::DatagramSender sender(true);
  const struct {
    const char* host;
    std::size_t bytes;
    std::optional<Failure::Kind> failure;
  } cases[] = {
      {"127.0.0.1", 5, std::nullopt},
      {"localhost", 8192, std::nullopt},
      {"no-such-host.invalid", 5, Failure::kResolve},
      {"127.0.0.1", 70000, Failure::kSend},  // over what a UDP datagram holds
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.host) + ", " + std::to_string(c.bytes) + " bytes");
    const std::string data(c.bytes, 'x');
    const auto failure = sender.Send(c.host, receiver.port(), data);
    ASSERT_EQ(failure.has_value(), c.failure.has_value()) << (failure ? failure->reason : "");
    if (failure) {
      EXPECT_EQ(failure->kind, *c.failure);
      EXPECT_FALSE(failure->reason.empty());
      EXPECT_EQ(receiver.Receive(100), std::nullopt);
    } else {
      EXPECT_EQ(receiver.Receive(), data);
    }
    const auto checked = sender.Check(c.host, receiver.port());
    EXPECT_EQ(checked.has_value(), c.failure == Failure::kResolve);
  }
}

}  // namespace
