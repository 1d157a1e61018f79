#include "kiosk/pager_listener.h"

#include <fcntl.h>

#include <QElapsedTimer>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QUdpSocket>
#include <cerrno>
#include <cstring>

#include "kiosk/kiosk_logic.h"

namespace kiosk {

namespace {

constexpr qint64 kDrainBudgetMs = 4;
// Datagrams taken from the socket per system call. The budget is checked
// between batches, so a batch is always handled whole and whatever is not yet
// taken stays in the socket's buffer.
constexpr std::size_t kBatch = 32;

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
  // The receiver then reads the bound socket, through a copy of the descriptor
  // that outlives the Qt socket. It has room for a burst that arrives while the
  // thread is busy (a web request can take up to 30 seconds).
  const int fd = fcntl(static_cast<int>(binder.socketDescriptor()), F_DUPFD_CLOEXEC, 0);
  if (fd < 0) {
    error_ = QString::fromLocal8Bit(strerror(errno));
    return;
  }
  port_ = binder.localPort();
  binder.close();
  receiver_ = std::make_unique<platform::DatagramReceiver>(fd, kBatch, kMaxDatagramBytes);

  // Level-triggered: while datagrams wait, it fires again on the event loop's next round.
  notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { Drain(); });
}

PagerListener::~PagerListener() {
  // The notifier goes before the descriptor it watches.
  delete notifier_;
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
    const std::size_t taken = receiver_->ReadBatchFrom(
        [this](std::string_view d, const platform::IpAddress& sender) { handler_(std::string(d), sender); });
    if (taken < kBatch) break;  // the socket was emptied (or an error the next round reports again)
  } while (budget.elapsed() < kDrainBudgetMs);
}

}  // namespace kiosk
