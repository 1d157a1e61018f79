#include "platform/datagram_receiver.h"

#include <gtest/gtest.h>
#include <netinet/in.h>

#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/udp.h"

namespace {

using platform::DatagramReceiver;

constexpr std::uint32_t kLoopback = INADDR_LOOPBACK;

// Reads batch after batch until the socket is empty; the datagrams and each batch's count.
struct Drained {
  std::vector<std::string> datagrams;
  std::vector<std::size_t> taken;
};
Drained Drain(DatagramReceiver& receiver) {
  Drained d;
  for (int round = 0; round < 100; ++round) {
    const std::size_t taken = receiver.ReadBatch([&](std::string_view s) { d.datagrams.emplace_back(s); });
    d.taken.push_back(taken);
    if (taken == 0) break;
  }
  return d;
}

void Send(const DatagramReceiver& receiver, const std::vector<std::string>& datagrams) {
  for (const auto& d : datagrams) platform::SendDatagram("127.0.0.1", receiver.Port(), d);
  ASSERT_TRUE(receiver.WaitReadable(2000));
}

TEST(DatagramReceiver, WholeDatagramsUpToTheLimitArriveAndLongerOnesAreDropped) {
  std::string exact(8192, 'x');
  exact[0] = '\0';
  exact[8191] = '\xE9';
  struct Case {
    std::string datagram;
    bool arrives;
  } cases[] = {
      {"", true},
      {std::string("a\0b", 3), true},
      {std::string(8191, 'y'), true},
      {exact, true},
      {std::string(8193, 'z'), false},
      {std::string(60000, 'w'), false},
  };
  DatagramReceiver receiver = DatagramReceiver::BindIPv4(kLoopback, 0, 16);
  std::vector<std::string> sent, expected;
  for (const auto& c : cases) {
    sent.push_back(c.datagram);
    if (c.arrives) expected.push_back(c.datagram);
  }
  Send(receiver, sent);
  const Drained d = Drain(receiver);
  ASSERT_EQ(d.datagrams.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(d.datagrams[i], expected[i]) << "datagram " << i;
  // The dropped ones are still taken from the socket, within the same batch.
  EXPECT_EQ(d.taken, (std::vector<std::size_t>{std::size(cases), 0}));
}

TEST(DatagramReceiver, BatchesTakeAtMostTheirSizeInArrivalOrder) {
  struct Case {
    std::size_t batch;
    int datagrams;
    std::vector<std::size_t> taken;
  } cases[] = {
      {4, 10, {4, 4, 2, 0}},
      {4, 8, {4, 4, 0}},
      {1, 3, {1, 1, 1, 0}},
      {32, 5, {5, 0}},
  };
  for (const auto& c : cases) {
    DatagramReceiver receiver = DatagramReceiver::BindIPv4(kLoopback, 0, c.batch);
    EXPECT_EQ(receiver.Batch(), c.batch);
    std::vector<std::string> sent;
    for (int i = 0; i < c.datagrams; ++i) sent.push_back("line " + std::to_string(i));
    Send(receiver, sent);
    const Drained d = Drain(receiver);
    EXPECT_EQ(d.datagrams, sent) << "batch " << c.batch;
    EXPECT_EQ(d.taken, c.taken) << "batch " << c.batch;
  }
}

TEST(DatagramReceiver, AnEmptySocketGivesNothingAtOnce) {
  DatagramReceiver receiver = DatagramReceiver::BindIPv4(kLoopback, 0, 8);
  EXPECT_FALSE(receiver.WaitReadable(0));
  int called = 0;
  EXPECT_EQ(receiver.ReadBatch([&](std::string_view) { ++called; }), 0u);
  EXPECT_EQ(called, 0);
  // Still empty after a datagram has come and gone.
  Send(receiver, {"one"});
  EXPECT_EQ(Drain(receiver).datagrams, std::vector<std::string>{"one"});
  EXPECT_FALSE(receiver.WaitReadable(0));
}

TEST(DatagramReceiver, TakesOverADescriptorBoundElsewhere) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
  DatagramReceiver receiver(fd, 8);
  EXPECT_EQ(receiver.Descriptor(), fd);
  ASSERT_NE(receiver.Port(), 0);
  EXPECT_EQ(receiver.ReadBatch([](std::string_view) {}), 0u) << "a blocking socket must not block the reader";
  Send(receiver, {"a", "b"});
  EXPECT_EQ(Drain(receiver).datagrams, (std::vector<std::string>{"a", "b"}));
}

TEST(DatagramReceiver, ABoundPortCannotBeBoundAgain) {
  DatagramReceiver first = DatagramReceiver::BindIPv4(kLoopback, 0, 1);
  try {
    DatagramReceiver::BindIPv4(kLoopback, first.Port(), 1);
    ADD_FAILURE() << "expected an error";
  } catch (const platform::Error& e) {
    EXPECT_EQ(e.ClassName(), platform::kSocketError);
    EXPECT_NE(std::string(e.what()).find(std::to_string(first.Port())), std::string::npos) << e.what();
  }
}

}  // namespace
