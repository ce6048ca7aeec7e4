#include "cli/convert.h"

#include "cli/report.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

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

bool convertBeside(const TransferResult& result, const QString& format, bool quiet)
{
    if (format.isEmpty())
        return true;
    const QFileInfo wmf(result.path);
    const QString picture = wmf.path() + u'/' + wmf.completeBaseName() + u'.' + format;
    const bool needed = result.status == TransferResult::Written
                        || (result.status == TransferResult::Identical && !QFileInfo::exists(picture));
    if (!needed)
        return true;
    const QString error = render(result.path, picture);
    if (!error.isEmpty()) {
        message(QStringLiteral("%1: no picture written: %2").arg(picture, error));
        return false;
    }
    note(quiet, QStringLiteral("%1: picture written").arg(picture));
    return true;
}

} // namespace qlx::cli
