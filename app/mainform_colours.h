#pragma once
// The colours of the status line and the panes, as Qt's 0xRRGGBB.

#include <QColor>

namespace qlx {

constexpr QRgb kLightGrey = 0xE0E0E0;
constexpr QRgb kRed = 0xFF0000;
constexpr QRgb kGreen = 0x00FF00;
constexpr QRgb kYellow = 0xFFFF00;

} // namespace qlx
