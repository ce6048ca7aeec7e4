// The roads of a VISA resource string: the simulated VISA library, and the simulated LAN-GPIB
// gateway spoken to natively over VXI-11, each driven through the tester session as the window
// and qlxctl drive it; and the ONC RPC and VXI-11 codecs on bytes a peer may send.
#include "link/discovery.h"
#include "link/gpibaddress.h"
#include "link/vxi11/oncrpc.h"
#include "link/visa/visalibrary.h"
#include "link/vxi11/vxi11.h"
#include "store/testersession.h"

#include "tests/support/filecontents.h"
#include "tests/support/simulated_tester.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTimer>
#include <QtTest>

using namespace qlx;

namespace {

const QByteArray kBytes = QByteArray("#9\0\n\r\x80 block", 12).repeated(5000);

OnConflict keep() { return OnConflict::Keep; }

// No VISA library: a gateway's resource goes the native road.
void withoutVisa()
{
    visa::unload();
    qputenv("QLXCOPY_VISA_LIBRARY", "/nonexistent/libvisa.so");
}

void withSimulatedVisa()
{
    visa::unload();
    qputenv("QLXCOPY_VISA_LIBRARY", SimulatedTester::buildPath(QStringLiteral("libqlxsim-visa.so")).toLocal8Bit());
}

// The simulated gateway; its portmapper port is the one the client asks.
QString startGateway(SimulatedTester& tester, const QStringList& options = {})
{
    const QString where = tester.startSerial(QStringList{"--gateway", "--timeout-ms", "300"} + options);
    qputenv("QLXCOPY_PORTMAPPER_PORT", where.section(u':', 1).toLatin1());
    return where.section(u':', 0, 0);
}

QByteArray reply(quint32 xid, const QByteArray& results)
{
    return rpc::XdrWriter().u32(xid).u32(1).u32(0).u32(0).u32(0).u32(0).bytes() + results;
}

} // namespace

class RoadsTest : public QObject {
    Q_OBJECT

    // Through the session at `address`: the listing holds `listed` files, HC1.WMF (kBytes) is
    // copied into `pc` and `toDelete` deleted, and the session is closed.
    static void copyOneDeleteOne(const QString& address, int listed, const QString& toDelete, const QString& pc)
    {
        TesterSession session(Bus::Gpib);
        const ConnectResult connected = session.connect(address);
        QVERIFY2(connected.opened, qPrintable(connected.openError));
        QCOMPARE(connected.id.verdict, Identification::Accepted);
        QCOMPARE(sortedHardcopies(session.readDirectory().listing).size(), listed);
        const TransferResult copied = session.fetch("HC1.WMF", pc, "HC1.WMF", keep);
        QCOMPARE(copied.status, TransferResult::Written);
        QCOMPARE(contents(copied.path), kBytes);
        QVERIFY(session.remove(toDelete).sent);
        session.close();
    }

private slots:
    void readsResourceStrings()
    {
        const auto text = [](const QString& t) {
            const std::optional<GpibAddress> a = parseGpibAddress(t);
            return a ? QStringLiteral("%1 %2 %3 %4").arg(int(a->kind)).arg(a->primary).arg(a->host, a->text())
                     : QStringLiteral("-");
        };
        QCOMPARE(text("GPIB0::20::INSTR"), QStringLiteral("3 20  GPIB0::20::INSTR"));
        QCOMPARE(text(" gpib1::7::3 "), QStringLiteral("3 7  gpib1::7::3"));
        QCOMPARE(text("GPIB::5"), QStringLiteral("3 5  GPIB::5"));
        QCOMPARE(text("tcpip0::10.1.2.3::GPIB0,20::instr"),
                 QStringLiteral("4 20 10.1.2.3 tcpip0::10.1.2.3::GPIB0,20::instr"));
        QCOMPARE(parseGpibAddress("TCPIP::gw-lab::gpib0,4")->gatewayDevice, QByteArray("gpib0,4"));
        for (const char* bad : {"GPIB0::31::INSTR", "GPIB0::x::INSTR", "GPIB0::INSTR", "GPIB0::1::2::3::INSTR",
                                "TCPIP0::host::inst0::INSTR", "TCPIP0::::gpib0,2::INSTR", "TCPIP0::host::gpib0,40",
                                "USB0::1::2::3::INSTR", "ASRL1::INSTR"})
            QCOMPARE(text(bad), QStringLiteral("-"));
        QCOMPARE(gatewayResource("10.0.0.9", 20), QStringLiteral("TCPIP0::10.0.0.9::gpib0,20::INSTR"));
    }

