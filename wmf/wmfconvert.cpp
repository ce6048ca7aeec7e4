#include "wmf/wmfconvert.h"

#include "platform/files.h"
#include "wmf/wmfpng.h"
#include "wmf/wmfrender.h"
#include "wmf/wmftext.h"
#include "wmf/wmftextruns.h"

#include <QBuffer>
#include <QFileInfo>
#include <QPainter>
#include <QPdfWriter>

namespace wmf {
namespace {

struct Page {
    Picture picture;
    QString title; // shown above the picture; none: the picture fills the page
};

// A file of that name is replaced; a link, folder or anything else under the name is left alone.
// Only a text may be empty: no picture is.
QString writeWhole(const QString& out, const QByteArray& bytes, bool text = false)
{
    if (bytes.isEmpty() && !text)
        return QStringLiteral("%1: nothing to write").arg(out);
    const qlx::FileWrite written = qlx::writeWholeFile(out, bytes, qlx::Publish::ReplaceFile);
    switch (written.status) {
    case qlx::FileWrite::Written:
        return {};
    case qlx::FileWrite::NameTaken:
        return QStringLiteral("%1 not written: it is %2, not a file").arg(out, written.reason);
    case qlx::FileWrite::Failed:
        break;
    }
    return QStringLiteral("cannot write %1: %2").arg(out, written.reason);
}

// The picture in `area` of the page below a title band, keeping its aspect ratio.
QRectF titledArea(QSizeF page, const QString& title, QPainter& painter)
{
    const double band = qMax(16.0, page.height() / 14);
    QFont font;
    font.setFamilies(fontFamilies("Arial", 0));
    font.setPixelSize(qRound(band * 0.55));
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QRectF(0, 0, page.width(), band), Qt::AlignCenter, title);
    const double height = page.height() - band, width = page.width() * height / page.height();
    return QRectF((page.width() - width) / 2, band, width, height);
}

QByteArray pdfDocument(const QList<Page>& pages, QSize requested, const QString& title)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setTitle(title);
    writer.setCreator(QStringLiteral("QLXCopy"));
    writer.setResolution(96);
    QPainter painter;
    for (const Page& page : pages) {
        const QSizeF size = renderSize(page.picture, requested.width(), requested.height());
        // Pages come in whole points; the picture is fitted to the page it got.
        writer.setPageSize(QPageSize(size * 0.75, QPageSize::Point, QString(), QPageSize::ExactMatch));
        writer.setPageMargins(QMarginsF());
        if (painter.isActive() ? !writer.newPage() : !painter.begin(&writer))
            return {};
        const QSizeF points = writer.pageLayout().fullRect(QPageLayout::Point).size();
        painter.setWorldTransform(
            QTransform::fromScale(points.width() / 0.75 / size.width(), points.height() / 0.75 / size.height()));
        const QRectF area = page.title.isEmpty() ? QRectF(QPointF(), size) : titledArea(size, page.title, painter);
        painter.fillRect(area, Qt::white);
        page.picture.draw(painter, area);
    }
    return painter.end() ? buffer.data() : QByteArray();
}

QString save(const Picture& picture, const QString& out, Format format, QSize requested, const QString& title)
{
    if (picture.isNull())
        return QStringLiteral("%1: no picture to write").arg(out);
    const QSize size = renderSize(picture, requested.width(), requested.height());
    switch (format) {
    case Format::Png:
        return writeWhole(out, encodePng(renderImage(picture, size)));
    case Format::Svg:
        return writeWhole(out, renderSvg(picture, size));
    case Format::Pdf:
        return writeWhole(out, pdfDocument({{picture, {}}}, requested, title));
    case Format::Txt:
        return writeWhole(out, readingText(readingLines(picture, size)).toUtf8(), true);
    case Format::Json:
        return writeWhole(out, readingJson(readingLines(picture, size), QFileInfo(picture.path()).fileName(), size),
                          true);
    }
    return {};
}

QString readError(const QString& in)
{
    return QFileInfo(in).isFile() ? QStringLiteral("%1 is no Windows Metafile or is damaged").arg(in)
                                  : QStringLiteral("%1: no such file").arg(in);
}

// Whether writing `out` would replace the input `in` (the same path, or a link to it).
bool sameFile(const QString& in, const QString& out)
{
    const QFileInfo input(in), output(out);
    return input.exists() && output.exists() && input.canonicalFilePath() == output.canonicalFilePath();
}

QString ownInput(const QString& out) { return QStringLiteral("%1 not written: it is an input file").arg(out); }

} // namespace

std::optional<Format> formatFromText(const QString& name)
{
    for (Format f : {Format::Png, Format::Svg, Format::Pdf, Format::Txt, Format::Json})
        if (name.compare(formatExtension(f), Qt::CaseInsensitive) == 0)
            return f;
    return std::nullopt;
}

std::optional<Format> formatFromName(const QString& fileName)
{
    const QString suffix = QFileInfo(fileName).suffix();
    return suffix.isEmpty() ? std::nullopt : formatFromText(suffix);
}

QString formatExtension(Format format)
{
    switch (format) {
    case Format::Png:
        return QStringLiteral("png");
    case Format::Svg:
        return QStringLiteral("svg");
    case Format::Pdf:
        return QStringLiteral("pdf");
    case Format::Txt:
        return QStringLiteral("txt");
    case Format::Json:
        return QStringLiteral("json");
    }
    return {};
}

QString savePicture(const Picture& picture, const QString& out, Format format, QSize requested)
{
    return save(picture, out, format, requested, QFileInfo(out).completeBaseName());
}

QString convertFile(const QString& in, const QString& out, Format format, QSize requested)
{
    if (sameFile(in, out))
        return ownInput(out);
    const Picture picture = Picture::load(in);
    if (picture.isNull())
        return readError(in);
    return save(picture, out, format, requested, QFileInfo(in).fileName());
}

QStringList convertToPdf(const QStringList& inputs, const QString& out, QSize requested)
{
    for (const QString& in : inputs)
        if (sameFile(in, out))
            return {ownInput(out)};
    QStringList errors;
    QList<Page> pages;
    for (const QString& in : inputs) {
        const Picture picture = Picture::load(in);
        if (picture.isNull())
            errors << readError(in);
        else
            pages.append({picture, QFileInfo(in).fileName()});
    }
    if (pages.isEmpty())
        return errors << QStringLiteral("%1 not written: no page to write").arg(out);
    if (const QString error = writeWhole(out, pdfDocument(pages, requested, QFileInfo(out).completeBaseName()));
        !error.isEmpty())
        errors << error;
    return errors;
}

} // namespace wmf
