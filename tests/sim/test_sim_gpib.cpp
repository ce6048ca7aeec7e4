// The simulated GPIB libraries, loaded with dlopen as QLXCopy loads a GPIB library.
#include <dlfcn.h>

#include "tests/support/testpaths.h"

#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <fstream>
#include <thread>

namespace {

constexpr int ERR = 0x8000, TIMO = 0x4000, END = 0x2000, CMPL = 0x0100;
constexpr int EDVR = 0, ENOL = 2, EARG = 4, EABO = 6, ENEB = 7;

// The entry points of one loaded library.
struct Gpib {
    void* handle = nullptr;
    int (*ibdev)(int, int, int, int, int, int) = nullptr;
    int (*ibwrt)(int, const void*, long) = nullptr;
    int (*ibrd)(int, void*, long) = nullptr;
    int (*ibloc)(int) = nullptr;
    int (*ibonl)(int, int) = nullptr;
    unsigned long (*registerWords)(int*, int*, int*, long*) = nullptr;
    unsigned long (*unregisterWords)() = nullptr;

    explicit Gpib(const char* file)
    {
        handle = dlopen((buildDir() + "/" + file).toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return;
        ibdev = reinterpret_cast<decltype(ibdev)>(dlsym(handle, "ibdev"));
        ibwrt = reinterpret_cast<decltype(ibwrt)>(dlsym(handle, "ibwrt"));
        ibrd = reinterpret_cast<decltype(ibrd)>(dlsym(handle, "ibrd"));
        ibloc = reinterpret_cast<decltype(ibloc)>(dlsym(handle, "ibloc"));
        ibonl = reinterpret_cast<decltype(ibonl)>(dlsym(handle, "ibonl"));
        registerWords = reinterpret_cast<decltype(registerWords)>(dlsym(handle, "RegisterGpibGlobalsForThread"));
        unregisterWords = reinterpret_cast<decltype(unregisterWords)>(dlsym(handle, "UnregisterGpibGlobalsForThread"));
    }

    void write(int ud, const std::string& text) const { ibwrt(ud, text.data(), static_cast<long>(text.size())); }
};

struct Words {
    int sta = -1, err = -1, cnt = -1;
    long cntl = -1;
};

const std::string kIdn = "Halvard&Brenn,QLX,1234567/890,V3.10";

} // namespace

class TestSimGpib : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    Gpib gpib_{"libqlxsim-gpib.so"};
    Words words_;

    std::string read(int ud, long count)
    {
        std::string buffer(static_cast<std::size_t>(count), '\0');
        gpib_.ibrd(ud, buffer.data(), count);
        return buffer.substr(0, static_cast<std::size_t>(std::max(0L, words_.cntl)));
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(gpib_.handle, dlerror());
        QVERIFY(gpib_.ibdev && gpib_.ibwrt && gpib_.ibrd && gpib_.ibloc && gpib_.ibonl && gpib_.registerWords
                && gpib_.unregisterWords);
        std::ofstream(dir_.path().toStdString() + "/Z.WMF", std::ios::binary) << std::string("A\0B\r\nC", 6);
        qputenv("QLXSIM_DIR", dir_.path().toLocal8Bit());
        qputenv("QLXSIM_TIMEOUT_MS", "20");
        QCOMPARE(gpib_.registerWords(&words_.sta, &words_.err, &words_.cnt, &words_.cntl), 0ul);
    }

    void init()
    {
        for (const char* name :
             {"QLXSIM_FAULT", "QLXSIM_OFF", "QLXSIM_LOG", "QLXSIM_ADDRESS", "QLXSIM_REGISTER_RESULT", "QLXSIM_BOARD"}) {
            qunsetenv(name);
        }
    }

    void queriesAndLog()
    {
        const QString log = dir_.path() + "/bus.log";
        qputenv("QLXSIM_LOG", log.toLocal8Bit());
        const int ud = gpib_.ibdev(0, 20, 96, 13, 1, 0);
        QVERIFY(ud > 0);
        QCOMPARE(words_.sta, CMPL);

        gpib_.write(ud, "*IDN?");
        QCOMPARE(read(ud, 500), kIdn + "\n");
        QCOMPARE(words_.sta, CMPL | END);
        gpib_.ibloc(ud);
        QCOMPARE(words_.sta, CMPL | END); // as linux-gpib: END shows until the next write or read

        // A block read in pieces as the client does: 2 bytes, the length digits, the data.
        gpib_.write(ud, "MMEM:DATA? \"Z.WMF\"");
        QCOMPARE(read(ud, 2), std::string("#1"));
        QCOMPARE(words_.sta & END, 0);
        QCOMPARE(read(ud, 1), std::string("6"));
        QCOMPARE(read(ud, 6), std::string("A\0B\r\nC", 6));
        QCOMPARE(read(ud, 10), std::string("\n"));
        QCOMPARE(words_.sta, CMPL | END);

        // A new command discards what was left unread; the listing names the file.
        gpib_.write(ud, "MMEM:DATA? \"Z.WMF\"");
        gpib_.write(ud, "MMEM:SCAN?");
        QVERIFY(read(ud, 10000).find("\"Z.WMF\",BIN,6") != std::string::npos);
        gpib_.write(ud, "MMEM:DEL \"Z.WMF\",INT");
        read(ud, 10); // nothing to read: the time-out
        QCOMPARE(words_.sta, ERR | TIMO);
        QCOMPARE(words_.cntl, 0L);
        QVERIFY(!QFile::exists(dir_.path() + "/Z.WMF"));

        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString loc = QString("ibloc(%1)").arg(ud);
        QCOMPARE(QString::fromLatin1(file.readAll()).split('\n'),
                 QStringList({"ibdev(0,20,96,13,1,0)", "*IDN?", loc, "MMEM:DATA? \"Z.WMF\"", "MMEM:DATA? \"Z.WMF\"",
                              "MMEM:SCAN?", "MMEM:DEL \"Z.WMF\",INT", QString("ibrd(%1) timed out").arg(ud), ""}));
        QCOMPARE(gpib_.ibonl(ud, 0), CMPL);
    }

