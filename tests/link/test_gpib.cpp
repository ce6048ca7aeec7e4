// The GPIB transport through the simulated NI-488.2 libraries (status words registered, per
// thread as linux-gpib has them, or as global data alone) and without any library at all.
#include "link/discovery.h"
#include "link/ni488/niglobal.h"
#include "link/transport.h"
#include "link/ni488/vbib32.h"
#include "tests/support/testpaths.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace qlx;

namespace {

struct DebugRecorder : TransportObserver {
    QByteArray buffer, answer;
    long count = -1;
    QString failedCall;
    int calls = 0;
    void gpibTextRead(const QByteArray& fullBuffer, long ibcntl, const QByteArray& cut, const QString& failed) override
    {
        buffer = fullBuffer;
        count = ibcntl;
        answer = cut;
        failedCall = failed;
        ++calls;
    }
};

const QByteArray kIdentity("Halvard&Brenn,QLX,1234567/890,V3.10\n");

} // namespace

class TestGpib : public QObject {
    Q_OBJECT
    QTemporaryDir folder;

    void useLibrary(const QString& name)
    {
        vbib32::unload();
        qputenv("QLXCOPY_GPIB_LIBRARY", (buildDir() + '/' + name).toLocal8Bit());
    }
    void writeFile(const QString& name, const QByteArray& bytes)
    {
        QFile f(folder.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(folder.isValid());
        qputenv("QLXSIM_DIR", folder.path().toLocal8Bit());
        qputenv("QLXSIM_TIMEOUT_MS", "50");
    }
    void init()
    {
        for (const char* name : {"QLXSIM_OFF", "QLXSIM_FAULT", "QLXSIM_REGISTER_RESULT", "QLXSIM_BLOCK_MS",
                                 "QLXSIM_BOARD", "QLXSIM_ADDRESS", "QLXSIM_LOG"})
            qunsetenv(name);
    }
    QStringList busLog(const QString& name) const
    {
        QFile f(folder.filePath(name));
        return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).split('\n', Qt::SkipEmptyParts)
                                           : QStringList();
    }

    void queriesThroughEachLibrary_data()
    {
        QTest::addColumn<QString>("library");
        QTest::newRow("registered") << "libqlxsim-gpib.so";
        QTest::newRow("per thread") << "libqlxsim-gpib-plain.so";
        QTest::newRow("global data") << "libqlxsim-gpib-data.so";
    }
    void queriesThroughEachLibrary()
    {
        QFETCH(QString, library);
        useLibrary(library);
        DebugRecorder debug;
        Transport link(&debug);
        qint16 handle = -1;
        QVERIFY(link.openGpib(20, &handle));
        QVERIFY(handle >= 0);

        TextAnswer idn = link.queryText(Bus::Gpib, "*IDN?", 500);
        QCOMPARE(idn.outcome, Outcome::Ok);
        QCOMPARE(idn.text, kIdentity);
        QCOMPARE(debug.calls, 0);
        QCOMPARE(ni::status().ibcntl(), kIdentity.size());

        link.setDebug(true);
        idn = link.queryText(Bus::Gpib, "*IDN?", 500);
        QCOMPARE(debug.calls, 1);
        QCOMPARE(debug.buffer, kIdentity + QByteArray(500 - kIdentity.size(), ' '));
        QCOMPARE(debug.count, kIdentity.size());
        QCOMPARE(debug.answer, kIdentity);

        const QByteArray data("\0WMF\r\n\0\x01\xff", 9);
        writeFile("A.WMF", data);
        writeFile("FIVE.WMF", "abcde"); // "#15abcde": too short for the serial rule, fine here
        writeFile("EMPTY.WMF", "");
        QCOMPARE(link.queryData(Bus::Gpib, "MMEM:DATA? \"A.WMF\"").data, data);
        QCOMPARE(link.queryData(Bus::Gpib, "MMEM:DATA? \"FIVE.WMF\"").data, QByteArray("abcde"));
        const DataAnswer empty = link.queryData(Bus::Gpib, "MMEM:DATA? \"EMPTY.WMF\"");
        QCOMPARE(empty.outcome, Outcome::Ok);
        QVERIFY(empty.data.isEmpty());
        QCOMPARE(link.goToLocal(Bus::Gpib), Outcome::Ok);
    }

