// How every road waits: a local event loop that ends by what comes first, abort() reaching every
// wait in progress, the application's leaving ending them all, and a clock that tests replace.
#include "link/wait.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <thread>

using namespace qlx;
using End = Waiter::End;

class TestWait : public QObject {
    Q_OBJECT
private slots:
    void endsByWhatComesFirst()
    {
        Waiter waiter;
        QElapsedTimer took;
        took.start();
        QCOMPARE(waiter.wait(50), End::TimedOut);
        QVERIFY(took.elapsed() >= 45);

        QTimer bytes;
        bytes.setSingleShot(true);
        waiter.wakeOn(&bytes, &QTimer::timeout);
        bytes.start(10);
        took.restart();
        QCOMPARE(waiter.wait(5000), End::Woken);

        std::thread worker([&waiter] { waiter.wakeQueued(); });
        QCOMPARE(waiter.wait(5000), End::Woken);
        worker.join();

        // An event of the outer wait begins another; abort() ends both.
        End inner = End::Woken;
        QTimer::singleShot(10, [&] {
            QTimer::singleShot(10, [&] { waiter.abort(); });
            inner = waiter.wait(5000);
        });
        QCOMPARE(waiter.wait(5000), End::Aborted);
        QCOMPARE(inner, End::Aborted);
        QVERIFY(took.elapsed() < 2000);
    }

    // Closing the window leaves the application's loops: the wait in progress ends, and one begun
    // after ends at once. A road that asks for it is told so rather than aborted.
    void leavingTheApplicationEndsEveryWait()
    {
        Waiter waiter;
        Waiter reporting(Waiter::OnQuit::Report);
        QList<End> ends;
        QElapsedTimer took;
        took.start();
        QTimer::singleShot(0, [&] {
            QTimer::singleShot(10, qApp, &QCoreApplication::quit);
            ends << waiter.wait(5000) << reporting.wait(5000) << waiter.wait(-1);
        });
        QCoreApplication::exec();
        QCOMPARE(ends, (QList<End>{End::Aborted, End::Quitting, End::Aborted}));
        QVERIFY(took.elapsed() < 2000);
    }

    void aSteppingClockLetsTheTimePassAtOnce()
    {
        SteppingClock stepping;
        setClock(&stepping);
        Waiter waiter;
        const Stopwatch watch;
        QElapsedTimer took;
        took.start();
        QCOMPARE(waiter.wait(10'000), End::TimedOut);
        QCOMPARE(watch.elapsed(), qint64(10'000));
        waiter.wakeQueued(); // what is due by the deadline still counts
        QCOMPARE(waiter.wait(10'000), End::Woken);
        setClock(nullptr);
        QVERIFY(took.elapsed() < 1000);
    }
};

QTEST_GUILESS_MAIN(TestWait)
#include "test_wait.moc"
