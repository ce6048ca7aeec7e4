// build/qlxctl as a user runs it, without a display, against the simulated tester on both buses.
#include "tests/support/filecontents.h"
#include "tests/support/mountedfolder.h"
#include "tests/support/ptypeer.h"
#include "tests/support/simulated_tester.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

#include <csignal>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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

    void startQlxctl(QProcess& process, const QStringList& arguments, const QStringList& extraEnvironment = {},
                     qint64 fileSizeLimit = -1)
    {
        if (fileSizeLimit >= 0)
            process.setChildProcessModifier([fileSizeLimit] {
                const rlimit limit{rlim_t(fileSizeLimit), rlim_t(fileSizeLimit)};
                setrlimit(RLIMIT_FSIZE, &limit);
            });
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            environment.remove(QString::fromLatin1(name));
        for (const QString& entry : extraEnvironment)
            environment.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
        process.setProcessEnvironment(environment);
        process.start(SimulatedTester::buildPath(QStringLiteral("qlxctl")), target + arguments);
        QVERIFY(process.waitForStarted());
    }

    Run qlxctl(const QStringList& arguments, const QStringList& extraEnvironment = {}, qint64 fileSizeLimit = -1)
    {
        QProcess process;
        startQlxctl(process, arguments, extraEnvironment, fileSizeLimit);
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

    static bool put(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }

    static QByteArray sampleHardcopy()
    {
        QTemporaryDir samples;
        QProcess::execute(SimulatedTester::buildPath("qlxsamples"), {samples.path()});
        return contents(samples.filePath("HC_0001.WMF"));
    }

    QStringList deletes() const { return tester->busLog().filter(QStringLiteral("MMEM:DEL")); }

    static QStringList files(const QString& folder) { return QDir(folder).entryList(QDir::Files | QDir::Hidden); }

private slots:
    void init() { tester = new SimulatedTester; }
    void cleanup() { delete tester; }

    void copiesListsAndDeletes_data()
    {
        QTest::addColumn<bool>("serial");
        QTest::addColumn<QStringList>("adapter");
        QTest::newRow("gpib") << false << QStringList();
        QTest::newRow("serial") << true << QStringList();
        QTest::newRow("gpib through a prologix on a pty") << false << QStringList{"--adapter", "prologix"};
        QTest::newRow("gpib through an ar488 on tcp") << false << QStringList{"--adapter", "ar488", "--tcp", "0"};
        QTest::newRow("gpib through a VISA library") << false << QStringList{"visa"};
        QTest::newRow("gpib through a LAN-GPIB gateway") << false << QStringList{"--gateway"};
    }
    void copiesListsAndDeletes()
    {
        QFETCH(bool, serial);
        QFETCH(QStringList, adapter);
        tester->addFile("b.WMF", kSecond);
        tester->addFile("A.wmf", kFirst);
        tester->addFile("notes.txt", "text");
        qputenv("QLXCOPY_VISA_LIBRARY", "/nonexistent/libvisa.so");
        if (adapter.isEmpty()) {
            useBus(serial);
        } else if (adapter == QStringList{"visa"}) {
            useBus(false);
            qputenv("QLXCOPY_VISA_LIBRARY", SimulatedTester::buildPath("libqlxsim-visa.so").toLocal8Bit());
            target = QStringList{"--bus", "ieee", "--address", "GPIB0::20::INSTR"};
        } else if (adapter == QStringList{"--gateway"}) {
            qputenv("QLXCOPY_PORTMAPPER_PORT", tester->startSerial(adapter).section(u':', 1).toLatin1());
            target = QStringList{"--bus", "ieee", "--address", "TCPIP0::127.0.0.1::gpib0,20::INSTR"};
        } else {
            target = QStringList{"--bus", "ieee", "--address", "20@" + tester->startSerial(adapter)};
        }
        QTemporaryDir pc;

        Run run = qlxctl({"list", "--json"});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, QByteArray(R"([{"name":"A.wmf","size":320},{"name":"b.WMF","size":1800}])"
                                     "\n"));
        QTRY_VERIFY(tester->endsInLocal());

        run = qlxctl({"--quiet", "get", "--all", "--to", pc.path()});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, QByteArray());
        QCOMPARE(contents(pc.filePath("A.wmf")), kFirst);
        QCOMPARE(contents(pc.filePath("b.WMF")), kSecond);
        QCOMPARE(QDir(pc.path()).entryList(QDir::Files).size(), 2);
        QTRY_VERIFY(tester->endsInLocal());

        // sync proves identical files by their bytes; only --trust-size goes by the listed size.
        qsizetype logged = tester->busLog().size(); // the serial simulator keeps its log open
        QCOMPARE(qlxctl({"sync", "--to", pc.path()}).status, 0);
        QCOMPARE(tester->busLog().mid(logged).join(u'\n').count("MMEM:DATA?"), 2);
        logged = tester->busLog().size();
        QCOMPARE(qlxctl({"sync", "--trust-size", "--to", pc.path()}).status, 0);
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
        QTRY_VERIFY(tester->endsInLocal()); // the simulator has logged all of the last run
        logged = tester->busLog().size();
        QCOMPARE(qlxctl({"delete", "b.WMF"}).status, 2);
        // (the end of the last run's link may still be logged meanwhile)
        QCOMPARE(tester->busLog().mid(logged).filter(QRegularExpression("^(MMEM|\\*|\\+\\+)")), QStringList());
        QCOMPARE(qlxctl({"delete", "--all", "--yes"}).status, 0);
        QTRY_VERIFY(tester->endsInLocal());
        const QStringList log = tester->busLog().mid(logged);
        const QString end = serial ? QStringLiteral("\\n") : QString();
        QVERIFY(log.contains(R"(MMEM:DEL "A.wmf",INT)" + end));
        QVERIFY(log.contains(R"(MMEM:DEL "b.WMF",INT)" + end));
        QVERIFY(!log.join(u'\n').contains("notes.txt"));
        QTRY_VERIFY(tester->endsInLocal());
        QCOMPARE(QDir(tester->printDir).entryList(QDir::Files), QStringList{"notes.txt"});
    }

    // A different hardcopy of the same size as the PC's file: only its bytes tell them apart.
    void sameSizeIsNotTheSameFile_data()
    {
        QTest::addColumn<bool>("serial");
        QTest::newRow("gpib") << false;
        QTest::newRow("serial") << true;
    }
    void sameSizeIsNotTheSameFile()
    {
        QFETCH(bool, serial);
        const QByteArray older = QByteArray("older screen ").repeated(30);
        const QByteArray newer = QByteArray("newer screen ").repeated(30);
        tester->addFile("HC_0001.WMF", newer);
        tester->addFile("HC_0002.WMF", kSecond);
        useBus(serial);
        QTemporaryDir pc;
        QFile file(pc.filePath("HC_0001.WMF"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(older) == older.size());
        file.close();

        Run run = qlxctl({"sync", "--to", pc.path()});
        QCOMPARE(run.status, 1);
        QVERIFY(run.err.contains("HC_0001.WMF: a different file is already there"));
        QCOMPARE(contents(pc.filePath("HC_0001.WMF")), older);
        QCOMPARE(contents(pc.filePath("HC_0002.WMF")), kSecond);
        QCOMPARE(qlxctl({"sync", "--trust-size", "--to", pc.path()}).status, 0);
        QCOMPARE(contents(pc.filePath("HC_0001.WMF")), older);

        // move keeps the conflicting file on the tester and moves the rest.
        run = qlxctl({"move", "--all", "--to", pc.path()});
        QCOMPARE(run.status, 1);
        QCOMPARE(deletes().size(), 1);
        QVERIFY(deletes().first().contains("HC_0002.WMF"));
        QCOMPARE(QDir(tester->printDir).entryList(QDir::Files), QStringList{"HC_0001.WMF"});

        // --rename writes beside the older file, once: a second run finds it there.
        QCOMPARE(qlxctl({"sync", "--rename", "--to", pc.path()}).status, 0);
        QCOMPARE(qlxctl({"sync", "--rename", "--to", pc.path()}).status, 0);
        QCOMPARE(files(pc.path()), QStringList({"HC_0001.WMF", "HC_0001_2.WMF", "HC_0002.WMF"}));
        QCOMPARE(contents(pc.filePath("HC_0001_2.WMF")), newer);
        QCOMPARE(qlxctl({"move", "HC_0001.WMF", "--rename", "--to", pc.path()}).status, 0);
        QCOMPARE(files(pc.path()).size(), 3);
        QCOMPARE(QDir(tester->printDir).entryList(QDir::Files), QStringList());
        QTRY_VERIFY(tester->endsInLocal());
    }

    // Whatever breaks while a hardcopy is moved, it stays on the tester and no partial file appears.
    void moveDeletesNothingItCannotProve_data()
    {
        QTest::addColumn<bool>("serial");
        QTest::addColumn<QString>("fault");
        for (bool serial : {false, true}) {
            const char* bus = serial ? "serial " : "gpib ";
            QTest::addRow("%slink dropped mid-block", bus) << serial << "stop-mid-block";
            QTest::addRow("%sread-only folder", bus) << serial << "read-only";
            QTest::addRow("%sfull disk", bus) << serial << "full";
        }
    }
    void moveDeletesNothingItCannotProve()
    {
        QFETCH(bool, serial);
        QFETCH(QString, fault);
        tester->addFile("HC_0001.WMF", kSecond);
        QTemporaryDir pc;
        QStringList environment;
        qint64 fileSizeLimit = -1;
        if (fault == u"stop-mid-block") {
            environment << "QLXSIM_FAULT=stop-mid-block";
        } else if (fault == u"full") {
            fileSizeLimit = 1000;
        } else if (geteuid() == 0) { // the superuser writes into read-only folders, not immutable ones
            if (QProcess::execute("chattr", {"+i", pc.path()}) != 0)
                QSKIP("no immutable folders here");
        } else {
            QVERIFY(QFile::setPermissions(pc.path(), QFile::ReadOwner | QFile::ExeOwner));
        }
        if (serial)
            useBus(true, environment.isEmpty() ? QStringList() : QStringList{"--fault", "stop-mid-block"});
        else
            useBus(false);

        const Run run = qlxctl({"move", "--all", "--to", pc.path()}, environment, fileSizeLimit);
        QProcess::execute("chattr", {"-i", pc.path()});
        QFile::setPermissions(pc.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(run.status, 1);
        QVERIFY(run.err.contains("HC_0001.WMF"));
        QCOMPARE(deletes(), QStringList());
        QCOMPARE(QDir(tester->printDir).entryList(QDir::Files), QStringList{"HC_0001.WMF"});
        QCOMPARE(files(pc.path()), QStringList());
    }

    // A block that is not exactly what the listing announced used to be written, "proven" against
    // itself, and the tester's hardcopy deleted: a cut or padded file, or junk that happened to
    // start like a block. Each road must refuse it, keep the hardcopy and clear the way for the
    // next command.
    void moveDeletesNoBlockThatFailsItsProof_data()
    {
        QTest::addColumn<QString>("road");
        QTest::addColumn<QString>("fault");
        for (const char* road : {"gpib", "serial", "adapter"})
            for (const char* fault : {"wrong-length", "extra-bytes", "listing-size", "garbage:MMEM:DATA?"})
                QTest::addRow("%s %s", road, fault) << road << fault;
    }
    void moveDeletesNoBlockThatFailsItsProof()
    {
        QFETCH(QString, road);
        QFETCH(QString, fault);
        tester->addFile("HC_0001.WMF", kSecond);
        tester->addFile("HC_0002.WMF", kFirst);
        QTemporaryDir pc;
        QStringList environment;
        if (road == u"gpib") {
            useBus(false);
            environment << "QLXSIM_FAULT=" + fault;
        } else if (road == u"serial") {
            useBus(true, {"--fault", fault});
        } else {
            const QString device = tester->startSerial({"--adapter", "prologix", "--fault", fault});
            target = QStringList{"--bus", "ieee", "--address", "20@" + device};
        }

        const Run run = qlxctl({"move", "--all", "--to", pc.path()}, environment);
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains("HC_0001.WMF: not copied"), run.err.constData());
        if (fault == u"wrong-length" || fault == u"listing-size")
            QVERIFY2(run.err.contains("its listing says"), run.err.constData());
        QCOMPARE(deletes(), QStringList());
        QCOMPARE(QDir(tester->printDir).entryList(QDir::Files), (QStringList{"HC_0001.WMF", "HC_0002.WMF"}));
        QCOMPARE(files(pc.path()), QStringList());
        // The tester was cleared before the request that followed a refused block.
        if (road != u"serial")
            QVERIFY(!tester->busLog().filter(road == u"gpib" ? "ibclr(" : "device-clear").isEmpty());
    }

    // Serial: the tester answers the request for A after the time-out and after a second of
    // quiet. That late answer used to be taken for B's (same size): B's copy held A's bytes, and
    // with one read B was deleted on the tester. The line is now brought back in step first.
    void lateAnswerIsNeverTakenForTheNext_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::newRow("move") << QStringList{"move", "--all"};
        QTest::newRow("move, one read") << QStringList{"move", "--all", "--read-once"};
        QTest::newRow("sync") << QStringList{"sync"};
    }
    void lateAnswerIsNeverTakenForTheNext()
    {
        QFETCH(QStringList, command);
        tester->addFile("A.WMF", QByteArray(600, 'a'));
        tester->addFile("B.WMF", QByteArray(600, 'b'));
        useBus(true, {"--fault", "late"});
        QTemporaryDir pc;

        const Run run = qlxctl(command + QStringList{"--to", pc.path()});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains("A.WMF: not copied"), run.err.constData());
        QCOMPARE(contents(pc.filePath("B.WMF")), QByteArray(600, 'b'));
        QCOMPARE(files(pc.path()), QStringList{"B.WMF"});
        QCOMPARE(QDir(tester->printDir).entryList(QDir::Files).contains("A.WMF"), true);
        QCOMPARE(tester->busLog().filter("*IDN?").size(), 2); // connect, then back in step
    }

    // A hardcopy written anew under its name and size while the pass went on (the rewrite fault:
    // each file handed out rewrites those handed out before) used to be deleted unseen after the
    // whole pass was copied. Each hardcopy is now deleted right after its own copy.
    void rewrittenHardcopyIsNeverDeletedUnseen_data()
    {
        QTest::addColumn<bool>("serial");
        QTest::newRow("gpib") << false;
        QTest::newRow("serial") << true;
    }
    void rewrittenHardcopyIsNeverDeletedUnseen()
    {
        QFETCH(bool, serial);
        for (const char* name : {"A.WMF", "B.WMF", "C.WMF"})
            tester->addFile(name, kFirst + name);
        if (serial)
            useBus(true, {"--fault", "rewrite"});
        else
            useBus(false);
        QTemporaryDir pc;
        const Run run = qlxctl({"move", "--all", "--to", pc.path()}, {"QLXSIM_FAULT=rewrite"});
        QCOMPARE(run.status, 0);
        for (const QString& line : tester->busLog().filter("rewrote "))
            QVERIFY2(QFile::exists(tester->printDir + u'/' + line.section(u' ', 1)), qPrintable(line));
        for (const char* name : {"A.WMF", "B.WMF", "C.WMF"})
            QCOMPARE(contents(pc.filePath(name)), kFirst + name);
    }

    // A listed name with a wildcard used to be sent as MMEM:DEL "*.WMF",INT, and a tester that
    // deletes every match emptied its print directory, with it a hardcopy kept on purpose.
    void wildcardNamesAreNeverSent()
    {
        tester->addFile("*.WMF", kFirst);
        tester->addFile("KEEP.WMF", kSecond);
        useBus(false);
        QTemporaryDir pc;
        QVERIFY(::mkfifo(QFile::encodeName(pc.filePath("KEEP.WMF")).constData(), 0600) == 0);
        for (const QStringList& command :
             {QStringList{"move", "--all", "--to", pc.path()}, QStringList{"delete", "--yes", "*.WMF"}}) {
            const Run run = qlxctl(command);
            QCOMPARE(run.status, 1);
            QVERIFY2(run.err.contains("*.WMF: not") && run.err.contains("the character *"), run.err.constData());
        }
        QCOMPARE(deletes(), QStringList());
        QCOMPARE(QDir(tester->printDir).entryList(QDir::Files).size(), 2);
    }

    // A device that trickles bytes without end (a meter on the wrong port, a line every 0.3 s
    // without CR LF) used to hold identify until 16 MiB had come: every answer has a deadline.
    void tricklingDeviceIsNoTester()
    {
        PtyPeer meter;
        QVERIFY(meter.valid());
        QTimer ticks;
        connect(&ticks, &QTimer::timeout, [&] {
            meter.send("+1.234E+00\n");
            meter.received();
        });
        ticks.start(300);
        target = QStringList{"--bus", "com", "--address", meter.slavePath()};
        QProcess process;
        startQlxctl(process, {"identify"});
        QDeadlineTimer limit(60000);
        while (process.state() != QProcess::NotRunning && !limit.hasExpired())
            QTest::qWait(100);
        QCOMPARE(process.exitCode(), 3);
        QVERIFY(process.readAllStandardError().contains("no tester answers at " + meter.slavePath().toLocal8Bit()));
    }

    // A write that failed (the folder moved away) used to be given up for good by a watch.
    void watchTriesAFailedWriteAgain()
    {
        useBus(false);
        QTemporaryDir pc;
        const QString folder = pc.filePath("archive"), away = pc.filePath("away");
        QVERIFY(QDir().mkpath(folder));
        QProcess watch;
        startQlxctl(watch, {"sync", "--watch", "1", "--to", folder});
        QTest::qWait(500);
        QVERIFY(QDir().rename(folder, away));
        tester->addFile("A.WMF", kFirst);
        QTest::qWait(2500);
        QVERIFY(QDir().mkpath(folder));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(folder + "/A.WMF"), 5000);
        ::kill(watch.processId(), SIGINT);
        QVERIFY(watch.waitForFinished(10000));
        QCOMPARE(contents(folder + "/A.WMF"), kFirst);
        QCOMPARE(watch.readAllStandardError().count("A.WMF: could not be written"), 1);
    }

    // Ctrl+C during a library call that blocks (a loose cable) used to be followed by "*IDN?" and
    // two go-to-locals: after the signal nothing more goes out, and the program ends with the call.
    void stopDuringABlockingLibraryCall()
    {
        useBus(false);
        QProcess process;
        startQlxctl(process, {"list"}, {"QLXSIM_BLOCK_MS=1500"});
        QTest::qWait(500);
        ::kill(process.processId(), SIGINT);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitCode(), 130);
        QVERIFY2(clock.elapsed() < 4000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(tester->busLog().filter("*IDN?"), QStringList());
        QVERIFY(tester->busLog().filter("ibloc").size() <= 1);
    }

    // A listing longer than one read used to be cut at 10,000 bytes: the hardcopies after the cut
    // were invisible, and move --all ended "done" with them still on the tester. And a serial
    // hardcopy under 15 bytes could not be copied at all.
    void longListingAndTinyFiles_data()
    {
        QTest::addColumn<bool>("serial");
        QTest::addColumn<QStringList>("adapter");
        QTest::newRow("gpib") << false << QStringList();
        QTest::newRow("serial") << true << QStringList();
        QTest::newRow("prologix") << false << QStringList{"--adapter", "prologix"};
        QTest::newRow("ar488 on tcp") << false << QStringList{"--adapter", "ar488", "--tcp", "0"};
    }
    void longListingAndTinyFiles()
    {
        QFETCH(bool, serial);
        QFETCH(QStringList, adapter);
        for (int i = 1; i <= 600; ++i)
            tester->addFile(QStringLiteral("HC_%1.WMF").arg(i, 4, 10, QLatin1Char('0')), "x");
        useBus(serial);
        if (!adapter.isEmpty())
            target = QStringList{"--bus", "ieee", "--address", "20@" + tester->startSerial(adapter)};
        const Run run = qlxctl({"list"});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out.count('\n'), 600);
        QVERIFY(run.out.endsWith("HC_0600.WMF\n"));
        QTemporaryDir pc;
        QCOMPARE(qlxctl({"get", "HC_0600.WMF", "--to", pc.path()}).status, 0);
        QCOMPARE(contents(pc.filePath("HC_0600.WMF")), QByteArray("x"));
    }

    // A name deleted on the tester and made again with other bytes is fetched and proved again.
    void watchFetchesARecreatedName()
    {
        tester->addFile("HC_0001.WMF", kFirst);
        useBus(false);
        QTemporaryDir pc;
        QProcess watch;
        startQlxctl(watch, {"sync", "--watch", "1", "--rename", "--to", pc.path()});
        QTRY_COMPARE_WITH_TIMEOUT(contents(pc.filePath("HC_0001.WMF")), kFirst, 30000);
        const auto scans = [this] { return tester->busLog().filter("MMEM:SCAN?").size(); };
        QFile::remove(tester->printDir + "/HC_0001.WMF");
        const qsizetype seen = scans();
        QTRY_VERIFY_WITH_TIMEOUT(scans() >= seen + 2, 30000);
        QByteArray other = kFirst;
        other[0] = 'x';
        tester->addFile("HC_0001.WMF", other);
        QTRY_COMPARE_WITH_TIMEOUT(contents(pc.filePath("HC_0001_2.WMF")), other, 30000);
        ::kill(static_cast<pid_t>(watch.processId()), SIGTERM);
        QVERIFY(watch.waitForFinished(30000));
        QCOMPARE(tester->busLog().filter("MMEM:DATA?").size(), 2);
    }

    // --convert draws a picture beside each hardcopy written; one that cannot be drawn is reported
    // and leaves its hardcopy as it came.
    void convertsBesideEachCopy()
    {
        tester->addFile("SCREEN.WMF", sampleHardcopy());
        tester->addFile("BROKEN.WMF", "no metafile");
        useBus(false);
        QTemporaryDir pc;
        const Run run = qlxctl({"get", "--all", "--convert", "png", "--to", pc.path()});
        QCOMPARE(run.status, 1);
        QVERIFY(run.err.contains("BROKEN.png"));
        QCOMPARE(files(pc.path()).size(), 3);
        QVERIFY(!QFile::exists(pc.filePath("BROKEN.png")));
        QCOMPARE(contents(pc.filePath("BROKEN.WMF")), QByteArray("no metafile"));
        QVERIFY(contents(pc.filePath("SCREEN.png")).startsWith("\x89PNG\r\n"));
    }

    // Guards against a USB stick (exFAT, mounted through FUSE as desktops do) taking no copy, picture
    // or rendering at all.
    void copiesOntoAUsbStick()
    {
        MountedFolder stick{MountedFolder::ExFat};
        if (!stick.skipReason().isEmpty())
            QSKIP(qPrintable(stick.skipReason()));
        const QByteArray hardcopy = sampleHardcopy();
        tester->addFile("SCREEN.WMF", hardcopy);
        useBus(false);
        QCOMPARE(qlxctl({"get", "SCREEN.WMF", "--convert", "png", "--to", stick.path()}).status, 0);
        QVERIFY(contents(stick.path() + "/SCREEN.png").startsWith("\x89PNG\r\n"));
        QCOMPARE(qlxctl({"move", "--all", "--to", stick.path()}).status, 0);
        QCOMPARE(contents(stick.path() + "/SCREEN.WMF"), hardcopy);
        QCOMPARE(QDir(tester->printDir).entryList(QDir::Files), QStringList());
        const QString pdf = stick.path() + "/SCREEN.pdf";
        QCOMPARE(QProcess::execute(SimulatedTester::buildPath("qlxrender"), {stick.path() + "/SCREEN.WMF", pdf}), 0);
        QVERIFY(contents(pdf).startsWith("%PDF"));
    }

    // Guards against writing through a symbolic link in the folder (over a file outside it, or
    // creating one there, and then deleting the tester's copy), against a link to the right bytes
    // passing for a copy, and against a named pipe making get wait forever.
    void linksAndPipesAreNoCopies()
    {
        for (const char* name : {"DANGLING.WMF", "LINK.WMF", "PIPE.WMF", "SAME.WMF"})
            tester->addFile(name, kSecond);
        useBus(false);
        QTemporaryDir pc, outside;
        const QString victim = outside.filePath("victim"), created = outside.filePath("created");
        QVERIFY(put(victim, "victim") && put(outside.filePath("same"), kSecond));
        QVERIFY(QFile::link(victim, pc.filePath("LINK.WMF")));
        QVERIFY(QFile::link(created, pc.filePath("DANGLING.WMF")));
        QVERIFY(QFile::link(outside.filePath("same"), pc.filePath("SAME.WMF")));
        QCOMPARE(::mkfifo(QFile::encodeName(pc.filePath("PIPE.WMF")).constData(), 0600), 0);

        for (const QStringList& command :
             {QStringList{"get", "--all", "--overwrite"}, QStringList{"move", "--all", "--overwrite"},
              QStringList{"move", "--all"}, QStringList{"sync", "--trust-size"}}) {
            const Run run = qlxctl(command + QStringList{"--to", pc.path()});
            QCOMPARE(run.status, 1);
            for (const char* name : {"DANGLING.WMF", "LINK.WMF", "PIPE.WMF", "SAME.WMF"})
                QVERIFY(run.err.contains(QByteArray(name) + ": a "));
        }
        QCOMPARE(contents(victim), QByteArray("victim"));
        QVERIFY(!QFile::exists(created));
        QCOMPARE(deletes(), QStringList());
        QCOMPARE(QDir(tester->printDir).entryList(QDir::Files).size(), 4);
        QCOMPARE(
            QDir(pc.path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot).size(), 4);
    }

    // Guards against --convert replacing the user's own picture beside a hardcopy, or writing
    // through a link; --rename numbers the picture as it numbers a hardcopy.
    void convertKeepsPicturesItDidNotDraw()
    {
        tester->addFile("SCREEN.WMF", sampleHardcopy());
        useBus(false);
        QTemporaryDir pc, outside;
        const QString picture = pc.filePath("SCREEN.png");
        QVERIFY(put(picture, "the user's own picture"));
        const auto convert = [&](const QStringList& options) {
            QFile::remove(pc.filePath("SCREEN.WMF"));
            return qlxctl(QStringList{"get", "SCREEN.WMF", "--convert", "png", "--to", pc.path()} + options);
        };
        Run run = convert({});
        QCOMPARE(run.status, 1);
        QVERIFY(run.err.contains(picture.toLocal8Bit() + ": a different file is already there"));
        QCOMPARE(contents(picture), QByteArray("the user's own picture"));
        QCOMPARE(convert({"--rename"}).status, 0);
        QCOMPARE(contents(picture), QByteArray("the user's own picture"));
        QVERIFY(contents(pc.filePath("SCREEN_2.png")).startsWith("\x89PNG\r\n"));
        QFile::remove(picture);
        QVERIFY(QFile::link(outside.filePath("picture"), picture));
        QCOMPARE(convert({"--overwrite"}).status, 1);
        QVERIFY(!QFile::exists(outside.filePath("picture")));
        QVERIFY(QFileInfo(picture).isSymLink());
    }

    // Guards against two moves into one folder losing a hardcopy: both saw the name free, both
    // wrote, the second rename replaced the first file, and both deleted. Two simulated testers,
    // one hardcopy name, other bytes; each hardcopy stays on its tester or is in the folder.
    void twoMovesIntoOneFolder_data()
    {
        QTest::addColumn<QStringList>("policy");
        QTest::newRow("keep") << QStringList();
        QTest::newRow("rename") << QStringList{"--rename"};
        QTest::newRow("overwrite") << QStringList{"--overwrite"};
    }
    void twoMovesIntoOneFolder()
    {
        QFETCH(QStringList, policy);
        useBus(false);
        SimulatedTester other;
        const QStringList otherTester{"QLXSIM_DIR=" + other.printDir, "QLXSIM_LOG=" + other.log};
        for (int round = 0; round < 10; ++round) {
            const QByteArray mine = kFirst + QByteArray::number(round), theirs = kSecond + QByteArray::number(round);
            tester->addFile("HC.WMF", mine);
            other.addFile("HC.WMF", theirs);
            QTemporaryDir pc;
            const QStringList move = QStringList{"--quiet", "move", "--all", "--to", pc.path()} + policy;
            // Each library call takes a moment, so that both runs have begun before either writes:
            // what one of them found in the folder at its start, it may overwrite.
            const QStringList slow{"QLXSIM_BLOCK_MS=30"};
            QProcess first, second;
            startQlxctl(first, move, slow);
            startQlxctl(second, move, otherTester + slow);
            QVERIFY(first.waitForFinished(60000) && second.waitForFinished(60000));

            QList<QByteArray> copies;
            for (const QString& name : files(pc.path()))
                copies << contents(pc.filePath(name));
            const bool mineThere = QFile::exists(tester->printDir + "/HC.WMF");
            const bool theirsThere = QFile::exists(other.printDir + "/HC.WMF");
            QVERIFY(mineThere || copies.contains(mine));
            QVERIFY(theirsThere || copies.contains(theirs));
            QCOMPARE(first.exitCode() == 0, !mineThere);
            QCOMPARE(second.exitCode() == 0, !theirsThere);
            // Keep: one moved, the other kept on its tester. Overwrite: the same, as neither may
            // replace a copy the other made. Rename: both moved, beside each other.
            const bool renamed = policy == QStringList{"--rename"};
            QCOMPARE(copies.size(), renamed ? 2 : 1);
            QCOMPARE(int(mineThere) + int(theirsThere), renamed ? 0 : 1);
            QFile::remove(tester->printDir + "/HC.WMF");
            QFile::remove(other.printDir + "/HC.WMF");
        }
    }

    // Guards against "deleted" and exit 0 for a file the tester kept, and against deleting
    // X.WMF when x.wmf was named: an exact name first, a single match in other case only without.
    void deleteSaysWhatTheTesterDid()
    {
        for (const char* name : {"x.wmf", "X.WMF", "Other.WMF"})
            tester->addFile(name, kFirst);
        useBus(false);
        Run run = qlxctl({"delete", "--yes", "x.wmf"});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.err, QByteArray("qlxctl: x.wmf: deleted\n"));
        QCOMPARE(deletes(), QStringList{R"(MMEM:DEL "x.wmf",INT)"});
        QCOMPARE(qlxctl({"delete", "--yes", "other.wmf"}).status, 0);
        QCOMPARE(deletes().last(), QStringLiteral(R"(MMEM:DEL "Other.WMF",INT)"));
        QCOMPARE(QDir(tester->printDir).entryList(QDir::Files), QStringList{"X.WMF"});

        tester->addFile("x.wmf", kFirst);
        run = qlxctl({"delete", "--yes", "X.wmf"});
        QCOMPARE(run.status, 1);
        QVERIFY(run.err.contains("X.wmf: no hardcopy of exactly that name"));
        QCOMPARE(deletes().size(), 2);

        run = qlxctl({"delete", "--yes", "X.WMF"}, {"QLXSIM_FAULT=ignore-delete"});
        QCOMPARE(run.status, 1);
        QCOMPARE(run.err, QByteArray("qlxctl: X.WMF: still listed on the tester after the delete\n"));
        QCOMPARE(QDir(tester->printDir).entryList(QDir::Files).size(), 2);

        QTemporaryDir pc;
        run = qlxctl({"--quiet", "move", "--all", "--to", pc.path()}, {"QLXSIM_FAULT=ignore-delete"});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.endsWith("qlxctl: 2 of the 2 hardcopies listed are still on the tester\n"),
                 run.err.constData());
    }

    // Guards against Ctrl+C or SIGTERM at the delete question being swallowed, so that a "y"
    // typed afterwards still deleted.
    void signalAtTheDeleteQuestion_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("ctrl+c") << SIGINT;
        QTest::newRow("sigterm") << SIGTERM;
    }
    void signalAtTheDeleteQuestion()
    {
        QFETCH(int, signal);
        tester->addFile("A.WMF", kFirst);
        useBus(false);
        const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(terminal >= 0 && grantpt(terminal) == 0 && unlockpt(terminal) == 0);
        const QByteArray user = ptsname(terminal);
        QProcess process;
        process.setChildProcessModifier([user] { ::dup2(::open(user.constData(), O_RDWR | O_NOCTTY), STDIN_FILENO); });
        startQlxctl(process, {"delete", "A.WMF"});
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT((said += process.readAllStandardError()).contains("Delete file A.WMF ? [y/N] "),
                                 30000);
        ::kill(static_cast<pid_t>(process.processId()), signal);
        QVERIFY(::write(terminal, "y\n", 2) == 2);
        QVERIFY(process.waitForFinished(30000));
        ::close(terminal);
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 128 + signal);
        QCOMPARE(deletes(), QStringList());
        QCOMPARE(QDir(tester->printDir).entryList(QDir::Files), QStringList{"A.WMF"});
    }

    // Guards against an answer that is no listing at all passing for an empty tester (exit 0).
    void answerThatIsNoListing()
    {
        tester->addFile("A.WMF", kFirst);
        useBus(false);
        QTemporaryDir pc;
        const Run run = qlxctl({"sync", "--to", pc.path()}, {"QLXSIM_FAULT=garbage:MMEM:SCAN?"});
        QCOMPARE(run.status, 3);
        QVERIFY(run.err.startsWith("qlxctl: the tester's answer to MMEM:SCAN? is not a directory listing\n"));
    }

    // discover finds the tester through the library, through an adapter and behind a gateway, at
    // its own address; what it prints for the gateway's tester is an address that moves its files.
    void discoversTesters()
    {
        useBus(false);
        const QString adapter = tester->startSerial({"--adapter", "prologix", "--address", "7"});
        SimulatedTester gateway;
        gateway.addFile("HC.WMF", kFirst);
        const QString portmapper = gateway.startSerial({"--gateway", "--address", "3", "--timeout-ms", "100"});
        qputenv("QLXCOPY_PORTMAPPER_PORT", portmapper.section(u':', 1).toLatin1());
        qputenv("QLXCOPY_VISA_LIBRARY", "/nonexistent/libvisa.so");
        Run run = qlxctl({"discover", "--adapter", adapter, "--gateway", "127.0.0.1", "--no-broadcast"});
        QCOMPARE(run.status, 0);
        const QByteArray identity = "Halvard&Brenn,QLX,1234567/890,V3.10";
        const QByteArray resource = "TCPIP0::127.0.0.1::gpib0,3::INSTR";
        QCOMPARE(run.out, "20\t" + identity + "\n7@" + adapter.toLocal8Bit() + "\t" + identity + "\n" + resource + "\t"
                              + identity + "\n");
        QCOMPARE(tester->busLog().filter("eeprom-write"), QStringList());
        QCOMPARE(gateway.busLog().filter("create-link").size(), 30);
        QTRY_COMPARE(gateway.busLog().filter("destroy-link").size(), 30);

        QTemporaryDir pc;
        target = QStringList{"--bus", "ieee", "--address", resource};
        run = qlxctl({"move", "--all", "--to", pc.path()});
        QCOMPARE(run.status, 0);
        QCOMPARE(contents(pc.filePath("HC.WMF")), kFirst);
        QCOMPARE(QDir(gateway.printDir).entryList(QDir::Files), QStringList());
    }

    void reportsUsageAndAbsentTester()
    {
        QCOMPARE(qlxctl({"fetch"}).status, 2);
        QCOMPARE(qlxctl({"get", "--all", "--to", "/nonexistent/folder"}).status, 2);
        // A named pipe as the settings file is refused, not waited on.
        QTemporaryDir settings;
        const QString pipe = settings.filePath("pipe.ini");
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        const Run refused = qlxctl({"list"}, {"QLXCOPY_SETTINGS=" + pipe});
        QCOMPARE(refused.status, 2);
        QVERIFY(refused.err.contains("the settings file is a named pipe, not a regular file"));

        useBus(false);
        tester->addFile("A.WMF", kFirst);
        const Run run = qlxctl({"identify"}, {"QLXSIM_OFF=1"});
        QCOMPARE(run.status, 3);
        QCOMPARE(run.out, QByteArray());
        QVERIFY(run.err.startsWith("qlxctl: no tester answers at 20 (ENOL: nobody listens at that address)\n"));
        QVERIFY(run.err.contains("Port must be set to GPIB"));

        const Run on = qlxctl({"identify"});
        QCOMPARE(on.status, 0);
        QCOMPARE(on.out, QByteArray("Halvard&Brenn\nQLX\n1234567/890\nV3.10\n"));

        // A tester that answers but lists another directory has a status of its own, and its
        // advice, like every message, reaches the terminal without CRs.
        const Run elsewhere = qlxctl({"list"}, {"QLXSIM_OLD_FIRMWARE=1", "QLXSIM_CURRENT_DIR=\\TEMP"});
        QCOMPARE(elsewhere.status, 4);
        QVERIFY(elsewhere.err.contains("the correct directory.\nYou have to change"));
        QVERIFY(!elsewhere.err.contains("check cables"));
        const Run noFirmware = qlxctl({"list"}, {"QLXSIM_IDN=Halvard&Brenn,QLX,1234"});
        QCOMPARE(noFirmware.status, 3);
        QVERIFY(noFirmware.err.contains("answer: \nHalvard&Brenn,QLX,1234\n"));
        for (const Run& run : {elsewhere, noFirmware})
            QVERIFY2(!run.err.contains('\r'), run.err.constData());
        // A gateway with nobody at the address: the same advice, within the time-out.
        SimulatedTester gateway;
        const QString portmapper = gateway.startSerial({"--gateway", "--address", "5", "--timeout-ms", "200"});
        target = QStringList{"--bus", "ieee", "--address", "TCPIP0::127.0.0.1::gpib0,20::INSTR"};
        const Run absent = qlxctl({"identify"}, {"QLXCOPY_PORTMAPPER_PORT=" + portmapper.section(u':', 1),
                                                 "QLXCOPY_VISA_LIBRARY=/nonexistent/libvisa.so"});
        QCOMPARE(absent.status, 3);
        QVERIFY(absent.err.contains("Port must be set to GPIB"));
        QCOMPARE(gateway.busLog().filter("no-listener 20").size(), 1);
    }

    // A GPIB board the PC cannot use is named as the cause, without advice about the tester's
    // settings; discover stops at it. A driver error's errno is never taken for an answer.
    void gpibBoardFailuresOnThePc()
    {
        useBus(false);
        const QByteArray cause = "qlxctl: GPIB board 0 is not available (EDVR): is the linux-gpib module loaded and "
                                 "`sudo gpib_config` run? See README\n";
        for (const char* board : {"QLXSIM_BOARD=missing", "QLXSIM_BOARD=unconfigured", "QLXSIM_BOARD=eio"}) {
            const Run run = qlxctl({"identify"}, {board});
            QCOMPARE(run.status, 3);
            QCOMPARE(run.err, cause);
        }
        tester->clearLog();
        const Run discover = qlxctl({"discover", "--no-broadcast"}, {"QLXSIM_BOARD=missing"});
        QCOMPARE(discover.status, 3);
        QCOMPARE(discover.err, cause + "qlxctl: no tester found\n");
        QCOMPARE(tester->busLog().size(), 1);
    }

    // A block refused as the last file's is cleared before the descriptor goes back, so that the
    // next session's first command finds the tester quiet.
    void refusedLastAnswerIsClearedAtTheEnd()
    {
        useBus(false);
        tester->addFile("A.WMF", kFirst);
        QTemporaryDir pc;
        const Run run = qlxctl({"get", "A.WMF", "--to", pc.path()}, {"QLXSIM_FAULT=extra-bytes"});
        QCOMPARE(run.status, 1);
        QTRY_COMPARE(tester->busLog().mid(tester->busLog().size() - 4),
                     QStringList({"ibloc(16)", "ibclr(16)", "ibloc(16)", "ibonl(16,0)"}));
    }

    void watchMovesNewFilesUntilTerminated()
    {
        tester->addFile("A.WMF", kFirst);
        useBus(true, {"--baud", "19200"});
        QTemporaryDir pc;
        QProcess watch;
        startQlxctl(watch, {"move", "--watch", "1", "--to", pc.path()});
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
        QCOMPARE(files(pc.path()), QStringList({"A.WMF", "B.WMF"}));
        QCOMPARE(QDir(tester->printDir).entryList(QDir::Files), QStringList{"LARGE.WMF"});
        QTRY_VERIFY(tester->endsInLocal());
    }
};

QTEST_GUILESS_MAIN(QlxctlTest)
#include "test_qlxctl.moc"
