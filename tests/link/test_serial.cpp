// The serial transport against a scripted tester on a pseudo-terminal.
#include "link/transport.h"
#include "tests/support/ptypeer.h"

#include <QElapsedTimer>
#include <QTest>

#include "tests/support/recording_observer.h"

using namespace qlx;

using Recorder = RecordingObserver;

class TestSerial : public QObject {
    Q_OBJECT
    PtyPeer* peer = nullptr;
    Recorder* recorder = nullptr;
    Transport* link = nullptr;

private slots:
    void init()
    {
        peer = new PtyPeer;
        QVERIFY(peer->valid());
        recorder = new Recorder;
        link = new Transport(recorder);
        QVERIFY(link->openSerial(peer->slavePath()));
    }
    void cleanup()
    {
        delete link;
        delete recorder;
        delete peer;
    }

    void textAnswerArrivesInPieces()
    {
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(10);
        peer->sendAfter(100, "HALV,QLX,100001/001,V3.10\r");
        peer->sendAfter(200, "\n");
        const TextAnswer answer = link->queryText(Bus::Serial, "*IDN?", 500);
        QCOMPARE(answer.outcome, Outcome::Ok);
        QCOMPARE(answer.text, QByteArray("HALV,QLX,100001/001,V3.10\r\n"));
        QCOMPARE(peer->received(), QByteArray("*IDN?\n"));
        QVERIFY2(ticks >= 5, "the event loop runs while the answer is awaited");
        QVERIFY(!link->busy());
    }

    void crLfAloneTimesOut()
    {
        peer->sendAfter(50, "\r\n");
        QElapsedTimer clock;
        clock.start();
        const TextAnswer answer = link->queryText(Bus::Serial, "MMEM:SCAN?", 10000);
        QCOMPARE(answer.outcome, Outcome::TimedOut);
        QCOMPARE(answer.text, QByteArray("\r\n"));
        QVERIFY(clock.elapsed() >= 3000);
    }

    void dataBlockKeepsZeroBytes()
    {
        QByteArray data(300, '\0');
        for (int i = 0; i < data.size(); i += 7)
            data[i] = char(i);
        peer->sendAfter(50, "#3300" + data.left(100));
        peer->sendAfter(100, data.mid(100) + "\r");
        peer->sendAfter(150, "\n");
        const DataAnswer answer = link->queryData(Bus::Serial, "MMEM:DATA? \"A.WMF\"");
        QCOMPARE(answer.outcome, Outcome::Ok);
        QCOMPARE(answer.data, data);
        QCOMPARE(peer->received(), QByteArray("MMEM:DATA? \"A.WMF\"\n"));
        QCOMPARE(recorder->ranges, QList<int>{300});
        QVERIFY(!recorder->values.isEmpty() && recorder->values.last() == 100);
        QVERIFY(recorder->countdowns.size() >= 3);
        QVERIFY(recorder->countdowns.last().endsWith(" s to go ..."));
    }

    void shortBlockArrivesAndGarbageFailsAtOnce()
    {
        peer->sendAfter(50, "#15abcde\r\n");
        QElapsedTimer clock;
        clock.start();
        DataAnswer answer = link->queryData(Bus::Serial, "MMEM:DATA? \"S.WMF\"", 5);
        QCOMPARE(answer.outcome, Outcome::Ok);
        QCOMPARE(answer.data, QByteArray("abcde"));

        peer->sendAfter(50, "ERROR\r\n");
        clock.restart();
        answer = link->queryData(Bus::Serial, "MMEM:DATA? \"X.WMF\"");
        QCOMPARE(answer.outcome, Outcome::Malformed);
        QVERIFY(clock.elapsed() < 2000);
    }

    void vanishedTesterEndsTheWait()
    {
        QTimer::singleShot(100, [&] { peer->close(); });
        QElapsedTimer clock;
        clock.start();
        const TextAnswer answer = link->queryText(Bus::Serial, "*IDN?", 500);
        QCOMPARE(answer.outcome, Outcome::TimedOut);
        QVERIFY(clock.elapsed() < 2000);
        QTRY_VERIFY(!link->serialOpen()); // closed, so that it cannot keep the process busy
    }

    void abortFreesTheBusForShutdown()
    {
        Outcome nested = Outcome::Ok;
        Outcome local = Outcome::Busy;
        QTimer::singleShot(50, [&] { nested = link->sendCommand(Bus::Serial, "MMEM:DEL \"A.WMF\",INT"); });
        QTimer::singleShot(100, [&] {
            link->abort();
            local = link->goToLocal(Bus::Serial);
            link->closeSerial();
        });
        QElapsedTimer clock;
        clock.start();
        const DataAnswer answer = link->queryData(Bus::Serial, "MMEM:DATA? \"B.WMF\"");
        QCOMPARE(answer.outcome, Outcome::Aborted);
        QVERIFY(clock.elapsed() < 2000);
        QCOMPARE(nested, Outcome::Busy);
        QCOMPARE(local, Outcome::Ok);
        QCOMPARE(peer->received(), QByteArray("MMEM:DATA? \"B.WMF\"\n*GTL\n"));
        QVERIFY(!link->serialOpen());
        QCOMPARE(link->queryText(Bus::Serial, "*IDN?", 500).outcome, Outcome::NotOpen);
        QCOMPARE(link->sendCommand(Bus::Gpib, "*IDN?"), Outcome::NotOpen);
    }
};

QTEST_GUILESS_MAIN(TestSerial)
#include "test_serial.moc"
