// Fuzz target for the metafile player: parsing and drawing any bytes must neither crash nor hang.

#include "wmf/wmfpicture.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>
#include <cstdint>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
// Fontconfig keeps its caches for the life of the process; they are not our leaks. Every other
// leak counts: the player never asks Qt for its clip path, whose region conversion in Qt 6.4 loses
// a block, but keeps the clipping area itself.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }
#endif
#endif

namespace {

// The size to draw at, picked by the last byte, which the player reads as no more than the padding
// of the last record: mostly small sizes of every shape, and the sizes of a picture pane and of a
// 4K rendering, where fonts and pens are large.
QSize drawSize(const uint8_t* data, size_t size)
{
    const int pick = size ? data[size - 1] : 0;
    switch (pick % 8) {
    case 0:
        return QSize(90, 55);
    case 6:
        return QSize(800, 600);
    case 7:
        return QSize(3840, 2160);
    default:
        return QSize(1 + pick * 7 % 250, 1 + pick * 13 % 180);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int argc = 1;
    static char name[] = "wmf_fuzz";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QGuiApplication(argc, argv);
    }();
    Q_UNUSED(app);

    const wmf::Picture picture =
        wmf::Picture::fromData(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (picture.isNull())
        return 0;
    picture.naturalSize();
    const QSize target = drawSize(data, size);
    QImage image(target + QSize(7, 6), QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        picture.draw(painter, QRectF(QPointF(2, 3), QSizeF(target)));
    }
    if (size % 4 == 1) { // also the vector path, which has no raster operations
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(target);
        QPainter painter(&svg);
        picture.draw(painter, QRectF(QPointF(0, 0), QSizeF(target)));
    }
    if (size % 8 == 4) { // and the PDF path, which keeps text as glyph runs at any transform
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter pdf(&buffer);
        QPainter painter(&pdf);
        picture.draw(painter, QRectF(QPointF(0, 0), QSizeF(target)));
    }
    return 0;
}
