#include "store/names.h"

namespace qlx {

bool isHardcopyName(const QString& name) { return name.right(3).toUpper() == u"WMF"; }

QString unsafeNameReason(const QString& name)
{
    if (name.isEmpty())
        return QStringLiteral("the name is empty");
    if (name == u"." || name == u"..")
        return QStringLiteral("the name is a folder reference");
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || (c.unicode() >= 0x80 && c.unicode() < 0xA0))
            return QStringLiteral("the name holds a control character");
        if (c == u'"' || c == u'/' || c == u'\\' || c == u':' || c == u'*' || c == u'?')
            return QStringLiteral("the name holds the character %1").arg(c);
    }
    return {};
}

bool hardcopyNameLess(const QString& a, const QString& b)
{
    const int byName = a.compare(b, Qt::CaseInsensitive);
    return byName != 0 ? byName < 0 : a < b;
}

QString trimBlanks(const QString& text)
{
    qsizetype b = 0;
    qsizetype e = text.size();
    while (b < e && text[b] == u' ')
        ++b;
    while (e > b && text[e - 1] == u' ')
        --e;
    return text.mid(b, e - b);
}

} // namespace qlx
