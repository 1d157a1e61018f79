#pragma once

// The web-stack display of bench/webstack (a Node program that pushes each
// pager datagram over a WebSocket to a page in headless Chromium), started and
// driven from a benchmark: where to send the lines, a measured run, and the
// figures the display gives back for it.
#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/process.h"

namespace bench {

struct WebStackRun {
  std::uint32_t arrived = 0;  // datagrams the display program took off its socket
  std::uint32_t handled = 0;  // lines the page appended to its list
  std::uint32_t inOrder = 0;  // of those, the ones that followed their predecessor
  long long lastSeq = -1;     // the last line the page appended
  std::int64_t endNs = 0;     // when that line was seen painted (monotonic clock)
  std::vector<double> latenciesMs;    // send to the next frame after the append, per line
  std::vector<double> afterPaintMs;   // send to the end of the main thread's work on that frame
};

class WebStack {
 public:
  // What the display needs that this machine lacks (node, Chromium, the ws
  // package beside the script: scripts/bootstrap --bench), or "".
  static std::string Missing(const std::string& script);

  // Starts `node SCRIPT` with the display's UDP port (0: a free one) and
  // waits until its page is connected; throws std::runtime_error when it does
  // not come up within 30 seconds.
  WebStack(const std::string& script, int udpPort = 0);
  ~WebStack();
  WebStack(const WebStack&) = delete;
  WebStack& operator=(const WebStack&) = delete;

  int UdpPort() const { return udpPort_; }
  pid_t Pid() const { return process_->pid(); }  // the root of the whole display's process tree
  bool Running() const { return process_->Running(); }
  std::string ReceiveBufferText() const { return receiveBuffer_; }

  // Arrivals from now on belong to the run.
  void BeginRun();
  // Waits until every line that arrived is painted and the feed has been quiet
  // for a moment (or waitMs passed), and gives the run's figures.
  WebStackRun EndRun(int waitMs);

 private:
  std::string Request(const std::string& method, const std::string& target, int timeoutMs);

  std::unique_ptr<testsupport::Process> process_;
  int udpPort_ = 0;
  int httpPort_ = 0;
  std::string receiveBuffer_;
};

}  // namespace bench
