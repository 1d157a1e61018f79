#include "kiosk/qt_support.h"

namespace kiosk {

QFont KioskFont(int pixelHeight, bool bold) {
  // The designed face does not exist here; Liberation Sans is a free sans-serif
  // with the same metrics as the common Windows faces.
  QFont font(QStringLiteral("Liberation Sans"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixelHeight);
  font.setBold(bold);
  return font;
}

}  // namespace kiosk
