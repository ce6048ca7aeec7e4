#include "wmf/wmftext.h"

#include <QFontDatabase>
#include <QStringDecoder>

namespace wmf {
namespace {

// Windows-1252 in 0x80..0x9F; everything else is Latin-1.
constexpr char16_t Cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

const char* codecFor(int charset)
{
    switch (charset) {
    case 77:
        return "macintosh";
    case 128:
        return "Shift_JIS";
    case 129:
        return "windows-949";
    case 134:
        return "GBK";
    case 136:
        return "Big5";
    case 161:
        return "windows-1253";
    case 162:
        return "windows-1254";
    case 163:
        return "windows-1258";
    case 177:
        return "windows-1255";
    case 178:
        return "windows-1256";
    case 186:
        return "windows-1257";
    case 204:
        return "windows-1251";
    case 222:
        return "windows-874";
    case 238:
        return "windows-1250";
    case 255:
        return "IBM437";
    default:
        return nullptr;
    }
}

enum class Kind { Sans, Serif, Mono, Symbol };

Kind kindOf(const QByteArray& face, int pitchAndFamily)
{
    const QByteArray f = face.toLower();
    static const char* const mono[] = {"courier", "fixedsys", "terminal", "console", "consolas", "mono", "typewriter"};
    static const char* const serif[] = {"times",   "serif",        "roman",    "georgia", "garamond",
                                        "cambria", "book antiqua", "palatino", "century"};
    static const char* const symbol[] = {"symbol", "wingdings", "webdings", "marlett"};
    for (const char* s : symbol)
        if (f.contains(s))
            return Kind::Symbol;
    for (const char* s : mono)
        if (f.contains(s))
            return Kind::Mono;
    if (f.contains("sans"))
        return Kind::Sans;
    for (const char* s : serif)
        if (f.contains(s))
            return Kind::Serif;
    if (!f.isEmpty())
        return Kind::Sans;
    const int family = pitchAndFamily & 0xF0;
    if ((pitchAndFamily & 3) == 1 || family == 0x30)
        return Kind::Mono;
    return family == 0x10 ? Kind::Serif : Kind::Sans;
}

bool installed(const QString& family)
{
    static const QStringList all = QFontDatabase::families();
    return all.contains(family, Qt::CaseInsensitive);
}

} // namespace

QString decodeText(QByteArrayView bytes, int charset)
{
    if (const char* codec = codecFor(charset)) {
        QStringDecoder decoder(codec);
        if (decoder.isValid())
            return decoder.decode(bytes);
    }
    QString text(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const uchar c = uchar(bytes[i]);
        text[i] = QChar(c >= 0x80 && c < 0xA0 && charset != 2 ? Cp1252High[c - 0x80] : char16_t(c));
    }
    return text;
}

QStringList fontFamilies(const QByteArray& faceName, int pitchAndFamily)
{
    QStringList families;
    const QString face = QString::fromLatin1(faceName).trimmed();
    if (!face.isEmpty() && installed(face))
        families << face;
    // Metric-compatible stand-ins for faces beyond the core ones the lists below cover.
    if (face.startsWith(QLatin1String("Calibri"), Qt::CaseInsensitive))
        families << "Carlito";
    else if (face.startsWith(QLatin1String("Cambria"), Qt::CaseInsensitive))
        families << "Caladea";
    switch (kindOf(faceName, pitchAndFamily)) {
    case Kind::Mono:
        families << "Liberation Mono"
                 << "DejaVu Sans Mono"
                 << "Nimbus Mono PS";
        break;
    case Kind::Serif:
        families << "Liberation Serif"
                 << "DejaVu Serif"
                 << "Nimbus Roman";
        break;
    case Kind::Symbol:
        families << "OpenSymbol"
                 << "DejaVu Sans";
        break;
    case Kind::Sans:
        families << "Liberation Sans"
                 << "Arimo"
                 << "DejaVu Sans"
                 << "Nimbus Sans";
        break;
    }
    return families;
}

QFont::StyleHint styleHint(const QByteArray& faceName, int pitchAndFamily)
{
    switch (kindOf(faceName, pitchAndFamily)) {
    case Kind::Mono:
        return QFont::Monospace;
    case Kind::Serif:
        return QFont::Serif;
    default:
        return QFont::SansSerif;
    }
}

} // namespace wmf
