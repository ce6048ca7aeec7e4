// The text a picture shows: in reading order whatever the order of the records, only what the
// clipping and the picture's edges let show, placed where the player draws it, in the characters
// of the font's character set; and the tester's sample screens read as a person reads them.

#include "wmf/wmfrender.h"
#include "wmf/wmftextruns.h"
#include "tests/support/wmfbuilder.h"
#include "tests/support/wmfpictures.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {

constexpr uint16_t SetTextAlign = 0x012E, ExcludeClipRect = 0x0415, IntersectClipRect = 0x0416;
const QSize Size(1000, 1000); // one pixel per logical unit of WmfBuilder's picture

// A picture of 1000 x 1000 logical units, one pixel each at its natural size.
WmfBuilder probe() { return WmfBuilder(QRect(0, 0, 1000, 1000), 96); }

wmf::TextLines linesOf(const WmfBuilder& b, QSize size = Size)
{
    return wmf::readingLines(wmf::Picture::fromData(b.bytes()), size);
}

QStringList textOf(const wmf::TextLines& lines) { return wmf::readingText(lines).split(u'\n', Qt::SkipEmptyParts); }

// Whether every dark pixel of `image` lies in one of the boxes (a pixel around them allowed for
// glyphs that overhang their cells) and every box holds some.
bool inkInBoxes(const QImage& image, const QList<QRectF>& boxes)
{
    QList<int> inked(boxes.size(), 0);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) > 128)
                continue;
            bool inside = false;
            for (qsizetype i = 0; i < boxes.size(); ++i)
                if (boxes[i].adjusted(-2, -2, 2, 2).contains(QPointF(x + 0.5, y + 0.5)))
                    inside = true, ++inked[i];
            if (!inside)
                return false;
        }
    return !inked.contains(0);
}

} // namespace

class TestWmfTextRuns : public QObject {
    Q_OBJECT
private slots:
    // Records written bottom up and right to left come out top to bottom and left to right; runs
    // whose extents overlap by more than half are one line, a turned run is a line of its own.
    void readingOrderWhateverTheRecordOrder()
    {
        WmfBuilder b = probe();
        b.font(-40, "Arial")
            .select(0)
            .textOut(100, 800, "last line")
            .textOut(700, 100, "right")
            .textOut(400, 110, "middle") // overlaps "right" by most of its height
            .textOut(100, 100, "left")
            .textOut(100, 140, "second") // overlaps the line above by less than half
            .font(-20, "Arial")
            .select(1)
            .textOut(600, 115, "small") // within the first line's extent
            .font(-40, "Arial", 400, 900)
            .select(2)
            .textOut(900, 400, "Upwards")
            .select(0)
            .textOut(100, 330, "beside the turned text");
        const wmf::TextLines lines = linesOf(b);
        QCOMPARE(textOf(lines),
                 QStringList({"left middle small right", "second", "Upwards", "beside the turned text", "last line"}));
        const wmf::TextRun& up = lines[2][0];
        QCOMPARE(up.angle, 90.0);
        QVERIFY(up.box.height() > 3 * up.box.width());
        QVERIFY(up.box.bottom() <= 401 && up.box.left() >= 899);

        // Each run's box is where the player draws its ink, at any size.
        for (QSize size : {Size, QSize(500, 500)}) {
            QList<QRectF> boxes;
            for (const QList<wmf::TextRun>& line : linesOf(b, size))
                for (const wmf::TextRun& run : line)
                    boxes << run.box;
            QVERIFY(inkInBoxes(wmf::renderImage(wmf::Picture::fromData(b.bytes()), size), boxes));
        }
    }

    // Only what shows: a character counts when the middle of its cell is within the clipping and
    // the picture; a record cut in the middle gives a run on each side.
    void clippedTextIsLeftOut()
    {
        WmfBuilder b = probe();
        // Liberation Mono's cells are 24 pixels wide at this size.
        b.font(-40, "Courier New")
            .select(0)
            .extTextOut(100, 100, "Clipped", {}, QRect(100, 100, 70, 50))
            .textOut(-500, 200, "far left")
            .textOut(990, 200, "at the edge")
            .rec(ExcludeClipRect, {350, 220, 300, 172}) // over the middles of D and E
            .textOut(100, 300, "ABCDEFGH")
            .rec(IntersectClipRect, {600, 1000, 0, 0})
            .textOut(100, 590, "below the clipping")
            .textOut(100, 500, "  above it  ");
        QCOMPARE(textOf(linesOf(b)), QStringList({"Cli", "ABC FGH", "above it"}));
        const QList<wmf::TextRun> split = linesOf(b)[1];
        QCOMPARE(split.size(), 2);
        QCOMPARE(split[1].box.left(), 100.0 + 5 * 24);
        QCOMPARE(split[1].box.width(), 3.0 * 24);
    }

    // With a spacing array, the cells are the record's; the clipping cuts by them.
    void spacingArrayPlacesTheCells()
    {
        WmfBuilder b = probe();
        b.font(-40, "Arial")
            .select(0)
            .extTextOut(100, 100, "WIDE", {100, 100, 100, 100})
            .extTextOut(100, 300, "CUT", {100, 100, 100}, QRect(100, 300, 230, 50));
        const wmf::TextLines lines = linesOf(b);
        QCOMPARE(textOf(lines), QStringList({"WIDE", "CU"}));
        QCOMPARE(lines[0][0].box.left(), 100.0);
        QCOMPARE(lines[0][0].box.width(), 400.0);
        QCOMPARE(lines[1][0].box.width(), 200.0);
    }

