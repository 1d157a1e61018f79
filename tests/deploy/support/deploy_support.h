#pragma once

#include <sys/types.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/wait.h"

// Helpers of the deployment tests: environment, the service manager's
// notification socket and an rsyslog receiver; child programs, shell commands
// and waits are the test support's.
namespace deploytest {

// Sets an environment variable (or removes it, for nullopt) for the scope.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::optional<std::string>& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

// A stand-in for systemd's notification socket: an AF_UNIX datagram socket in
// a fresh folder that every user may write to (the kiosk may run as another user).
class FakeNotifySocket {
 public:
  FakeNotifySocket();
  ~FakeNotifySocket();
  FakeNotifySocket(const FakeNotifySocket&) = delete;
  FakeNotifySocket& operator=(const FakeNotifySocket&) = delete;

  const std::string& path() const { return path_; }
  // The next message, or nothing when none comes within the time.
  std::optional<std::string> Receive(int timeoutMs);

 private:
  std::string folder_;
  std::string path_;
  int fd_ = -1;
};

using testsupport::CommandResult;
using testsupport::Process;
using testsupport::Quote;
using testsupport::Shell;
using testsupport::WaitUntil;

// The Debian package of a build folder, made with cpack into a folder.
struct BuiltPackage {
  std::string deb;      // the package file
  std::string problem;  // cpack's output when the package was not made
};
BuiltPackage BuildPackage(const std::string& buildFolder, const std::string& outputFolder);

// A UDP port on 127.0.0.1 that was free a moment ago.
int FreeUdpPort();

// What rsyslog made of one datagram.
struct SyslogMessage {
  std::string facility;  // text, "local0"
  std::string severity;  // text, "info"
  std::string tag;
  std::string program;
  std::string reported;  // the sender's time stamp as rsyslog read it, RFC 3339
  std::string text;      // the message part
};

// Debian's rsyslogd, started by the test (no systemd) with a configuration
// that listens on 127.0.0.1 UDP and writes every message's fields to a file.
class Rsyslog {
 public:
  // port 0 takes a free one. Raises std::runtime_error when it does not start.
  explicit Rsyslog(int port = 0);
  ~Rsyslog();
  Rsyslog(const Rsyslog&) = delete;
  Rsyslog& operator=(const Rsyslog&) = delete;

  int port() const { return port_; }
  // Every message received so far, in order.
  std::vector<SyslogMessage> Received() const;
  // The messages received so far after a marker datagram has come through,
  // so that everything sent before the call has been written.
  std::vector<SyslogMessage> ReceivedAll();

 private:
  bool Probe(const std::string& marker, int timeoutMs);
  std::string folder_;
  int port_ = 0;
  int markers_ = 0;
  std::unique_ptr<Process> daemon_;
};

}  // namespace deploytest
