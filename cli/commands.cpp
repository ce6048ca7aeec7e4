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
#include <QSet>

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
        QString why;
        if (const std::optional<Hardcopy> listed = findListed(hardcopies, wanted, why)) {
            result << *listed;
        } else {
            message(QStringLiteral("%1: %2").arg(wanted, why));
            allFound = false;
        }
    }
    return result;
}

// Asks on the terminal; true for an answer that starts with "y" or "Y". A stop signal ends the
// question at once, with false.
bool confirm(const Run& run, const QString& question)
{
    std::fprintf(stderr, "%s [y/N] ", qPrintable(question));
    std::fflush(stderr);
    QByteArray answer;
    char c = 0;
    while (run.stop.waitForInput(STDIN_FILENO) && ::read(STDIN_FILENO, &c, 1) == 1 && c != '\n')
        answer += c;
    if (run.stop.received())
        std::fputc('\n', stderr);
    return !run.stop.received() && (answer.startsWith('y') || answer.startsWith('Y'));
}

// The directory, or nullopt with the cause reported and its exit status in `status`.
std::optional<QList<Hardcopy>> readHardcopies(const Run& run, int& status)
{
    DirectoryFailure failure;
    auto hardcopies = listHardcopies(run.session, failure);
    status = failure.status;
    if (hardcopies || run.stop.received())
        return hardcopies;
    if (failure.status == NotSetUp)
        message(failure.text);
    else
        reportUnreachable(run.session.bus(), failure.text);
    return hardcopies;
}

// Reads the directory again after deletes: the names it lists, each of `deleted` among them
// reported; nullopt, with the cause reported, when it cannot be read.
std::optional<QSet<QString>> relisted(const Run& run, const QStringList& deleted)
{
    int status = Done;
    const auto after = readHardcopies(run, status);
    if (!after)
        return std::nullopt;
    QSet<QString> names;
    for (const Hardcopy& hardcopy : *after) {
        names.insert(hardcopy.name);
        if (deleted.contains(hardcopy.name))
            message(QStringLiteral("%1: still listed on the tester after the delete").arg(hardcopy.name));
    }
    return names;
}

} // namespace

std::optional<Hardcopy> findListed(const QList<Hardcopy>& hardcopies, const QString& wanted, QString& why)
{
    const QString name = trimBlanks(wanted);
    QList<Hardcopy> inOtherCase;
    for (const Hardcopy& hardcopy : hardcopies) {
        if (hardcopy.name == name)
            return hardcopy;
        if (hardcopy.name.compare(name, Qt::CaseInsensitive) == 0)
            inOtherCase << hardcopy;
    }
    if (inOtherCase.size() == 1)
        return inOtherCase.first();
    if (inOtherCase.isEmpty()) {
        why = QStringLiteral("no such hardcopy on the tester");
    } else {
        QStringList names;
        for (const Hardcopy& hardcopy : inOtherCase)
            names << hardcopy.name;
        why = QStringLiteral("no hardcopy of exactly that name on the tester, but %1; give the exact name")
                  .arg(names.join(QStringLiteral(", ")));
    }
    return std::nullopt;
}

