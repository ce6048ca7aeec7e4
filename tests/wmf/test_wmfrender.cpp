// Drawing: what the player makes of hand-made records, of damaged files, and of metafiles from
// real writers compared with reference renderings; the clipboard data.

#include "wmf/wmfclip.h"
#include "wmf/wmfclipboard.h"
#include "wmf/wmfrender.h"
#include "tests/support/wmfbuilder.h"
#include "tests/support/wmfpictures.h"

#include <QMimeData>
#include <QPainter>
#include <QRandomGenerator>
#include <QSvgRenderer>
#include <QtTest>

namespace {

const QColor Red(255, 0, 0), Blue(0, 0, 255), Navy(0, 0, 128), Green(0, 160, 0);

QImage render(const QByteArray& bytes, QSize size = QSize(100, 100))
{
    const wmf::Picture picture = wmf::Picture::fromData(bytes);
    return wmf::renderImage(picture, size);
}

bool near(QRgb a, QColor b, int tolerance = 40)
{
    return qAbs(qRed(a) - b.red()) + qAbs(qGreen(a) - b.green()) + qAbs(qBlue(a) - b.blue()) <= tolerance;
}

// Pixels in `area` that are not `background`.
int ink(const QImage& image, QRect area, QColor background = Qt::white)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += !near(image.pixel(x, y), background, 60);
    return count;
}

QStringList corpus() { return corpusFiles(); }

} // namespace

class TestWmfRender : public QObject {
    Q_OBJECT
private slots:
    void mappingStretchesTheFrame()
    {
        WmfBuilder b;
        b.brush(0, Red).select(0).pen(5, 0, Qt::black).select(1).rect(0, 0, 500, 500);
        const QImage img = render(b.bytes(), QSize(200, 100));
        QVERIFY(near(img.pixel(50, 25), Red));
        QVERIFY(near(img.pixel(150, 75), Qt::white));
        QVERIFY(near(img.pixel(195, 45), Qt::white));

        // A plain metafile: its window origin and extent make the frame.
        WmfBuilder plain(QRect(), 0, false);
        plain.window(-100, -100, 200, 200).brush(0, Blue).select(0).rect(-100, -100, 0, 0);
        const QImage p = render(plain.bytes());
        QVERIFY(near(p.pixel(25, 25), Blue));
        QVERIFY(near(p.pixel(75, 75), Qt::white));

        // A metric map mode: y grows upwards, the picture still fills the target.
        WmfBuilder metric(QRect(), 0, false);
        metric.rec(0x0103, {2})
            .brush(0, Red)
            .select(0)
            .rect(0, 0, 100, -50)
            .brush(0, Blue)
            .select(1)
            .rect(0, -50, 100, -100);
        const QImage m = render(metric.bytes());
        QVERIFY(near(m.pixel(50, 20), Red));
        QVERIFY(near(m.pixel(50, 80), Blue));
    }

    void textColoursAndAlignment()
    {
        WmfBuilder b;
        b.brush(0, Navy)
            .select(0)
            .rect(0, 0, 1000, 1000)
            .font(-200, "Arial", 700)
            .select(1)
            .textColor(Qt::white)
            .bkMode(1)
            .rec(0x012E, {6 | 24})
            .textOut(500, 500, "HHH");
        const QImage img = render(b.bytes(), QSize(200, 200));
        int white = 0, black = 0;
        for (int y = 60; y < 120; ++y)
            for (int x = 20; x < 180; ++x) {
                white += near(img.pixel(x, y), Qt::white, 60);
                black += near(img.pixel(x, y), Qt::black, 60);
            }
        QVERIFY(white > 100);
        QCOMPARE(black, 0);
        // Centred on x = 500: ink on both sides; baseline at y = 500: nothing below the baseline.
        QVERIFY(ink(img, QRect(60, 70, 40, 30), Navy) > 0 && ink(img, QRect(100, 70, 40, 30), Navy) > 0);
        QCOMPARE(ink(img, QRect(5, 104, 190, 90), Navy), 0);

        // Opaque background mode fills behind the text with the background colour.
        for (int mode : {1, 2}) {
            WmfBuilder o;
            o.font(-200, "Courier New")
                .select(0)
                .raw(0x0201, WmfBuilder::color(Green))
                .bkMode(mode)
                .textOut(0, 0, "__");
            QCOMPARE(near(render(o.bytes()).pixel(2, 2), Green), mode == 2);
        }

        // TA_UPDATECP: the second string continues where the first one ended.
        WmfBuilder cp;
        cp.font(-100, "Courier New")
            .select(0)
            .rec(0x0214, {0, 0})
            .rec(0x012E, {1})
            .textOut(900, 900, "MMM")
            .textOut(900, 900, "MMM");
        const QImage c = render(cp.bytes(), QSize(400, 400));
        QVERIFY(ink(c, QRect(0, 0, 60, 40)) > 0);
        QVERIFY(ink(c, QRect(130, 0, 60, 40)) > 0);
        QCOMPARE(ink(c, QRect(0, 300, 400, 100)), 0);
    }