    // As linux-gpib: the write with EOT leaves END in the status of the calls after it; ibonl
    // gives a descriptor back, and the lowest free one is handed out next; the table holds 4080.
    void descriptorsAndEnd()
    {
        const int ud = gpib_.ibdev(0, 20, 96, 13, 1, 0);
        QCOMPARE(ud, 16);
        gpib_.write(ud, "*IDN?");
        QCOMPARE(words_.sta, CMPL | END);
        gpib_.ibloc(ud);
        QCOMPARE(words_.sta, CMPL | END);
        QCOMPARE(gpib_.ibonl(ud, 0), CMPL | END);
        QCOMPARE(gpib_.ibloc(ud), ERR);
        QCOMPARE(words_.err, EARG);
        QCOMPARE(gpib_.ibdev(0, 20, 96, 13, 1, 0), 16);

        QList<int> taken{16};
        for (int ud = 0; ud >= 0; taken << ud)
            ud = gpib_.ibdev(0, 20, 96, 13, 1, 0);
        QCOMPARE(taken.size(), 4080 + 1);
        QCOMPARE(words_.sta, ERR);
        QCOMPARE(words_.err, ENEB);
        for (int ud : taken.mid(0, 4080))
            QCOMPARE(gpib_.ibonl(ud, 0) & ERR, 0);
    }

    // A board the PC cannot use, as the real library reports it: ERR, EDVR and an errno in
    // ibcntl, which is no count.
    void boardFailures()
    {
        qputenv("QLXSIM_BOARD", "missing");
        QCOMPARE(gpib_.ibdev(0, 20, 96, 13, 1, 0), -1);
        QCOMPARE(words_.sta, ERR);
        QCOMPARE(words_.err, EDVR);
        QCOMPARE(words_.cntl, long(EBADF));

        qputenv("QLXSIM_BOARD", "eio");
        const int ud = gpib_.ibdev(0, 20, 96, 13, 1, 0);
        QVERIFY(ud > 0);
        gpib_.write(ud, "*IDN?");
        QCOMPARE(words_.sta, CMPL | END);
        QCOMPARE(read(ud, 500), std::string(std::size_t(EIO), '\0'));
        QCOMPARE(words_.sta, ERR);
        QCOMPARE(words_.err, EDVR);
        gpib_.ibonl(ud, 0);
    }

    // The linux-gpib build hands out each thread's words through ThreadIbsta, ThreadIberr and
    // ThreadIbcntl; the other words of both plain builds are global data.
    void threadStatusOfThePlainLibrary()
    {
        const Gpib plain("libqlxsim-gpib-plain.so");
        const Gpib data("libqlxsim-gpib-data.so");
        QVERIFY(plain.handle && data.handle);
        const auto threadSta = reinterpret_cast<int (*)()>(dlsym(plain.handle, "ThreadIbsta"));
        const auto threadErr = reinterpret_cast<int (*)()>(dlsym(plain.handle, "ThreadIberr"));
        QVERIFY(threadSta && threadErr && dlsym(plain.handle, "ThreadIbcntl"));
        QVERIFY(!dlsym(data.handle, "ThreadIbsta") && dlsym(data.handle, "ibsta"));
        qputenv("QLXSIM_ADDRESS", "7");
        const int ud = plain.ibdev(0, 20, 96, 13, 1, 0);
        plain.write(ud, "*IDN?");
        QCOMPARE(threadSta(), ERR);
        QCOMPARE(threadErr(), ENOL);
        std::thread([&] { QCOMPARE(threadSta(), 0); }).join();
        plain.ibonl(ud, 0);
    }

    void absentTesterTimesOut_data()
    {
        QTest::addColumn<QByteArray>("variable");
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("wrong address") << QByteArray("QLXSIM_ADDRESS") << QByteArray("7");
        QTest::newRow("switched off") << QByteArray("QLXSIM_OFF") << QByteArray("1");
    }

    void absentTesterTimesOut()
    {
        QFETCH(QByteArray, variable);
        QFETCH(QByteArray, value);
        qputenv(variable.constData(), value);
        const int ud = gpib_.ibdev(0, 20, 96, 13, 1, 0);
        gpib_.write(ud, "*IDN?");
        QCOMPARE(words_.sta & ERR, ERR);
        QCOMPARE(words_.err, ENOL);
        QCOMPARE(read(ud, 500), std::string());
        QCOMPARE(words_.sta, ERR | TIMO);
        QCOMPARE(words_.err, EABO);
    }
};

QTEST_GUILESS_MAIN(TestSimGpib)
#include "test_sim_gpib.moc"
