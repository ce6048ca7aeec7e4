#include "cli/commands.h"

#include "cli/convert.h"
#include "cli/offload.h"
#include "cli/report.h"
#include "cli/watch.h"
#include "link/discovery.h"
#include "store/names.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <unistd.h>

#include <cstdio>

namespace qlx::cli {
namespace {

void printLine(const QString& text) { std::fputs(qPrintable(text + u'\n'), stdout); }

// The hardcopies the user chose: all of them, or those named that the directory lists.
QList<Hardcopy> chosen(const QList<Hardcopy>& hardcopies, const Options& options, bool& allFound)
{
    allFound = true;
    if (options.all)
        return hardcopies;
    QList<Hardcopy> result;
    for (const QString& wanted : options.names) {
        const auto listed = std::find_if(hardcopies.begin(), hardcopies.end(), [&](const Hardcopy& h) {
            return h.name.compare(trimBlanks(wanted), Qt::CaseInsensitive) == 0;
        });
        if (listed != hardcopies.end()) {
            result << *listed;
        } else {
            message(QStringLiteral("%1: no such hardcopy on the tester").arg(wanted));
            allFound = false;
        }
    }
    return result;
}

bool confirm(const QString& question)
{
    std::fprintf(stderr, "%s [y/N] ", qPrintable(question));
    std::fflush(stderr);
    char answer[64] = {};
    return std::fgets(answer, sizeof answer, stdin) && (answer[0] == 'y' || answer[0] == 'Y');
}

// The directory, or nullopt with the cause reported.
std::optional<QList<Hardcopy>> readHardcopies(const Run& run)
{
    QString error;
    auto hardcopies = listHardcopies(run.session, error);
    if (!hardcopies && !run.stop.received())
        reportUnreachable(run.session.bus(), error);
    return hardcopies;
}

} // namespace

std::optional<QList<Hardcopy>> listHardcopies(TesterSession& session, QString& error)
{
    const DirectoryAnswer directory = session.readDirectory();
    if (directory.answer.outcome != Outcome::Ok || directory.answer.text.isEmpty())
        error = QStringLiteral("the tester sent no directory listing (%1)").arg(outcomeText(directory.answer.outcome));
    else if (!directory.listing.directoryOk)
        error = directoryAdvice();
    else
        return sortedHardcopies(directory.listing);
    return std::nullopt;
}

int identifyCommand(const ConnectResult& connected)
{
    const QStringList fields = QString::fromLatin1(connected.idn.text).trimmed().split(u',');
    for (const QString& field : fields.mid(0, 4))
        printLine(field.trimmed());
    return Done;
}

int listCommand(const Run& run)
{
    const auto hardcopies = readHardcopies(run);
    if (!hardcopies)
        return Unreachable;
    if (!run.options.json) {
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

int getCommand(const Run& run)
{
    const auto hardcopies = readHardcopies(run);
    if (!hardcopies)
        return Unreachable;
    bool ok = true;
    const OnConflict onConflict = run.options.onConflict;
    for (const Hardcopy& hardcopy : chosen(*hardcopies, run.options, ok)) {
        if (run.stop.received())
            break;
        const TransferResult result =
            run.session.fetch(hardcopy.name, run.options.toDir, hardcopy.name, [onConflict] { return onConflict; });
        if (run.progress)
            run.progress->finish();
        ok = reportTransfer(hardcopy.name, result, run.options.quiet)
             && convertBeside(result, run.options.convert, run.options.quiet) && ok;
    }
    return ok ? Done : Failed;
}

int syncCommand(const Run& run)
{
    if (run.options.watchSeconds > 0)
        return watchCommand(run);
    const auto hardcopies = readHardcopies(run);
    if (!hardcopies)
        return Unreachable;
    return Offload(run).pass(*hardcopies) ? Done : Failed;
}

int moveCommand(const Run& run)
{
    if (run.options.watchSeconds > 0)
        return watchCommand(run);
    const auto hardcopies = readHardcopies(run);
    if (!hardcopies)
        return Unreachable;
    bool ok = true;
    Offload offload(run);
    ok = offload.pass(chosen(*hardcopies, run.options, ok)) && ok;
    if (offload.deleted().isEmpty())
        return ok ? Done : Failed;
    // As the window does after a delete: read the directory again, here to see that each delete took.
    const auto after = readHardcopies(run);
    if (!after)
        return Failed;
    for (const Hardcopy& hardcopy : *after) {
        if (offload.deleted().contains(hardcopy.name)) {
            message(QStringLiteral("%1: still listed on the tester after the delete").arg(hardcopy.name));
            ok = false;
        }
    }
    return ok ? Done : Failed;
}

int discoverCommand(const Options& options)
{
    QStringList adapters = options.adapters;
    for (const QString& device : adaptersById())
        if (!adapters.contains(device))
            adapters << device;
    QStringList gateways = options.gateways;
    if (!options.noBroadcast)
        for (const QString& host : gatewaysAnswering(localBroadcastAddresses()))
            if (!gateways.contains(host))
                gateways << host;
    QStringList problems;
    const QList<FoundTester> found = discoverTesters(adapters, gateways, &problems);
    for (const QString& problem : problems)
        message(problem);
    for (const FoundTester& tester : found)
        printLine(tester.address + u'\t' + tester.identity);
    if (found.isEmpty())
        message(QStringLiteral("no tester found"));
    return found.isEmpty() ? Unreachable : Done;
}

int deleteCommand(const Run& run)
{
    const auto hardcopies = readHardcopies(run);
    if (!hardcopies)
        return Unreachable;
    bool ok = true;
    const QList<Hardcopy> names = chosen(*hardcopies, run.options, ok);
    const bool ask = !run.options.yes && ::isatty(STDIN_FILENO);
    if (ask && run.options.all && !names.isEmpty() && !confirm(QStringLiteral("DELETE ALL QLX .WMF FILES?")))
        return ok ? Done : Failed;
    for (const Hardcopy& hardcopy : names) {
        if (run.stop.received())
            break;
        if (ask && !run.options.all && !confirm(QStringLiteral("Delete file %1 ?").arg(hardcopy.name)))
            continue;
        const DeleteResult result = run.session.remove(hardcopy.name);
        if (!result.refusedReason.isEmpty())
            message(QStringLiteral("%1: not deleted: %2").arg(hardcopy.name, result.refusedReason));
        else if (!result.sent)
            message(QStringLiteral("%1: not deleted: %2").arg(hardcopy.name, outcomeText(result.outcome)));
        else
            note(run.options.quiet, QStringLiteral("%1: deleted").arg(hardcopy.name));
        ok = result.sent && ok;
    }
    return ok ? Done : Failed;
}

} // namespace qlx::cli
