// build/qlxctl as a user runs it, without a display, against the simulated tester on both buses.
#include "../support/simulated_tester.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

#include <csignal>

namespace {

// Binary bytes, line ends and NULs included; longer than the serial block header window.
const QByteArray kFirst = QByteArray("\x01\x00\x09\x00\r\n\x1a\x00", 8).repeated(40);
const QByteArray kSecond = QByteArray("second\0hardcopy\r\n", 18).repeated(100);

struct Run {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

} // namespace

class QlxctlTest : public QObject {
    Q_OBJECT
    SimulatedTester* tester = nullptr;
    QStringList target; // --bus and --address of the simulated tester

    void startQlxctl(QProcess& process, const QStringList& arguments, const QStringList& extraEnvironment = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            environment.remove(QString::fromLatin1(name));
        for (const QString& entry : extraEnvironment)
            environment.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
        process.setProcessEnvironment(environment);
        process.start(SimulatedTester::buildPath(QStringLiteral("qlxctl")), target + arguments);
        QVERIFY(process.waitForStarted());
    }

    Run qlxctl(const QStringList& arguments, const QStringList& extraEnvironment = {})
    {
        QProcess process;
        startQlxctl(process, arguments, extraEnvironment);
        process.closeWriteChannel();
        process.waitForFinished(60000);
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
                process.readAllStandardError()};
    }

    void useBus(bool serial, const QStringList& simOptions = {})
    {
        if (serial) {
            const QString device = tester->startSerial(simOptions);
            QVERIFY(!device.isEmpty());
            target = QStringList{"--bus", "com", "--address", device};
        } else {
            tester->useGpib();
            target = QStringList{"--bus", "ieee", "--address", "20"};
        }
    }

    static QByteArray contents(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
    }

    bool endsInLocal() const
    {
        const QStringList log = tester->busLog();
        return !log.isEmpty() && (log.last() == u"*GTL\\n" || log.last().startsWith(u"ibloc("));
    }

private slots:
    void init() { tester = new SimulatedTester; }
    void cleanup() { delete tester; }

    void copiesListsAndDeletes_data()
    {
        QTest::addColumn<bool>("serial");
        QTest::newRow("gpib") << false;
        QTest::newRow("serial") << true;
    }
    void copiesListsAndDeletes()
    {
        QFETCH(bool, serial);
        tester->addFile("b.WMF", kSecond);
        tester->addFile("A.wmf", kFirst);
        tester->addFile("notes.txt", "text");
        useBus(serial);
        QTemporaryDir pc;

        Run run = qlxctl({"list", "--json"});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, QByteArray(R"([{"name":"A.wmf","size":320},{"name":"b.WMF","size":1800}])"
                                     "\n"));
        QVERIFY(endsInLocal());

        run = qlxctl({"--quiet", "get", "--all", "--to", pc.path()});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, QByteArray());
        QCOMPARE(contents(pc.filePath("A.wmf")), kFirst);
        QCOMPARE(contents(pc.filePath("b.WMF")), kSecond);
        QCOMPARE(QDir(pc.path()).entryList(QDir::Files).size(), 2);
        QVERIFY(endsInLocal());

        qsizetype logged = tester->busLog().size(); // the serial simulator keeps its log open
        QCOMPARE(qlxctl({"sync", "--to", pc.path()}).status, 0);
        QVERIFY(tester->busLog().mid(logged).join(u'\n').contains("MMEM:SCAN?"));
        QVERIFY(!tester->busLog().mid(logged).join(u'\n').contains("MMEM:DATA?"));

        // A different file of that name is kept and reported; --overwrite replaces it.
        QFile(pc.filePath("b.WMF")).remove();
        QFile changed(pc.filePath("b.WMF"));
        QVERIFY(changed.open(QIODevice::WriteOnly));
        changed.write("mine");
        changed.close();
        run = qlxctl({"get", "B.wmf", "--to", pc.path()});
        QCOMPARE(run.status, 1);
        QVERIFY(run.err.startsWith("qlxctl: ") && run.err.contains(pc.filePath("b.WMF").toLocal8Bit()));
        QCOMPARE(contents(pc.filePath("b.WMF")), QByteArray("mine"));
        QCOMPARE(qlxctl({"sync", "--overwrite", "--to", pc.path()}).status, 0);
        QCOMPARE(contents(pc.filePath("b.WMF")), kSecond);

        // Without a terminal, delete needs --yes and sends nothing without it.
        logged = tester->busLog().size();
        QCOMPARE(qlxctl({"delete", "b.WMF"}).status, 2);
        QCOMPARE(tester->busLog().size(), logged);
        QCOMPARE(qlxctl({"delete", "--all", "--yes"}).status, 0);
        const QStringList log = tester->busLog().mid(logged);
        const QString end = serial ? QStringLiteral("\\n") : QString();
        QVERIFY(log.contains(R"(MMEM:DEL "A.wmf",INT)" + end));
        QVERIFY(log.contains(R"(MMEM:DEL "b.WMF",INT)" + end));
        QVERIFY(!log.join(u'\n').contains("notes.txt"));
        QVERIFY(endsInLocal());
        QCOMPARE(QDir(tester->printDir).entryList(QDir::Files), QStringList{"notes.txt"});
    }

    void reportsUsageAndAbsentTester()
    {
        QCOMPARE(qlxctl({"fetch"}).status, 2);
        QCOMPARE(qlxctl({"get", "--all", "--to", "/nonexistent/folder"}).status, 2);

        useBus(false);
        tester->addFile("A.WMF", kFirst);
        const Run run = qlxctl({"identify"}, {"QLXSIM_OFF=1"});
        QCOMPARE(run.status, 3);
        QCOMPARE(run.out, QByteArray());
        QVERIFY(run.err.startsWith("qlxctl: "));
        QVERIFY(run.err.contains("Port must be set to GPIB"));

        const Run on = qlxctl({"identify"});
        QCOMPARE(on.status, 0);
        QCOMPARE(on.out, QByteArray("Halvard&Brenn\nQLX\n1234567/890\nV3.10\n"));
    }

    void watchCopiesNewFilesUntilTerminated()
    {
        tester->addFile("A.WMF", kFirst);
        useBus(true, {"--baud", "19200"});
        QTemporaryDir pc;
        QProcess watch;
        startQlxctl(watch, {"sync", "--watch", "1", "--to", pc.path()});
        QTRY_COMPARE_WITH_TIMEOUT(contents(pc.filePath("A.WMF")), kFirst, 30000);

        tester->addFile("B.WMF", kSecond);
        QTRY_COMPARE_WITH_TIMEOUT(contents(pc.filePath("B.WMF")), kSecond, 30000);

        // A large file takes seconds at 19200 baud: terminate while it arrives.
        tester->addFile("LARGE.WMF", QByteArray(200000, 'x'));
        QTRY_VERIFY_WITH_TIMEOUT(tester->busLog().join(u'\n').contains(R"(MMEM:DATA? "LARGE.WMF")"), 30000);
        ::kill(static_cast<pid_t>(watch.processId()), SIGTERM);
        QVERIFY(watch.waitForFinished(30000));
        QCOMPARE(watch.exitStatus(), QProcess::NormalExit);
        QCOMPARE(watch.exitCode(), 143);
        QCOMPARE(QDir(pc.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"A.WMF", "B.WMF"}));
        QTRY_VERIFY(endsInLocal());
    }
};

QTEST_GUILESS_MAIN(QlxctlTest)
#include "test_qlxctl.moc"
