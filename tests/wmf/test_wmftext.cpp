// Text at every size: a picture drawn large and scaled down looks like the same picture drawn
// small, large captions leave ink where they stand, and damaged text draws at any size.

#include "wmf/wmfrender.h"
#include "tests/support/wmfbuilder.h"
#include "tests/support/wmfpictures.h"

#include <QPainter>
#include <QSvgRenderer>
#include <QtTest>
#include <array>

namespace {

// The mean colour of a square of `image`.
std::array<double, 3> meanColour(const QImage& image, int left, int top, int side)
{
    std::array<double, 3> sum{};
    for (int y = top; y < top + side; ++y)
        for (int x = left; x < left + side; ++x) {
            const QRgb p = image.pixel(x, y);
            sum[0] += qRed(p), sum[1] += qGreen(p), sum[2] += qBlue(p);
        }
    for (double& s : sum)
        s /= side * side;
    return sum;
}

// The largest difference per colour channel (0..255) between the mean colours of the tiles of two
// pictures of one size, each tile compared at the best of small sideways shifts: small text
// advances by whole pixels, so a line of it ends a few pixels off where the same line drawn large
// and scaled down ends.
double worstTile(const QImage& a, const QImage& b, int tile = 16, int shift = 4)
{
    double worst = 0;
    for (int ty = 0; ty + tile <= a.height(); ty += tile)
        for (int tx = 0; tx + tile <= a.width(); tx += tile) {
            const auto ma = meanColour(a, tx, ty, tile);
            double best = 255;
            for (int dx = -shift; dx <= shift; ++dx) {
                if (tx + dx < 0 || tx + dx + tile > a.width())
                    continue;
                const auto mb = meanColour(b, tx + dx, ty, tile);
                best = qMin(best, (qAbs(ma[0] - mb[0]) + qAbs(ma[1] - mb[1]) + qAbs(ma[2] - mb[2])) / 3);
            }
            worst = qMax(worst, best);
        }
    return worst;
}

int lightPixels(const QImage& image, QRect area)
{
    area &= image.rect();
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = area.left(); x <= area.right(); ++x)
            count += qGray(line[x]) > 160;
    }
    return count;
}

} // namespace

