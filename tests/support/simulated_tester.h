#pragma once
// Starts the simulated tester for a test: on a pseudo-terminal (qlxsim) or behind the GPIB
// library (through the environment the simulated library reads at each ibdev).

#include "tests/support/testpaths.h"

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

class SimulatedTester {
public:
    SimulatedTester()
    {
        log = dir.filePath(QStringLiteral("bus.log"));
        printDir = dir.filePath(QStringLiteral("print"));
        QDir().mkpath(printDir);
    }
    ~SimulatedTester() { stopSerial(); }

    static QString buildPath(const QString& name) { return buildDir() + u'/' + name; }

    void addFile(const QString& name, const QByteArray& bytes)
    {
        QFile f(printDir + u'/' + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    // The GPIB side: the program loads the simulated library; the tester reads this at each ibdev.
    void useGpib(const QByteArray& extraIdn = {})
    {
        qputenv("QLXCOPY_GPIB_LIBRARY", buildPath(QStringLiteral("libqlxsim-gpib.so")).toLocal8Bit());
        qputenv("QLXSIM_DIR", printDir.toLocal8Bit());
        qputenv("QLXSIM_LOG", log.toLocal8Bit());
        qputenv("QLXSIM_TIMEOUT_MS", "200");
        if (!extraIdn.isEmpty())
            qputenv("QLXSIM_IDN", extraIdn);
        else
            qunsetenv("QLXSIM_IDN");
    }

    // The serial side: returns the device path of the simulated tester's line.
    QString startSerial(const QStringList& options = {})
    {
        serial.setProgram(buildPath(QStringLiteral("qlxsim")));
        serial.setArguments(QStringList{"--dir", printDir, "--log", log, "--baud", "0"} + options);
        serial.start();
        if (!serial.waitForStarted() || !serial.waitForReadyRead(5000))
            return {};
        return QString::fromLocal8Bit(serial.readLine()).trimmed();
    }
    void stopSerial()
    {
        if (serial.state() != QProcess::NotRunning) {
            serial.kill();
            serial.waitForFinished();
        }
    }

    // The bus log, one event or command per line.
    QStringList busLog() const
    {
        QFile f(log);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLatin1(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }
    void clearLog() const { QFile::remove(log); }
    // The go-to-local was the last the tester heard: only the link's end followed it (an adapter's
    // connection closed, a gateway's link destroyed, the library's descriptor given back).
    bool endsInLocal() const
    {
        QStringList events = busLog();
        events.removeAll(QStringLiteral("disconnect"));
        events.removeAll(QStringLiteral("destroy-link"));
        events.removeIf([](const QString& line) { return line.startsWith(u"ibonl("); });
        return !events.isEmpty()
               && (events.last() == u"*GTL\\n" || events.last().startsWith(u"ibloc(")
                   || events.last() == u"go-to-local");
    }

    QTemporaryDir dir;
    QString log;
    QString printDir;
    QProcess serial;
};

// A data column "adapter" with qlxsim's options for each adapter kind on each link.
inline void addAdapterRows()
{
    QTest::addColumn<QStringList>("adapter");
    QTest::newRow("prologix pty") << QStringList{"--adapter", "prologix"};
    QTest::newRow("prologix tcp") << QStringList{"--adapter", "prologix", "--tcp", "0"};
    QTest::newRow("ar488 pty") << QStringList{"--adapter", "ar488"};
    QTest::newRow("ar488 tcp") << QStringList{"--adapter", "ar488", "--tcp", "0"};
}
