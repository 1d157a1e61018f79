#include "kiosk/message_list.h"

#include <QFontMetrics>
#include <QPainter>

#include "kiosk/kiosk_logic.h"
#include "kiosk/qt_support.h"

namespace kiosk {

MessageList::MessageList(QWidget* parent) : QWidget(parent) {
  setFont(KioskFont(11, true));
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAutoFillBackground(false);
}

void MessageList::AppendLines(const std::string& text, std::uint32_t colour) {
  const QColor qcolour = ToQColor(colour);
  for (const std::string& line : SplitLines(text)) lines_.push_back({ToQString(line), qcolour});
  update();
}

void MessageList::DeleteFirstLine() {
  if (lines_.empty()) return;
  lines_.pop_front();
  update();
}

int MessageList::FontPoints() const {
  // Points as derived from the pixel height at 96 dots per inch: 11 x 72 / 96 = 8.25, shown as 8.
  return static_cast<int>(font().pixelSize() * 72.0 / 96.0 + 0.5);
}

void MessageList::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), ToQColor(kBlue));
  painter.setFont(font());
  const QFontMetrics metrics(font());
  const int lineHeight = metrics.lineSpacing();
  const int total = static_cast<int>(lines_.size()) * lineHeight;
  // The newest lines stay in view: when they do not all fit, the top ones go out.
  int y = std::min(0, height() - total);
  size_t first = 0;
  if (y < 0) {
    first = static_cast<size_t>(-y / lineHeight);
    y += static_cast<int>(first) * lineHeight;
  }
  for (size_t i = first; i < lines_.size() && y < height(); ++i, y += lineHeight) {
    painter.setPen(lines_[i].colour);
    painter.drawText(2, y + metrics.ascent(), lines_[i].text);
  }
}

}  // namespace kiosk
