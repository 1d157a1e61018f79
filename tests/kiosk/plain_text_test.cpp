// Text that comes from outside (the status feed, the pager port, the task
// summary answer) is shown as the characters it is, never laid out as HTML.
#include <QFontMetrics>
#include <QFrame>
#include <functional>

#include "tests/kiosk/screens_fixture.h"

namespace {

using namespace kiosk;
using testsupport::ScreensTest;

class PlainTextTest : public ScreensTest {
 protected:
  void SetUp() override {
    ScreensTest::SetUp();
    ResizeWindow(1920, 1080);
  }
  // A label that shows `text` as plain text needs at least the room of all its
  // characters; laid out as HTML, the markup takes none.
  static void ExpectShownAsTyped(const QLabel* label, const std::string& text) {
    EXPECT_EQ(label->text(), QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    const int typed = QFontMetrics(label->font()).horizontalAdvance(QString::fromLatin1(text.c_str()));
    EXPECT_GE(label->sizeHint().width(), typed) << text;
  }
};

TEST_F(PlainTextTest, OutsideTextIsShownAsTyped) {
  const std::string bold = "<b>x</b>";
  const std::string table = "<table><tr><td>A</td><td>B</td></tr></table>";
  struct Case {
    const char* where;
    std::function<const QLabel*(const std::string&)> show;
    std::string text;
  } cases[] = {
      {"the ticker from page J",
       [this](const std::string& text) {
         ServeFeed("", diag::ReplaceAll(diag::ReplaceAll(text, "<", "&lt;"), ">", "&gt;"), 0);
         window->State.TickCount = -1;
         Tick(1);
         return window->lblPageJ;
       },
       bold},
      {"the ticker in debug mode",
       [this](const std::string& text) {
         config::KioskSettings.DebugMode = true;
         window->IdUDPServer1UDPRead(text);
         config::KioskSettings.DebugMode = false;
         return window->lblPageJ;
       },
       table},
      {"a summary cell",
       [this](const std::string& text) {
         server.Answer("/rvu/rvuisapi.dll/json", "{\"id\":P1,\"REC\":" + text + ",\"ACK\":1}");
         window->ShowTaskSummary();
         return window->lblSummaryCells[0][0];
       },
       bold},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.where);
    ExpectShownAsTyped(c.show(c.text), c.text);
  }
}

}  // namespace
