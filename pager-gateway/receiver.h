#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pager-gateway/settings.h"

namespace pagergw {

// Splits a byte stream into lines at "\n". A line longer than the limit is
// handed on in pieces, so noise without line ends cannot grow it without bound.
class LineSplitter {
 public:
  static constexpr std::size_t kMaxLine = 65536;
  std::vector<std::string> Feed(std::string_view bytes);
  // The text after the last line end (at the end of the input).
  std::optional<std::string> Rest();

 private:
  std::string partial_;
};

// The receiving pipeline: the receiver program's output into the decoder's
// input, both in a process group of their own; the gateway reads the decoder's
// output. Both end with the gateway (parent-death signal) and with Stop().
class ReceiverPipeline {
 public:
  ReceiverPipeline() = default;
  ~ReceiverPipeline();
  ReceiverPipeline(const ReceiverPipeline&) = delete;
  ReceiverPipeline& operator=(const ReceiverPipeline&) = delete;

  // Starts both programs; false with the reason when that fails. A program that
  // cannot be executed ends at once with status 127.
  bool Start(const PipelineCommands& commands, std::string& error);
  bool Running() const { return group_ > 0; }
  // The read end of the decoder's output (non-blocking), -1 when not running.
  int OutputFd() const { return output_; }
  // Whether either program has ended by itself.
  bool AnyEnded();
  // Ends what still runs (SIGTERM, then SIGKILL after two seconds) and tells
  // how each program ended: "rtl_fm exit status 1, multimon-ng signal 15".
  std::string Stop();

 private:
  struct Child {
    std::string name;
    pid_t pid = -1;
    std::optional<int> status;
  };
  std::vector<Child> children_;
  pid_t group_ = -1;
  int output_ = -1;
};

// "exit status 3" or "signal 9" of a wait status.
std::string DescribeWaitStatus(int status);

}  // namespace pagergw
