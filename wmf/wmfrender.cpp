#include "wmf/wmfrender.h"

#include <QBuffer>
#include <QPainter>
#include <QRegularExpression>
#include <QSvgGenerator>
#include <cmath>

namespace wmf {

QSize renderSize(const Picture& picture, int width, int height)
{
    const QSizeF natural = picture.naturalSize().isEmpty() ? QSizeF(800, 600) : picture.naturalSize();
    double w = width, h = height;
    if (w <= 0 && h <= 0) {
        w = natural.width();
        h = natural.height();
    } else if (w <= 0) {
        w = h * natural.width() / natural.height();
    } else if (h <= 0) {
        h = w * natural.height() / natural.width();
    }
    if (w * h > MaxRenderPixels) {
        const double shrink = std::sqrt(MaxRenderPixels / (w * h));
        w *= shrink;
        h *= shrink;
    }
    return QSize(qBound(1, int(w + 0.5), MaxRenderSide), qBound(1, int(h + 0.5), MaxRenderSide));
}

QImage renderImage(const Picture& picture, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    image.fill(Qt::white);
    QPainter painter(&image);
    picture.draw(painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return image;
}

QByteArray renderSvg(const Picture& picture, QSize size)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setResolution(96);
    QPainter painter(&svg);
    painter.fillRect(QRectF(QPointF(0, 0), QSizeF(size)), Qt::white);
    picture.draw(painter, QRectF(QPointF(0, 0), QSizeF(size)));
    painter.end();
    // The generator gives the size in millimetres; viewers should take it in pixels.
    QString text = QString::fromUtf8(buffer.data());
    static const QRegularExpression width(QStringLiteral("(<svg[^>]*?\\swidth=\")[^\"]*\""));
    static const QRegularExpression height(QStringLiteral("(<svg[^>]*?\\sheight=\")[^\"]*\""));
    text.replace(width, QStringLiteral("\\1%1\"").arg(size.width()));
    text.replace(height, QStringLiteral("\\1%1\"").arg(size.height()));
    return text.toUtf8();
}

} // namespace wmf
