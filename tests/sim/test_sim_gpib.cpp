// The simulated GPIB libraries, loaded with dlopen as QLXCopy loads a GPIB library.
#include <dlfcn.h>

#include "tests/support/testpaths.h"

#include <QTemporaryDir>
#include <QtTest>
#include <fstream>

namespace {

constexpr int ERR = 0x8000, TIMO = 0x4000, END = 0x2000, CMPL = 0x0100;
constexpr int ENOL = 2, EABO = 6;

// The entry points of one loaded library.
struct Gpib {
    void* handle = nullptr;
    int (*ibdev)(int, int, int, int, int, int) = nullptr;
    int (*ibwrt)(int, const void*, long) = nullptr;
    int (*ibrd)(int, void*, long) = nullptr;
    int (*ibloc)(int) = nullptr;
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
        QVERIFY(gpib_.ibdev && gpib_.ibwrt && gpib_.ibrd && gpib_.ibloc && gpib_.registerWords
                && gpib_.unregisterWords);
        std::ofstream(dir_.path().toStdString() + "/Z.WMF", std::ios::binary) << std::string("A\0B\r\nC", 6);
        qputenv("QLXSIM_DIR", dir_.path().toLocal8Bit());
        qputenv("QLXSIM_TIMEOUT_MS", "20");
        QCOMPARE(gpib_.registerWords(&words_.sta, &words_.err, &words_.cnt, &words_.cntl), 0ul);
    }

    void init()
    {
        for (const char* name :
             {"QLXSIM_FAULT", "QLXSIM_OFF", "QLXSIM_LOG", "QLXSIM_ADDRESS", "QLXSIM_REGISTER_RESULT"}) {
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
                              "MMEM:SCAN?", "MMEM:DEL \"Z.WMF\",INT", ""}));
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