    void brokenAndSilentBlocks()
    {
        useLibrary("libqlxsim-gpib.so");
        writeFile("B.WMF", QByteArray(1000, 'b'));
        Transport link;
        qputenv("QLXSIM_FAULT", "stop-mid-block");
        QVERIFY(link.openGpib(20));
        DataAnswer answer = link.queryData(Bus::Gpib, "MMEM:DATA? \"B.WMF\"");
        QCOMPARE(answer.outcome, Outcome::ShortRead);

        qputenv("QLXSIM_FAULT", "garbage");
        QVERIFY(link.openGpib(20));
        QVERIFY(link.queryData(Bus::Gpib, "MMEM:DATA? \"B.WMF\"").outcome != Outcome::Ok);

        qputenv("QLXSIM_OFF", "1"); // a switched-off tester: empty answers, no data
        QVERIFY(link.openGpib(20));
        QCOMPARE(link.queryText(Bus::Gpib, "*IDN?", 500).text, QByteArray());
        answer = link.queryData(Bus::Gpib, "MMEM:DATA? \"B.WMF\"");
        QCOMPARE(answer.outcome, Outcome::ShortRead);
        QVERIFY(answer.data.isEmpty());
    }

    void registrationResults_data()
    {
        QTest::addColumn<QByteArray>("result");
        QTest::addColumn<bool>("registered");
        QTest::newRow("0") << QByteArray("0") << true;
        QTest::newRow("1") << QByteArray("1") << true;
        QTest::newRow("2") << QByteArray("2") << false;
        QTest::newRow("3") << QByteArray("3") << false;
        QTest::newRow("other") << QByteArray("9") << false;
    }
    void registrationResults()
    {
        QFETCH(QByteArray, result);
        QFETCH(bool, registered);
        useLibrary("libqlxsim-gpib.so");
        qputenv("QLXSIM_REGISTER_RESULT", result);
        Transport link;
        link.openGpib(20);
        const TextAnswer idn = link.queryText(Bus::Gpib, "*IDN?", 500);
        QCOMPARE(ni::status().globalsRegistered, registered);
        QCOMPARE(idn.text, registered ? kIdentity : QByteArray());
        if (!registered) {
            QCOMPARE(ni::status().ibcntl(), ni::kRegistrationFailedCount);
            QCOMPARE(ni::status().ibsta, qint16(-32768));
            QCOMPARE(link.gpibFault().side, GpibFault::None); // the words are not the library's
        }
    }

    // ERR means the call failed, and iberr says why: a write that nobody listens to is not
    // followed by a read (no time-out waited), a driver error's errno is no count, and a board the
    // PC cannot use is named as such. The debug display names the failed call.
    void failedCallsAreReadFromTheStatus()
    {
        useLibrary("libqlxsim-gpib-plain.so");
        qputenv("QLXSIM_LOG", folder.filePath("bus.log").toLocal8Bit());
        qputenv("QLXSIM_ADDRESS", "7");
        DebugRecorder debug;
        Transport link(&debug);
        link.setDebug(true);
        QVERIFY(link.openGpib(20));
        const TextAnswer idn = link.queryText(Bus::Gpib, "*IDN?", 500);
        QCOMPARE(idn.outcome, Outcome::Ok);
        QCOMPARE(idn.text, QByteArray());
        QCOMPARE(link.gpibFault().side, GpibFault::Tester);
        QCOMPARE(link.gpibFault().text, QString("ENOL: nobody listens at that address"));
        QCOMPARE(debug.buffer, QByteArray(500, ' '));
        QCOMPARE(debug.failedCall, QString("ibwrt: ibsta 0x8000, iberr 2 (ENOL), ibcntl 0"));
        QCOMPARE(busLog("bus.log").filter("timed out"), QStringList());

        qputenv("QLXSIM_ADDRESS", "20");
        qputenv("QLXSIM_BOARD", "eio");
        QVERIFY(link.openGpib(20));
        QCOMPARE(link.queryText(Bus::Gpib, "*IDN?", 500).text, QByteArray());
        QCOMPARE(link.queryData(Bus::Gpib, "MMEM:DATA? \"A.WMF\"").outcome, Outcome::ShortRead);
        QCOMPARE(link.gpibFault().side, GpibFault::Pc);
        QVERIFY(link.gpibFault().text.startsWith("GPIB board 0 is not available (EDVR)"));

        qputenv("QLXSIM_BOARD", "missing");
        QVERIFY(!link.openGpib(20));
        QCOMPARE(link.gpibFault().side, GpibFault::Pc);
        QCOMPARE(link.gpibFault().text, QString("GPIB board 0 is not available (EDVR): is the linux-gpib module "
                                                "loaded and `sudo gpib_config` run? See README"));
    }

