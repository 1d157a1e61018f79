#include "platform/http.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/error.h"
#include "tests/support/wait.h"

namespace {

using namespace std::chrono_literals;
using platform::HttpClient;
using Clock = std::chrono::steady_clock;

// Every byte value, NUL and the high half included.
std::string AllBytes() {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  return bytes + bytes;
}

// Runs the call and returns the platform error it throws, if any.
std::optional<platform::Error> ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const platform::Error& e) {
    return e;
  }
  return std::nullopt;
}

// A listening socket on 127.0.0.1 with a free port.
int ListenOnLoopback(int& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 8) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ::close(fd);
    return -1;
  }
  port = ntohs(addr.sin_port);
  return fd;
}

// A loopback port that nothing listens on.
int ClosedPort() {
  int port = 0;
  const int fd = ListenOnLoopback(port);
  ::close(fd);
  return port;
}

// A raw server for answers httplib cannot produce and for a peer that goes
// quiet. Without an answer it listens but never accepts: the kernel completes
// the connection, and nothing ever comes back. With an answer, each connection
// gets it after its request head, and is then closed or, with holdOpen, left
// open until the server ends.
class RawServer {
 public:
  explicit RawServer(std::optional<std::string> answer = std::nullopt, bool holdOpen = false)
      : answer_(std::move(answer)), holdOpen_(holdOpen) {
    fd_ = ListenOnLoopback(port_);
    if (answer_) thread_ = std::thread([this] { Serve(); });
  }
  ~RawServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    for (int fd : open_) ::close(fd);
    if (fd_ >= 0) ::close(fd_);
  }
  int port() const { return port_; }
  bool ok() const { return fd_ >= 0; }

 private:
  bool WaitReadable(int fd) {
    pollfd p{fd, POLLIN, 0};
    while (!stop_) {
      if (::poll(&p, 1, 20) > 0) return true;
    }
    return false;
  }

  void Serve() {
    while (WaitReadable(fd_)) {
      const int conn = ::accept(fd_, nullptr, nullptr);
      if (conn < 0) continue;
      std::string request;
      char buf[1024];
      while (request.find("\r\n\r\n") == std::string::npos && WaitReadable(conn)) {
        const ssize_t n = ::recv(conn, buf, sizeof buf, 0);
        if (n <= 0) break;
        request.append(buf, static_cast<size_t>(n));
      }
      (void)!::send(conn, answer_->data(), answer_->size(), MSG_NOSIGNAL);
      if (holdOpen_) {
        open_.push_back(conn);
      } else {
        ::close(conn);
      }
    }
  }

  std::optional<std::string> answer_;
  bool holdOpen_;
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::vector<int> open_;
};

// The first value of a received header, empty when it was not sent.
std::string HeaderValue(const httplib::Headers& headers, const std::string& name) {
  const auto it = headers.find(name);
  return it == headers.end() ? std::string() : it->second;
}

// What the server saw of one request.
struct Seen {
  std::string path;
  httplib::Headers headers;
  int remotePort = -1;
  std::string target;  // as it arrived, escapes and all
};

class HttpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Requests must go straight to loopback, whatever the environment says.
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY",
                             "all_proxy", "ALL_PROXY"}) {
      ::unsetenv(name);
    }

    server_.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response&) {
      std::lock_guard<std::mutex> lock(mutex_);
      seen_.push_back({req.path, req.headers, req.remote_port, req.target});
      return httplib::Server::HandlerResponse::Unhandled;
    });
    server_.Get("/bytes", [](const httplib::Request&, httplib::Response& res) {
      const std::string body = AllBytes();
      res.set_content(body.data(), body.size(), "application/octet-stream");
    });
    server_.Get("/chunked", [](const httplib::Request&, httplib::Response& res) {
      res.set_chunked_content_provider("application/octet-stream",
                                       [](size_t, httplib::DataSink& sink) {
                                         const std::string body = AllBytes();
                                         for (size_t i = 0; i < body.size(); i += 100) {
                                           sink.write(body.data() + i,
                                                      std::min<size_t>(100, body.size() - i));
                                         }
                                         sink.done();
                                         return true;
                                       });
    });
    // Labelled as compressed but not: must come back untouched.
    server_.Get("/labelled-gzip", [](const httplib::Request&, httplib::Response& res) {
      const std::string body = AllBytes();
      res.set_header("Content-Encoding", "gzip");
      res.set_content(body.data(), body.size(), "application/octet-stream");
    });
    server_.Get(R"(/size/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
      res.set_content(std::string(std::stoul(req.matches[1]), 'x'), "text/plain");
    });
    server_.Get(R"(/status/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
      res.status = std::stoi(req.matches[1]);
      res.set_content("status page", "text/plain");
    });
    server_.Get("/redirect", [](const httplib::Request&, httplib::Response& res) {
      res.set_redirect("/bytes");
    });
    server_.Get("/redirect-missing", [](const httplib::Request&, httplib::Response& res) {
      res.set_redirect("/status/404");
    });
    server_.Get("/set-cookie", [](const httplib::Request&, httplib::Response& res) {
      res.set_header("Set-Cookie", "unit=engine7; Path=/");
      res.set_content("cookie set", "text/plain");
    });
    server_.Get("/plain", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("plain", "text/plain");
    });
    server_.Get("/with space", [](const httplib::Request& req, httplib::Response& res) {
      res.set_content(req.get_param_value("unit"), "text/plain");
    });

    port_ = server_.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port_, 0);
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    // stop() only works once the server runs.
    testsupport::WaitUntil([this] { return server_.is_running(); }, 5000, 1);
    ASSERT_TRUE(server_.is_running());
  }

  void TearDown() override {
    server_.stop();
    if (thread_.joinable()) thread_.join();
  }

  // A client aimed at the test server, with limits that keep a failing test short.
  std::unique_ptr<HttpClient> NewClient() {
    auto client = std::make_unique<HttpClient>();
    client->SetHost("127.0.0.1");
    client->SetPort(port_);
    client->SetTotalTimeoutMs(5000);
    return client;
  }

  std::vector<Seen> SeenRequests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
  }

  Seen LastSeen() {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_.empty() ? Seen{} : seen_.back();
  }

  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<Seen> seen_;
};

