#pragma once
// What a conversion is checked against: PDF documents read back with poppler's tools (pdfinfo,
// pdftotext, pdffonts, pdftoppm), and the words that a metafile's text records hold.

#include "wmf/wmfformat.h"

#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

namespace pdftools {

// The standard output of a tool that ran and succeeded; empty text otherwise.
inline QString run(const QString& tool, const QStringList& args)
{
    QProcess p;
    p.start(tool, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The text of one page (from 1), or of the whole document.
inline QString text(const QString& pdf, int page = 0)
{
    const QStringList range =
        page ? QStringList{"-f", QString::number(page), "-l", QString::number(page)} : QStringList{};
    return run("pdftotext", range + QStringList{pdf, "-"});
}

// What pdfinfo says about `key` ("Pages", "Page size", "Title").
inline QString info(const QString& pdf, const QString& key)
{
    const QRegularExpression line("^" + QRegularExpression::escape(key) + ":\\s*(.*)$",
                                  QRegularExpression::MultilineOption);
    return line.match(run("pdfinfo", {pdf})).captured(1).trimmed();
}

// Whether the document uses fonts and has all of them embedded.
inline bool fontsEmbedded(const QString& pdf)
{
    const QStringList lines = run("pdffonts", {pdf}).split('\n', Qt::SkipEmptyParts).mid(2);
    static const QRegularExpression embedded("\\s(yes|no)\\s+(yes|no)\\s+(yes|no)\\s+\\d+\\s+\\d+\\s*$");
    for (const QString& line : lines)
        if (embedded.match(line).captured(1) != "yes")
            return false;
    return !lines.isEmpty();
}

// A page rasterised at `size` pixels; null when pdftoppm fails.
inline QImage rasterise(const QString& pdf, QSize size, int page = 1)
{
    QTemporaryDir dir;
    const QString prefix = dir.filePath("page");
    run("pdftoppm",
        {"-f", QString::number(page), "-l", QString::number(page), "-scale-to-x", QString::number(size.width()),
         "-scale-to-y", QString::number(size.height()), "-png", "-singlefile", pdf, prefix});
    return QImage(prefix + ".png").convertToFormat(QImage::Format_RGB32);
}

// The words of a metafile's TextOut and ExtTextOut records, read as Latin-1.
inline QStringList words(const QByteArray& metafile)
{
    const wmf::Bytes file(reinterpret_cast<const uchar*>(metafile.constData()), metafile.size());
    QStringList all;
    for (const wmf::Record& r : wmf::splitRecords(file, wmf::parseHeader(file))) {
        const wmf::Bytes p = wmf::params(file, r);
        qsizetype at = 0, count = 0;
        if (r.function == wmf::fn::TextOut) {
            count = p.s16(0), at = 2;
        } else if (r.function == wmf::fn::ExtTextOut) {
            count = p.s16(4), at = p.u16(6) & 6 ? 16 : 8;
        }
        if (count > 0 && p.has(at, count))
            all << QString::fromLatin1(reinterpret_cast<const char*>(p.data() + at), count)
                       .split(' ', Qt::SkipEmptyParts);
    }
    return all;
}

} // namespace pdftools
