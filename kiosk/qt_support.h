#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <cstdint>
#include <string>

#include "platform/qt/text.h"

namespace kiosk {

using platform::FromQString;
using platform::ToQString;

// A colour number of the window system (blue in the high byte) as a QColor.
inline QColor ToQColor(std::uint32_t colour) {
  return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                static_cast<int>((colour >> 16) & 0xFF));
}

// The kiosk's sans-serif face at a pixel height.
QFont KioskFont(int pixelHeight, bool bold);

}  // namespace kiosk
