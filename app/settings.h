#pragma once
// The three settings the program keeps from one run to the next, read and written through the
// settings module: the PC folder ([Path] FilePath), the bus ([Remote] Route, true for IEEE) and
// the address ([Remote] Path). The window and qlxctl share them.

#include "link/linktypes.h"

#include <QString>

namespace qlx {

struct Settings {
    QString pcPath;
    Bus bus = Bus::Gpib;
    QString address;
};

// The address a change of bus puts into the address box: "20" for IEEE, "1" for COM.
QString defaultAddress(Bus bus);

// The settings in `file`; a missing value takes its default: `programDir` for the folder (also
// when the folder named no longer exists), IEEE and "20".
Settings loadSettings(const QString& file, const QString& programDir);

void saveSettings(const QString& file, const Settings& settings);

} // namespace qlx
