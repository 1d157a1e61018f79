#include "tools/unit-service-sim/http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace sim {

namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// Waits are cut into slices so that a stop is noticed quickly.
constexpr milliseconds kSlice{50};
constexpr size_t kMaxRequestHead = 64 * 1024;

thread_local Connection* tlsConnection = nullptr;

void AddressOf(int fd, bool peer, std::string& ip, int& port) {
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  const int rc = peer ? ::getpeername(fd, reinterpret_cast<sockaddr*>(&addr), &len)
                      : ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  if (rc != 0 || addr.ss_family != AF_INET) return;
  const auto* in = reinterpret_cast<const sockaddr_in*>(&addr);
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
  ip = text;
  port = ntohs(in->sin_port);
}

}  // namespace

Connection::Connection(int fd, const std::atomic<bool>& stopping, milliseconds readTimeout,
                       milliseconds writeTimeout)
    : fd_(fd), stopping_(stopping), readTimeout_(readTimeout), writeTimeout_(writeTimeout) {}

bool Connection::Wait(short events, milliseconds limit) const {
  const auto deadline = Clock::now() + limit;
  while (!stopping_ && !dropped_) {
    pollfd p{fd_, events, 0};
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    const int rc = ::poll(&p, 1, static_cast<int>(std::min(left, kSlice).count()));
    if (rc > 0) return true;
    if (rc < 0 && errno != EINTR) return false;
  }
  return false;
}

bool Connection::Fill(milliseconds limit) {
  if (!Wait(POLLIN, limit)) return false;
  char chunk[8192];
  ssize_t n;
  do {
    n = ::recv(fd_, chunk, sizeof chunk, 0);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) return false;
  buffer_.erase(0, pos_);
  pos_ = 0;
  buffer_.append(chunk, static_cast<size_t>(n));
  return true;
}

bool Connection::is_readable() const { return pos_ < buffer_.size() || Wait(POLLIN, readTimeout_); }

bool Connection::is_writable() const { return !dropped_ && Wait(POLLOUT, writeTimeout_); }

