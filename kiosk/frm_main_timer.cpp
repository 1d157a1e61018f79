// The 1-second tick.
#include <QTimer>

#include "kiosk/frm_main.h"
#include "kiosk/qt_support.h"
#include "platform/clock.h"

namespace kiosk {

void TfrmMain::TimerTimer() {
  lblTime->setText(ToQString(platform::FormatDateTime("hh:nn:ss", platform::Now())));
  lblTime->adjustSize();
}

}  // namespace kiosk