TEST_F(HttpTest, DefaultsBeforeAnyRequest) {
  HttpClient client;
  EXPECT_EQ(client.Port(), 80);
  EXPECT_EQ(client.Host(), "");
  EXPECT_EQ(client.LastStatus(), 0);
  client.SetHost("example.invalid:8080");
  client.SetPort(81);
  EXPECT_EQ(client.Host(), "example.invalid:8080");
  EXPECT_EQ(client.Port(), 81);
}

TEST_F(HttpTest, BodyComesBackByteForByte) {
  const struct {
    const char* path;
  } cases[] = {{"/bytes"}, {"/chunked"}, {"/labelled-gzip"}};
  auto client = NewClient();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(client->Get(c.path), AllBytes());
    EXPECT_EQ(client->LastStatus(), 200);
  }
}

TEST_F(HttpTest, AddressForms) {
  const int closed = ClosedPort();
  const std::string portText = std::to_string(port_);
  const struct {
    const char* name;
    std::string host;
    int port;  // 0 leaves the default
    std::string pathOrUrl;
    std::string seenPath;
  } cases[] = {
      {"path on host and port", "127.0.0.1", port_, "/plain", "/plain"},
      {"path without slash", "127.0.0.1", port_, "plain", "/plain"},
      {"query kept", "127.0.0.1", port_, "/plain?a=1&b=2", "/plain"},
      {"port in host wins", "127.0.0.1:" + portText, closed, "/plain", "/plain"},
      {"port in host over default", "127.0.0.1:" + portText, 0, "/plain", "/plain"},
      {"full URL ignores host", "127.0.0.1", closed, Url("/plain"), "/plain"},
      {"full URL without host", "", 0, Url("/plain"), "/plain"},
      {"scheme in capitals", "", 0, "HTTP://127.0.0.1:" + portText + "/plain", "/plain"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HttpClient client;
    client.SetTotalTimeoutMs(5000);
    client.SetHost(c.host);
    if (c.port != 0) client.SetPort(c.port);
    EXPECT_EQ(client.Get(c.pathOrUrl), "plain");
    EXPECT_EQ(LastSeen().path, c.seenPath);
  }
}

// A blank is no valid character of an address, and libcurl refuses one; it
// travels as %20, which the server reads back as a blank. Everything else goes
// as it was given.
TEST_F(HttpTest, BlanksInAnAddressTravelEscaped) {
  const struct {
    std::string pathOrUrl;
    std::string target;
    std::string answer;
  } cases[] = {
      {"/with space?unit=JUX 2", "/with%20space?unit=JUX%202", "JUX 2"},
      {Url("/with space?unit= JUX  2 "), "/with%20space?unit=%20JUX%20%202%20", " JUX  2 "},
      {"/with%20space?unit=A%2BB&x=[amp]", "/with%20space?unit=A%2BB&x=[amp]", "A+B"},
  };
  auto client = NewClient();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pathOrUrl);
    EXPECT_EQ(client->Get(c.pathOrUrl), c.answer);
    EXPECT_EQ(LastSeen().target, c.target);
  }
}

