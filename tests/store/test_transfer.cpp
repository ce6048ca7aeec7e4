// Fetching, comparing and writing a hardcopy, and deleting on the tester, without a window,
// against the simulated tester on both buses.
#include "store/deletion.h"
#include "store/transfer.h"

#include "tests/support/simulated_tester.h"

#include <QDir>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using namespace qlx;

namespace {
QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
QByteArray pattern(int size, char seed)
{
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char(seed + i * 7);
    return b;
}
// The data requests in the bus log.
QStringList dataRequests(const SimulatedTester& tester) { return tester.busLog().filter(QStringLiteral("MMEM:DATA?")); }
} // namespace

class TransferTest : public QObject {
    Q_OBJECT

    // Opens `transport` on the bus of the current data row; for serial, `options` go to qlxsim.
    bool open(SimulatedTester& tester, Transport& transport, Bus bus, const QStringList& options = {})
    {
        if (bus == Bus::Gpib) {
            tester.useGpib();
            qputenv("QLXSIM_FAULT", options.value(1).toLatin1());
            return transport.openGpib(20);
        }
        qunsetenv("QLXSIM_FAULT");
        const QString device = tester.startSerial(options);
        return !device.isEmpty() && transport.openSerial(device);
    }

    static void busRows()
    {
        QTest::addColumn<Bus>("bus");
        QTest::newRow("gpib") << Bus::Gpib;
        QTest::newRow("serial") << Bus::Serial;
    }

private slots:
    void cleanup() { qunsetenv("QLXSIM_FAULT"); }

    void newIdenticalDifferent_data() { busRows(); }
    void newIdenticalDifferent()
    {
        QFETCH(Bus, bus);
        SimulatedTester tester;
        QTemporaryDir pc;
        const QByteArray bytes = pattern(3000, 1) + QByteArray("\r\n\0#9", 5);
        tester.addFile(QStringLiteral("HC.WMF"), bytes);
        Transport transport;
        QVERIFY(open(tester, transport, bus));
        int asked = 0;
        const auto answer = [&](bool yes) {
            return [&asked, yes] {
                ++asked;
                return yes ? OnConflict::Overwrite : OnConflict::Keep;
            };
        };

        TransferResult r = transferHardcopy(transport, bus, QStringLiteral("  HC.WMF "), pc.path(),
                                            QStringLiteral("  HC.WMF "), answer(true));
        QCOMPARE(r.status, TransferResult::Written);
        QCOMPARE(r.path, pc.path() + QStringLiteral("/HC.WMF"));
        QCOMPARE(readAll(r.path), bytes);

        r = transferHardcopy(transport, bus, QStringLiteral("HC.WMF"), pc.path(), QStringLiteral("HC.WMF"),
                             answer(true));
        QCOMPARE(r.status, TransferResult::Identical);
        QCOMPARE(asked, 0);

        // A shorter, different copy on the PC: No keeps it, Yes replaces it whole.
        QFile old(r.path);
        QVERIFY(old.open(QIODevice::WriteOnly | QIODevice::Truncate));
        old.write("older and shorter");
        old.close();
        r = transferHardcopy(transport, bus, QStringLiteral("HC.WMF"), pc.path(), QStringLiteral("HC.WMF"),
                             answer(false));
        QCOMPARE(r.status, TransferResult::Kept);
        QCOMPARE(readAll(r.path), QByteArray("older and shorter"));
        r = transferHardcopy(transport, bus, QStringLiteral("HC.WMF"), pc.path(), QStringLiteral("HC.WMF"),
                             answer(true));
        QCOMPARE(r.status, TransferResult::Written);
        QCOMPARE(readAll(r.path), bytes);
        QCOMPARE(asked, 2);
        QCOMPARE(QDir(pc.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"HC.WMF"});

        const QString request =
            bus == Bus::Gpib ? QStringLiteral("MMEM:DATA? \"HC.WMF\"") : QStringLiteral("MMEM:DATA? \"HC.WMF\"\\n");
        QTRY_COMPARE(dataRequests(tester), QStringList(4, request));

        // An empty file on the tester is an empty file on the PC (the serial receive routine
        // waits for a longer header than an empty block has, and reports it as broken).
        if (bus == Bus::Serial)
            return;
        tester.addFile(QStringLiteral("EMPTY.WMF"), {});
        r = transferHardcopy(transport, bus, QStringLiteral("EMPTY.WMF"), pc.path(), QStringLiteral("EMPTY.WMF"),
                             answer(true));
        QCOMPARE(r.status, TransferResult::Written);
        QCOMPARE(QFileInfo(r.path).size(), 0);
    }

