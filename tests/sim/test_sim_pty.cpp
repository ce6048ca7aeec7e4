// qlxsim as a client sees it: a raw serial device whose path is the first line of its output, and
// the options that shape its answers. What it serves is followed through its bus log by the client tests.
#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
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

    // An option outside its mode, or a bad value among several, is refused before anything is served.
    void faultyLinesAreRefused_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("message");
        QTest::newRow("adapter only") << QStringList{"--gateway", "--tester-off"} << "--tester-off needs --adapter";
        QTest::newRow("gateway only") << QStringList{"--adapter", "ar488", "--piece", "5"} << "--piece needs --gateway";
        QTest::newRow("fault behind a bus")
            << QStringList{"--fault", "drop-mid-block"} << "--fault drop-mid-block needs --adapter or --gateway";
        QTest::newRow("every value") << QStringList{"--baud", "x", "--baud", "0"} << "bad --baud x";
    }

    void faultyLinesAreRefused()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, message);
        QProcess sim;
        sim.start(buildDir() + "/qlxsim", QStringList{"--dir", folder(), "--log", ""} + options);
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitCode(), 2);
        QVERIFY2(sim.readAllStandardError().startsWith("qlxsim: " + message.toLatin1() + ';'), qPrintable(message));
    }

    // The simulated libraries have no --help of their own: qlxsim's lists, once each, exactly the
    // variables the simulator's sources read.
    void helpListsTheEnvironment()
    {
        QSet<QString> read;
        const QRegularExpression literal(QStringLiteral("\"(QLXSIM_[A-Z_]+)\""));
        for (QDirIterator it(sourceDir() + "/sim", QDir::Files); it.hasNext();) {
            QFile source(it.next());
            if (it.fileName() == u"qlxsim_options.cpp" || !source.open(QIODevice::ReadOnly))
                continue;
            for (const auto& match : literal.globalMatch(QString::fromUtf8(source.readAll())))
                read << match.captured(1);
        }
        QVERIFY(read.contains("QLXSIM_DIR"));
        QProcess sim;
        sim.start(buildDir() + "/qlxsim", {"--help"});
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitCode(), 0);
        QStringList listed;
        const QRegularExpression entry(QStringLiteral("^  (QLXSIM_\\w+) "), QRegularExpression::MultilineOption);
        for (const auto& match : entry.globalMatch(QString::fromUtf8(sim.readAllStandardOutput())))
            listed << match.captured(1);
        QCOMPARE(QSet<QString>(listed.begin(), listed.end()), read);
        QCOMPARE(listed.size(), read.size());
    }
};

QTEST_GUILESS_MAIN(TestSimPty)
#include "test_sim_pty.moc"
