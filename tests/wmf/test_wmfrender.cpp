// Drawing: what the player makes of hand-made records, of damaged files, and of metafiles from
// real writers compared with reference renderings; the clipboard data.

#include "wmf/wmfclip.h"
#include "wmf/wmfclipboard.h"
#include "wmf/wmfrender.h"
#include "wmf/wmftext.h"
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

// The lengths of the runs of ink and of white along row `y`, from the first ink on.
QList<int> runs(const QImage& image, int y)
{
    QList<int> lengths;
    bool inInk = false;
    for (int x = 0; x < image.width(); ++x) {
        const bool isInk = !near(image.pixel(x, y), Qt::white, 60);
        if (lengths.isEmpty() && !isInk)
            continue;
        if (lengths.isEmpty() || isInk != inInk)
            lengths << 0;
        ++lengths.last();
        inInk = isInk;
    }
    return lengths;
}

// The first and last column of ink on row `y`.
std::pair<int, int> inkSpan(const QImage& image, int y)
{
    int first = -1, last = -1;
    for (int x = 0; x < image.width(); ++x)
        if (!near(image.pixel(x, y), Qt::white, 60)) {
            first = first < 0 ? x : first;
            last = x;
        }
    return {first, last};
}

// A picture 100 units square whose unit is `scale` pixels at its natural size.
WmfBuilder units(double scale = 1.32) { return WmfBuilder(QRect(0, 0, 100, 100), qRound(96 / scale)); }