    // Whatever a peer sends, nothing is read past the bytes or over a bound.
    void rpcCodecs()
    {
        rpc::RecordReader records;
        const QByteArray message = rpc::callMessage(7, 100000, 2, 3, rpc::getPortArguments(0x0607AF, 1, 6));
        // Two fragments, the first not the last, then a whole record, fed a byte at a time.
        QByteArray twoFragments = rpc::recordOf(message.left(10));
        twoFragments[0] = 0;
        twoFragments += rpc::recordOf(message.mid(10)) + rpc::recordOf("x");
        QList<QByteArray> got;
        for (char c : twoFragments) {
            records.append(QByteArray(1, c));
            while (auto record = records.next())
                got << *record;
        }
        QCOMPARE(got, (QList<QByteArray>{message, "x"}));
        rpc::RecordReader huge;
        huge.append(QByteArray::fromHex("85000000"));
        QVERIFY(!huge.next() && huge.failed());

        const auto port = [](const QByteArray& m) {
            const auto r = rpc::decodeReply(m);
            return !r           ? QStringLiteral("none")
                   : r->results ? QString::number(rpc::decodePort(*r->results).value_or(0))
                                : r->error;
        };
        QCOMPARE(port(reply(7, rpc::XdrWriter().u32(4000).bytes())), QStringLiteral("4000"));
        QCOMPARE(port(reply(7, rpc::XdrWriter().u32(70000).bytes())), QStringLiteral("0"));
        QCOMPARE(port(rpc::XdrWriter().u32(7).u32(1).u32(0).u32(0).u32(0).u32(1).bytes()),
                 QStringLiteral("the program is not available there"));
        QCOMPARE(port(rpc::XdrWriter().u32(7).u32(1).u32(1).u32(0).u32(2).u32(2).bytes()),
                 QStringLiteral("the RPC version was refused"));
        QCOMPARE(port(message), QStringLiteral("none"));               // a call, not a reply
        QCOMPARE(port(reply(7, {}).left(18)), QStringLiteral("none")); // cut short
        QCOMPARE(port(rpc::XdrWriter().u32(7).u32(1).u32(0).u32(0).u32(401).bytes()), QStringLiteral("none"));

        const QByteArray read = rpc::XdrWriter().u32(0).u32(vxi11::kReasonEnd).opaque("abcde").bytes();
        QCOMPARE(vxi11::decodeReadResult(read, 5)->data, QByteArray("abcde"));
        QVERIFY(!vxi11::decodeReadResult(read, 4));                       // more than was asked for
        QVERIFY(!vxi11::decodeReadResult(read.left(read.size() - 1), 5)); // padding missing
        QVERIFY(!vxi11::decodeReadResult(rpc::XdrWriter().u32(0).u32(0).u32(0xFFFFFFFF).bytes(), 0xFFFFFFFF));
        QVERIFY(!vxi11::decodeLinkResult(rpc::XdrWriter().u32(0).u32(1).u32(0).bytes()));
    }

    void gatewayRoad()
    {
        withoutVisa();
        SimulatedTester tester;
        tester.addFile("HC1.WMF", kBytes);
        tester.addFile("HC2.WMF", "small");
        const QString host = startGateway(tester, {"--piece", "1000"});
        QTemporaryDir pc;
        copyOneDeleteOne("TCPIP0::" + host + "::gpib0,20::INSTR", 2, "HC2.WMF", pc.path());
        QTRY_VERIFY(!QFile::exists(tester.printDir + "/HC2.WMF"));
        QTRY_COMPARE(tester.busLog().filter("destroy-link").size(), 1);
        const QStringList log = tester.busLog();
        QCOMPARE(log.filter("create-link").value(0), QStringLiteral("create-link gpib0,20"));
        QVERIFY(log.contains(R"(MMEM:DATA? "HC1.WMF")"));
        QVERIFY(log.contains("go-to-local"));
        QCOMPARE(log.filter("query-error"), QStringList());

        // Discovery's portmapper call, sent to the loopback address instead of a broadcast one.
        QCOMPARE(gatewaysAnswering({QHostAddress(QHostAddress::LocalHost)}), QStringList{"127.0.0.1"});
    }

