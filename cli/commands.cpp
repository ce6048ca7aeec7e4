#include "cli/commands.h"

#include "cli/report.h"
#include "store/deletion.h"
#include "store/names.h"
#include "store/transfer.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <unistd.h>

#include <cstdio>

namespace qlx::cli {
namespace {

void printLine(const QString& text) { std::fputs(qPrintable(text + u'\n'), stdout); }

// The names the user chose: all hardcopies, or those given that the directory lists.
QStringList chosenNames(const QList<Hardcopy>& hardcopies, const Options& options, bool& allFound)
{
    allFound = true;
    QStringList names;
    for (const Hardcopy& hardcopy : hardcopies) {
        if (options.all && isHardcopyName(hardcopy.name))
            names << hardcopy.name;
    }
    for (const QString& wanted : options.names) {
        const auto listed = std::find_if(hardcopies.begin(), hardcopies.end(), [&](const Hardcopy& h) {
            return h.name.compare(trimBlanks(wanted), Qt::CaseInsensitive) == 0;
        });
        if (listed != hardcopies.end()) {
            names << listed->name;
        } else {
            message(QStringLiteral("%1: no such hardcopy on the tester").arg(wanted));
            allFound = false;
        }
    }
    return names;
}

std::optional<QList<Hardcopy>> directoryOrReport(Session& session)
{
    QString error;
    auto hardcopies = session.readDirectory(error);
    if (!hardcopies)
        reportUnreachable(session.bus(), error);
    return hardcopies;
}

bool confirm(const QString& question)
{
    std::fprintf(stderr, "%s [y/N] ", qPrintable(question));
    std::fflush(stderr);
    char answer[64] = {};
    return std::fgets(answer, sizeof answer, stdin) && (answer[0] == 'y' || answer[0] == 'Y');
}

} // namespace

int identifyCommand(Session& session)
{
    const QStringList fields = session.identityFields();
    for (const QString& field : fields.mid(0, 4))
        printLine(field);
    return Done;
}

int listCommand(Session& session, const Options& options)
{
    const auto hardcopies = directoryOrReport(session);
    if (!hardcopies)
        return Unreachable;
    if (!options.json) {
        for (const Hardcopy& hardcopy : *hardcopies)
            printLine(hardcopy.name);
        return Done;
    }
    QJsonArray array;
    for (const Hardcopy& hardcopy : *hardcopies)
        array.append(QJsonObject{{QStringLiteral("name"), hardcopy.name}, {QStringLiteral("size"), hardcopy.size}});
    std::fputs(QJsonDocument(array).toJson(QJsonDocument::Compact).append('\n').constData(), stdout);
    return Done;
}

int getCommand(Session& session, const Options& options, const StopSignals& stop)
{
    const auto hardcopies = directoryOrReport(session);
    if (!hardcopies)
        return Unreachable;
    bool ok = true;
    for (const QString& name : chosenNames(*hardcopies, options, ok)) {
        if (stop.received())
            break;
        ok = reportTransfer(name, session.fetch(name, options.toDir, options.overwrite), options.quiet) && ok;
    }
    return ok ? Done : Failed;
}

bool syncOnce(Session& session, const QList<Hardcopy>& hardcopies, const Options& options, const StopSignals& stop,
              QHash<QString, qint64>* skip)
{
    bool ok = true;
    for (const Hardcopy& hardcopy : hardcopies) {
        if (stop.received())
            break;
        const QFileInfo pcFile(targetPath(options.toDir, hardcopy.name));
        if ((pcFile.exists() && pcFile.size() == hardcopy.size)
            || (skip && skip->value(hardcopy.name, -2) == hardcopy.size))
            continue;
        const TransferResult result = session.fetch(hardcopy.name, options.toDir, options.overwrite);
        const bool copied = reportTransfer(hardcopy.name, result, options.quiet);
        if (skip && !copied && result.status != TransferResult::LinkBroken)
            skip->insert(hardcopy.name, hardcopy.size);
        ok = copied && ok;
    }
    return ok;
}

int syncCommand(Session& session, const Options& options, const StopSignals& stop)
{
    const auto hardcopies = directoryOrReport(session);
    if (!hardcopies)
        return Unreachable;
    return syncOnce(session, *hardcopies, options, stop) ? Done : Failed;
}

int deleteCommand(Session& session, const Options& options, const StopSignals& stop)
{
    const auto hardcopies = directoryOrReport(session);
    if (!hardcopies)
        return Unreachable;
    bool ok = true;
    const QStringList names = chosenNames(*hardcopies, options, ok);
    const bool ask = !options.yes && ::isatty(STDIN_FILENO);
    if (ask && options.all && !names.isEmpty() && !confirm(QStringLiteral("DELETE ALL QLX .WMF FILES?")))
        return ok ? Done : Failed;
    for (const QString& name : names) {
        if (stop.received())
            break;
        if (ask && !options.all && !confirm(QStringLiteral("Delete file %1 ?").arg(name)))
            continue;
        const DeleteResult result = deleteOnTester(session.transport(), session.bus(), name);
        if (!result.refusedReason.isEmpty())
            message(QStringLiteral("%1: not deleted: %2").arg(name, result.refusedReason));
        else if (!result.sent)
            message(QStringLiteral("%1: not deleted: %2").arg(name, outcomeText(result.outcome)));
        else
            note(options.quiet, QStringLiteral("%1: deleted").arg(name));
        ok = result.sent && ok;
    }
    return ok ? Done : Failed;
}

} // namespace qlx::cli
