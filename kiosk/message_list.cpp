#include "kiosk/message_list.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QTimer>
#include <algorithm>
#include <cstring>

#include "kiosk/kiosk_logic.h"
#include "kiosk/qt_support.h"

namespace kiosk {

namespace {

// Moves the rows of an image down by `shift` pixels (up when negative); the
// rows left behind keep what they had and are drawn over afterwards.
void MoveRows(QImage& image, std::int64_t shift) {
  const auto rowBytes = static_cast<std::size_t>(image.bytesPerLine());
  const auto rows = static_cast<std::size_t>(image.height() - std::llabs(shift));
  uchar* bits = image.bits();
  if (shift < 0)
    std::memmove(bits, bits + static_cast<std::size_t>(-shift) * rowBytes, rows * rowBytes);
  else
    std::memmove(bits + static_cast<std::size_t>(shift) * rowBytes, bits, rows * rowBytes);
}

}  // namespace

MessageList::MessageList(QWidget* parent) : QWidget(parent) {
  setFont(KioskFont(11, true));
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAutoFillBackground(false);
}

void MessageList::AppendLines(const std::string& text, std::uint32_t colour) {
  const QColor qcolour = ToQColor(colour);
  for (const std::string& line : SplitLines(text)) lines_.push_back({ToQString(line), qcolour});
  RequestRepaint();
}

void MessageList::RequestRepaint() {
  if (repaintScheduled_) return;
  const qint64 since = sincePaint_.isValid() ? sincePaint_.elapsed() : kMinRepaintGapMs;
  if (since >= kMinRepaintGapMs) {
    update();
    return;
  }
  repaintScheduled_ = true;
  QTimer::singleShot(static_cast<int>(kMinRepaintGapMs - since), Qt::PreciseTimer, this, [this] {
    repaintScheduled_ = false;
    update();
  });
}

void MessageList::DeleteFirstLine() {
  if (lines_.empty()) return;
  lines_.pop_front();
  ++firstNumber_;
  RequestRepaint();
}

int MessageList::FontPoints() const {
  // Points as derived from the pixel height at 96 dots per inch: 11 x 72 / 96 = 8.25, shown as 8.
  return static_cast<int>(font().pixelSize() * 72.0 / 96.0 + 0.5);
}

std::int64_t MessageList::Base(int lineHeight) const {
  // The newest lines stay in view: when they do not all fit, the top ones go out.
  const std::int64_t total = static_cast<std::int64_t>(lines_.size()) * lineHeight;
  const std::int64_t top = std::min<std::int64_t>(0, height() - total);
  return top - static_cast<std::int64_t>(firstNumber_) * lineHeight;
}

void MessageList::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) picture_ = QImage();
  QWidget::changeEvent(event);
}

void MessageList::UpdatePicture() {
  const QFontMetrics metrics(font());
  const int lineHeight = metrics.lineSpacing();
  const std::int64_t base = Base(lineHeight);
  const QRect all = rect();
  // Rows move as whole pixels only at a whole device pixel ratio; otherwise all is drawn afresh.
  const qreal ratio = devicePixelRatioF();
  const bool movable = ratio == static_cast<int>(ratio);
  const QSize pixels = size() * ratio;
  auto rowOf = [&](std::uint64_t number) {
    return QRect(0, static_cast<int>(base + static_cast<std::int64_t>(number) * lineHeight), width(), lineHeight);
  };

  // What has to be drawn afresh: everything, or what the lines' move uncovered
  // and the rows of the lines added since the last paint.
  QRegion stale;
  const std::int64_t shift = base - pictureBase_;
  if (picture_.isNull() || picture_.size() != pixels || !movable || std::llabs(shift) >= height()) {
    if (picture_.size() != pixels) {
      picture_ = QImage(pixels, QImage::Format_RGB32);
      picture_.setDevicePixelRatio(ratio);
    }
    stale = all;
  } else {
    if (shift != 0) {
      MoveRows(picture_, shift * static_cast<int>(ratio));
      stale += shift < 0 ? QRect(0, height() + static_cast<int>(shift), width(), static_cast<int>(-shift))
                         : QRect(0, 0, width(), static_cast<int>(shift));
    }
    const std::uint64_t end = firstNumber_ + lines_.size();
    for (std::uint64_t number = std::max(pictureEnd_, firstNumber_); number < end; ++number) {
      const QRect row = rowOf(number) & all;
      if (!row.isEmpty()) stale += row;
    }
  }
  pictureBase_ = base;
  pictureEnd_ = firstNumber_ + lines_.size();
  if (stale.isEmpty()) return;

  QPainter painter(&picture_);
  painter.setClipRegion(stale);
  const QRect bounds = stale.boundingRect();
  painter.fillRect(bounds, ToQColor(kBlue));
  painter.setFont(font());
  // Only the lines whose rows meet the stale part; below the widget nothing is drawn.
  const std::int64_t firstRow = base + static_cast<std::int64_t>(firstNumber_) * lineHeight;
  std::size_t first = 0;
  if (firstRow + lineHeight <= bounds.top()) first = static_cast<std::size_t>((bounds.top() - firstRow) / lineHeight);
  for (std::size_t i = first; i < lines_.size(); ++i) {
    const QRect row = rowOf(firstNumber_ + i);
    if (row.top() > bounds.bottom()) break;
    if (!stale.intersects(row)) continue;
    painter.setPen(lines_[i].colour);
    painter.drawText(2, row.top() + metrics.ascent(), lines_[i].text);
  }
}

void MessageList::paintEvent(QPaintEvent* event) {
  sincePaint_.start();
  UpdatePicture();
  QPainter painter(this);
  const QRectF area = event->rect();
  const qreal ratio = picture_.devicePixelRatio();
  painter.drawImage(area, picture_, QRectF(area.topLeft() * ratio, area.size() * ratio));
}

}  // namespace kiosk
