// qlxsim as a client sees it: a raw serial device whose path is the first line of its output, and
// the options that shape its answers. What it serves is followed through its bus log by the client tests.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "tests/support/rawchannel.h"

namespace {

const std::string kIdn = "Halvard&Brenn,QLX,1234567/890,V3.10";

} // namespace

class TestSimPty : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString folder() const { return dir_.path() + "/print"; }

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
    void initTestCase() { QCOMPARE(QProcess::execute(buildDir() + "/qlxsamples", {folder()}), 0); }

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
