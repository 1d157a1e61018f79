#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "platform/datagram_receiver.h"

class QSocketNotifier;

namespace kiosk {

// The pager port's listener. Datagrams are handed to the handler with their
// sender's address one at a time,
// whole and in arrival order, on the thread that owns the listener; longer ones
// than 8192 bytes are dropped unseen. During a flood it hands control back to
// the event loop every few milliseconds, so the clock and the screen keep going
// while the rest waits, in order, in the socket's buffer.
class PagerListener final : public QObject {
 public:
  using Handler = std::function<void(const std::string& datagram, const platform::IpAddress& sender)>;

  PagerListener(quint16 port, Handler handler, QObject* parent);
  ~PagerListener() override;

  bool Listening() const { return receiver_ != nullptr; }
  QString ErrorText() const { return error_; }
  quint16 Port() const { return port_; }  // the bound port (useful when 0 was asked for)
  // The socket's receive buffer as granted (see platform::DatagramReceiver); 0 when not listening.
  int ReceiveBufferBytes() const { return receiver_ ? receiver_->ReceiveBufferBytes() : 0; }

 private:
  void Drain();

  std::unique_ptr<platform::DatagramReceiver> receiver_;
  quint16 port_ = 0;
  QSocketNotifier* notifier_ = nullptr;
  Handler handler_;
  QString error_;
};

}  // namespace kiosk
