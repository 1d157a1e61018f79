#pragma once

#include <QColor>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <deque>
#include <string>

namespace kiosk {

// The message list: coloured lines on blue, newest at the bottom, no wrap and no
// input. Lines live in a bounded model; the widget paints what fits whenever Qt
// next paints, so a burst of lines costs one paint, not one per line.
class MessageList final : public QWidget {
 public:
  struct Line {
    QString text;
    QColor colour;
  };

  explicit MessageList(QWidget* parent);

  // Appends the text as one line, or several when it holds line breaks, in a colour.
  void AppendLines(const std::string& text, std::uint32_t colour);
  std::size_t LineCount() const { return lines_.size(); }
  void DeleteFirstLine();
  const std::deque<Line>& Lines() const { return lines_; }
  // The font size in points, as derived from the 11-pixel font at 96 dots per inch.
  int FontPoints() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::deque<Line> lines_;
};

}  // namespace kiosk
