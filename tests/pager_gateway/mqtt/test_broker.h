#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "platform/page_broker.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

// Debian's mosquitto, started by the test on loopback with a configuration of
// its own: TLS with a certificate authority made here, client certificates
// required, a password file and an ACL, sessions kept on disk.
namespace pagergwtest {

inline const char* kMosquitto = "/usr/sbin/mosquitto";
inline const char* kMosquittoPasswd = "/usr/bin/mosquitto_passwd";

inline bool MosquittoInstalled() { return ::access(kMosquitto, X_OK) == 0 && ::access(kMosquittoPasswd, X_OK) == 0; }

// A TCP port on 127.0.0.1 that was free a moment ago.
inline int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof a;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) != 0)
    throw std::runtime_error("no free port");
  ::close(fd);
  return ntohs(a.sin_port);
}

inline bool Accepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return ok;
}

inline void Run(const std::string& command) {
  const auto r = testsupport::Shell(command);
  if (r.status != 0) throw std::runtime_error(command + " failed: " + r.output);
}

// The receivers "ridge" and "valley" may publish pages and their own state;
// the station "station" may only read pages and the receivers' states.
inline const char* kAcl =
    "pattern write rvu/receivers/%u/state\n"
    "user ridge\ntopic write rvu/pages/#\n"
    "user valley\ntopic write rvu/pages/#\n"
    "user station\ntopic read rvu/pages/#\ntopic read rvu/receivers/#\n";

class TestBroker {
 public:
  explicit TestBroker(const testsupport::TempDir& dir) : dir_(dir), port_(FreePort()) {
    using testsupport::Quote;
    const std::string d = Quote(dir.path());
    // A certificate authority, the broker's certificate for 127.0.0.1, a client
    // certificate, and a second authority that signed none of them.
    Run("cd " + d +
        " && openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout ca.key -out ca.crt"
        " -days 2 -subj /CN=region-test-ca 2>/dev/null"
        " && openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout other-ca.key"
        " -out other-ca.crt -days 2 -subj /CN=other-ca 2>/dev/null"
        " && printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\\n' > san.ext"
        " && openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout server.key -out server.csr"
        " -subj /CN=localhost 2>/dev/null"
        " && openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -out server.crt -days 2"
        " -extfile san.ext 2>/dev/null"
        " && openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout client.key -out client.csr"
        " -subj /CN=gateway 2>/dev/null"
        " && openssl x509 -req -in client.csr -CA ca.crt -CAkey ca.key -CAcreateserial -out client.crt -days 2"
        " 2>/dev/null");
    Run(Quote(kMosquittoPasswd) + " -b -c " + Quote(dir.File("passwd")) + " ridge ridge-secret");
    for (const char* user : {"valley", "station"})
      Run(Quote(kMosquittoPasswd) + " -b " + Quote(dir.File("passwd")) + " " + user + " " + user + "-secret");
    testsupport::WriteWholeFile(dir.File("acl"), kAcl);
    std::string conf;
    if (::geteuid() == 0) conf += "user root\n";
    conf += "listener " + std::to_string(port_) + " 127.0.0.1\n" + "cafile " + dir.File("ca.crt") + "\ncertfile " +
            dir.File("server.crt") + "\nkeyfile " + dir.File("server.key") +
            "\nrequire_certificate true\nallow_anonymous false\npassword_file " + dir.File("passwd") +
            "\nacl_file " + dir.File("acl") + "\npersistence true\npersistence_location " + dir.path() +
            "\nautosave_interval 1\nmax_queued_messages 100000\nmax_inflight_messages 0\nset_tcp_nodelay true\n"
            "log_dest file " + dir.File("broker.log") + "\nlog_type all\n";
    testsupport::WriteWholeFile(dir.File("mosquitto.conf"), conf);
    Start();
  }

  void Start() {
    process_ = std::make_unique<testsupport::Process>(
        std::vector<std::string>{kMosquitto, "-c", dir_.File("mosquitto.conf")}, testsupport::Process::Environment{},
        "", dir_.File("broker-out.txt"));
    if (!testsupport::WaitUntil([&] { return Accepts(port_); }, 10000, 20))
      throw std::runtime_error("mosquitto did not start: " + testsupport::ReadWholeFile(dir_.File("broker-out.txt")));
  }
  // Ends the broker as its service would be ended (SIGTERM: it saves its sessions).
  void Stop() {
    if (process_) process_->Stop(SIGTERM, 10000);
    process_.reset();
  }

  int port() const { return port_; }
  // A client of this broker with the test's certificates, logged in as `user`
  // (password "<user>-secret").
  platform::BrokerOptions ClientOptions(const std::string& clientId, const std::string& user) const {
    platform::BrokerOptions o;
    o.host = "127.0.0.1";
    o.port = port_;
    o.clientId = clientId;
    o.user = user;
    o.password = user + "-secret";
    o.caFile = dir_.File("ca.crt");
    o.certFile = dir_.File("client.crt");
    o.keyFile = dir_.File("client.key");
    return o;
  }
  // The settings lines of a gateway that logs in as `user`.
  std::string GatewaySettings(const std::string& user, const std::string& password = "") const {
    const std::string credentials = dir_.File(user + ".credentials");
    testsupport::WriteWholeFile(credentials,
                                "User = " + user + "\nPassword = " + (password.empty() ? user + "-secret" : password) + "\n");
    ::chmod(credentials.c_str(), 0600);
    return "Broker = 127.0.0.1:" + std::to_string(port_) + "\nBrokerCAFile = " + dir_.File("ca.crt") +
           "\nBrokerCertFile = " + dir_.File("client.crt") + "\nBrokerKeyFile = " + dir_.File("client.key") +
           "\nBrokerCredentials = " + credentials + "\nReceiverName = " + user + "\n";
  }

 private:
  const testsupport::TempDir& dir_;
  int port_;
  std::unique_ptr<testsupport::Process> process_;
};

}  // namespace pagergwtest
