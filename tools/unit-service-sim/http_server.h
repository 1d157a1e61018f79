#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

namespace sim {

// One client connection. The server reads and writes through it rather than
// through httplib's own socket stream, so that a handler can write raw bytes
// or drop the connection without an answer, and so that every wait ends soon
// after the server begins to stop.
class Connection : public httplib::Stream {
 public:
  Connection(int fd, const std::atomic<bool>& stopping, std::chrono::milliseconds readTimeout,
             std::chrono::milliseconds writeTimeout);

  bool is_readable() const override;
  bool is_writable() const override;
  ssize_t read(char* ptr, size_t size) override;
  ssize_t write(const char* ptr, size_t size) override;
  using httplib::Stream::write;
  void get_remote_ip_and_port(std::string& ip, int& port) const override;
  void get_local_ip_and_port(std::string& ip, int& port) const override;
  socket_t socket() const override { return fd_; }

  // Waits until the next request begins; false when the peer closed, the
  // idle time ran out or the server stops.
  bool AwaitRequest(std::chrono::milliseconds idle);
  // Reads the request head ahead and returns method and target exactly as
  // received. The parser is then given blanks inside the target (some
  // clients send them unescaped) as %20, a second "?" as %3F, and a
  // "Content-Length: 0" when the head announces no body.
  bool TakeRequestHead(std::string& method, std::string& target);

  // Sends bytes as they are; false when they could not all be sent.
  bool WriteRaw(std::string_view bytes);
  // Ends the connection at once; nothing more is sent.
  void Drop();
  bool Dropped() const { return dropped_; }

 private:
  bool Wait(short events, std::chrono::milliseconds limit) const;
  bool Fill(std::chrono::milliseconds limit);

  int fd_;
  const std::atomic<bool>& stopping_;
  std::chrono::milliseconds readTimeout_;
  std::chrono::milliseconds writeTimeout_;
  std::string buffer_;
  size_t pos_ = 0;
  bool dropped_ = false;
};

// An httplib server on 127.0.0.1 with a thread pool of the given size whose
// connections are served through Connection.
class HttpServer : public httplib::Server {
 public:
  using RequestLineHook = std::function<void(const std::string& method, const std::string& target)>;

  explicit HttpServer(size_t threads);
  ~HttpServer() override;

  // Binds to the port (0: a free one) and listens; returns the port. Throws
  // std::runtime_error when the port cannot be had.
  int Bind(int port);
  // Accepts and serves on a thread of its own; returns once it accepts.
  void Serve();
  // Stops accepting, ends idle and held connections and waits for the threads.
  void Shutdown();
  bool Stopping() const { return stopping_; }

  // Called with every request line before the request is handled.
  void OnRequestLine(RequestLineHook hook) { hook_ = std::move(hook); }

  // The connection of the request the calling handler serves.
  static Connection* CurrentConnection();

 private:
  bool process_and_close_socket(socket_t sock) override;

  std::atomic<bool> stopping_{false};
  std::thread thread_;
  RequestLineHook hook_;
};

}  // namespace sim