TEST_F(HttpTest, BadAddressesFailAsSocketErrors) {
  const struct {
    const char* host;
    int port;
  } cases[] = {{"", 80}, {"127.0.0.1:", 80}, {"127.0.0.1:http", 80}, {"127.0.0.1:70000", 80},
               {"127.0.0.1", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.host);
    HttpClient client;
    client.SetHost(c.host);
    client.SetPort(c.port);
    const auto error = ErrorOf([&] { client.Get("/plain"); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->ClassName(), platform::kSocketError);
  }
  EXPECT_TRUE(SeenRequests().empty());
}

TEST_F(HttpTest, HeadersAreSentUntilRemoved) {
  auto client = NewClient();
  client->SetHeader("X-Unit", "Engine 7");
  client->SetHeader("x-unit", "Ladder 3");  // same header, other spelling
  client->SetHeader("User-Agent", "Kiosk/1");
  client->Get("/plain");
  client->Get("/plain");
  for (const Seen& seen : SeenRequests()) {
    EXPECT_EQ(seen.headers.count("X-Unit"), 1u);
    EXPECT_EQ(HeaderValue(seen.headers, "X-Unit"), "Ladder 3");
    EXPECT_EQ(HeaderValue(seen.headers, "User-Agent"), "Kiosk/1");
    EXPECT_FALSE(seen.headers.count("Accept-Encoding"));
  }

  client->SetHeader("X-UNIT", "");
  client->SetHeader("User-Agent", "");
  client->Get("/plain");
  const Seen last = LastSeen();
  EXPECT_FALSE(last.headers.count("X-Unit"));
  EXPECT_FALSE(last.headers.count("User-Agent"));
  // Removing a header of ours must not remove libcurl's own.
  EXPECT_TRUE(last.headers.count("Host"));
}

TEST_F(HttpTest, HeaderWithLineBreakIsRefused) {
  HttpClient client;
  EXPECT_THROW(client.SetHeader("X-Unit", "a\r\nX-Other: b"), std::invalid_argument);
  EXPECT_THROW(client.SetHeader("X-Unit\n", "a"), std::invalid_argument);
  EXPECT_THROW(client.SetHeader("", "a"), std::invalid_argument);
}

TEST_F(HttpTest, ConnectionIsReused) {
  auto client = NewClient();
  client->Get("/plain");
  client->Get("/bytes");
  const auto seen = SeenRequests();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].remotePort, seen[1].remotePort);
}

