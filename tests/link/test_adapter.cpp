// The IEEE bus through a "++" adapter: the simulated Prologix and AR488, on a pseudo-terminal and
// on TCP, driven through the tester session as the window and qlxctl drive it.
#include "link/gpibaddress.h"
#include "store/testersession.h"

#include "tests/support/filecontents.h"
#include "tests/support/simulated_tester.h"

#include <QTcpServer>
#include <QtTest>

using namespace qlx;

namespace {

// Binary bytes with the characters the adapter escapes, and a block-like header inside.
const QByteArray kBytes = QByteArray("\r\n\x1b+#9\0++read\n", 15).repeated(300);

OnConflict keep() { return OnConflict::Keep; }

} // namespace

class AdapterTest : public QObject {
    Q_OBJECT

private slots:
    void readsAddresses()
    {
        const auto text = [](const QString& t) {
            const std::optional<GpibAddress> a = parseGpibAddress(t);
            return a ? QStringLiteral("%1 %2").arg(int(a->kind)).arg(a->text()) : QStringLiteral("-");
        };
        QCOMPARE(text("20"), QStringLiteral("0 20"));
        QCOMPARE(text(" 7.6 "), QStringLiteral("0 8"));
        QCOMPARE(text("20@/dev/ttyUSB0"), QStringLiteral("1 20@/dev/ttyUSB0"));
        QCOMPARE(text("5@gpib-lab"), QStringLiteral("2 5@gpib-lab:1234"));
        QCOMPARE(text("5@10.0.0.7:4000"), QStringLiteral("2 5@10.0.0.7:4000"));
        QCOMPARE(text("5@[::1]:4000"), QStringLiteral("2 5@[::1]:4000"));
        for (const char* bad : {"31@host", "x@host", "5@", "5@host:0", "5@host:70000", "5@host:", "5@::1", "99999"})
            QCOMPARE(text(bad), QStringLiteral("-"));
    }

    void wholeRoad_data() { addAdapterRows(); }
    void wholeRoad()
    {
        QFETCH(QStringList, adapter);
        SimulatedTester tester;
        tester.addFile("A+B.WMF", kBytes);
        tester.addFile("C.WMF", "c");
        const QString where = tester.startSerial(adapter);
        QVERIFY(!where.isEmpty());
        QTemporaryDir pc;

        TesterSession session(Bus::Gpib);
        const ConnectResult connected = session.connect("20@" + where);
        QVERIFY2(connected.opened, qPrintable(connected.openError));
        QCOMPARE(connected.id.verdict, Identification::Accepted);
        QCOMPARE(sortedHardcopies(session.readDirectory().listing).size(), 2);
        const TransferResult copied = session.fetch("A+B.WMF", pc.path(), "A+B.WMF", keep);
        QCOMPARE(copied.status, TransferResult::Written);
        QCOMPARE(contents(copied.path), kBytes);
        QCOMPARE(session.fetch("A+B.WMF", pc.path(), "A+B.WMF", keep).status, TransferResult::Identical);
        QVERIFY(session.remove("A+B.WMF").sent);
        session.close();
        QTRY_VERIFY(!QFile::exists(tester.printDir + "/A+B.WMF"));

        // The tester receives exactly what the library road sends; the adapter's EEPROM is left alone.
        QTRY_VERIFY(tester.busLog().contains("go-to-local"));
        const QStringList log = tester.busLog();
        QVERIFY(log.contains(R"(MMEM:DATA? "A+B.WMF")"));
        QVERIFY(log.contains(R"(MMEM:DEL "A+B.WMF",INT)"));
        QCOMPARE(log.filter("eeprom-write"), QStringList());
        QCOMPARE(log.filter("query-error"), QStringList());
        if (adapter.contains("ar488"))
            QCOMPARE(log.filter("savecfg"), QStringList());
        else
            QCOMPARE(log.filter("savecfg").value(0), QStringLiteral("++savecfg 0"));
    }

    // The tester pauses longer than the adapter's longest gap inside a 4 MiB block.
    void blockWithLongPauses()
    {
        SimulatedTester tester;
        QByteArray big(4 * 1024 * 1024, '\0');
        for (qsizetype i = 0; i < big.size(); ++i)
            big[i] = char(i * 7 + (i >> 12));
        tester.addFile("BIG.WMF", big);
        const QString where = tester.startSerial({"--adapter", "prologix", "--block-pause", "3500:2000000"});
        QTemporaryDir pc;
        TesterSession session(Bus::Gpib);
        QVERIFY(session.connect("20@" + where).opened);
        const TransferResult copied = session.fetch("BIG.WMF", pc.path(), "BIG.WMF", keep);
        QCOMPARE(copied.status, TransferResult::Written);
        QVERIFY(contents(copied.path) == big);
        QVERIFY(!tester.busLog().filter("read-timeout").isEmpty());
    }

    // Each fault has its own message, and a broken transfer writes nothing.
    void faults()
    {
        TesterSession session(Bus::Gpib);
        ConnectResult result = session.connect("20@/dev/no-such-adapter");
        QVERIFY(!result.opened);
        QVERIFY(result.openError.contains("/dev/no-such-adapter"));

        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        result = session.connect(QStringLiteral("20@127.0.0.1:%1").arg(port));
        QVERIFY(!result.opened);
        QVERIFY(result.openError.contains(QStringLiteral("127.0.0.1:%1").arg(port)));

        SimulatedTester off;
        result = session.connect("20@" + off.startSerial({"--adapter", "prologix", "--tester-off"}));
        QVERIFY(result.opened && result.openError.isEmpty());
        QCOMPARE(result.id.verdict, Identification::NotATester);
        QVERIFY(result.idn.text.isEmpty());

        SimulatedTester dropping;
        dropping.addFile("HC.WMF", kBytes.repeated(20));
        QTemporaryDir pc;
        QVERIFY(session
                    .connect("20@"
                             + dropping.startSerial({"--adapter", "ar488", "--tcp", "0", "--fault", "drop-mid-block"}))
                    .opened);
        const TransferResult broken = session.fetch("HC.WMF", pc.path(), "HC.WMF", keep);
        QCOMPARE(broken.status, TransferResult::LinkBroken);
        QCOMPARE(QDir(pc.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }
};

QTEST_GUILESS_MAIN(AdapterTest)
#include "test_adapter.moc"