std::optional<QList<Hardcopy>> listHardcopies(TesterSession& session, DirectoryFailure& failure)
{
    const DirectoryAnswer directory = session.readDirectory();
    if (directory.verdict() == DirectoryAnswer::Listed)
        return sortedHardcopies(directory.listing);
    failure = {directory.failureText(),
               directory.verdict() == DirectoryAnswer::OtherDirectory ? NotSetUp : Unreachable};
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
    int status = Done;
    const auto hardcopies = readHardcopies(run, status);
    if (!hardcopies)
        return status;
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

TransferResult fetchHardcopy(const Run& run, const Hardcopy& hardcopy, Durability durability, int reads)
{
    const QString path = targetPath(run.options.toDir, hardcopy.name);
    const TransferResult result = run.session.fetch(
        hardcopy.name, run.options.toDir, hardcopy.name, [&] { return run.guard.decide(path); }, durability, reads);
    if (run.progress)
        run.progress->finish();
    if (result.status == TransferResult::Written)
        run.guard.wrote(result.path);
    return result;
}

int getCommand(const Run& run)
{
    int status = Done;
    const auto hardcopies = readHardcopies(run, status);
    if (!hardcopies)
        return status;
    bool ok = true;
    for (const Hardcopy& hardcopy : chosen(*hardcopies, run.options, ok)) {
        if (run.stop.received())
            break;
        const TransferResult result = fetchHardcopy(run, hardcopy);
        ok = reportTransfer(hardcopy.name, result, run.options.quiet)
             && convertBeside(result, run.options.convert, run.options.onConflict, run.options.quiet) && ok;
    }
    return ok ? Done : Failed;
}

int syncCommand(const Run& run)
{
    if (run.options.watchSeconds > 0)
        return watchCommand(run);
    int status = Done;
    const auto hardcopies = readHardcopies(run, status);
    if (!hardcopies)
        return status;
    return Offload(run).pass(*hardcopies) ? Done : Failed;
}

int moveCommand(const Run& run)
{
    if (run.options.watchSeconds > 0)
        return watchCommand(run);
    int status = Done;
    const auto hardcopies = readHardcopies(run, status);
    if (!hardcopies)
        return status;
    bool ok = true;
    Offload offload(run);
    const QList<Hardcopy> moving = chosen(*hardcopies, run.options, ok);
    ok = offload.pass(moving) && ok;
    if (run.stop.received() || (offload.deleted().isEmpty() && !run.options.all) || moving.isEmpty())
        return ok ? Done : Failed;
    // As the window does after a delete: read the directory again, here to see that each delete
    // took and, for --all, that no hardcopy of the listing was left behind.
    const auto listed = relisted(run, offload.deleted());
    if (!listed)
        return Failed;
    qsizetype left = 0;
    for (const Hardcopy& hardcopy : moving)
        left += listed->contains(hardcopy.name) ? 1 : 0;
    if (left > 0 && run.options.all)
        message(QStringLiteral("%1 of the %2 hardcopies listed are still on the tester").arg(left).arg(moving.size()));
    return ok && left == 0 ? Done : Failed;
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
    int status = Done;
    const auto hardcopies = readHardcopies(run, status);
    if (!hardcopies)
        return status;
    bool ok = true;
    const QList<Hardcopy> names = chosen(*hardcopies, run.options, ok);
    const bool ask = !run.options.yes && ::isatty(STDIN_FILENO);
    if (ask && run.options.all && !names.isEmpty() && !confirm(run, QStringLiteral("DELETE ALL QLX .WMF FILES?")))
        return ok ? Done : Failed;
    QStringList sent;
    for (const Hardcopy& hardcopy : names) {
        if (run.stop.received())
            break;
        if (ask && !run.options.all && !confirm(run, QStringLiteral("Delete file %1 ?").arg(hardcopy.name)))
            continue;
        if (run.stop.received())
            break;
        const DeleteResult result = run.session.remove(hardcopy.name);
        if (!result.refusedReason.isEmpty())
            message(QStringLiteral("%1: not deleted: %2").arg(hardcopy.name, result.refusedReason));
        else if (!result.sent)
            message(QStringLiteral("%1: not deleted: %2").arg(hardcopy.name, outcomeText(result.outcome)));
        else
            sent << hardcopy.name;
        ok = result.sent && ok;
    }
    if (sent.isEmpty() || run.stop.received())
        return ok ? Done : Failed;
    // The tester answers no delete: only the directory read again tells which ones took.
    const auto listed = relisted(run, sent);
    if (!listed)
        return Failed;
    for (const QString& name : sent) {
        if (listed->contains(name))
            ok = false;
        else
            note(run.options.quiet, QStringLiteral("%1: deleted").arg(name));
    }
    return ok ? Done : Failed;
}

} // namespace qlx::cli
