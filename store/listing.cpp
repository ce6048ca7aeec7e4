#include "store/listing.h"
#include "store/names.h"

namespace qlx {
namespace {

// A name is followed by its type and its size in bytes ("NAME",BIN,1234).
qint64 sizeAfter(const QStringList& fields, qsizetype nameIndex)
{
    for (qsizetype i = nameIndex + 1; i <= nameIndex + 2 && i < fields.size(); ++i) {
        bool ok = false;
        const qint64 size = fields[i].trimmed().toLongLong(&ok);
        if (ok && size >= 0)
            return size;
    }
    return -1;
}

} // namespace

Listing parseListing(const QString& answer, bool canChangeDir)
{
    Listing listing;
    QString rest = answer;
    if (rest.endsWith(u'\n'))
        rest.chop(1);
    rest = rest.mid(6);
    listing.rest = rest;
    if (!canChangeDir && !rest.contains(QStringLiteral("QLX"))) {
        listing.directoryOk = false;
        return listing;
    }
    const qsizetype marker = rest.indexOf(kEntriesMarker);
    rest = marker >= 0 ? rest.mid(marker + 3) : rest.mid(2);
    if (rest.isEmpty())
        return listing;
    const QStringList fields = rest.split(u',');
    for (qsizetype i = 0; i < fields.size(); ++i) {
        QString piece = trimBlanks(fields[i]);
        if (piece.startsWith(u'"')) {
            piece.remove(0, 1);
            if (piece.endsWith(u'"'))
                piece.chop(1);
        }
        if (isHardcopyName(piece)) {
            listing.hardcopies.append(trimBlanks(piece));
            listing.sizes.append(sizeAfter(fields, i));
        }
    }
    return listing;
}

bool isDirectoryListing(const QString& answer) { return answer.contains(kEntriesMarker); }

QString directoryChangeCommand() { return QStringLiteral("MMEM:CDIR \"") + kPrintDirectory + u'"'; }

QString directoryAdvice()
{
    const auto setting = [](const QString& key, int tabs, const QString& value) {
        return key + QString(tabs, u'\t') + QStringLiteral("-> change value to \"") + value + QStringLiteral("\")");
    };
    return QStringList{
        QStringLiteral("The read command is not executed in the correct directory."),
        QStringLiteral("You have to change your BASE.INI on the QLX according to the application note!"),
        setting(QStringLiteral("(@CONSTDIRECTORYINTERNALPRINT"), 1, QStringLiteral("\\")),
        setting(QStringLiteral("(@INTERNALDRIVE"), 3, QStringLiteral("C")),
        setting(QStringLiteral("(@EXTERNALDRIVE"), 3, QStringLiteral("D")),
        setting(QStringLiteral("(@CONSTDIRECTORYINTERNAL"), 2, QString()),
        setting(QStringLiteral("(@DEFDIRECTORYINTERNAL"), 2, QStringLiteral("\\")),
    }
        .join(QStringLiteral("\r\n"));
}

} // namespace qlx