    // The characters are those of the font's character set, as the player decodes them.
    void characterSetsDecoded()
    {
        WmfBuilder b = probe();
        b.font(-40, "Arial", 400, 0, 0)
            .select(0)
            .textOut(100, 100, "\x80 5")
            .font(-40, "Terminal", 400, 0, 255) // OEM: code page 437
            .select(1)
            .textOut(100, 200,
                     "\x81"
                     "ber \xB0")
            .font(-40, "Symbol", 400, 0, 2) // no Windows-1252 in 0x80..0x9F
            .select(2)
            .textOut(100, 300, "\x80q");
        QCOMPARE(textOf(linesOf(b)), QStringList({QStringLiteral("\u20AC 5"), QStringLiteral("\u00FCber \u2591"),
                                                  QStringLiteral("\u0080q")}));
    }

    // JSON: each run with its place and size in pixels of the size asked for, colour, font, angle.
    void jsonDescribesEachRun()
    {
        WmfBuilder b = probe();
        b.font(-40, "Courier New")
            .select(0)
            .textColor(QColor(255, 0, 0))
            .textOut(100, 200, "Ref \"-10\" dBm")
            .font(-40, "Arial", 400, 2700)
            .select(1)
            .textOut(500, 600, "Down");
        for (int scale : {1, 2}) {
            const QSize size = Size * scale;
            const QJsonObject doc =
                QJsonDocument::fromJson(wmf::readingJson(linesOf(b, size), "HC_0001.WMF", size)).object();
            QCOMPARE(doc.value("file").toString(), QStringLiteral("HC_0001.WMF"));
            QCOMPARE(doc.value("width").toInt(), size.width());
            QCOMPARE(doc.value("height").toInt(), size.height());
            const QJsonArray runs = doc.value("runs").toArray();
            QCOMPARE(runs.size(), 2);
            const QJsonObject ref = runs[0].toObject();
            QCOMPARE(ref.value("text").toString(), QStringLiteral("Ref \"-10\" dBm"));
            QCOMPARE(ref.value("x").toDouble(), 100.0 * scale);
            QCOMPARE(ref.value("width").toDouble(), 13 * 24.0 * scale);
            QCOMPARE(ref.value("size").toDouble(), 40.0 * scale);
            QCOMPARE(ref.value("colour").toString(), QStringLiteral("#ff0000"));
            QCOMPARE(ref.value("font").toString(), QStringLiteral("Courier New"));
            QCOMPARE(runs[1].toObject().value("angle").toDouble(), 270.0);
            const QJsonObject down = runs[1].toObject();
            QVERIFY(qAbs(down.value("x").toDouble() + down.value("width").toDouble() - 500.0 * scale) < 0.2);
        }
    }

    // The tester's sample screens, as a person reads them.
    void sampleScreensRead()
    {
        QHash<QString, QString> texts;
        for (const NamedPicture& p : samplesAndCorpus())
            texts.insert(p.name, wmf::readingText(wmf::readingLines(wmf::Picture::fromData(p.bytes), QSize(800, 600))));
        QCOMPARE(texts.value("HC_0001.WMF"), QStringLiteral("QLX   Spectrum   RF Analyzer   900.000 MHz\n"
                                                            "M1 -12.4 dBm 900.000 MHz Center\n"
                                                            "Span\n"
                                                            "Ref Level\n"
                                                            "Marker\n"
                                                            "Peak Search\n"
                                                            "RBW 30 kHz   VBW 100 kHz   SWT 20 ms   Ref -10 dBm "
                                                            "Hardcopy\n"));
        const QStringList power = texts.value("HC_0002.WMF").split(u'\n');
        QCOMPARE(power.first(), QStringLiteral("QLX   Power vs Time   Burst   TCH 62"));
        QVERIFY(power.contains("M1 32.9 dBm M2 32.7 dBm"));
        QVERIFY(power.contains("Avg Burst Power 32.8 dBm   Template: PASSED"));
        QVERIFY(texts.value("trace_02.wmf").contains("\nRBW 30 kHz   Span 1 MHz   ACP -38.5 dB / -39.1 dB\n"));
        QVERIFY(texts.value("lo-screen.wmf").contains("Level: -23.4 dBm"));
    }

    // A file of a million tiny text records makes a bounded number of runs.
    void hostileRecordsMakeBoundedRuns()
    {
        WmfBuilder b = probe();
        b.font(-8, "Arial").select(0).rec(SetTextAlign, {0});
        for (int i = 0; i < 1'000'000; ++i)
            b.textOut(i % 997, i % 991, "x");
        qsizetype runs = 0;
        for (const QList<wmf::TextRun>& line : linesOf(b))
            runs += line.size();
        QVERIFY(runs > 1000 && runs <= 200'000);
    }
};

QTEST_MAIN(TestWmfTextRuns)
#include "test_wmftextruns.moc"