TEST_F(HttpTest, Cookies) {
  const struct {
    const char* name;
    std::vector<bool> settings;  // applied in order before the requests
    bool expectSent;
  } cases[] = {
      {"on by default", {}, true},
      {"enabled", {true}, true},
      {"disabled", {false}, false},
      {"enabled again after off", {false, true}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto client = NewClient();
    for (bool on : c.settings) client->SetCookiesEnabled(on);
    client->Get("/set-cookie");
    client->Get("/plain");
    const std::string cookie = HeaderValue(LastSeen().headers, "Cookie");
    EXPECT_EQ(cookie, c.expectSent ? "unit=engine7" : "");
  }
}

TEST_F(HttpTest, TurningCookiesOffForgetsThem) {
  auto client = NewClient();
  client->Get("/set-cookie");
  client->SetCookiesEnabled(false);
  client->Get("/plain");
  EXPECT_FALSE(LastSeen().headers.count("Cookie"));
  client->SetCookiesEnabled(true);
  client->Get("/plain");
  EXPECT_FALSE(LastSeen().headers.count("Cookie"));
}

TEST_F(HttpTest, RedirectFollowed) {
  auto client = NewClient();
  client->SetFollowRedirects(true);
  EXPECT_EQ(client->Get("/redirect"), AllBytes());
  EXPECT_EQ(client->LastStatus(), 200);
  EXPECT_EQ(LastSeen().path, "/bytes");

  // The error names the final answer, not the redirect.
  const auto error = ErrorOf([&] { client->Get("/redirect-missing"); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->ClassName(), platform::kHttpError);
  EXPECT_STREQ(error->what(), "HTTP/1.1 404 Not Found");
  EXPECT_EQ(client->LastStatus(), 404);
}

TEST_F(HttpTest, FailureStatusRaisesHttpErrorWithStatusLine) {
  const struct {
    std::string path;
    int status;
    const char* message;
  } cases[] = {
      {"/redirect", 302, "HTTP/1.1 302 Found"},
      {"/status/404", 404, "HTTP/1.1 404 Not Found"},
      {"/status/500", 500, "HTTP/1.1 500 Internal Server Error"},
      {"/status/301", 301, "HTTP/1.1 301 Moved Permanently"},
  };
  auto client = NewClient();  // redirects are not followed unless asked
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const auto error = ErrorOf([&] { client->Get(c.path); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->ClassName(), platform::kHttpError);
    EXPECT_STREQ(error->what(), c.message);
    EXPECT_EQ(client->LastStatus(), c.status);
  }
  // The client stays usable after a failure.
  EXPECT_EQ(client->Get("/plain"), "plain");
  EXPECT_EQ(client->LastStatus(), 200);
}

TEST_F(HttpTest, StatusLineIsReportedAsReceived) {
  const struct {
    std::string answer;
    int status;
    const char* message;
  } cases[] = {
      {"HTTP/1.1 404\r\nContent-Length: 0\r\n\r\n", 404, "HTTP/1.1 404"},
      {"HTTP/1.0 503 Station Busy\r\nContent-Length: 0\r\n\r\n", 503, "HTTP/1.0 503 Station Busy"},
      {"HTTP/1.1 418 I'm a teapot\nContent-Length: 0\n\n", 418, "HTTP/1.1 418 I'm a teapot"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    RawServer server(c.answer);
    ASSERT_TRUE(server.ok());
    HttpClient client;
    client.SetHost("127.0.0.1");
    client.SetPort(server.port());
    client.SetTotalTimeoutMs(5000);
    const auto error = ErrorOf([&] { client.Get("/"); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->ClassName(), platform::kHttpError);
    EXPECT_STREQ(error->what(), c.message);
    EXPECT_EQ(client.LastStatus(), c.status);
  }
}

TEST_F(HttpTest, RefusedConnectionRaisesSocketError) {
  auto client = NewClient();
  client->SetPort(ClosedPort());
  const auto error = ErrorOf([&] { client->Get("/plain"); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->ClassName(), platform::kSocketError);
  EXPECT_FALSE(std::string(error->what()).empty());
  EXPECT_EQ(client->LastStatus(), 0);
}

TEST_F(HttpTest, AnswerCutShortRaisesSocketError) {
  RawServer server("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc");
  ASSERT_TRUE(server.ok());
  HttpClient client;
  client.SetHost("127.0.0.1:" + std::to_string(server.port()));
  client.SetTotalTimeoutMs(5000);
  const auto error = ErrorOf([&] { client.Get("/"); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->ClassName(), platform::kSocketError);
}

TEST_F(HttpTest, SilentServerRaisesTimeoutError) {
  const struct {
    const char* name;
    std::optional<std::string> answer;  // none: never answers at all
    long totalMs;
    long readMs;
    std::chrono::milliseconds atLeast;
    std::chrono::milliseconds atMost;
  } cases[] = {
      {"total limit, no answer", std::nullopt, 500, 0, 400ms, 2000ms},
      // The total limit here only keeps a broken read limit from hanging the test.
      {"read limit, no answer", std::nullopt, 5000, 1000, 900ms, 2500ms},
      {"total limit, answer stalls", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc", 500, 0,
       400ms, 2000ms},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RawServer server(c.answer, /*holdOpen=*/true);
    ASSERT_TRUE(server.ok());
    HttpClient client;
    client.SetHost("127.0.0.1");
    client.SetPort(server.port());
    client.SetConnectTimeoutMs(1000);
    client.SetTotalTimeoutMs(c.totalMs);
    client.SetReadTimeoutMs(c.readMs);
    const auto start = Clock::now();
    const auto error = ErrorOf([&] { client.Get("/"); });
    const auto elapsed = Clock::now() - start;
    ASSERT_TRUE(error);
    EXPECT_EQ(error->ClassName(), platform::kTimeoutError) << error->what();
    EXPECT_GE(elapsed, c.atLeast);
    EXPECT_LE(elapsed, c.atMost);
  }
}

TEST_F(HttpTest, BodyLimit) {
  const struct {
    std::size_t limit;
    std::size_t size;
    bool fits;
  } cases[] = {
      {1000, 999, true},
      {1000, 1000, true},
      {1000, 1001, false},
      {1000, 200000, false},
      {0, 0, true},
      {0, 1, false},
  };
  auto client = NewClient();
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "limit " << c.limit << ", size " << c.size);
    client->SetMaxBodyBytes(c.limit);
    const std::string path = "/size/" + std::to_string(c.size);
    if (c.fits) {
      EXPECT_EQ(client->Get(path), std::string(c.size, 'x'));
    } else {
      const auto error = ErrorOf([&] { client->Get(path); });
      ASSERT_TRUE(error);
      EXPECT_EQ(error->ClassName(), platform::kHttpError);
      EXPECT_NE(std::string(error->what()).find(std::to_string(c.limit) + " bytes"),
                std::string::npos)
          << error->what();
    }
  }
}

TEST_F(HttpTest, DefaultBodyLimitAllowsLargeAnswers) {
  auto client = NewClient();
  const std::size_t size = 8u * 1024u * 1024u;
  EXPECT_EQ(client->Get("/size/" + std::to_string(size)).size(), size);
}

}  // namespace
