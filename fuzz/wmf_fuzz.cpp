// Fuzz target for the metafile player: parsing and drawing any bytes must neither crash nor hang.

#include "platform/wmf/wmfpicture.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>
#include <cstdint>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
// Fontconfig keeps its caches for the life of the process; they are not our leaks.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }
#endif
#endif

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

    const WmfPicture picture = WmfPicture::fromData(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (picture.isNull())
        return 0;
    picture.naturalSize();
    QImage image(97, 61, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        picture.draw(painter, QRectF(2, 3, 90, 55));
    }
    if (size % 4 == 1) {  // also the vector path, which has no raster operations
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(QSize(64, 48));
        QPainter painter(&svg);
        picture.draw(painter, QRectF(0, 0, 64, 48));
    }
    return 0;
}
