#include "platform/datagram_receiver.h"

#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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

// A datagram sent from a socket bound to `from` (an address of the loopback
// device) to a port of `to`.
void SendFrom(int family, const char* from, const char* to, std::uint16_t port, const std::string& data) {
  const int fd = socket(family, SOCK_DGRAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_storage local{}, remote{};
  socklen_t length = 0;
  if (family == AF_INET) {
    auto& l = reinterpret_cast<sockaddr_in&>(local);
    auto& r = reinterpret_cast<sockaddr_in&>(remote);
    l.sin_family = r.sin_family = AF_INET;
    inet_pton(AF_INET, from, &l.sin_addr);
    inet_pton(AF_INET, to, &r.sin_addr);
    r.sin_port = htons(port);
    length = sizeof(sockaddr_in);
  } else {
    auto& l = reinterpret_cast<sockaddr_in6&>(local);
    auto& r = reinterpret_cast<sockaddr_in6&>(remote);
    l.sin6_family = r.sin6_family = AF_INET6;
    inet_pton(AF_INET6, from, &l.sin6_addr);
    inet_pton(AF_INET6, to, &r.sin6_addr);
    r.sin6_port = htons(port);
    length = sizeof(sockaddr_in6);
  }
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&local), length), 0) << from;
  EXPECT_EQ(sendto(fd, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&remote), length),
            static_cast<ssize_t>(data.size()));
  close(fd);
}

std::vector<std::string> SendersOf(DatagramReceiver& receiver) {
  std::vector<std::string> senders;
  EXPECT_TRUE(receiver.WaitReadable(2000));
  receiver.ReadBatchFrom([&](std::string_view d, const platform::IpAddress& sender) {
    senders.push_back(std::string(d) + " " + platform::IpAddressText(sender));
  });
  return senders;
}

TEST(DatagramReceiver, EachDatagramComesWithItsSender) {
  DatagramReceiver v4 = DatagramReceiver::BindIPv4(INADDR_ANY, 0, 8);
  SendFrom(AF_INET, "127.0.0.1", "127.0.0.1", v4.Port(), "a");
  SendFrom(AF_INET, "127.0.0.2", "127.0.0.1", v4.Port(), "b");
  EXPECT_EQ(SendersOf(v4), (std::vector<std::string>{"a 127.0.0.1", "b 127.0.0.2"}));

  // A dual-stack socket names an IPv4 sender in IPv6 form.
  const int fd = socket(AF_INET6, SOCK_DGRAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_in6 any{};
  any.sin6_family = AF_INET6;
  any.sin6_addr = in6addr_any;
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
  DatagramReceiver v6(fd, 8);
  SendFrom(AF_INET6, "::1", "::1", v6.Port(), "c");
  SendFrom(AF_INET, "127.0.0.2", "127.0.0.1", v6.Port(), "d");
  EXPECT_EQ(SendersOf(v6), (std::vector<std::string>{"c ::1", "d ::ffff:127.0.0.2"}));
}

TEST(IpAddress, TextBothWays) {
  const struct {
    const char* text;
    const char* back;  // nullptr: no address
  } cases[] = {
      {"192.0.2.7", "192.0.2.7"}, {"0.0.0.0", "0.0.0.0"},       {"2001:DB8:0:0::1", "2001:db8::1"},
      {"::1", "::1"},             {"::ffff:10.0.0.1", "::ffff:10.0.0.1"},
      {"1.2.3", nullptr},         {"256.0.0.1", nullptr},       {"192.0.2.7/24", nullptr},
      {" 192.0.2.7", nullptr},    {"kiosk-pc", nullptr},        {"", nullptr},
      {"fe80::1%eth0", nullptr},  {"[::1]", nullptr},
  };
  for (const auto& c : cases) {
    const auto address = platform::ParseIpAddress(c.text);
    ASSERT_EQ(address.has_value(), c.back != nullptr) << c.text;
    if (address) {
      EXPECT_EQ(platform::IpAddressText(*address), c.back);
    }
  }
  EXPECT_FALSE(platform::ParseIpAddress(std::string("127.0.0.1\0junk", 14)).has_value());
}

}  // namespace
