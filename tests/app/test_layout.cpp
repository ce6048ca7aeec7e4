// Layout arithmetic of the window and the title composition.
#include "app/layout.h"
#include "app/title.h"

#include <QTest>

using namespace qlx;

class LayoutTest : public QObject {
    Q_OBJECT
private slots:
    void workedExampleAtMinimumSize()
    {
        const ResizeResult r = computeResize({9435, 6075, 9315, 5670});
        QVERIFY(!r.outerWidth && !r.outerHeight);
        QCOMPARE(r.paneWidth.value(), 7455.0);
        QCOMPARE(r.paneHeight.value(), 5670.0);
        QCOMPARE(r.fileFrameTop, 3720.0);
        QCOMPARE(r.listHeight.value(), 1500.0);
    }

    void snapsBackEachDimensionOnItsOwn()
    {
        ResizeResult r = computeResize({9000, 7000, 8880, 6595});
        QCOMPARE(r.outerWidth.value(), 9435.0);
        QVERIFY(!r.outerHeight);
        r = computeResize({12000, 5000, 11880, 4595});
        QVERIFY(!r.outerWidth);
        QCOMPARE(r.outerHeight.value(), 6075.0);
        QCOMPARE(r.fileFrameTop, 3720.0); // laid out for the raised height
    }

    void listsFollowTheFrame()
    {
        const ResizeResult small = computeResize({9435, 6075, 9315, 5670});
        const ResizeResult tall = computeResize({9435, 6675, 9315, 6270});
        QCOMPARE(tall.listHeight.value() - small.listHeight.value(), 600.0);
        QCOMPARE(tall.paneHeight.value() - small.paneHeight.value(), 600.0);
        // A client area narrower than the left column leaves the pane widths alone.
        QVERIFY(!computeResize({9435, 6075, 1800, 5670}).paneWidth);
    }

    void twipsAndPixels()
    {
        QCOMPARE(twipsToPixels(9435, 96), 629);
        QCOMPARE(twipsToPixels(60, 96), 4);
        QCOMPARE(twipsToPixels(1440, 144), 144);
        QCOMPARE(pixelsToTwips(629, 96), 9435.0);
    }

    void title()
    {
        const QDate date(2005, 7, 4);
        QCOMPARE(composeTitle(1, 4, 0, false, date), QStringLiteral("Halvard & Brenn QLXCopy, V 1.4 from 7/4/2005"));
        QCOMPARE(composeTitle(1, 4, 3, false, date),
                 QStringLiteral("Halvard & Brenn QLXCopy, V 1.4 beta 3 from 7/4/2005"));
        QCOMPARE(composeTitle(1, 4, 0, true, date),
                 QStringLiteral("Halvard & Brenn QLXCopy, V 1.4 from  !!DEBUG!! 7/4/2005"));
        QCOMPARE(composeTitle(1, 4, 0, false, QDate()), QStringLiteral("Halvard & Brenn QLXCopy, V 1.4 from "));
        QCOMPARE(composeTitle(1, 4, 0, false, QDate(2026, 12, 31)),
                 QStringLiteral("Halvard & Brenn QLXCopy, V 1.4 from 12/31/2026"));
    }
};

QTEST_GUILESS_MAIN(LayoutTest)
#include "test_layout.moc"
