#include "tests/deploy/support/deploy_support.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace deploytest {

namespace {

std::string MakeTempFolder(const char* pattern) {
  std::string path = pattern;
  if (mkdtemp(path.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  return path;
}

}  // namespace

ScopedEnv::ScopedEnv(std::string name, const std::optional<std::string>& value) : name_(std::move(name)) {
  if (const char* old = std::getenv(name_.c_str())) previous_ = old;
  if (value)
    setenv(name_.c_str(), value->c_str(), 1);
  else
    unsetenv(name_.c_str());
}

ScopedEnv::~ScopedEnv() {
  if (previous_)
    setenv(name_.c_str(), previous_->c_str(), 1);
  else
    unsetenv(name_.c_str());
}

FakeNotifySocket::FakeNotifySocket() {
  folder_ = MakeTempFolder("/tmp/kiosk-notify-XXXXXX");
  chmod(folder_.c_str(), 0777);
  path_ = folder_ + "/notify";
  fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path_.copy(address.sun_path, sizeof address.sun_path - 1);
  if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    throw std::runtime_error("cannot bind the notification socket");
  chmod(path_.c_str(), 0777);
}

FakeNotifySocket::~FakeNotifySocket() {
  if (fd_ >= 0) close(fd_);
  std::error_code ec;
  std::filesystem::remove_all(folder_, ec);
}

std::optional<std::string> FakeNotifySocket::Receive(int timeoutMs) {
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) <= 0) return std::nullopt;
  char buffer[4096];
  const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
  if (n < 0) return std::nullopt;
  return std::string(buffer, static_cast<size_t>(n));
}

BuiltPackage BuildPackage(const std::string& buildFolder, const std::string& outputFolder) {
  const auto built =
      Shell("cpack -G DEB --config " + Quote(buildFolder + "/CPackConfig.cmake") + " -B " + Quote(outputFolder));
  const auto found = Shell("ls -1 " + Quote(outputFolder) + "/*.deb");
  BuiltPackage package;
  package.deb = found.output;
  while (!package.deb.empty() && package.deb.back() == '\n') package.deb.pop_back();
  if (built.status != 0 || found.status != 0) package.problem = built.output;
  return package;
}

int FreeUdpPort() {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw std::runtime_error("no free UDP port");
  close(fd);
  return ntohs(address.sin_port);
}

namespace {

constexpr const char* kMarkerTag = "%RSYSLOG-TEST-MARKER";

void SendTo(int port, const std::string& datagram) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&address), sizeof address);
  close(fd);
}

}  // namespace

Rsyslog::Rsyslog(int port) : port_(port == 0 ? FreeUdpPort() : port) {
  folder_ = MakeTempFolder("/tmp/kiosk-rsyslog-XXXXXX");
  // One line per message: the fields without "|" first, the message text last.
  std::ofstream(folder_ + "/rsyslog.conf")
      << "global(workDirectory=\"" << folder_ << "\")\n"
      << "module(load=\"imudp\")\n"
      << "input(type=\"imudp\" address=\"127.0.0.1\" port=\"" << port_ << "\")\n"
      << "template(name=\"fields\" type=\"string\" string=\"%syslogfacility-text%|%syslogseverity-text%|"
         "%syslogtag%|%programname%|%timereported:::date-rfc3339%|%msg%\\n\")\n"
      << "*.* action(type=\"omfile\" file=\"" << folder_ << "/received.log\" template=\"fields\")\n";
  daemon_ = std::make_unique<Process>(
      std::vector<std::string>{"/usr/sbin/rsyslogd", "-n", "-f", folder_ + "/rsyslog.conf", "-i", folder_ + "/pid"},
      std::map<std::string, std::optional<std::string>>{}, folder_, folder_ + "/rsyslogd.out");
  if (!Probe("started", 10000)) {
    std::ifstream out(folder_ + "/rsyslogd.out");
    std::stringstream text;
    text << out.rdbuf();
    throw std::runtime_error("rsyslogd did not take datagrams on port " + std::to_string(port_) + ": " + text.str());
  }
}

Rsyslog::~Rsyslog() {
  daemon_->Stop(SIGTERM, 5000);
  std::error_code ec;
  std::filesystem::remove_all(folder_, ec);
}

bool Rsyslog::Probe(const std::string& marker, int timeoutMs) {
  const std::string datagram = "<191>Jan 01 2026 00:00:00: " + std::string(kMarkerTag) + ": " + marker;
  int sent = 0;
  return WaitUntil(
      [&] {
        if (sent++ % 4 == 0) SendTo(port_, datagram);  // again every 200 ms until it is written
        std::ifstream in(folder_ + "/received.log");
        std::string line;
        while (std::getline(in, line))
          if (line.find(kMarkerTag) != std::string::npos && line.size() >= marker.size() &&
              line.compare(line.size() - marker.size(), marker.size(), marker) == 0)
            return true;
        return false;
      },
      timeoutMs);
}

std::vector<SyslogMessage> Rsyslog::Received() const {
  std::vector<SyslogMessage> messages;
  std::ifstream in(folder_ + "/received.log");
  std::string line;
  while (std::getline(in, line)) {
    SyslogMessage m;
    std::string* fields[] = {&m.facility, &m.severity, &m.tag, &m.program, &m.reported};
    size_t at = 0;
    bool complete = true;
    for (std::string* field : fields) {
      const size_t bar = line.find('|', at);
      if (bar == std::string::npos) {
        complete = false;
        break;
      }
      *field = line.substr(at, bar - at);
      at = bar + 1;
    }
    if (!complete) continue;
    m.text = line.substr(at);
    // Neither the test's markers nor rsyslogd's own notes.
    if (m.tag.find(kMarkerTag) == std::string::npos && m.program != "rsyslogd") messages.push_back(m);
  }
  return messages;
}

std::vector<SyslogMessage> Rsyslog::ReceivedAll() {
  if (!Probe("marker " + std::to_string(++markers_), 10000)) throw std::runtime_error("rsyslogd stopped writing");
  return Received();
}

}  // namespace deploytest
