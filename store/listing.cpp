#include "store/listing.h"

namespace qlx {
namespace {

// Trims spaces only, as the tester pads its fields with blanks.
QString trimBlanks(const QString& s)
{
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && s[b] == u' ')
        ++b;
    while (e > b && s[e - 1] == u' ')
        --e;
    return s.mid(b, e - b);
}

bool isHardcopyName(const QString& name) { return name.right(3).toUpper() == u"WMF"; }

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
    const qsizetype marker = rest.indexOf(QStringLiteral("\",F"));
    rest = marker >= 0 ? rest.mid(marker + 3) : rest.mid(2);
    if (rest.isEmpty())
        return listing;
    for (const QString& field : rest.split(u',')) {
        QString piece = trimBlanks(field);
        if (piece.startsWith(u'"')) {
            piece.remove(0, 1);
            if (piece.endsWith(u'"'))
                piece.chop(1);
        }
        if (isHardcopyName(piece))
            listing.hardcopies.append(trimBlanks(piece));
    }
    return listing;
}

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
    }.join(QStringLiteral("\r\n"));
}

} // namespace qlx
