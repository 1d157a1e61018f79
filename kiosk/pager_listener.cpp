#include "kiosk/pager_listener.h"

#include <sys/socket.h>

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTimer>
#include <QUdpSocket>
#include <vector>

#include "kiosk/kiosk_logic.h"

namespace kiosk {

namespace {

// Room for a burst that arrives while the thread is busy (a web request can
// take up to 30 seconds). The forced size needs privileges; the plain one is
// capped by the system's limit.
constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;
constexpr qint64 kDrainBudgetMs = 4;

void EnlargeReceiveBuffer(qintptr fd) {
  const int size = kReceiveBufferBytes;
  if (setsockopt(static_cast<int>(fd), SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0)
    setsockopt(static_cast<int>(fd), SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}

}  // namespace

PagerListener::PagerListener(quint16 port, Handler handler, QObject* parent)
    : QObject(parent), socket_(new QUdpSocket(this)), handler_(std::move(handler)) {
  // Not shared: a second kiosk on the same port must fail, not split the feed.
  if (!socket_->bind(QHostAddress::AnyIPv4, port, QUdpSocket::DontShareAddress)) {
    error_ = socket_->errorString();
    return;
  }
  EnlargeReceiveBuffer(socket_->socketDescriptor());
  connect(socket_, &QUdpSocket::readyRead, this, [this] { Drain(); });
}

PagerListener::~PagerListener() = default;

bool PagerListener::Listening() const { return socket_->state() == QAbstractSocket::BoundState; }

quint16 PagerListener::Port() const { return socket_->localPort(); }

void PagerListener::Drain() {
  drainScheduled_ = false;
  QElapsedTimer budget;
  budget.start();
  std::vector<char> buffer(kMaxDatagramBytes + 1);
  while (socket_->hasPendingDatagrams()) {
    if (budget.elapsed() >= kDrainBudgetMs) {
      // Let the event loop paint and tick; the rest waits in the socket buffer.
      if (!drainScheduled_) {
        drainScheduled_ = true;
        QTimer::singleShot(0, this, [this] { Drain(); });
      }
      return;
    }
    const qint64 size = socket_->pendingDatagramSize();
    const qint64 read = socket_->readDatagram(buffer.data(), static_cast<qint64>(buffer.size()));
    if (read < 0 || size > static_cast<qint64>(kMaxDatagramBytes)) continue;
    handler_(std::string(buffer.data(), static_cast<size_t>(read)));
  }
}

}  // namespace kiosk