class TestWmfText : public QObject {
    Q_OBJECT
private slots:
    void largeLooksLikeSmall_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        for (const NamedPicture& p : samplesAndCorpus())
            QTest::newRow(qPrintable(p.name)) << p.bytes;
    }
    void largeLooksLikeSmall()
    {
        QFETCH(QByteArray, bytes);
        const wmf::Picture picture = wmf::Picture::fromData(bytes);
        const QSize small(640, 360);
        const QImage large = wmf::renderImage(picture, QSize(3840, 2160))
                                 .scaled(small, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                 .convertToFormat(QImage::Format_RGB32);
        const QImage reference = wmf::renderImage(picture, small);
        const double worst = worstTile(reference, large);
        QVERIFY2(worst < 25, qPrintable(QString("worst tile differs by %1").arg(worst)));

        // The SVG document of the large picture keeps its text too.
        QImage fromSvg(small, QImage::Format_RGB32);
        fromSvg.fill(Qt::white);
        QPainter painter(&fromSvg);
        QSvgRenderer(wmf::renderSvg(picture, QSize(3840, 2160))).render(&painter);
        painter.end();
        const double svgWorst = worstTile(reference, fromSvg);
        QVERIFY2(svgWorst < 25, qPrintable(QString("worst SVG tile differs by %1").arg(svgWorst)));
    }

    // Turned, aligned, spaced and clipped text lands in the same places at any size.
    void layoutHoldsAtEverySize()
    {
        const wmf::Picture picture = wmf::Picture::fromData(awkwardText());
        const QSize small(640, 360);
        const QImage reference = wmf::renderImage(picture, small);
        for (QSize large : {QSize(1920, 1080), QSize(3840, 2160), QSize(7680, 4320)}) {
            const QImage scaled =
                wmf::renderImage(picture, large).scaled(small, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            const double worst = worstTile(reference, scaled.convertToFormat(QImage::Format_RGB32));
            QVERIFY2(worst < 25,
                     qPrintable(QString("%1 wide: worst tile differs by %2").arg(large.width()).arg(worst)));
        }
    }

    // White on black, from small print to a heading across an 8K picture and a letter too large
    // to keep an image of, by each text record.
    void captionLeavesLightPixels_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("height"); // of the font, in logical units of the 1000 x 1000 frame
        QTest::addColumn<QByteArray>("text");
        struct Row {
            QSize size;
            int height;
            QByteArray text;
        };
        const Row rows[] = {{{400, 300}, 100, "HEAD"},
                            {{1600, 1200}, 100, "HEAD"},
                            {{3840, 2160}, 100, "HEAD"},
                            {{7680, 4320}, 200, "HEAD"},
                            {{2000, 2000}, 850, "H"}};
        for (const char* record : {"TextOut", "ExtTextOut", "ExtTextOut dx"})
            for (const Row& r : rows)
                QTest::addRow("%s %s %dx%d", record, r.text.constData(), r.size.width(), r.size.height())
                    << r.size << r.height << r.text;
    }
    void captionLeavesLightPixels()
    {
        QFETCH(QSize, size);
        QFETCH(int, height);
        QFETCH(QByteArray, text);
        const QByteArray tag = QTest::currentDataTag();
        WmfBuilder b;
        b.brush(0, Qt::black)
            .select(0)
            .rect(0, 0, 1000, 1000)
            .font(-height, "Arial")
            .select(1)
            .textColor(Qt::white)
            .bkMode(1);
        const int advance = height * 7 / 10;
        if (tag.startsWith("TextOut"))
            b.textOut(100, 100, text);
        else if (tag.contains("dx"))
            b.extTextOut(100, 100, text, QList<int>(text.size(), advance));
        else
            b.extTextOut(100, 100, text);
        const QImage image = wmf::renderImage(wmf::Picture::fromData(b.bytes()), size);
        const double kx = size.width() / 1000.0, ky = size.height() / 1000.0;
        const QRect box(QPoint(100 * kx, 100 * ky),
                        QPoint((100 + text.size() * advance + height / 4) * kx, (100 + height) * ky));
        const int inside = lightPixels(image, box);
        QVERIFY2(inside > box.width() * box.height() / 10, qPrintable(QString("%1 light pixels").arg(inside)));
        QCOMPARE(lightPixels(image, image.rect()), inside);
    }

    // Text in the default font, a pixel or so high when drawn small, with a character no font has
    // and widths that spread five characters over thousands of pixels. Qt's glyph cache crashed
    // on it at some sizes, 90x55 among them.
    void squeezedTextDrawsAtAnySize()
    {
        QFile file(sourceDir() + "/tests/wmf/data/glyph-crash-90x55.wmf");
        QVERIFY(file.open(QIODevice::ReadOnly));
        const wmf::Picture damaged = wmf::Picture::fromData(file.readAll());
        QVERIFY(!damaged.isNull());
        WmfBuilder b(QRect(0, 0, 1016, 66), 96);
        b.extTextOut(10, 10, "HH\x90HH", {600, 25928, 27756, 111, 60});
        const wmf::Picture spread = wmf::Picture::fromData(b.bytes());
        QList<QSize> sizes = {{90, 55}, {800, 600}, {3840, 2160}};
        for (int width = 20; width <= 400; width += 7)
            sizes.append(QSize(width, width * 55 / 90));
        for (QSize size : sizes) {
            wmf::renderImage(damaged, size);
            const QImage image = wmf::renderImage(spread, size);
            if (size.width() >= 800) { // the first letter, where it stands
                const QRect first(QPoint(0, 0), QSize(size.width() / 30, size.height() / 2));
                QVERIFY2(first.width() * first.height() - lightPixels(image, first) > 20,
                         qPrintable(QString::number(size.width())));
            }
        }
    }
};

QTEST_MAIN(TestWmfText)
#include "test_wmftext.moc"