    void clippingAndSavedStates()
    {
        WmfBuilder b;
        b.pen(5, 0, Qt::black)
            .select(0)
            .brush(0, Red)
            .select(1)
            .rec(0x001E, {})
            .rec(0x0416, {1000, 500, 0, 0})    // IntersectClipRect: left small
            .rec(0x0415, {600, 400, 400, 100}) // ExcludeClipRect: a hole in it
            .rect(0, 0, 1000, 1000)
            .rec(0x0127, {-1}) // RestoreDC: clipping gone, red brush still there
            .brush(0, Blue)
            .select(2)
            .rect(900, 900, 1000, 1000);
        const QImage img = render(b.bytes());
        QVERIFY(near(img.pixel(10, 10), Red));
        QVERIFY(near(img.pixel(70, 30), Qt::white));
        QVERIFY(near(img.pixel(25, 50), Qt::white));
        QVERIFY(near(img.pixel(95, 95), Blue));
    }

    void brushesPensAndShapes()
    {
        WmfBuilder hatch;
        hatch.raw(0x0201, WmfBuilder::color(QColor(255, 255, 0)))
            .bkMode(2)
            .brush(2, Qt::black, 4)
            .select(0)
            .rect(0, 0, 1000, 1000);
        const QImage h = render(hatch.bytes());
        QVERIFY(ink(h, QRect(10, 10, 80, 80), QColor(255, 255, 0)) > 200); // hatch lines
        QCOMPARE(ink(h, QRect(10, 10, 80, 80)), 80 * 80);                  // no white left

        // Pie from the rightmost point to the top one: counter-clockwise, the top-right quarter.
        WmfBuilder pie;
        pie.pen(5, 0, Qt::black).select(0).brush(0, Red).select(1).rec(0x081A, {0, 500, 500, 1000, 1000, 1000, 0, 0});
        const QImage p = render(pie.bytes());
        QVERIFY(near(p.pixel(70, 30), Red));
        QVERIFY(near(p.pixel(30, 30), Qt::white) && near(p.pixel(70, 70), Qt::white));

        // Poly-polygon in alternate mode: the inner square is a hole. A deleted, still selected
        // brush keeps drawing; selecting an index outside the table changes nothing.
        WmfBuilder poly;
        poly.pen(5, 0, Qt::black)
            .select(0)
            .brush(0, Blue)
            .select(1)
            .remove(1)
            .select(999)
            .rec(0x0538, {2, 4, 4, 0, 0, 1000, 0, 1000, 1000, 0, 1000, 300, 300, 700, 300, 700, 700, 300, 700});
        const QImage pp = render(poly.bytes());
        QVERIFY(near(pp.pixel(10, 10), Blue));
        QVERIFY(near(pp.pixel(50, 50), Qt::white));

        // A wide pen scales with the picture.
        WmfBuilder line;
        line.pen(0, 100, Green).select(0).rec(0x0214, {500, 0}).rec(0x0213, {500, 1000});
        const QImage l = render(line.bytes());
        QVERIFY(near(l.pixel(50, 46), Green) && near(l.pixel(50, 54), Green));
        QVERIFY(near(l.pixel(50, 40), Qt::white));
    }