    // Each device gives its descriptor back when it is closed: connecting more often than the
    // library's table holds (4080) still works, and discovery's 30 descriptors go back as well.
    void descriptorsAreGivenBack()
    {
        useLibrary("libqlxsim-gpib.so");
        Transport link;
        for (int i = 0; i < 4100; ++i)
            QVERIFY2(link.openGpib(20), qPrintable(QString::number(i)));
        link.closeGpib(false);
        qputenv("QLXSIM_LOG", folder.filePath("discover.log").toLocal8Bit());
        QStringList problems;
        QCOMPARE(discoverTesters({}, {}, &problems).size(), 1);
        const QStringList log = busLog("discover.log");
        QCOMPARE(log.filter(QRegularExpression("^ibdev\\(")).size(), 30);
        QCOMPARE(log.filter(QRegularExpression("^ibonl\\(16,0\\)$")).size(), 30);
        QCOMPARE(log.filter("timed out"), QStringList()); // nobody listens at the other 29

        // A board that fails ends the search at its first address.
        qputenv("QLXSIM_LOG", folder.filePath("board.log").toLocal8Bit());
        qputenv("QLXSIM_BOARD", "unconfigured");
        QCOMPARE(discoverTesters({}, {}, &problems).size(), 0);
        QCOMPARE(busLog("board.log").size(), 1);
        QCOMPARE(problems.size(), 1);
        QVERIFY(problems[0].startsWith("GPIB board 0 is not available (EDVR)"));
    }

    // Library calls that block run on the device's own thread: the caller's events run meanwhile
    // and its status words follow each call; abort() ends the wait, and what the abandoned call
    // still brings is not taken for the next answer.
    void blockingCallsLeaveTheCallerRunning()
    {
        useLibrary("libqlxsim-gpib.so");
        qputenv("QLXSIM_BLOCK_MS", "150");
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
        timer.start(10);
        {
            Transport link;
            QVERIFY(link.openGpib(20));
            ticks = 0;
            QCOMPARE(link.queryText(Bus::Gpib, "*IDN?", 500).text, kIdentity);
            QVERIFY(ticks > 0);
            QCOMPARE(ni::status().ibcntl(), kIdentity.size());
            QVERIFY(ni::status().globalsRegistered);

            writeFile("A.WMF", QByteArray(100, 'a'));
            QTimer::singleShot(200, [&link] { link.abort(); }); // while the block's header is read
            QCOMPARE(link.queryData(Bus::Gpib, "MMEM:DATA? \"A.WMF\"").outcome, Outcome::Aborted);
            // The go-to-local waits for the abandoned read, then for itself; the events run
            // through both.
            bool firedDuringTheGoToLocal = false;
            QTimer::singleShot(180, [&] { firedDuringTheGoToLocal = true; });
            QCOMPARE(link.goToLocal(Bus::Gpib), Outcome::Ok);
            QVERIFY(firedDuringTheGoToLocal);
            QCOMPARE(link.queryText(Bus::Gpib, "*IDN?", 500).text, kIdentity);

            QTimer::singleShot(50, [&link] { link.abort(); });
            QCOMPARE(link.queryText(Bus::Gpib, "*IDN?", 500).outcome, Outcome::Aborted);
            QCOMPARE(link.goToLocal(Bus::Gpib), Outcome::Ok); // after the abandoned write
        }
        QVERIFY(ticks > 0);
    }

    // Discovery asks through the library the same way: the caller's events run while its calls
    // block.
    void discoveryLeavesTheCallerRunning()
    {
        useLibrary("libqlxsim-gpib.so");
        qputenv("QLXSIM_BLOCK_MS", "5");
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
        timer.start(10);
        QStringList problems;
        const QList<FoundTester> found = discoverTesters({}, {}, &problems);
        QCOMPARE(found.size(), 1);
        QCOMPARE(found[0].address, QString("20"));
        QVERIFY(ticks > 0);
    }

    void missingLibraryFailsLikeASwitchedOffTester()
    {
        useLibrary("no-such-gpib-library.so");
        Transport link;
        qint16 handle = 0;
        QVERIFY(!link.openGpib(20, &handle));
        QCOMPARE(handle, qint16(-1));
        QCOMPARE(ni::status().ibsta, qint16(-32768));
        QCOMPARE(ni::status().ibcntl(), 0);
        QCOMPARE(link.gpibFault().side, GpibFault::None);
        QVERIFY(!link.isOpen(Bus::Gpib));
        QCOMPARE(link.queryText(Bus::Gpib, "*IDN?", 500).outcome, Outcome::NotOpen);
    }
};

QTEST_GUILESS_MAIN(TestGpib)
#include "test_gpib.moc"
