// Any blocking device behind openOffThread: opened and called on one thread of its own, never the
// caller's, with each call's result, END and status brought back, and the debug display shown on
// the caller's thread.
#include "link/ni488/niglobal.h"
#include "link/offthreaddevice.h"

#include <QTest>

#include <thread>

using namespace qlx;

namespace {

struct Calls {
    QList<std::thread::id> threads;
    QByteArray written;
    int cleared = 0, locals = 0;
};

class BlockingDevice : public GpibDevice {
public:
    explicit BlockingDevice(Calls& calls) : m_calls(calls) {}
    void write(const QByteArray& command) override
    {
        note();
        m_calls.written += command;
    }
    QByteArray readText(int maxLength, TransportObserver* debug) override
    {
        note();
        if (debug)
            debug->gpibTextRead("answer  ", 6, "answer");
        return QByteArray("answer").left(maxLength);
    }
    qint64 read(char* into, qint64 length) override
    {
        note();
        std::fill(into, into + length - 1, 'x');
        m_end = true;
        ni::status().words.countL = length - 1; // as a library reports the count
        ni::copyStatus(ni::status());
        return length - 1;
    }
    bool endSeen() const override { return m_end; }
    void clear() override
    {
        note();
        ++m_calls.cleared;
    }
    void goToLocal() override
    {
        note();
        ++m_calls.locals;
    }

private:
    void note() { m_calls.threads << std::this_thread::get_id(); }
    Calls& m_calls;
    bool m_end = false;
};

struct ThreadOfDisplay : TransportObserver {
    std::thread::id thread;
    QByteArray answer;
    void gpibTextRead(const QByteArray&, long, const QByteArray& cut, const QString&) override
    {
        thread = std::this_thread::get_id();
        answer = cut;
    }
};

} // namespace

class TestOffThread : public QObject {
    Q_OBJECT
private slots:
    void everyCallRunsOnTheDevicesOwnThread()
    {
        Calls calls;
        std::thread::id opener;
        OpenedDevice opened = openOffThread([&] {
            opener = std::this_thread::get_id();
            return OpenedDevice{std::make_unique<BlockingDevice>(calls), 7, QString(), {}};
        });
        QVERIFY(opened.device);
        QCOMPARE(opened.handle, qint16(7));
        GpibDevice& device = *opened.device;

        device.write("*IDN?");
        ThreadOfDisplay display;
        QCOMPARE(device.readText(500, &display), QByteArray("answer"));
        QCOMPARE(display.answer, QByteArray("answer"));
        QVERIFY(display.thread == std::this_thread::get_id());
        QByteArray block(10, '\0');
        QCOMPARE(device.read(block.data(), block.size()), 9);
        QCOMPARE(block, QByteArray(9, 'x') + '\0');
        QVERIFY(device.endSeen());
        QCOMPARE(ni::status().ibcntl(), 9);
        device.clear();
        device.goToLocal();
        QVERIFY(!device.aborted());

        QCOMPARE(calls.written, QByteArray("*IDN?"));
        QVERIFY(calls.cleared == 1 && calls.locals == 1);
        QCOMPARE(calls.threads.size(), 5);
        for (const std::thread::id thread : calls.threads)
            QVERIFY(thread == opener && thread != std::this_thread::get_id());
    }

    void aDeviceThatDoesNotOpenGivesItsReason()
    {
        const OpenedDevice opened = openOffThread([] { return OpenedDevice{nullptr, -1, QStringLiteral("busy"), {}}; });
        QVERIFY(!opened.device);
        QCOMPARE(opened.error, QStringLiteral("busy"));
    }
};

QTEST_GUILESS_MAIN(TestOffThread)
#include "test_offthread.moc"
