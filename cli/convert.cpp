#include "cli/convert.h"

#include "cli/report.h"
#include "platform/files.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace qlx::cli {
namespace {

constexpr int kRenderMs = 60000;

// qlxrender beside this program, else on the PATH.
QString renderTool()
{
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/qlxrender");
    return QFileInfo(beside).isExecutable() ? beside : QStandardPaths::findExecutable(QStringLiteral("qlxrender"));
}

// Draws `wmf` into `picture`; empty when done, else the reason.
QString render(const QString& wmf, const QString& picture)
{
    const QString tool = renderTool();
    if (tool.isEmpty())
        return QStringLiteral("qlxrender, which draws the pictures, is not installed");
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(tool, {wmf, picture});
    if (!process.waitForFinished(kRenderMs)) {
        process.kill();
        process.waitForFinished();
        return QStringLiteral("qlxrender did not finish within %1 s").arg(kRenderMs / 1000);
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        const QString said = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
        return said.isEmpty() ? QStringLiteral("qlxrender failed") : said;
    }
    return {};
}

} // namespace

bool convertBeside(const TransferResult& result, const QString& format, OnConflict onConflict, bool quiet)
{
    if (format.isEmpty())
        return true;
    const QFileInfo wmf(result.path);
    const QString pictureName = wmf.completeBaseName() + u'.' + format;
    const QString picture = targetPath(wmf.path(), pictureName);
    const bool needed = result.status == TransferResult::Written
                        || (result.status == TransferResult::Identical && lookAt(picture).isFree());
    if (!needed)
        return true;
    // Drawn apart, then put beside the hardcopy by the same rules as the hardcopy itself.
    QTemporaryDir drawing;
    const QString drawn = drawing.filePath(QStringLiteral("picture.") + format);
    QString error = drawing.isValid() ? render(result.path, drawn) : drawing.errorString();
    const std::optional<QByteArray> bytes = error.isEmpty() ? readRegularFile(drawn, &error) : std::nullopt;
    if (!bytes) {
        message(QStringLiteral("%1: no picture written: %2").arg(picture, error));
        return false;
    }
    const StoredFile stored = storeCopy(
        wmf.path(), pictureName, *bytes, [onConflict] { return onConflict; }, Durability::Normal);
    const StoredWords words{QStringLiteral("picture written"), QStringLiteral("picture already there"),
                            QStringLiteral("no picture written"), QStringLiteral("no picture written")};
    return reportStored(stored.status, stored.path, stored.reason, words, quiet);
}

} // namespace qlx::cli
