#pragma once

#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "platform/feed_wire.h"
#include "platform/ip_address.h"

namespace platform {

// Reads a bound UDP socket in batches: each call takes up to a batch of the
// datagrams that wait, whole and in arrival order, with one recvmmsg and
// without blocking. A datagram longer than the longest accepted one is taken
// from the socket and dropped unseen.
class DatagramReceiver {
 public:
  static constexpr std::size_t kMaxDatagramBytes = kFeedMaxDatagramBytes;
  // Asked of the socket for a burst that arrives while its reader is busy.
  static constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;

  using Take = std::function<void(std::string_view datagram)>;
  using TakeFrom = std::function<void(std::string_view datagram, const IpAddress& sender)>;

  // Takes over a bound datagram socket (and closes it at the end); makes it
  // non-blocking and enlarges its receive buffer.
  DatagramReceiver(int fd, std::size_t batch, std::size_t maxDatagramBytes = kMaxDatagramBytes);
  ~DatagramReceiver();
  DatagramReceiver(const DatagramReceiver&) = delete;
  DatagramReceiver& operator=(const DatagramReceiver&) = delete;

  // A socket of its own bound to an IPv4 address (in host byte order) and port
  // (0: a free one). Throws platform::Error (ESocketError) when it cannot bind.
  static DatagramReceiver BindIPv4(std::uint32_t address, std::uint16_t port, std::size_t batch,
                                   std::size_t maxDatagramBytes = kMaxDatagramBytes);

  int Descriptor() const { return fd_; }
  std::uint16_t Port() const;  // the bound port
  std::size_t Batch() const { return messages_.size(); }
  // The receive buffer the socket got, in bytes, as asked for: half of what
  // getsockopt(SO_RCVBUF) reports, since Linux doubles the size it grants to
  // account for its own bookkeeping. Without CAP_NET_ADMIN the grant is capped
  // by net.core.rmem_max. 0 when it cannot be read.
  int ReceiveBufferBytes() const;

  // Hands each whole datagram of one batch to `take`, in order; the view is
  // valid during the call only. Returns how many datagrams were taken from the
  // socket, dropped ones included, so that fewer than Batch() means the socket
  // was emptied; 0 when none waited (or on an error, which the next call meets again).
  std::size_t ReadBatch(const Take& take);
  // The same, with each datagram's sender.
  std::size_t ReadBatchFrom(const TakeFrom& take);

  // Whether a datagram waits, waiting up to timeoutMs for one.
  bool WaitReadable(int timeoutMs) const;

 private:
  int fd_ = -1;
  std::size_t maxBytes_;
  // A buffer of the longest accepted size per datagram of a batch.
  std::vector<char> buffers_;
  std::vector<iovec> vectors_;
  std::vector<mmsghdr> messages_;
  std::vector<sockaddr_storage> senders_;
};

}  // namespace platform
