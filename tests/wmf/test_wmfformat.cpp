// The metafile container, bitmap decoding and text helpers, on hand-made and damaged data.

#include "wmf/wmfdib.h"
#include "wmf/wmfformat.h"
#include "wmf/wmftext.h"
#include "tests/support/wmfbuilder.h"

#include <QtTest>

using namespace wmf;

namespace {
Bytes view(const QByteArray& b) { return Bytes(reinterpret_cast<const uchar*>(b.constData()), b.size()); }
} // namespace

class TestWmfFormat : public QObject {
    Q_OBJECT
private slots:
    void boundedReads()
    {
        const QByteArray data = WmfBuilder::words({0x1234, 0xABCD});
        const Bytes b = view(data);
        QCOMPARE(b.u16(0), 0x1234);
        QCOMPARE(b.u32(0), 0xABCD1234u);
        QVERIFY(b.ok());
        QCOMPARE(b.u32(2), 0u); // crosses the end
        QVERIFY(!b.ok());
        QVERIFY(!b.has(3, 2) && !b.has(-1, 1) && !b.has(0, -1));
        QCOMPARE(b.mid(3, 100).size(), 1);
        QCOMPARE(b.mid(5).size(), 0);
    }

    void headers()
    {
        const QByteArray placeable = WmfBuilder(QRect(10, 20, 300, 200), 1440).rect(0, 0, 5, 5).bytes();
        Header h = parseHeader(view(placeable));
        QVERIFY(h.valid && h.placeable);
        QCOMPARE(h.bbox, QRect(10, 20, 300, 200));
        QCOMPARE(h.unitsPerInch, 1440);
        QCOMPARE(h.firstRecord, 40);

        const QByteArray plain = WmfBuilder(QRect(), 0, false).rect(0, 0, 5, 5).bytes();
        h = parseHeader(view(plain));
        QVERIFY(h.valid && !h.placeable);
        QCOMPARE(h.firstRecord, 18);

        QVERIFY(!parseHeader(view(placeable.left(30))).valid); // placeable header without standard header
        QVERIFY(!parseHeader(view(QByteArray("GIF89a and more bytes here"))).valid);
        QVERIFY(!parseHeader(view(QByteArray())).valid);
    }

    void recordsStopAtDamage()
    {
        WmfBuilder b(QRect(), 0, false);
        b.rect(0, 0, 1, 1).rect(0, 0, 2, 2).rect(0, 0, 3, 3);
        QByteArray data = b.bytes();
        QCOMPARE(splitRecords(view(data), parseHeader(view(data))).size(), size_t(3));

        QByteArray truncated = data.left(18 + 14 + 14 + 5); // third record cut short
        QCOMPARE(splitRecords(view(truncated), parseHeader(view(truncated))).size(), size_t(2));

        for (uint32_t bad : {0u, 2u, 0x7FFFFFFFu, 0xFFFFFFFFu}) { // impossible sizes in the second record
            QByteArray broken = data;
            const QByteArray size = WmfBuilder::dword(bad);
            broken.replace(18 + 14, 4, size);
            const auto records = splitRecords(view(broken), parseHeader(view(broken)));
            QCOMPARE(records.size(), size_t(1));
        }
    }

