// The incident request shows the busy cursor while it waits, on every way it
// can end, through the window's own wiring; the pointer stays hidden all along.
#include <QApplication>
#include <QCursor>
#include <QEvent>

#include "tests/kiosk/screens_fixture.h"

namespace {

using namespace kiosk;
using testsupport::ScreensTest;

// Records the window's cursor at each change, and whether the pointer was
// still hidden then.
class CursorWatch final : public QObject {
 public:
  explicit CursorWatch(QWidget* window) : window_(window) { window_->installEventFilter(this); }
  ~CursorWatch() override { window_->removeEventFilter(this); }
  std::vector<Qt::CursorShape> shapes;
  bool pointerHiddenThroughout = true;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == window_ && event->type() == QEvent::CursorChange) {
      // One change may be announced more than once.
      const Qt::CursorShape shape = window_->cursor().shape();
      if (shapes.empty() || shapes.back() != shape) shapes.push_back(shape);
      pointerHiddenThroughout &= PointerHidden();
    }
    return false;
  }

 public:
  static bool PointerHidden() {
    return QApplication::overrideCursor() != nullptr && QApplication::overrideCursor()->shape() == Qt::BlankCursor;
  }

 private:
  QWidget* window_;
};

class BusyCursorTest : public ScreensTest {};

TEST_F(BusyCursorTest, SetWhileTheIncidentRequestWaitsAndClearedHoweverItEnds) {
  std::string garbageDate =
      testsupport::ReadWholeFile(std::string(KIOSK_SOURCE_DIR) + "/tests/service/fixtures/incident_found.txt");
  garbageDate = diag::ReplaceAll(garbageDate, "<UnitMobileDateTime>2026-12-09 13:35</UnitMobileDateTime>",
                                 "<UnitMobileDateTime>not a time</UnitMobileDateTime>");
  struct Case {
    const char* how;
    std::function<void()> serve;
    bool found;
  } cases[] = {
      {"a record", [this] { ServeIncident("2026-12-09 13:32:40"); }, true},
      {"no record", [this] { server.Answer("/rvu/rvuisapi.dll/GetZAVPagerXML", "<ZAVPager></ZAVPager>"); }, false},
      {"HTTP 500", [this] { server.Answer("/rvu/rvuisapi.dll/GetZAVPagerXML", "boom", 500); }, false},
      {"an answer that cannot be read",
       [this, &garbageDate] { server.Answer("/rvu/rvuisapi.dll/GetZAVPagerXML", garbageDate); }, false},
      {"no service",
       [] { service::ServiceSettings.WWWHost = "elsewhere.test:8080"; }, false},
  };
  ASSERT_TRUE(CursorWatch::PointerHidden());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    clock->Advance(service::kRetryPauseMs);  // past the pause after the case before failed
    service::ServiceSettings.WWWHost = Host();
    c.serve();
    window->State.CurrentIncident.RecordFound = false;
    CursorWatch watch(window.get());
    window->ShowGoogleMap();
    EXPECT_EQ(window->State.CurrentIncident.RecordFound, c.found);
    EXPECT_EQ(watch.shapes, (std::vector<Qt::CursorShape>{Qt::WaitCursor, Qt::ArrowCursor}));
    EXPECT_TRUE(watch.pointerHiddenThroughout);
    EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);
    EXPECT_TRUE(CursorWatch::PointerHidden());
  }
}

}  // namespace
