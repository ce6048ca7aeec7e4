// The listing parser and the directory advice.
#include "store/listing.h"

#include <QTest>

using namespace qlx;

class ListingTest : public QObject {
    Q_OBJECT
private slots:
    void listsHardcopiesAsTheTesterSpellsThem()
    {
        const QString answer =
            QStringLiteral("001234,\"C:\\QLX\\USERDATA\\PRINT\",FREE 9000,\".\",DIR,0,\"HC_0002.WMF\",BIN,120,"
                           "\"trace.wmf\",BIN,5,\"Mixed.Wmf\",BIN,7,\"SETUP.TXT\",BIN,3,\"  spaced.WMF\",BIN,1,"
                           "\"late.WMF \",BIN,1,\"\"\",noDotWMF,\"\n");
        const Listing l = parseListing(answer, false);
        QVERIFY(l.directoryOk);
        QCOMPARE(l.hardcopies, QStringList({"HC_0002.WMF", "trace.wmf", "Mixed.Wmf", "spaced.WMF", "noDotWMF"}));
    }

    void serialLineEndKeepsItsCarriageReturn()
    {
        const Listing l = parseListing(QStringLiteral("000000,\"QLX\",F,\"A.WMF\",BIN,1,\"B.WMF\"\r\n"), true);
        QCOMPARE(l.hardcopies, QStringList({"A.WMF"})); // "B.WMF\"\r" is not a hardcopy name
    }

    void withoutTheMarkerOnlyTwoMoreCharactersGo()
    {
        QCOMPARE(parseListing(QStringLiteral("123456abX.WMF,Y.WMF"), true).hardcopies, QStringList({"X.WMF", "Y.WMF"}));
        QCOMPARE(parseListing(QStringLiteral("123456aX.WMF"), true).hardcopies, QStringList({".WMF"}));
    }

    void directoryCheckOnlyForOlderTesters()
    {
        const QString wrong = QStringLiteral("000100,\"C:\\TEMP\",FREE 1,\"A.WMF\",BIN,1\n");
        Listing l = parseListing(wrong, false);
        QVERIFY(!l.directoryOk);
        QVERIFY(l.hardcopies.isEmpty());
        QCOMPARE(l.rest, QStringLiteral(",\"C:\\TEMP\",FREE 1,\"A.WMF\",BIN,1"));
        QCOMPARE(parseListing(wrong, true).hardcopies, QStringList({"A.WMF"}));
        // The check word is case-sensitive; an empty answer fails it too.
        QVERIFY(!parseListing(QStringLiteral("000100,\"qlx\",F,\"A.WMF\""), false).directoryOk);
        QVERIFY(!parseListing(QString(), false).directoryOk);
        l = parseListing(QString(), true);
        QVERIFY(l.directoryOk && l.hardcopies.isEmpty());
        QVERIFY(parseListing(QStringLiteral("123456\n"), true).hardcopies.isEmpty());
    }

    void commandAndAdvice()
    {
        QCOMPARE(directoryChangeCommand(), QStringLiteral("MMEM:CDIR \"\\USERDATA\\PRINT\""));
        const QStringList lines = directoryAdvice().split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 7);
        QVERIFY(!directoryAdvice().endsWith(u'\n'));
        QCOMPARE(lines[2], QStringLiteral("(@CONSTDIRECTORYINTERNALPRINT\t-> change value to \"\\\")"));
        QCOMPARE(lines[3], QStringLiteral("(@INTERNALDRIVE\t\t\t-> change value to \"C\")"));
        QCOMPARE(lines[5], QStringLiteral("(@CONSTDIRECTORYINTERNAL\t\t-> change value to \"\")"));
    }
};

QTEST_GUILESS_MAIN(ListingTest)
#include "test_listing.moc"
