#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace testsupport {

// An HTTP server on 127.0.0.1 with canned answers per path, recording every
// request it receives (the target as it arrived, "path?query").
class TestHttpServer {
 public:
  TestHttpServer();
  ~TestHttpServer();
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  int port() const { return port_; }
  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }

  // The answer for a path (query not included), replacing an earlier one;
  // unknown paths answer 404.
  void Answer(const std::string& path, std::string body, int status = 200);
  std::vector<std::string> Requests() const;
  void ClearRequests();

 private:
  struct Canned {
    std::string path, body;
    int status;
  };
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = 0;
  mutable std::mutex mutex_;
  std::vector<Canned> answers_;
  std::vector<std::string> requests_;
};

// A port on which connections are taken by the system and never answered.
class SilentServer {
 public:
  SilentServer();
  ~SilentServer();
  int port() const { return port_; }
  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// A loopback port with nothing listening on it.
int UnusedPort();

}  // namespace testsupport
