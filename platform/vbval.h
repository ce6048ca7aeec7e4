#pragma once
// Text-to-number rules shared by the settings file, the address box and the firmware check.

#include <QStringView>

namespace qlx {

// The decimal number at the start of `text` (after leading blanks and tabs): optional sign,
// digits, optional fraction and exponent. 0 when the text does not start with a number.
double leadingNumber(QStringView text);

} // namespace qlx
