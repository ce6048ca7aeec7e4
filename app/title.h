#pragma once

#include <QDate>
#include <QString>

namespace qlx {

inline const QString kDebugCode = QStringLiteral("517306");

// "Halvard & Brenn QLXCopy, V 1.4 from 7/4/2005" and its beta and debug forms. An invalid date
// gives an empty date text.
QString composeTitle(int major, int minor, int revision, bool debug, const QDate& executableDate);

} // namespace qlx
