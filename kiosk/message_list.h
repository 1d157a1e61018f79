#pragma once

#include <QColor>
#include <QElapsedTimer>
#include <QImage>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <deque>
#include <string>

namespace kiosk {

// The message list: coloured lines on blue, newest at the bottom, no wrap and no
// input. Lines live in a bounded model; the widget paints what fits whenever Qt
// next paints, so a burst of lines costs one paint, not one per line. It keeps
// the picture it last painted and, on the next paint, moves it by as far as the
// lines have moved and draws only the lines that are new or newly uncovered.
// Under a flood it paints at most once every kMinRepaintGapMs: each paint
// waits for the display server to be done with the last one, and a server
// kept busy would hold the window (and its clock) that long.
class MessageList final : public QWidget {
 public:
  static constexpr int kMinRepaintGapMs = 8;

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
  void changeEvent(QEvent* event) override;

 private:
  // The top of the line numbered 0 in the widget's life: line n (counted from
  // the first ever appended) is drawn at Base() + n * line height.
  std::int64_t Base(int lineHeight) const;
  // Brings the kept picture up to date with the lines.
  void UpdatePicture();
  // Asks for a paint now, or kMinRepaintGapMs after the last one.
  void RequestRepaint();

  std::deque<Line> lines_;
  std::uint64_t firstNumber_ = 0;  // the life-long number of lines_.front()

  QImage picture_;  // the whole widget as last painted; null when it must be drawn afresh
  std::int64_t pictureBase_ = 0;
  std::uint64_t pictureEnd_ = 0;  // the lines numbered below this are in the picture

  QElapsedTimer sincePaint_;     // since the last paint; invalid before the first
  bool repaintScheduled_ = false;
};

}  // namespace kiosk