    void dibDepths()
    {
        const QList<QRgb> two = {qRgb(255, 0, 0), qRgb(0, 0, 255)};
        // 1 bit: 3x2, bottom row first: bottom = 1,0,1 ; top = 0,1,0
        QImage img = decodeDib(view(WmfBuilder::dib(3, 2, 1, two, QByteArray("\xA0\0\0\0\x40\0\0\0", 8))));
        QCOMPARE(img.size(), QSize(3, 2));
        QCOMPARE(img.pixel(0, 1), two[1]);
        QCOMPARE(img.pixel(1, 1), two[0]);
        QCOMPARE(img.pixel(1, 0), two[1]);

        const QList<QRgb> sixteen = {qRgb(0, 0, 0), qRgb(10, 20, 30), qRgb(40, 50, 60)};
        img = decodeDib(view(WmfBuilder::dib(2, 1, 4, sixteen, QByteArray("\x12\0\0\0", 4))));
        QCOMPARE(img.pixel(0, 0), sixteen[1]);
        QCOMPARE(img.pixel(1, 0), sixteen[2]);

        img = decodeDib(view(WmfBuilder::dib(1, 1, 8, sixteen, QByteArray("\x02\0\0\0", 4))));
        QCOMPARE(img.pixel(0, 0), sixteen[2]);

        img = decodeDib(view(WmfBuilder::dib(1, 1, 16, {}, WmfBuilder::words({0x7C00, 0})))); // 5-5-5 red
        QCOMPARE(img.pixel(0, 0), qRgb(255, 0, 0));

        img = decodeDib(view(WmfBuilder::dib(1, 1, 24, {}, QByteArray("\x01\x02\x03\0", 4))));
        QCOMPARE(img.pixel(0, 0), qRgb(3, 2, 1));

        img = decodeDib(view(WmfBuilder::dib(1, 1, 32, {}, QByteArray("\x01\x02\x03\x00", 4))));
        QCOMPARE(img.pixel(0, 0), qRgb(3, 2, 1));

        // RLE8: a run of 3 pixels of index 2, end of line, then an absolute run of 3 pixels, end of bitmap.
        const QByteArray rle("\x03\x02\x00\x00\x00\x03\x01\x02\x01\x00\x00\x01", 12);
        img = decodeDib(view(WmfBuilder::dib(3, 2, 8, sixteen, rle, 1)));
        QCOMPARE(img.pixel(2, 1), sixteen[2]);
        QCOMPARE(img.pixel(0, 0), sixteen[1]);
        QCOMPARE(img.pixel(1, 0), sixteen[2]);
    }

    void hostileDibs()
    {
        const QList<QRgb> two = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
        QVERIFY(decodeDib(view(WmfBuilder::dib(0, 1, 1, two, QByteArray(4, 0)))).isNull());
        QVERIFY(decodeDib(view(WmfBuilder::dib(60000, 60000, 1, two, QByteArray(4, 0)))).isNull());  // too large
        QVERIFY(decodeDib(view(WmfBuilder::dib(4, 4, 7, two, QByteArray(16, 0)))).isNull());         // bad depth
        QVERIFY(decodeDib(view(WmfBuilder::dib(4, 4, 8, {}, QByteArray(16, 0)).left(60))).isNull()); // table cut off
        QByteArray hugeTable = WmfBuilder::dib(4, 4, 8, {}, QByteArray(16, 0));
        hugeTable.replace(32, 4, WmfBuilder::dword(0xFFFFFFF0u));
        QVERIFY(decodeDib(view(hugeTable)).isNull());
        QByteArray minHeight = WmfBuilder::dib(4, 4, 24, {}, QByteArray(48, 0));
        minHeight.replace(8, 4, WmfBuilder::dword(0x80000000u));
        QVERIFY(decodeDib(view(minHeight)).isNull());
        // Fewer rows than the header claims, or a run-length bitmap far larger than its runs can
        // fill: nothing is allocated for data that is not there.
        QVERIFY(decodeDib(view(WmfBuilder::dib(1, 4, 24, {}, QByteArray("\0\0\xFF\0", 4)))).isNull());
        QVERIFY(decodeDib(view(WmfBuilder::dib(4000, 4000, 8, two, QByteArray("\0\1", 2), 1))).isNull());
        // RLE deltas and runs that leave the bitmap are dropped.
        const QByteArray wild("\x00\x02\xFF\xFF\xFF\x05\x00\x10\x00\x01", 10);
        QCOMPARE(decodeDib(view(WmfBuilder::dib(2, 2, 8, two, wild, 1))).size(), QSize(2, 2));
    }

    void text()
    {
        QCOMPARE(decodeText("\x80 5 \xB0"
                            "C",
                            0),
                 QString::fromUtf8("€ 5 °C"));
        QCOMPARE(decodeText("\xC4", 204), QString::fromUtf8("Д"));
        QVERIFY(fontFamilies("Courier New", 0).contains("Liberation Mono"));
        QVERIFY(fontFamilies("Fixedsys", 0).contains("DejaVu Sans Mono"));
        QVERIFY(fontFamilies("MS Sans Serif", 0).contains("Liberation Sans"));
        QVERIFY(fontFamilies("Times New Roman", 0).contains("Liberation Serif"));
        QVERIFY(fontFamilies("", 0x31).contains("Liberation Mono")); // fixed pitch, modern family
        QCOMPARE(styleHint("Arial", 0), QFont::SansSerif);
    }
};

QTEST_MAIN(TestWmfFormat)
#include "test_wmfformat.moc"
