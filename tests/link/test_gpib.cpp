// The GPIB transport through the simulated NI-488.2 libraries (with and without registration
// of the status words) and without any library at all.
#include "link/discovery.h"
#include "link/niglobal.h"
#include "link/transport.h"
#include "link/vbib32.h"
#include "tests/support/testpaths.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace qlx;

namespace {

struct DebugRecorder : TransportObserver {
    QByteArray buffer, answer;
    long count = -1;
    int calls = 0;
    void gpibTextRead(const QByteArray& fullBuffer, long ibcntl, const QByteArray& cut) override
    {
        buffer = fullBuffer;
        count = ibcntl;
        answer = cut;
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
        qunsetenv("QLXSIM_OFF");
        qunsetenv("QLXSIM_FAULT");
        qunsetenv("QLXSIM_REGISTER_RESULT");
        qunsetenv("QLXSIM_BLOCK_MS");
    }

    void queriesThroughBothLibraries_data()
    {
        QTest::addColumn<QString>("library");
        QTest::newRow("registered") << "libqlxsim-gpib.so";
        QTest::newRow("plain") << "libqlxsim-gpib-plain.so";
    }
    void queriesThroughBothLibraries()
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
        }
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

    // Discovery asks through the library the same way: the caller's events run while it waits at
    // the addresses where nobody answers.
    void discoveryLeavesTheCallerRunning()
    {
        useLibrary("libqlxsim-gpib.so");
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
        QVERIFY(!link.isOpen(Bus::Gpib));
        QCOMPARE(link.queryText(Bus::Gpib, "*IDN?", 500).outcome, Outcome::NotOpen);
    }
};

QTEST_GUILESS_MAIN(TestGpib)
#include "test_gpib.moc"
