// qlxsim --adapter as a host driver sees it: raw bytes over a pseudo-terminal or a TCP connection,
// and the bus log that shows what reached the tester.
#include "tests/support/rawchannel.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>

namespace {

const std::string kRaw("A\0B\r\nC", 6);           // a file with CR LF inside
const std::string kBlock = "#16" + kRaw + "\r\n"; // the tester's answer for it
const std::string kEsc = "\x1b";
const std::string kIdn = "Halvard&Brenn,QLX,1234567/890,V3.10\r\n";
const std::string kAr488Version = "AR488 GPIB controller, ver. 0.53.03, 20/01/2025\r\n";

} // namespace

class TestSimAdapter : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString folder() const { return dir_.path(); }
    QString logPath() const { return dir_.path() + "/bus.log"; }

    QStringList log() const
    {
        QFile file(logPath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLatin1(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    SimProcess* start(const QString& model, bool tcp, const QStringList& more = {})
    {
        QFile::remove(logPath());
        QStringList options{"--adapter", model, "--dir", folder(), "--log", logPath()};
        if (tcp)
            options << "--tcp"
                    << "0";
        return new SimProcess(options + more);
    }

private slots:
    void initTestCase()
    {
        std::ofstream(folder().toStdString() + "/A+B.WMF", std::ios::binary) << kRaw;
        std::ofstream(folder().toStdString() + "/BIG.BIN", std::ios::binary) << std::string(2500, 'x');
    }

    // The same host session on each adapter and line.
    void session_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<bool>("tcp");
        QTest::addColumn<QByteArray>("version");
        QTest::addColumn<int>("eepromWrites");
        QTest::newRow("prologix-usb") << "prologix" << false
                                      << QByteArray("Prologix GPIB-USB Controller version 6.107\r\n") << 2;
        QTest::newRow("prologix-ethernet")
            << "prologix" << true << QByteArray("Prologix GPIB-ETHERNET Controller version 01.06.06.00\r\n") << 2;
        QTest::newRow("ar488-usb") << "ar488" << false << QByteArray::fromStdString(kAr488Version) << 1;
        QTest::newRow("ar488-wifi") << "ar488" << true << QByteArray::fromStdString(kAr488Version) << 1;
    }

    void session()
    {
        QFETCH(QString, model);
        QFETCH(bool, tcp);
        QFETCH(QByteArray, version);
        QFETCH(int, eepromWrites);
        std::unique_ptr<SimProcess> sim(start(model, tcp));
        Channel line(sim->where());
        QVERIFY(line.isOpen());
        if (model == "ar488") {
            // Opening resets it: what comes during the boot is lost, then the banner comes.
            line.send("++ver\n");
            QCOMPARE(line.receive(kAr488Version.size(), 2500), kAr488Version);
            QVERIFY(log().contains("ignored-input 6"));
        }
        QCOMPARE(QByteArray::fromStdString(line.query("++ver\n", version.size())), version);

        // Two settings while a Prologix still saves; the AR488 saves at ++savecfg, whatever follows.
        line.send("++addr 20\n++auto 0\n++savecfg 0\n++eoi 1\n++eos 3\n++read_tmo_ms 200\n");
        QCOMPARE(line.query("MMEM:DATA? \"A" + kEsc + "+B.WMF\"\n++read eoi\n", kBlock.size()), kBlock);

        // A bare ++read: the Prologix reads on until the gap, the AR488 stops at CR LF.
        const std::string bare = line.query("MMEM:DATA? \"A" + kEsc + "+B.WMF\"\r\n++read\r\n", kBlock.size(), 300);
        if (model == "ar488") {
            QCOMPARE(bare, kBlock.substr(0, 8));
            QCOMPARE(line.query("++read eoi\n", 3), kBlock.substr(8));
        } else {
            QCOMPARE(bare, kBlock);
        }

        line.send("++auto 1\n*SEC 0\n++auto 0\n*IDN?\n*IDN?\n");
        QVERIFY(line.receive(1, 300).empty()); // -420 after *SEC 0 ends the auto read at the gap
        QCOMPARE(line.query("++read eoi\n", kIdn.size()), kIdn);

        QCOMPARE(sim->stop(), QString("qlxsim: eeprom-writes %1\n").arg(eepromWrites));
        const QStringList events = log();
        QCOMPARE(events.filter(QRegularExpression("^eeprom-write ")).size(), eepromWrites);
        QCOMPARE(events.count("MMEM:DATA? \"A+B.WMF\""), 2);
        QCOMPARE(events.count("query-error -420"), 1);
        QCOMPARE(events.count("query-error -410"), 1);
        QCOMPARE(events.last(), QString("eeprom-writes %1").arg(eepromWrites));
    }

    // The tester stops every 1000 bytes for 400 ms: a shorter gap ends each read there, and the
    // host has to ask again until the whole block is in.
    void blockPauses_data()
    {
        QTest::addColumn<int>("gap");
        QTest::addColumn<bool>("severalReads");
        QTest::newRow("short gap") << 100 << true;
        QTest::newRow("long gap") << 1000 << false;
    }

    void blockPauses()
    {
        QFETCH(int, gap);
        QFETCH(bool, severalReads);
        std::unique_ptr<SimProcess> sim(start("prologix", true, {"--block-pause", "400:1000"}));
        Channel line(sim->where());
        line.send("++savecfg 0\n++addr 20\n++read_tmo_ms " + std::to_string(gap) + "\nMMEM:DATA? \"BIG.BIN\"\n");
        const std::string block = "#42500" + std::string(2500, 'x') + "\r\n";
        std::string got;
        int reads = 0;
        while (got.size() < block.size() && reads++ < 20)
            got += line.query("++read eoi\n", block.size() - got.size(), gap + 200);
        QCOMPARE(got, block);
        QCOMPARE(reads > 2, severalReads);
        QCOMPARE(log().filter("read-timeout").isEmpty(), !severalReads);
    }

    // Nobody at the address, the tester off, or the adapter gone halfway through a block.
    void nobodyAnswers()
    {
        std::unique_ptr<SimProcess> sim(start("prologix", false, {"--address", "7"}));
        Channel line(sim->where());
        QVERIFY(line.query("++savecfg 0\n++addr 20\n++read_tmo_ms 50\n*IDN?\n++read eoi\n", 100).empty());
        QVERIFY(log().contains("no-listener 20") && log().contains("no-talker 20"));
        QCOMPARE(line.query("++addr 7\n*IDN?\n++read eoi\n", kIdn.size()), kIdn);

        sim.reset(start("prologix", false, {"--tester-off"}));
        Channel off(sim->where());
        QVERIFY(off.query("++addr 20\n++ver\n", 44).starts_with("Prologix GPIB-USB"));
        QVERIFY(off.query("*IDN?\n++read eoi\n", 100, 1000).empty());

        sim.reset(start("prologix", true, {"--fault", "drop-mid-block:MMEM"}));
        {
            Channel dropped(sim->where());
            const std::string half = dropped.query("++addr 20\nMMEM:DATA? \"BIG.BIN\"\n++read eoi\n", 10000, 2000);
            QCOMPARE(half.size(), std::size_t(2508 / 2)); // and then the connection closed
        }
        Channel next(sim->where());
        QVERIFY(next.query("++ver\n", 55).starts_with("Prologix GPIB-ETHERNET"));
    }
};

QTEST_GUILESS_MAIN(TestSimAdapter)
#include "test_sim_adapter.moc"
