#pragma once

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "tools/unit-service-sim/unit_service_sim.h"

namespace simtest {

inline constexpr const char* kGuid = "3C9D2B70-5E41-4A8F-9B26-D17E0A4C58F3";
inline constexpr const char* kStation = "12 quarry rd brindlemoor,vendale shire";

// Free ports, three pictures, a current incident, no request log output.
inline sim::Options TestOptions() {
  sim::Options options;
  options.port = 0;
  options.controlPort = 0;
  options.pix = 3;
  return options;
}

inline std::unique_ptr<sim::UnitServiceSim> StartSim(sim::Options options = TestOptions()) {
  auto service = std::make_unique<sim::UnitServiceSim>(std::move(options));
  service->Start();
  return service;
}

// One GET on a fresh connection; the target goes out exactly as given.
inline httplib::Result Get(int port, const std::string& target,
                           std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
  httplib::Client client("127.0.0.1", port);
  client.set_url_encode(false);
  client.set_connection_timeout(std::chrono::seconds(2));
  client.set_read_timeout(timeout);
  return client.Get(target);
}

inline httplib::Result Post(int port, const std::string& target) {
  httplib::Client client("127.0.0.1", port);
  client.set_url_encode(false);
  client.set_connection_timeout(std::chrono::seconds(2));
  client.set_read_timeout(std::chrono::seconds(5));
  return client.Post(target, "", "text/plain");
}

// Sends raw bytes over a plain socket and returns every byte that came back
// before the peer closed or the time ran out.
inline std::string RawExchange(int port, const std::string& request,
                               std::chrono::milliseconds limit = std::chrono::seconds(3)) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string received;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    char buffer[65536];
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      received.append(buffer, static_cast<size_t>(n));
    }
  }
  ::close(fd);
  return received;
}

// The text after the first `start` up to the next `end` (the rest when there
// is none), or empty text without `start`: how the kiosk reads tagged answers.
inline std::string TextBetween(std::string_view source, std::string_view start, std::string_view end) {
  const size_t at = source.find(start);
  if (at == std::string_view::npos) return {};
  const size_t from = at + start.size();
  const size_t to = source.find(end, from);
  return std::string(source.substr(from, to == std::string_view::npos ? std::string_view::npos : to - from));
}

inline std::string Tagged(std::string_view source, const std::string& tag) {
  return TextBetween(source, "<" + tag + ">", "</" + tag + ">");
}

inline std::string FeedTarget() { return "/rvu/RVUSrvc.xml?20260512143059123"; }

inline std::string IncidentTarget(const std::string& query) {
  return "/rvu/rvuisapi.dll/GetZAVPagerXML?" + query;
}

inline std::string LatestIncidentTarget() { return IncidentTarget(std::string("MFSIncNo=0&GUID=") + kGuid); }

inline std::string SummaryTarget(int days = 1, const std::string& guid = kGuid) {
  return "/rvu/rvuisapi.dll/json?method=getsummary&rvuunit=JUX&days=" + std::to_string(days) + "&guid=" + guid;
}

// The route map request as the kiosk builds it, before any escaping.
inline std::string MapTarget(const std::string& number, const std::string& date, const std::string& destination,
                             int width = 1180, int height = 840) {
  return std::string("/rvu/rvuisapi.dll/iframe?iframeonly=true&output=html&guid=") + kGuid + "&mfsincno=" + number +
         "&incidentdate=" + date + "&width=" + std::to_string(width) + "&height=" + std::to_string(height) +
         "&url=https://maps.example.net/maps?mapmode=standard[amp]views=traffic[amp]zoom=15[amp]hl=en[amp]iwloc=near"
         "[amp]output=embed[amp]directionsmode=driving[amp]daddr=" +
         destination + ",vendale shire[amp]saddr=" + kStation;
}

inline std::string ReplaceAll(std::string text, std::string_view from, std::string_view to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

}  // namespace simtest
