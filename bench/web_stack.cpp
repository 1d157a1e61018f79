#include "bench/web_stack.h"

#include <httplib.h>

#include <csignal>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "tests/support/wait.h"

namespace bench {

namespace {

std::vector<double> Numbers(const std::string& text) {
  std::vector<double> values;
  std::istringstream items(text);
  std::string item;
  while (std::getline(items, item, ',')) values.push_back(std::stod(item));
  return values;
}

}  // namespace

std::string WebStack::Missing(const std::string& script) {
  namespace fs = std::filesystem;
  if (testsupport::Shell("command -v node").status != 0) return "node";
  if (!fs::exists("/usr/bin/chromium")) return "/usr/bin/chromium";
  const fs::path ws = fs::path(script).parent_path() / "node_modules/ws/package.json";
  if (!fs::exists(ws)) return ws.string();
  return "";
}

WebStack::WebStack(const std::string& script, int udpPort) {
  process_ = std::make_unique<testsupport::Process>(
      std::vector<std::string>{"node", script, "--udp-port", std::to_string(udpPort)},
      testsupport::Process::Environment{}, "", testsupport::Output::Memory(false));
  std::string ready;
  testsupport::WaitUntil(
      [&] {
        const std::string out = process_->CapturedOutput();
        const std::size_t at = out.find("READY ");
        if (at == std::string::npos || out.find('\n', at) == std::string::npos) return !process_->Running();
        ready = out.substr(at, out.find('\n', at) - at);
        return true;
      },
      30000, 50);
  if (ready.empty()) throw std::runtime_error("the web-stack display did not come up: " + process_->CapturedOutput());
  std::istringstream fields(ready.substr(6));
  std::string field;
  while (fields >> field) {
    const std::size_t eq = field.find('=');
    const std::string key = field.substr(0, eq), value = field.substr(eq + 1);
    if (key == "udp") udpPort_ = std::stoi(value);
    if (key == "http") httpPort_ = std::stoi(value);
    if (key == "rcvbuf") receiveBuffer_ = value;
  }
}

WebStack::~WebStack() { process_->StopGroup(SIGTERM, 5000); }

std::string WebStack::Request(const std::string& method, const std::string& target, int timeoutMs) {
  httplib::Client client("127.0.0.1", httpPort_);
  client.set_read_timeout(std::chrono::milliseconds(timeoutMs));
  const httplib::Result result = method == "POST" ? client.Post(target) : client.Get(target);
  if (!result || result->status != 200)
    throw std::runtime_error("the web-stack display did not answer " + method + " " + target);
  return result->body;
}

void WebStack::BeginRun() { Request("POST", "/run", 5000); }

WebStackRun WebStack::EndRun(int waitMs) {
  const std::string body = Request("GET", "/result?wait=" + std::to_string(waitMs), waitMs + 5000);
  WebStackRun run;
  std::istringstream lines(body);
  std::string line;
  while (std::getline(lines, line)) {
    const std::size_t space = line.find(' ');
    const std::string key = line.substr(0, space), value = space == std::string::npos ? "" : line.substr(space + 1);
    if (key == "arrived") run.arrived = static_cast<std::uint32_t>(std::stoul(value));
    if (key == "handled") run.handled = static_cast<std::uint32_t>(std::stoul(value));
    if (key == "in_order") run.inOrder = static_cast<std::uint32_t>(std::stoul(value));
    if (key == "last_seq") run.lastSeq = std::stoll(value);
    if (key == "end_ns") run.endNs = std::stoll(value);
    if (key == "latency_ms") run.latenciesMs = Numbers(value);
    if (key == "after_paint_ms") run.afterPaintMs = Numbers(value);
  }
  return run;
}

}  // namespace bench
