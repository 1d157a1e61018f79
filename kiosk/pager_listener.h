#pragma once

#include <sys/socket.h>

#include <QObject>
#include <QString>
#include <functional>
#include <string>
#include <vector>

class QSocketNotifier;

namespace kiosk {

// The pager port's listener. Datagrams are handed to the handler one at a time,
// whole and in arrival order, on the thread that owns the listener; longer ones
// than 8192 bytes are dropped unseen. During a flood it hands control back to
// the event loop every few milliseconds, so the clock and the screen keep going
// while the rest waits, in order, in the socket's buffer.
class PagerListener final : public QObject {
 public:
  using Handler = std::function<void(const std::string& datagram)>;

  PagerListener(quint16 port, Handler handler, QObject* parent);
  ~PagerListener() override;

  bool Listening() const { return fd_ >= 0; }
  QString ErrorText() const { return error_; }
  quint16 Port() const { return port_; }  // the bound port (useful when 0 was asked for)

 private:
  void Drain();

  int fd_ = -1;
  quint16 port_ = 0;
  QSocketNotifier* notifier_ = nullptr;
  Handler handler_;
  QString error_;
  // One receive batch: a buffer of the longest accepted size per datagram.
  std::vector<char> buffers_;
  std::vector<iovec> vectors_;
  std::vector<mmsghdr> messages_;
};

}  // namespace kiosk
