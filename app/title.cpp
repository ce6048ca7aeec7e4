#include "app/title.h"

namespace qlx {

QString composeTitle(int major, int minor, int revision, bool debug, const QDate& executableDate)
{
    const QString date = executableDate.isValid() ? QStringLiteral("%1/%2/%3")
                                                        .arg(executableDate.month())
                                                        .arg(executableDate.day())
                                                        .arg(executableDate.year())
                                                  : QString();
    const QString release = revision == 0 ? QStringLiteral(" from ") : QStringLiteral(" beta %1 from ").arg(revision);
    const QString debugText = debug ? QStringLiteral(" !!DEBUG!! ") : QString();
    return QStringLiteral("Halvard & Brenn QLXCopy, V %1.%2").arg(major).arg(minor) + release + debugText + date;
}

} // namespace qlx
