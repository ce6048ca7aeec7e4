// qlxsim as a client sees it: a raw serial device whose path is the first line of its output.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>

#include "tests/support/listing_check.h"
#include "tests/support/rawchannel.h"

namespace {

const std::string kIdn = "Halvard&Brenn,QLX,1234567/890,V3.10";
const std::string kRaw("A\0B\r\nC", 6);

} // namespace

class TestSimPty : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString folder() const { return dir_.path() + "/print"; }
    QString logPath() const { return dir_.path() + "/bus.log"; }

    QByteArray hardcopyBlock() const
    {
        QFile file(folder() + "/HC_0001.WMF");
        if (!file.open(QIODevice::ReadOnly))
            return {};
        const QByteArray data = file.readAll();
        return "#" + QByteArray::number(QByteArray::number(data.size()).size()) + QByteArray::number(data.size())
               + data;
    }

private slots:
    void initTestCase()
    {
        QCOMPARE(QProcess::execute(qEnvironmentVariable("QLX_BUILD_DIR") + "/qlxsamples", {folder()}), 0);
        std::ofstream(folder().toStdString() + "/Z.WMF", std::ios::binary) << kRaw;
    }

    void servesTheCommandsAndLogsThem()
    {
        SimProcess sim({"--dir", folder(), "--baud", "0", "--log", logPath()});
        QVERIFY(sim.where().startsWith("/dev/"));
        {
            Channel line(sim.where());
            QVERIFY(line.isOpen());
            line.send("*SEC 0\n");
            QCOMPARE(line.query("*IDN?\n", kIdn.size() + 2, 2000), kIdn + "\r\n");
            line.send("MMEM:CDIR \"\\USERDATA\\PRINT\"\n");
            QVERIFY(line.receive(1, 300).empty()); // no answer to a directory change
            line.send("MMEM:SCAN?\n");
            const std::string answer = line.receive(100000, 500);
            QVERIFY(answer.ends_with("\r\n"));
            QCOMPARE(hardcopiesInListing(answer, true)->size(), 5);
        }
        // The client closes the device and opens it again: the tester still serves.
        Channel again(sim.where());
        QCOMPARE(again.query("MMEM:DATA? \"Z.WMF\"\n", 11, 2000), "#16" + kRaw + "\r\n");
        again.send("MMEM:DEL \"Z.WMF\",INT\n*GTL\n");
        QVERIFY(again.query("*IDN?\n", kIdn.size() + 2, 2000).starts_with("Halv"));
        QVERIFY(!QFile::exists(folder() + "/Z.WMF"));

        QFile log(logPath());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromLatin1(log.readAll()).split('\n'),
                 QStringList({"*SEC 0\\n", "*IDN?\\n", "MMEM:CDIR \"\\\\USERDATA\\\\PRINT\"\\n", "MMEM:SCAN?\\n",
                              "MMEM:DATA? \"Z.WMF\"\\n", "MMEM:DEL \"Z.WMF\",INT\\n", "*GTL\\n", "*IDN?\\n", ""}));
    }

    void optionsShapeTheAnswers_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray request = "MMEM:DATA? \"HC_0001.WMF\"\n";
        const QByteArray block = hardcopyBlock();
        QTest::newRow("lf") << QStringList{"--terminator", "lf"} << QByteArray("*IDN?\n")
                            << QByteArray::fromStdString(kIdn + "\n");
        QTest::newRow("no-terminator") << QStringList{"--fault", "no-terminator"} << QByteArray("*IDN?\n")
                                       << QByteArray::fromStdString(kIdn);
        QTest::newRow("silent") << QStringList{"--fault", "silent"} << QByteArray("*IDN?\n") << QByteArray();
        QTest::newRow("old") << QStringList{"--old-firmware"} << QByteArray("*IDN?\n")
                             << QByteArray("Halvard&Brenn,QLX,1234567/890,V3.05\r\n");
        QTest::newRow("idn") << QStringList{"--idn", "X,Y"} << QByteArray("*IDN?\n") << QByteArray("X,Y\r\n");
        QTest::newRow("stop-mid-block") << QStringList{"--fault", "stop-mid-block"} << request
                                        << block.left(block.size() / 2);
    }

    void optionsShapeTheAnswers()
    {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, expected);
        SimProcess sim(QStringList{"--dir", folder(), "--baud", "0", "--log", ""} + options);
        Channel line(sim.where());
        line.send(command.toStdString());
        QCOMPARE(QByteArray::fromStdString(line.receive(100000, 500)), expected);
    }
};

QTEST_GUILESS_MAIN(TestSimPty)
#include "test_sim_pty.moc"
