#include "tools/pager-gateway-sim/sender.h"

#include <netdb.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <thread>

namespace gatewaysim {

UdpSender::UdpSender(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0)
    throw std::runtime_error("cannot resolve " + host + ": " + gai_strerror(rc));

  const addrinfo* chosen = found;
  for (const addrinfo* a = found; a != nullptr; a = a->ai_next)
    if (a->ai_family == AF_INET) {
      chosen = a;
      break;
    }
  fd_ = socket(chosen->ai_family, chosen->ai_socktype, chosen->ai_protocol);
  int error = errno;
  if (fd_ >= 0) {
    std::memcpy(&address_, chosen->ai_addr, chosen->ai_addrlen);
    addressLength_ = chosen->ai_addrlen;
  }
  freeaddrinfo(found);
  if (fd_ < 0) throw std::runtime_error(std::string("cannot open a UDP socket: ") + std::strerror(error));
}

UdpSender::~UdpSender() {
  if (fd_ >= 0) close(fd_);
}

void UdpSender::Send(std::string_view data) {
  // Unconnected sendto: a kiosk that is not running yet must not turn later
  // sends into "connection refused".
  ssize_t n = sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<const sockaddr*>(&address_), addressLength_);
  if (n < 0) throw std::runtime_error(std::string("cannot send: ") + std::strerror(errno));
  if (static_cast<std::size_t>(n) != data.size()) throw std::runtime_error("datagram sent only in part");
}

namespace {

LocalTime LocalTimeNow() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

}  // namespace

std::uint64_t RunSenderLoop(const Options& options, const std::function<void(const std::string&)>& emit,
                            const std::function<bool()>& stopRequested) {
  using Clock = std::chrono::steady_clock;
  using std::chrono::nanoseconds;
  constexpr auto kStopCheck = std::chrono::milliseconds(100);

  const Clock::time_point start = Clock::now();
  const auto end = options.duration ? std::optional<nanoseconds>(std::llround(*options.duration * 1e9)) : std::nullopt;
  std::uint64_t sent = 0;
  for (std::uint64_t i = 0; !options.count || i < *options.count; ++i) {
    // Each deadline comes from the start time, never from the previous send.
    const nanoseconds offset(std::llround(static_cast<double>(i) * 1e9 / options.rate));
    if (end && offset >= *end) break;
    const Clock::time_point deadline = start + offset;
    // Sleep in short slices so a stop request is seen during slow rates.
    for (auto now = Clock::now(); now < deadline && !stopRequested(); now = Clock::now())
      std::this_thread::sleep_until(std::min(deadline, now + kStopCheck));
    if (stopRequested()) break;
    emit(GenerateLine(options.seed, i, options.generator, LocalTimeNow()));
    ++sent;
  }
  return sent;
}

}  // namespace gatewaysim
