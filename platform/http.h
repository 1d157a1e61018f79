#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace platform {

// A blocking HTTP client on libcurl. One client keeps its connection and its
// cookies for its life. Failures throw platform::Error: ESocketError when the
// host cannot be resolved or reached, ETimeoutError when a time limit runs out,
// EHttpProtocolError for an answer whose status is not 2xx (the message is the
// status line, for example "HTTP/1.1 404 Not Found").
// An address with each blank as %20: libcurl refuses a blank, a browser sends
// it so, and the server reads it back as a blank. Nothing else is touched.
std::string BlanksEscaped(const std::string& address);

// The longest answer a client takes unless told otherwise.
inline constexpr std::size_t kDefaultMaxBodyBytes = 64u * 1024u * 1024u;

class HttpClient {
 public:
  HttpClient();
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // Host for requests given as a path; "name" or "name:port". A port in the host
  // wins over SetPort.
  void SetHost(std::string host);
  const std::string& Host() const;
  void SetPort(int port);  // 80 unless set
  int Port() const;

  // Time limits in milliseconds; 0 means none. The read limit is the longest
  // wait for the next data once connected.
  void SetConnectTimeoutMs(long ms);
  void SetReadTimeoutMs(long ms);
  void SetTotalTimeoutMs(long ms);
  void SetFollowRedirects(bool follow);
  void SetCookiesEnabled(bool enabled);
  // Sets a request header for every following request; an empty value removes it.
  void SetHeader(const std::string& name, const std::string& value);
  // Answers longer than this fail with EHttpProtocolError (default
  // kDefaultMaxBodyBytes); the transfer stops once the limit is passed.
  void SetMaxBodyBytes(std::size_t bytes);

  // GET of an address ("http://...") or of a path on Host():Port(). Returns the
  // body as bytes.
  std::string Get(const std::string& pathOrUrl);
  // Status code of the last answer (0 before any).
  int LastStatus() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