    void bitmapsAndRasterOps()
    {
        // 2x2, 24 bits: bottom row red, blue; top row green, white.
        QByteArray bits = QByteArray("\0\0\xFF\xFF\0\0\0\0", 8) + QByteArray("\0\xA0\0\xFF\xFF\xFF\0\0", 8);
        const QByteArray dib = WmfBuilder::dib(2, 2, 24, {}, bits);
        WmfBuilder b;
        b.stretchDib(dib, 2, 2, QRect(0, 0, 1000, 1000));
        const QImage img = render(b.bytes());
        QVERIFY(near(img.pixel(10, 90), Red));
        QVERIFY(near(img.pixel(90, 90), Blue));
        QVERIFY(near(img.pixel(10, 10), Green));

        // SRCAND of a black-and-white mask over red keeps red under white and blackens the rest;
        // SRCINVERT twice restores the background.
        const QByteArray mask =
            WmfBuilder::dib(2, 1, 1, {qRgb(0, 0, 0), qRgb(255, 255, 255)}, QByteArray("\x40\0\0\0", 4));
        WmfBuilder ops;
        ops.brush(0, Red)
            .select(0)
            .rect(0, 0, 1000, 1000)
            .stretchDib(mask, 2, 1, QRect(0, 0, 1000, 500), 0x8800C6)
            .stretchDib(dib, 2, 2, QRect(0, 500, 1000, 500), 0x660046)
            .stretchDib(dib, 2, 2, QRect(0, 500, 1000, 500), 0x660046);
        const QImage o = render(ops.bytes());
        QVERIFY(near(o.pixel(10, 25), Qt::black));
        QVERIFY(near(o.pixel(90, 25), Red));
        QVERIFY(near(o.pixel(10, 60), Red) && near(o.pixel(90, 95), Red));

        // An old monochrome bitmap takes the text colour for clear bits, the background for set ones.
        WmfBuilder mono;
        mono.textColor(Red)
            .raw(0x0201, WmfBuilder::color(Blue))
            .raw(0x0B23, WmfBuilder::dword(0xCC0020)
                             + WmfBuilder::words({1, 2, 0, 0, 1000, 1000, 0, 0, 0, 2, 1, 2, 0x0101, 0x0040}));
        const QImage m = render(mono.bytes());
        QVERIFY(near(m.pixel(20, 50), Red) && near(m.pixel(80, 50), Blue));

        // PatBlt with the selected brush.
        WmfBuilder pat;
        pat.brush(0, Green).select(0).raw(0x061D, WmfBuilder::dword(0xF00021) + WmfBuilder::words({500, 500, 0, 0}));
        const QImage pb = render(pat.bytes());
        QVERIFY(near(pb.pixel(25, 25), Green) && near(pb.pixel(75, 75), Qt::white));
    }

