// Which senders' remote commands are taken, and how often a refused one is logged.
#include <gtest/gtest.h>

#include <string>

#include "kiosk/kiosk_logic.h"

namespace {

using namespace kiosk;

platform::IpAddress Ip(const char* text) {
  const auto address = platform::ParseIpAddress(text);
  EXPECT_TRUE(address) << text;
  return address.value_or(platform::IpAddress{});
}

config::IpNetwork Net(const char* text) {
  const auto network = config::ParseIpNetwork(text);
  EXPECT_TRUE(network) << text;
  return network.value_or(config::IpNetwork{});
}

TEST(CommandHosts, AddressInNetwork) {
  struct Case {
    const char* sender;
    const char* network;
    bool in;
  } cases[] = {
      {"127.0.0.1", "127.0.0.1", true},
      {"127.0.0.2", "127.0.0.1", false},
      {"192.168.10.77", "192.168.10.0/24", true},
      {"192.168.11.1", "192.168.10.0/24", false},
      {"192.168.10.5", "192.168.10.7/24", true},  // host bits of the entry do not matter
      {"10.0.0.129", "10.0.0.128/25", true},      // a prefix inside a byte
      {"10.0.0.127", "10.0.0.128/25", false},
      {"10.1.2.3", "10.0.0.0/15", true},
      {"10.2.0.0", "10.0.0.0/15", false},
      {"203.0.113.9", "0.0.0.0/0", true},
      {"::1", "0.0.0.0/0", false},  // an IPv6 sender never matches an IPv4 entry
      {"::1", "::1", true},
      {"::2", "::1", false},
      {"2001:db8:5::9", "2001:db8::/32", true},
      {"2001:db9::9", "2001:db8::/32", false},
      {"fe80::1", "fe80::/10", true},
      {"fec0::1", "fe80::/10", false},
      {"127.0.0.1", "::1", false},
      // An IPv4 sender as a dual-stack socket reports it.
      {"::ffff:192.168.10.9", "192.168.10.0/24", true},
      {"::ffff:192.168.11.9", "192.168.10.0/24", false},
      {"::ffff:127.0.0.1", "127.0.0.1", true},
      // An IPv4 entry in IPv6 form is the IPv4 entry.
      {"192.168.10.9", "::ffff:192.168.10.0/120", true},
      {"192.168.11.9", "::ffff:192.168.10.0/120", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(InNetwork(Ip(c.sender), Net(c.network)), c.in) << c.sender << " in " << c.network;
}

TEST(CommandHosts, NoListTakesEverySenderAListOnlyItsOwn) {
  EXPECT_TRUE(CommandAllowed(Ip("203.0.113.9"), std::nullopt));
  EXPECT_TRUE(CommandAllowed(Ip("::1"), std::nullopt));
  const std::vector<config::IpNetwork> list = {Net("127.0.0.1"), Net("192.168.10.0/24"), Net("::1")};
  EXPECT_TRUE(CommandAllowed(Ip("127.0.0.1"), list));
  EXPECT_TRUE(CommandAllowed(Ip("192.168.10.200"), list));
  EXPECT_TRUE(CommandAllowed(Ip("::1"), list));
  EXPECT_FALSE(CommandAllowed(Ip("127.0.0.2"), list));
  EXPECT_FALSE(CommandAllowed(Ip("192.168.1.5"), list));
  EXPECT_FALSE(CommandAllowed(Ip("::2"), list));
  EXPECT_FALSE(CommandAllowed(Ip("127.0.0.1"), std::vector<config::IpNetwork>{}));
}

constexpr platform::TDateTime kStart = 46000.5;
constexpr platform::TDateTime kSecond = 1.0 / 86400;

TEST(RefusedCommandLog, OnceAnHourPerSenderWithTheCountSinceTheLastLine) {
  RefusedCommands memory;
  const auto a = Ip("192.168.1.5");
  const auto b = Ip("192.168.1.6");
  EXPECT_EQ(NoteRefusedCommand(memory, a, kStart).refused, 1);
  EXPECT_TRUE(NoteRefusedCommand(memory, b, kStart).log) << "another sender has its own hour";
  EXPECT_FALSE(NoteRefusedCommand(memory, a, kStart + kSecond).log);
  EXPECT_FALSE(NoteRefusedCommand(memory, a, kStart + kRefusedCommandLogInterval - kSecond).log);
  const RefusedCommandNote hour = NoteRefusedCommand(memory, a, kStart + kRefusedCommandLogInterval);
  EXPECT_TRUE(hour.log);
  EXPECT_FALSE(hour.others);
  EXPECT_EQ(hour.refused, 3);  // the two left unlogged and this one
  EXPECT_FALSE(NoteRefusedCommand(memory, a, kStart + kRefusedCommandLogInterval + kSecond).log);
  // A clock set back does not silence the sender for the time it went back.
  EXPECT_TRUE(NoteRefusedCommand(memory, a, kStart - 1).log);
}

TEST(RefusedCommandLog, SendersBeyondTheBoundShareOneLineAnHour) {
  RefusedCommands memory;
  auto sender = [](std::size_t n) {
    return platform::IpAddress::V4(10, 0, static_cast<std::uint8_t>(n / 256), static_cast<std::uint8_t>(n % 256));
  };
  for (std::size_t n = 0; n < kRefusedSendersRemembered; ++n) {
    const RefusedCommandNote note = NoteRefusedCommand(memory, sender(n), kStart);
    ASSERT_TRUE(note.log && !note.others) << n;
  }
  EXPECT_EQ(memory.senders.size(), kRefusedSendersRemembered);
  // One past the bound: not remembered on its own; the first of those is logged, as one of the others.
  const RefusedCommandNote first = NoteRefusedCommand(memory, sender(kRefusedSendersRemembered), kStart);
  EXPECT_TRUE(first.log && first.others);
  EXPECT_EQ(memory.senders.size(), kRefusedSendersRemembered);
  for (std::size_t n = kRefusedSendersRemembered + 1; n < 10 * kRefusedSendersRemembered; ++n)
    EXPECT_FALSE(NoteRefusedCommand(memory, sender(n), kStart + kSecond).log) << n;
  // A remembered sender keeps its own line.
  EXPECT_FALSE(NoteRefusedCommand(memory, sender(0), kStart + kSecond).log);
  // After the hour the remembered senders' places go to new ones, whose lines
  // are their own; what a place had pending goes to the shared line.
  const platform::TDateTime later = kStart + kRefusedCommandLogInterval;
  for (std::size_t n = 100000; n < 100000 + kRefusedSendersRemembered; ++n) {
    const RefusedCommandNote newcomer = NoteRefusedCommand(memory, sender(n), later);
    EXPECT_TRUE(newcomer.log && !newcomer.others) << n;
  }
  EXPECT_EQ(memory.senders.size(), kRefusedSendersRemembered);
  const RefusedCommandNote shared = NoteRefusedCommand(memory, sender(200000), later);
  ASSERT_TRUE(shared.log);
  EXPECT_TRUE(shared.others);
  // The shared line counts every refused command not yet in a line: the
  // others since the first, sender 0's second one (its place was given up)
  // and this one.
  EXPECT_EQ(shared.refused,
            static_cast<std::int64_t>(10 * kRefusedSendersRemembered - kRefusedSendersRemembered - 1) + 1 + 1);
}

}  // namespace
