#include "platform/files.h"

#include <QSaveFile>

namespace qlx {

QString writeFileSafely(const QString& path, const QByteArray& data)
{
    // Unbuffered: a buffered write that fails only when the file is closed would not stop the
    // rename, and the short file would take the final name.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return file.errorString();
    const qint64 written = file.write(data);
    if (written != data.size()) {
        // A short write without an error is a full disk or a file-size limit.
        const QString reason = file.error() != QFileDevice::NoError
                                   ? file.errorString()
                                   : QStringLiteral("only %1 of %2 bytes could be written (is the disk full?)")
                                         .arg(qMax<qint64>(written, 0))
                                         .arg(data.size());
        file.cancelWriting();
        return reason;
    }
    if (!file.commit())
        return file.errorString();
    return {};
}

} // namespace qlx