    void damagedFilesDrawWhatTheyCan()
    {
        // Records that claim more than they hold, absurd counts, indexes and sizes.
        WmfBuilder b;
        b.rec(0x0324, {32767, 0, 0, 10, 10})     // polygon with too few points
            .rec(0x0538, {65535, 3, 3})          // poly-polygon with too few counts
            .rec(0x0325, {-5, 1, 1})             // negative count
            .rec(0x0A32, {0, 0, 30000, 6, 1, 2}) // ExtTextOut longer than its record
            .rec(0x0521, {-3, 0, 0})             // TextOut with negative count
            .rec(0x020C, {0, 0})
            .rec(0x0410, {0, 1, 0, 1}) // zero window extent, zero scale
            .rec(0x012D, {65535})
            .rec(0x01F0, {65535})
            .rec(0x0127, {-30000})
            .rec(0x0127, {30000})
            .font(32767, "Arial")
            .select(0)
            .textOut(0, 0, "big")
            .raw(0x0F43, WmfBuilder::dword(0xCC0020) + WmfBuilder::words({0, 30000, 30000, 0, 0, 10, 10, 0, 0})
                             + WmfBuilder::dword(40))
            .rec(0x06FF, {0, 6, 0, 0, 0, 30000, 0, 0, 0, 10, 10}) // region with many scans, none there
            .rec(0x012C, {0})
            .brush(0, Blue) // a font as clip region: no clipping
            .select(2)
            .rect(0, 0, 1000, 1000);
        for (int i = 0; i < 5000; ++i)
            b.rec(0x001E, {}); // more saved states than are kept
        b.rec(0x0127, {-1}).rect(0, 0, 1000, 1000);
        const QImage img = render(b.bytes());
        QVERIFY(near(img.pixel(50, 50), Blue));

        // Every corpus file cut short and with bytes changed at random draws or does nothing.
        QRandomGenerator rng(20240607);
        for (const QString& path : corpus()) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray data = f.readAll();
            for (int cut = 0; cut < data.size(); cut += qMax<qsizetype>(1, data.size() / 40))
                render(data.left(cut), QSize(40, 30));
            for (int round = 0; round < 30; ++round) {
                QByteArray mutated = data;
                for (int k = 0; k < 8; ++k)
                    mutated[rng.bounded(int(mutated.size()))] = char(rng.bounded(256));
                render(mutated, QSize(40, 30));
            }
        }
    }

    void corpusMatchesReferences_data()
    {
        QTest::addColumn<QString>("file");
        for (const QString& path : corpus())
            QTest::newRow(qPrintable(QFileInfo(path).fileName())) << path;
    }
    void corpusMatchesReferences()
    {
        QFETCH(QString, file);
        const QImage reference(QString(file).replace(".wmf", ".png"));
        QVERIFY2(!reference.isNull(), "reference rendering missing");
        const wmf::Picture picture = wmf::Picture::load(file);
        QVERIFY(!picture.isNull());
        QVERIFY(qAbs(picture.naturalSize().width() - reference.width()) <= 2);
        const double d = difference(wmf::renderImage(picture, reference.size()), reference);
        qInfo("%s: difference %.2f", qPrintable(QFileInfo(file).fileName()), d);
        QVERIFY2(d < 6, qPrintable(QString("difference %1").arg(d)));
        // A picture of the wrong file is far off, so the measure does tell pictures apart.
        const QStringList all = corpus();
        const QString other = all[(all.indexOf(file) + 1) % all.size()];
        QVERIFY(difference(wmf::renderImage(wmf::Picture::load(other), reference.size()), reference) > d + 3);
    }

    void clipboardFormats()
    {
        QFile f(corpus().value(0));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        const wmf::Picture picture = wmf::Picture::fromData(bytes);
        std::unique_ptr<QMimeData> mime(wmf::wmfMimeData(picture));
        QVERIFY(mime->hasImage());
        QCOMPARE(qvariant_cast<QImage>(mime->imageData()).size(), wmf::renderSize(picture));
        QCOMPARE(mime->data(wmf::WmfMimeType), bytes);
        QCOMPARE(mime->data(wmf::OfficeWmfMimeType), bytes);
        QVERIFY(QSvgRenderer(mime->data("image/svg+xml")).isValid());
        QVERIFY(std::unique_ptr<QMimeData>(wmf::wmfMimeData(wmf::Picture()))->formats().isEmpty());
    }

    // Lines and areas cut to the drawing's reach draw what uncut ones draw inside it.
    void cuttingFarGeometryChangesNoPixel()
    {
        const QPolygonF far({{-3000, 40}, {150, 60}, {90, 5000}, {60, -4000}, {4000, 170}, {120, 120}, {30, 180}});
        const QRectF keep(-40, -40, 280, 280); // a 200x200 picture with room for a 20 px pen
        const auto draw = [](const std::function<void(QPainter&)>& shapes) {
            QImage image(200, 200, QImage::Format_RGB32);
            image.fill(Qt::white);
            QPainter painter(&image);
            painter.setPen(QPen(Qt::black, 20, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
            painter.setBrush(Qt::red);
            shapes(painter);
            return image;
        };
        const QImage line = draw([&](QPainter& p) { p.drawPolyline(far); });
        const QImage cutLine = draw([&](QPainter& p) {
            for (const QPolygonF& part : wmf::clipPolyline(far, keep))
                p.drawPolyline(part);
        });
        // Edges computed from cut ends may round to the next pixel; nothing more may change.
        const auto differing = [](const QImage& a, const QImage& b) {
            int count = 0;
            for (int y = 0; y < a.height(); ++y)
                for (int x = 0; x < a.width(); ++x)
                    count += a.pixel(x, y) != b.pixel(x, y);
            return count;
        };
        QVERIFY(differing(cutLine, line) <= 10);
        for (const Qt::FillRule rule : {Qt::OddEvenFill, Qt::WindingFill}) {
            const QImage area = draw([&](QPainter& p) { p.drawPolygon(far, rule); });
            const QImage cutArea = draw([&](QPainter& p) { p.drawPolygon(wmf::clipPolygon(far, keep), rule); });
            QVERIFY(differing(cutArea, area) <= 10);
        }
    }
};

QTEST_MAIN(TestWmfRender)
#include "test_wmfrender.moc"
