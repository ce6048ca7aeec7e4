// The identification check of the tester's "*IDN?" answer.
#include "link/identify.h"

#include <QTest>

using namespace qlx;

class IdentifyTest : public QObject {
    Q_OBJECT
private slots:
    void makerAndModel()
    {
        QCOMPARE(identify(QStringLiteral("halvard,qlx,1,V3.10")).verdict, Identification::Accepted);
        QCOMPARE(identify(QStringLiteral("Other,QLX,1,V3.10")).verdict, Identification::NotATester);
        QCOMPARE(identify(QStringLiteral(" HALV,QLX,1,V3.10")).verdict, Identification::NotATester);
        QCOMPARE(identify(QStringLiteral("HALV,XYZ,1,V3.10")).verdict, Identification::NotATester);
        QCOMPARE(identify(QString()).verdict, Identification::NotATester);
    }

    void fieldErrorsCarryTheAnswer()
    {
        Identification id = identify(QStringLiteral("HALVARD QLX\n"));
        QCOMPARE(id.verdict, Identification::NoComma);
        QCOMPARE(id.errorText, QStringLiteral("ERROR: invalid *IDN? answer: \r\nHALVARD QLX\n"));
        id = identify(QStringLiteral("HALV,QLX,123"));
        QCOMPARE(id.verdict, Identification::NoFirmware);
        QCOMPARE(id.errorText, QStringLiteral("ERROR: missing firmware information in *IDN? answer: \r\nHALV,QLX,123"));
    }

    void firmwareDecidesTheDirectoryChange()
    {
        const QList<QPair<QString, bool>> cases = {{"V3.10", true},  {"V3.25", true}, {"V3.05", false},
                                                   {"V4.05", false}, {"3.10", false}, {" V3.10", false},
                                                   {"V2.50", false}, {"V9.99", true}};
        for (const auto& [field, expected] : cases) {
            const Identification id =
                identify(QStringLiteral("Halvard&Brenn,QLX,100/1,") + field + QStringLiteral("\r\n"));
            QCOMPARE(id.verdict, Identification::Accepted);
            QVERIFY2(id.canChangeDir == expected, qPrintable(field));
        }
        const Identification id = identify(QStringLiteral("HALV,QLX,1,V3.10\r\n"));
        QCOMPARE(id.firmware, QStringLiteral("3.10\r\n")); // the terminator stays on the last field
        QCOMPARE(identify(QStringLiteral("HALV,QLX,1,V3.10,extra")).firmware, QStringLiteral("3.10"));
    }
};

QTEST_GUILESS_MAIN(IdentifyTest)
#include "test_identify.moc"
