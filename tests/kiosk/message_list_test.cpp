#include "kiosk/message_list.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QImage>
#include <deque>
#include <string>
#include <utility>

namespace {

using kiosk::MessageList;

// A list painted from nothing, holding the given lines.
QImage FreshPaint(const std::deque<std::pair<std::string, std::uint32_t>>& lines, QSize size) {
  MessageList fresh(nullptr);
  fresh.resize(size);
  for (const auto& [text, colour] : lines) fresh.AppendLines(text, colour);
  return fresh.grab().toImage();
}

// Where two pictures differ first, or "" when they are the same.
std::string Difference(const QImage& shown, const QImage& expected) {
  if (shown.size() != expected.size()) return "size differs";
  for (int y = 0; y < shown.height(); ++y)
    for (int x = 0; x < shown.width(); ++x)
      if (shown.pixel(x, y) != expected.pixel(x, y))
        return "first at (" + std::to_string(x) + "," + std::to_string(y) + ")";
  return "";
}

// The list keeps the picture it last painted and draws only what has moved in
// or been added. Whatever happened in between, what it shows must be what a
// fresh paint of the same lines shows.
TEST(MessageListPicture, TheKeptPictureEqualsAFreshPaint) {
  constexpr std::uint32_t kColours[] = {0x00FF00, 0xFFFFFF, 0x00FFFF, 0x0000FF, 0xFF00FF};
  for (const int height : {13, 14, 97, 300, 904}) {
    MessageList kept(nullptr);
    kept.resize(280, height);
    std::deque<std::pair<std::string, std::uint32_t>> model;
    int next = 0;
    auto append = [&](int count) {
      for (int i = 0; i < count; ++i, ++next) {
        const std::string text = "13:45:" + std::to_string(10 + next % 50) + " [CFS:0451002] line " +
                                 std::to_string(next) + " Qgjpy \xC4\xD6\xDC\xE9";
        const std::uint32_t colour = kColours[next % 5];
        kept.AppendLines(text, colour);
        model.emplace_back(text, colour);
      }
    };
    auto drop = [&](int count) {
      for (int i = 0; i < count && !model.empty(); ++i) {
        kept.DeleteFirstLine();
        model.pop_front();
      }
    };
    auto check = [&](const char* after) {
      EXPECT_EQ(Difference(kept.grab().toImage(), FreshPaint(model, kept.size())), "")
          << "height " << height << ", after " << after;
    };

    check("nothing");
    append(1);
    check("one line");
    append(3);
    check("three more");
    append(120);  // more than fits at any of the heights
    check("a burst");
    drop(100);
    check("dropping from the top");
    kept.AppendLines("first\r\nsecond\rthird\nfourth", 0x00FF00);
    for (const char* part : {"first", "second", "third", "fourth"}) model.emplace_back(part, 0x00FF00);
    check("one text of several lines");
    drop(static_cast<int>(model.size()) - 2);
    check("all but two dropped");
    append(1);
    drop(1);
    check("one in, one out");
    kept.resize(300, height + 29);
    check("a new size");
    drop(static_cast<int>(model.size()));
    check("every line dropped");
  }
}

}  // namespace

// Counts the paints a widget gets.
class PaintCounter final : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

// A flood of lines is painted at most once every kMinRepaintGapMs (each
// paint waits for the display server), and a line after a quiet spell goes
// out with the next paint, without waiting.
TEST(MessageListPaints, AFloodIsPaintedAtMostOnceAGapAndALoneLineAtOnce) {
  MessageList list(nullptr);
  list.resize(280, 300);
  list.show();
  PaintCounter counter;
  list.installEventFilter(&counter);
  QCoreApplication::processEvents();

  QElapsedTimer flood;
  flood.start();
  int lines = 0;
  while (flood.elapsed() < 400) {
    list.AppendLines("[CFS:0451002] LINE " + std::to_string(++lines), 0xFFFFFF);
    QCoreApplication::processEvents();
  }
  const qint64 ms = flood.elapsed();
  EXPECT_GT(lines, 1000);
  EXPECT_GE(counter.paints, 2);
  EXPECT_LE(counter.paints, ms / MessageList::kMinRepaintGapMs + 2) << lines << " lines in " << ms << " ms";

  // Quiet for longer than the gap: the next line is painted on the next turn.
  QElapsedTimer quiet;
  quiet.start();
  while (quiet.elapsed() < 3 * MessageList::kMinRepaintGapMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  const int before = counter.paints;
  list.AppendLines("[RVU:1234] ALONE", 0x00FF00);
  QCoreApplication::processEvents();
  EXPECT_EQ(counter.paints, before + 1);
}
