// Fuzz target for the metafile player: parsing, drawing and reading the text of any bytes must
// neither crash nor hang.

#include "wmf/wmfpicture.h"
#include "wmf/wmftextruns.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QJsonDocument>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
// Fontconfig keeps its caches for the life of the process; they are not our leaks. Every other
// leak counts: the player never asks Qt for its clip path, whose region conversion in Qt 6.4 loses
// a block, but keeps the clipping area itself.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }
#endif
#endif

namespace {

const QSize Large(3840, 2160);

// The size to draw at, picked by the last byte, which the player reads as no more than the padding
// of the last record: mostly small sizes of every shape, and the size of a picture pane. A 4K
// rendering, where fonts and pens are large, takes a hundred times as long as a small one, so only
// one input in 512 gets it, picked by a hash of all its bytes: a mutation of an input drawn at 4K
// is drawn at 4K no more often than any other input, and a short run tries thousands of inputs.
QSize drawSize(const uint8_t* data, size_t size)
{
    uint32_t hash = 2166136261u; // FNV-1a
    for (size_t i = 0; i < size; ++i)
        hash = (hash ^ data[i]) * 16777619u;
    if (hash % 512 == 0)
        return Large;
    const int pick = size ? data[size - 1] : 0;
    switch (pick % 8) {
    case 0:
        return QSize(90, 55);
    case 6:
        return QSize(800, 600);
    default:
        return QSize(1 + pick * 7 % 250, 1 + pick * 13 % 180);
    }
}

// The text path: runs, lines and both text forms at the size drawn. Whatever characters and
// numbers the file holds, the text must come through UTF-8 unchanged and the JSON must parse.
void readText(const wmf::Picture& picture, QSize size)
{
    const wmf::TextLines lines = wmf::readingLines(picture, size);
    const QString text = wmf::readingText(lines);
    if (QString::fromUtf8(text.toUtf8()) != text)
        std::abort();
    QJsonParseError error{};
    QJsonDocument::fromJson(wmf::readingJson(lines, QStringLiteral("fuzz.wmf"), size), &error);
    if (error.error != QJsonParseError::NoError)
        std::abort();
}

// How many inputs were tried, and how fast, printed when the run ends.
struct Rate {
    QElapsedTimer clock;
    long inputs = 0, large = 0;
    ~Rate()
    {
        const double seconds = clock.isValid() ? clock.elapsed() / 1000.0 : 0;
        std::fprintf(stderr, "fuzz_wmf: %ld inputs in %.1f s, %.0f a second, %ld of them at %dx%d\n", inputs, seconds,
                     seconds > 0 ? inputs / seconds : 0.0, large, Large.width(), Large.height());
    }
};

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

    static Rate rate;
    if (!rate.clock.isValid())
        rate.clock.start();
    ++rate.inputs;

    const wmf::Picture picture =
        wmf::Picture::fromData(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (picture.isNull())
        return 0;
    picture.naturalSize();
    const QSize target = drawSize(data, size);
    rate.large += target == Large;
    readText(picture, target);
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
