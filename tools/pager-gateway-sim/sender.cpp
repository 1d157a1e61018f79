#include "tools/pager-gateway-sim/sender.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <stdexcept>
#include <thread>

namespace gatewaysim {

namespace {

[[noreturn]] void Throw(const std::string& host, const platform::DatagramSender::Failure& failure) {
  using Failure = platform::DatagramSender::Failure;
  switch (failure.kind) {
    case Failure::kResolve:
      throw std::runtime_error("cannot resolve " + host + ": " + failure.reason);
    case Failure::kPartial:
      throw std::runtime_error("datagram sent only in part");
    default:
      throw std::runtime_error("cannot send: " + failure.reason);
  }
}

}  // namespace

UdpSender::UdpSender(std::string host, int port) : host_(std::move(host)), port_(port) {
  if (const auto failure = sender_.Check(host_, port_)) Throw(host_, *failure);
}

void UdpSender::Send(std::string_view data) {
  // Unconnected sends: a kiosk that is not running yet must not turn later
  // sends into "connection refused".
  if (const auto failure = sender_.Send(host_, port_, data)) Throw(host_, *failure);
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