ssize_t Connection::read(char* ptr, size_t size) {
  if (dropped_) return -1;
  if (pos_ >= buffer_.size()) {
    if (!Wait(POLLIN, readTimeout_)) return -1;
    char chunk[8192];
    ssize_t n;
    do {
      n = ::recv(fd_, chunk, sizeof chunk, 0);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return n;
    buffer_.assign(chunk, static_cast<size_t>(n));
    pos_ = 0;
  }
  const size_t n = std::min(size, buffer_.size() - pos_);
  std::memcpy(ptr, buffer_.data() + pos_, n);
  pos_ += n;
  return static_cast<ssize_t>(n);
}

ssize_t Connection::write(const char* ptr, size_t size) {
  if (dropped_ || !Wait(POLLOUT, writeTimeout_)) return -1;
  ssize_t n;
  do {
    n = ::send(fd_, ptr, size, MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return n;
}

void Connection::get_remote_ip_and_port(std::string& ip, int& port) const { AddressOf(fd_, true, ip, port); }
void Connection::get_local_ip_and_port(std::string& ip, int& port) const { AddressOf(fd_, false, ip, port); }

bool Connection::AwaitRequest(milliseconds idle) {
  if (pos_ < buffer_.size()) return true;
  return Fill(idle);
}

bool Connection::TakeRequestHead(std::string& method, std::string& target) {
  size_t headEnd;
  for (;;) {
    // Empty lines before a request are allowed and skipped.
    while (pos_ < buffer_.size() && (buffer_[pos_] == '\r' || buffer_[pos_] == '\n')) ++pos_;
    headEnd = buffer_.find("\n\r\n", pos_);
    if (headEnd == std::string::npos) headEnd = buffer_.find("\n\n", pos_);
    if (headEnd != std::string::npos) break;
    if (buffer_.size() - pos_ > kMaxRequestHead || !Fill(readTimeout_)) return false;
  }
  const size_t lineEnd = buffer_.find('\n', pos_);
  std::string line = buffer_.substr(pos_, lineEnd - pos_);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  const size_t first = line.find(' ');
  const size_t last = line.rfind(' ');
  method = line.substr(0, first);
  target = first == std::string::npos ? std::string()
           : line.substr(first + 1, last == first ? std::string::npos : last - first - 1);
  if (first == std::string::npos || last == first) return true;

  // The parser takes neither blanks nor a second "?" in the target; the iframe
  // request carries a whole address with a query of its own as its last value.
  std::string fixed = method + " ";
  bool query = false;
  for (char c : target) {
    if (c == ' ')
      fixed += "%20";
    else if (c == '?' && query)
      fixed += "%3F";
    else
      fixed += c;
    query = query || c == '?';
  }
  fixed += line.substr(last) + "\r\n";
  // Without a length or a chunked body a request has no body; httplib would
  // wait for the peer to close instead (curl -X POST sends no length).
  std::string head = buffer_.substr(lineEnd, headEnd - lineEnd + 1);
  for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (head.find("\ncontent-length:") == std::string::npos && head.find("\ntransfer-encoding:") == std::string::npos)
    fixed += "Content-Length: 0\r\n";
  buffer_.replace(pos_, lineEnd - pos_ + 1, fixed);
  return true;
}

bool Connection::WriteRaw(std::string_view bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = write(bytes.data() + sent, bytes.size() - sent);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

void Connection::Drop() {
  if (dropped_) return;
  dropped_ = true;
  ::shutdown(fd_, SHUT_RDWR);
}

HttpServer::HttpServer(size_t threads) {
  new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  // httplib's default also sets SO_REUSEPORT, which lets a second process
  // share the port unnoticed; a port in use must be an error.
  set_socket_options([](socket_t sock) {
    int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
}

HttpServer::~HttpServer() { Shutdown(); }

int HttpServer::Bind(int port) {
  if (port == 0) {
    const int bound = bind_to_any_port("127.0.0.1");
    if (bound <= 0) throw std::runtime_error("cannot listen on 127.0.0.1 (any port)");
    return bound;
  }
  if (!bind_to_port("127.0.0.1", port)) throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port));
  return port;
}

void HttpServer::Serve() {
  thread_ = std::thread([this] { listen_after_bind(); });
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (!is_running() && Clock::now() < deadline) std::this_thread::sleep_for(milliseconds(1));
}

void HttpServer::Shutdown() {
  stopping_ = true;
  if (thread_.joinable()) {
    // The accept loop may not have marked itself running yet.
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (!is_running() && svr_sock_ != INVALID_SOCKET && Clock::now() < deadline)
      std::this_thread::sleep_for(milliseconds(1));
    stop();
    thread_.join();
  } else {
    // Bound but never served: close the listening socket here.
    const socket_t sock = svr_sock_.exchange(INVALID_SOCKET);
    if (sock != INVALID_SOCKET) ::close(sock);
  }
}

Connection* HttpServer::CurrentConnection() { return tlsConnection; }

bool HttpServer::process_and_close_socket(socket_t sock) {
  // An answer goes out in several writes; without this each one after the
  // first waits for the client's delayed acknowledgement (tens of ms).
  int yes = 1;
  ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
  bool ok = false;
  {
    Connection connection(sock, stopping_, std::chrono::seconds(read_timeout_sec_),
                          std::chrono::seconds(write_timeout_sec_));
    for (size_t left = keep_alive_max_count_; left > 0 && !stopping_; --left) {
      if (!connection.AwaitRequest(std::chrono::seconds(keep_alive_timeout_sec_))) break;
      std::string method, target;
      if (!connection.TakeRequestHead(method, target)) break;
      if (hook_) hook_(method, target);
      bool closed = false;
      tlsConnection = &connection;
      ok = process_request(connection, left == 1, closed, nullptr);
      tlsConnection = nullptr;
      if (!ok || closed || connection.Dropped()) break;
    }
  }
  ::shutdown(sock, SHUT_RDWR);
  ::close(sock);
  return ok;
}

}  // namespace sim