    // Each fault ends in a failure with its cause, and a broken transfer writes nothing.
    void gatewayFaults()
    {
        withoutVisa();
        QTemporaryDir pc;
        {
            SimulatedTester absent;
            const QString host = startGateway(absent, {"--address", "5"});
            TesterSession session(Bus::Gpib);
            QElapsedTimer clock;
            clock.start();
            const ConnectResult result = session.connect("TCPIP0::" + host + "::gpib0,20::INSTR");
            QVERIFY(result.opened);
            QCOMPARE(result.id.verdict, Identification::NotATester);
            QVERIFY(result.idn.text.isEmpty());
            QVERIFY2(clock.elapsed() < 3000, "one time-out, not one per call");
            QVERIFY(absent.busLog().contains("no-listener 20"));
        }
        {
            SimulatedTester refusing;
            const QString host = startGateway(refusing, {"--refuse-link"});
            TesterSession session(Bus::Gpib);
            const ConnectResult result = session.connect("TCPIP0::" + host + "::gpib0,20::INSTR");
            QVERIFY(!result.opened);
            QVERIFY2(result.openError.contains("refused the link to gpib0,20: out of resources (VXI-11 error 9)"),
                     qPrintable(result.openError));
        }
        for (const char* fault : {"drop-mid-block", "stop-mid-block"}) {
            SimulatedTester faulty;
            faulty.addFile("HC.WMF", kBytes);
            const QString host = startGateway(faulty, {"--fault", fault, "--piece", "4096"});
            TesterSession session(Bus::Gpib);
            QVERIFY(session.connect("TCPIP0::" + host + "::gpib0,20").opened);
            const TransferResult broken = session.fetch("HC.WMF", pc.path(), "HC.WMF", keep);
            QCOMPARE(broken.status, TransferResult::LinkBroken);
            QCOMPARE(QDir(pc.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        }
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        qputenv("QLXCOPY_PORTMAPPER_PORT", QByteArray::number(closed.serverPort()));
        closed.close();
        TesterSession session(Bus::Gpib);
        const ConnectResult nobody = session.connect("TCPIP0::127.0.0.1::gpib0,20::INSTR");
        QVERIFY(!nobody.opened);
        QVERIFY2(nobody.openError.contains("portmapper"), qPrintable(nobody.openError));
    }

    // abort() ends a wait on the gateway at once; the late reply to the abandoned call is passed
    // over, and the next exchange gets its own answer.
    void gatewayAbort()
    {
        withoutVisa();
        SimulatedTester tester;
        const QString host = startGateway(tester, {"--fault", "silent:MMEM:SCAN?", "--timeout-ms", "1500"});
        Transport transport;
        QString error;
        QVERIFY2(transport.openGpib(*parseGpibAddress("TCPIP0::" + host + "::gpib0,20"), nullptr, &error),
                 qPrintable(error));
        QTimer::singleShot(100, [&] { transport.abort(); });
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(transport.queryText(Bus::Gpib, "MMEM:SCAN?", 1000).outcome, Outcome::Aborted);
        QVERIFY(clock.elapsed() < 1000);
        const TextAnswer identity = transport.queryText(Bus::Gpib, "*IDN?", 500);
        QCOMPARE(identity.outcome, Outcome::Ok);
        QVERIFY2(identity.text.startsWith("Halvard&Brenn,QLX"), identity.text.constData());
    }

    void visaRoad_data()
    {
        QTest::addColumn<QString>("resource");
        QTest::newRow("gpib") << "GPIB0::20::INSTR";
        QTest::newRow("gateway") << "TCPIP0::gw-lab::gpib0,20::INSTR";
    }
    void visaRoad()
    {
        QFETCH(QString, resource);
        withSimulatedVisa();
        SimulatedTester tester;
        tester.useGpib();
        tester.addFile("HC1.WMF", kBytes);
        QTemporaryDir pc;
        copyOneDeleteOne(resource, 1, "HC1.WMF", pc.path());
        QVERIFY(!QFile::exists(tester.printDir + "/HC1.WMF"));
        const QStringList log = tester.busLog();
        QVERIFY(log.contains("viSetAttribute(1073676314,10000)")); // the time-out, 10 s
        QVERIFY(log.contains("viGpibControlREN(6)"));
    }

    void visaFaults()
    {
        withSimulatedVisa();
        SimulatedTester tester;
        tester.useGpib();
        tester.addFile("HC.WMF", kBytes);
        QTemporaryDir pc;
        TesterSession session(Bus::Gpib);
        qputenv("QLXSIM_FAULT", "stop-mid-block");
        QVERIFY(session.connect("GPIB0::20::INSTR").opened);
        QCOMPARE(session.fetch("HC.WMF", pc.path(), "HC.WMF", keep).status, TransferResult::LinkBroken);
        QCOMPARE(QDir(pc.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        qunsetenv("QLXSIM_FAULT");

        ConnectResult result = session.connect("GPIB0::7::INSTR");
        QVERIFY(result.opened);
        QCOMPARE(result.id.verdict, Identification::NotATester);

        qputenv("QLXSIM_VISA_REFUSE", "1");
        result = session.connect("GPIB0::20::INSTR");
        qunsetenv("QLXSIM_VISA_REFUSE");
        QVERIFY(!result.opened);
        QVERIFY2(result.openError.contains("VISA could not open GPIB0::20::INSTR: VISA status 0xbfff0011"),
                 qPrintable(result.openError));

        result = session.connect("GPIB0::40::INSTR");
        QVERIFY(!result.opened);
        QVERIFY(result.openError.startsWith("\"GPIB0::40::INSTR\" is no VISA resource string"));

        withoutVisa();
        result = session.connect("GPIB0::20::INSTR");
        QVERIFY(!result.opened);
        QVERIFY2(result.openError.startsWith("GPIB0::20::INSTR needs a VISA library"), qPrintable(result.openError));
    }
};

QTEST_GUILESS_MAIN(RoadsTest)
#include "test_roads.moc"
