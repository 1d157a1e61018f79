#include "kiosk/pager_listener.h"

#include <fcntl.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QUdpSocket>
#include <cerrno>
#include <cstring>

#include "kiosk/kiosk_logic.h"

namespace kiosk {

namespace {

// Room for a burst that arrives while the thread is busy (a web request can
// take up to 30 seconds). The forced size needs privileges; the plain one is
// capped by the system's limit.
constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;
constexpr qint64 kDrainBudgetMs = 4;
// Datagrams taken from the socket per system call. The budget is checked
// between batches, so a batch is always handled whole and whatever is not yet
// taken stays in the socket's buffer.
constexpr int kBatch = 32;

void EnlargeReceiveBuffer(int fd) {
  const int size = kReceiveBufferBytes;
  if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0)
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}

}  // namespace

PagerListener::PagerListener(quint16 port, Handler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)) {
  // Qt binds, so that the address rules and the error texts are Qt's. Not
  // shared: a second kiosk on the same port must fail, not split the feed.
  QUdpSocket binder;
  if (!binder.bind(QHostAddress::AnyIPv4, port, QUdpSocket::DontShareAddress)) {
    error_ = binder.errorString();
    return;
  }
  // The listener then reads the bound socket itself, through a copy of the
  // descriptor that outlives the Qt socket, batch by batch with recvmmsg.
  fd_ = fcntl(static_cast<int>(binder.socketDescriptor()), F_DUPFD_CLOEXEC, 0);
  if (fd_ < 0) {
    error_ = QString::fromLocal8Bit(strerror(errno));
    return;
  }
  port_ = binder.localPort();
  binder.close();
  fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
  EnlargeReceiveBuffer(fd_);

  buffers_.resize(kBatch * kMaxDatagramBytes);
  vectors_.resize(kBatch);
  messages_.resize(kBatch);
  // Level-triggered: while datagrams wait, it fires again on the event loop's next round.
  notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { Drain(); });
}

PagerListener::~PagerListener() {
  delete notifier_;
  if (fd_ >= 0) close(fd_);
}

void PagerListener::Drain() {
  // Off while handling, so that an event loop run by a handler cannot reenter;
  // on again however the handling ends.
  notifier_->setEnabled(false);
  struct Reenable {
    QSocketNotifier* notifier;
    ~Reenable() { notifier->setEnabled(true); }
  } reenable{notifier_};
  QElapsedTimer budget;
  budget.start();
  do {
    for (int i = 0; i < kBatch; ++i) {
      vectors_[i] = {buffers_.data() + static_cast<std::size_t>(i) * kMaxDatagramBytes, kMaxDatagramBytes};
      messages_[i] = {};
      messages_[i].msg_hdr.msg_iov = &vectors_[i];
      messages_[i].msg_hdr.msg_iovlen = 1;
    }
    const int received = recvmmsg(fd_, messages_.data(), kBatch, MSG_DONTWAIT, nullptr);
    if (received <= 0) break;  // none left (or an error the next round reports again)
    for (int i = 0; i < received; ++i) {
      // Cut short by the buffer: longer than the longest accepted datagram.
      if (messages_[i].msg_hdr.msg_flags & MSG_TRUNC) continue;
      handler_(std::string(static_cast<const char*>(vectors_[i].iov_base), messages_[i].msg_len));
    }
    if (received < kBatch) break;  // the socket was emptied
  } while (budget.elapsed() < kDrainBudgetMs);
}

}  // namespace kiosk