    // A block cut short or malformed never writes anything, and an older copy stays as it was.
    void brokenBlocks_data()
    {
        QTest::addColumn<Bus>("bus");
        QTest::addColumn<QStringList>("options");
        QTest::newRow("serial cut") << Bus::Serial << QStringList{"--fault", "stop-mid-block"};
        QTest::newRow("gpib short") << Bus::Gpib << QStringList{"", "stop-mid-block"};
        QTest::newRow("gpib garbage") << Bus::Gpib << QStringList{"", "garbage:MMEM:DATA?"};
        QTest::newRow("gpib silent") << Bus::Gpib << QStringList{"", "silent:MMEM:DATA?"};
    }
    void brokenBlocks()
    {
        QFETCH(Bus, bus);
        QFETCH(QStringList, options);
        SimulatedTester tester;
        QTemporaryDir pc;
        tester.addFile(QStringLiteral("A.WMF"), pattern(5000, 3));
        tester.addFile(QStringLiteral("B.WMF"), pattern(5000, 4));
        QFile older(pc.filePath(QStringLiteral("B.WMF")));
        QVERIFY(older.open(QIODevice::WriteOnly));
        older.write("older copy");
        older.close();
        Transport transport;
        QVERIFY(open(tester, transport, bus, options));
        for (const char* name : {"A.WMF", "B.WMF"}) {
            const TransferResult r = transferHardcopy(transport, bus, QString::fromLatin1(name), pc.path(),
                                                      QString::fromLatin1(name), [] { return OnConflict::Overwrite; });
            QCOMPARE(r.status, TransferResult::LinkBroken);
            QVERIFY(r.outcome != Outcome::Ok);
        }
        QCOMPARE(QDir(pc.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"B.WMF"});
        QCOMPARE(readAll(pc.filePath(QStringLiteral("B.WMF"))), QByteArray("older copy"));
    }

    void hostileNamesAreRefused()
    {
        SimulatedTester tester;
        QTemporaryDir pc;
        Transport transport;
        QVERIFY(open(tester, transport, Bus::Gpib));
        for (const QString& name : {QString(), QStringLiteral("   "), QStringLiteral(".."), QStringLiteral("../x.WMF"),
                                    QStringLiteral("a\\b.WMF"), QStringLiteral("C:X.WMF"), QStringLiteral("a\"b.WMF"),
                                    QStringLiteral("a\nb.WMF")}) {
            const TransferResult r =
                transferHardcopy(transport, Bus::Gpib, name, pc.path(), name, [] { return OnConflict::Overwrite; });
            QCOMPARE(r.status, TransferResult::Refused);
            QVERIFY(!r.reason.isEmpty());
            const DeleteResult d = deleteOnTester(transport, Bus::Gpib, name);
            QVERIFY(!d.sent && !d.refusedReason.isEmpty());
        }
        QVERIFY(tester.busLog().filter(QStringLiteral("MMEM")).isEmpty());
        QVERIFY(QDir(pc.path()).isEmpty());
    }

    // Writing fails: the old file is untouched, no temporary file remains, the reason is given.
    void writeFailures()
    {
        SimulatedTester tester;
        QTemporaryDir pc;
        const QByteArray bytes = pattern(20000, 9);
        tester.addFile(QStringLiteral("HC.WMF"), bytes);
        Transport transport;
        QVERIFY(open(tester, transport, Bus::Gpib));
        const auto fetch = [&](const QString& folder) {
            return transferHardcopy(transport, Bus::Gpib, QStringLiteral("HC.WMF"), folder, QStringLiteral("HC.WMF"),
                                    [] { return OnConflict::Overwrite; });
        };

        TransferResult r = fetch(pc.filePath(QStringLiteral("gone")));
        QCOMPARE(r.status, TransferResult::WriteFailed);
        QVERIFY(!r.reason.isEmpty());

        QFile old(pc.filePath(QStringLiteral("HC.WMF")));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();

        // A full disk, as a file-size limit on this process.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit small = saved;
        small.rlim_cur = 4096;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        r = fetch(pc.path());
        setrlimit(RLIMIT_FSIZE, &saved);
        QCOMPARE(r.status, TransferResult::WriteFailed);
        QCOMPARE(readAll(old.fileName()), QByteArray("old"));
        QCOMPARE(QDir(pc.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"HC.WMF"});

        if (geteuid() != 0) { // the superuser writes into read-only folders
            QVERIFY(QFile::setPermissions(pc.path(), QFile::ReadOwner | QFile::ExeOwner));
            r = fetch(pc.path());
            QFile::setPermissions(pc.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QCOMPARE(r.status, TransferResult::WriteFailed);
            QCOMPARE(readAll(old.fileName()), QByteArray("old"));
        }
    }

    void deleteSendsTheQuotedTrimmedName_data() { busRows(); }
    void deleteSendsTheQuotedTrimmedName()
    {
        QFETCH(Bus, bus);
        SimulatedTester tester;
        tester.addFile(QStringLiteral("HC 1.WMF"), "x");
        Transport transport;
        QVERIFY(open(tester, transport, bus));
        const DeleteResult d = deleteOnTester(transport, bus, QStringLiteral("  HC 1.WMF  "));
        QVERIFY(d.sent);
        const QString command = bus == Bus::Gpib ? QStringLiteral("MMEM:DEL \"HC 1.WMF\",INT")
                                                 : QStringLiteral("MMEM:DEL \"HC 1.WMF\",INT\\n");
        QTRY_COMPARE(tester.busLog().filter(QStringLiteral("MMEM:DEL")), QStringList{command});
        QTRY_VERIFY(!QFile::exists(tester.printDir + QStringLiteral("/HC 1.WMF")));
    }
};

QTEST_GUILESS_MAIN(TransferTest)
#include "test_transfer.moc"
