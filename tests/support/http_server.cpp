#include "tests/support/http_server.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

#include "tests/support/wait.h"

namespace testsupport {

namespace {

int BoundSocket(int& port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
    throw std::runtime_error("cannot bind a test socket");
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  port = ntohs(addr.sin_port);
  return fd;
}

}  // namespace

TestHttpServer::TestHttpServer() : server_(std::make_unique<httplib::Server>()) {
  server_->Get(R"(.*)", [this](const httplib::Request& req, httplib::Response& res) {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(req.target);
    for (const auto& a : answers_)
      if (a.path == req.path) {
        res.status = a.status;
        res.set_content(a.body, "text/plain");
        return;
      }
    res.status = 404;
  });
  port_ = server_->bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("cannot start the test HTTP server");
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  WaitUntil([this] { return server_->is_running(); }, 10000, 1);
}

TestHttpServer::~TestHttpServer() {
  server_->stop();
  if (thread_.joinable()) thread_.join();
}

void TestHttpServer::Answer(const std::string& path, std::string body, int status) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& a : answers_)
    if (a.path == path) {
      a.body = std::move(body);
      a.status = status;
      return;
    }
  answers_.push_back({path, std::move(body), status});
}

std::vector<std::string> TestHttpServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void TestHttpServer::ClearRequests() {
  std::lock_guard<std::mutex> lock(mutex_);
  requests_.clear();
}

SilentServer::SilentServer() {
  fd_ = BoundSocket(port_);
  listen(fd_, 16);
}

SilentServer::~SilentServer() { close(fd_); }

int UnusedPort() {
  int port = 0;
  int fd = BoundSocket(port);
  close(fd);
  return port;
}

}  // namespace testsupport