constexpr int MoveTo = 0x0214, LineTo = 0x0213, SetRop2 = 0x0104, Ellipse = 0x0418;

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

    // GDI's dash patterns of a one-pixel pen are in device pixels, and a pen of 1.32 pixels is
    // one pixel wide.
    void dashesOfThinPens()
    {
        const QList<QList<int>> patterns = {{18, 6}, {3, 3}, {9, 6, 3, 6}, {9, 3, 3, 3, 3, 3}};
        for (int style = 1; style <= 4; ++style) {
            WmfBuilder b = units(1.32);
            b.pen(style, 1, Qt::black).select(0).rec(MoveTo, {50, 0}).rec(LineTo, {50, 100});
            const QImage img = render(b.bytes(), QSize(132, 132));
            const QList<int> expected = patterns[style - 1];
            QCOMPARE(runs(img, 66).mid(0, expected.size()), expected);
            QCOMPARE(ink(img, QRect(0, 65, 132, 1)) + ink(img, QRect(0, 67, 132, 1)), 0);
        }
    }

    // Pens are whole device pixels wide wherever they are: 1.32 pixels draw one, 2.64 three.
    void penWidthsInWholePixels()
    {
        for (const auto& [width, pixels] : {std::pair{1, 1}, std::pair{2, 3}}) {
            WmfBuilder b = units(1.32);
            b.pen(0, width, Qt::black).select(0);
            for (int x = 10; x < 90; x += 7)
                b.rec(MoveTo, {0, x}).rec(LineTo, {100, x});
            const QList<int> lengths = runs(render(b.bytes(), QSize(132, 132)), 66);
            for (qsizetype i = 0; i < lengths.size(); i += 2)
                QCOMPARE(lengths[i], pixels);
        }
    }

    // A box covers the pixels from round(left) to round(right) - 1, filled or framed.
    void boxEdges()
    {
        // 11..51 units at 1.32 pixels: 14.52..67.32, so columns 15..66.
        for (const bool framed : {false, true})
            for (const int function : {0x041B, Ellipse}) {
                WmfBuilder b = units(1.32);
                b.pen(framed ? 0 : 5, 0, Qt::black).select(0).brush(0, Red).select(1).rec(function, {51, 51, 11, 11});
                const QImage img = render(b.bytes(), QSize(132, 132));
                QCOMPARE(inkSpan(img, 41), std::pair(15, 66));
                if (framed)
                    QVERIFY(near(img.pixel(15, 41), Qt::black) && near(img.pixel(16, 41), Red));
            }
    }

    // R2_XORPEN on a framed, filled rectangle changes each pixel once: a white fill on white
    // turns black, a red frame cyan, and nothing is red, as where the fill and frame overlapped.
    void xorChangesEachPixelOnce()
    {
        WmfBuilder b = units(1);
        b.rec(SetRop2, {7}).pen(0, 2, Red).select(0).brush(0, Qt::white).select(1).rect(20, 20, 80, 80);
        const QImage img = render(b.bytes());
        QVERIFY(near(img.pixel(50, 50), Qt::black));
        QVERIFY(near(img.pixel(20, 50), Qt::cyan) && near(img.pixel(50, 20), Qt::cyan));
        int red = 0;
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 100; ++x)
                red += near(img.pixel(x, y), Red);
        QCOMPARE(red, 0);
    }

    // SetTextJustification widens the spaces of the text that follows by its extra width.
    void justifiedTextWidensTheSpaces()
    {
        const auto words = [](int extra) {
            WmfBuilder b(QRect(0, 0, 200, 50), 96);
            b.font(-20, "Arial").select(0).rec(0x020A, {1, extra}).textOut(10, 10, "HH HH");
            return inkSpan(render(b.bytes(), QSize(200, 50)), 22);
        };
        QCOMPARE(words(16).first, words(0).first);
        QCOMPARE(words(16).second - words(0).second, 16);
    }

    // OffsetViewportOrg moves by device pixels, whatever the viewport's extent.
    void viewportOffsetInDevicePixels()
    {
        WmfBuilder b(QRect(0, 0, 100, 100), 96);
        b.rec(0x020E, {1000, 1000}).rec(0x0211, {0, 20}).brush(0, Blue).select(0).pen(5, 0, Qt::black).select(1);
        b.rect(10, 10, 30, 30);
        QCOMPARE(inkSpan(render(b.bytes()), 20).first, 30);
        QCOMPARE(inkSpan(render(b.bytes(), QSize(200, 200)), 40).first, 60);
    }

    // A region record too short to hold a region creates no object: the objects after it keep
    // their slots, and selecting its index as the clip changes nothing.
    void malformedRegionCreatesNoObject()
    {
        WmfBuilder b = units(1);
        b.rec(0x06FF, {0, 6, 0, 0})
            .brush(0, Red)
            .brush(0, Blue)
            .rec(0x012C, {0})
            .select(1)
            .pen(5, 0, Qt::black)
            .select(2)
            .rect(0, 0, 100, 100);
        const QImage img = render(b.bytes());
        QVERIFY(near(img.pixel(50, 50), Blue));
    }

    // Text without widths advances by the font's hinted whole-pixel advances at the size drawn.
    void textAdvancesByHintedWidths()
    {
        const QByteArray text = "Frequency 10.00 MHz Span 1.000 kHz";
        WmfBuilder b(QRect(0, 0, 400, 40), 96);
        b.font(-9, "Arial").select(0).rec(0x012E, {2}).textOut(390, 10, text);
        const QImage img = render(b.bytes(), QSize(400, 40));
        int left = 400;
        for (int y = 0; y < 40; ++y)
            left = qMin(left, inkSpan(img, y).first < 0 ? 400 : inkSpan(img, y).first);
        QFont font;
        font.setFamilies(wmf::fontFamilies("Arial", 0));
        font.setPixelSize(9);
        font.setKerning(false);
        font.setHintingPreference(QFont::PreferFullHinting);
        const double hinted = QFontMetricsF(font).horizontalAdvance(QString::fromLatin1(text));
        font.setHintingPreference(QFont::PreferNoHinting);
        const double linear = QFontMetricsF(font).horizontalAdvance(QString::fromLatin1(text));
        QVERIFY2(qAbs(390 - left - hinted) <= 2,
                 qPrintable(QString("%1 wide, hinted %2, linear %3").arg(390 - left).arg(hinted).arg(linear)));
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
