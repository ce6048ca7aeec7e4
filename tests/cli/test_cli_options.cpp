// qlxctl's argument parsing as a pure function.
#include "cli/options.h"

#include <QtTest>

using namespace qlx;
using namespace qlx::cli;

class CliOptionsTest : public QObject {
    Q_OBJECT
private slots:
    void rejectsBadUsage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("no command") << QStringList{"--quiet"};
        QTest::newRow("unknown command") << QStringList{"fetch"};
        QTest::newRow("unknown bus") << QStringList{"--bus", "usb", "list"};
        QTest::newRow("bus without value") << QStringList{"list", "--bus"};
        QTest::newRow("get without names") << QStringList{"get", "--to", "/tmp"};
        QTest::newRow("get names and --all") << QStringList{"get", "A.WMF", "--all"};
        QTest::newRow("option of another command") << QStringList{"list", "--overwrite"};
        QTest::newRow("delete --to") << QStringList{"delete", "A.WMF", "--to", "x"};
        QTest::newRow("sync with a name") << QStringList{"sync", "A.WMF"};
        QTest::newRow("watch zero") << QStringList{"sync", "--watch", "0"};
        QTest::newRow("watch not a number") << QStringList{"sync", "--watch=soon"};
        QTest::newRow("identify with an argument") << QStringList{"identify", "now"};
    }
    void rejectsBadUsage()
    {
        QFETCH(QStringList, arguments);
        QVERIFY(!parseArguments(arguments).error.isEmpty());
    }

    void readsGlobalAndCommandOptions()
    {
        const ParsedArguments get = parseArguments(
            {"--bus", "com", "get", "A.WMF", "b.wmf", "--address=/dev/pts/7", "--to", "/tmp/out", "--overwrite"});
        QCOMPARE(get.error, QString());
        QCOMPARE(get.options.bus, std::optional<Bus>(Bus::Serial));
        QCOMPARE(get.options.address, std::optional<QString>("/dev/pts/7"));
        QCOMPARE(get.options.command, Command::Get);
        QCOMPARE(get.options.names, QStringList({"A.WMF", "b.wmf"}));
        QCOMPARE(get.options.toDir, QString("/tmp/out"));
        QVERIFY(get.options.onConflict == OnConflict::Overwrite && !get.options.all);

        const ParsedArguments sync = parseArguments({"sync", "--watch", "5"});
        QCOMPARE(sync.error, QString());
        QVERIFY(!sync.options.bus && !sync.options.address);
        QCOMPARE(sync.options.watchSeconds, 5);
        QCOMPARE(sync.options.toDir, QString("."));

        const ParsedArguments move = parseArguments({"-q", "move", "--read-once", "--all"});
        QCOMPARE(move.error, QString());
        QVERIFY(move.options.readOnce && move.options.all && move.options.quiet);
        QCOMPARE(parseArguments({"get", "--all", "--read-once"}).error, QString("unknown option --read-once"));

        const ParsedArguments discover = parseArguments(
            {"discover", "--gateway", "gw1", "--adapter=/dev/ttyUSB0", "--gateway=gw2", "--no-broadcast"});
        QCOMPARE(discover.error, QString());
        QCOMPARE(discover.options.gateways, QStringList({"gw1", "gw2"}));
        QCOMPARE(discover.options.adapters, QStringList{"/dev/ttyUSB0"});
        QVERIFY(discover.options.noBroadcast);
        QCOMPARE(parseArguments({"list", "--bus"}).error, QString("--bus needs a value"));
        QCOMPARE(parseArguments({"--json", "list"}).error, QString("unknown option --json"));

        const ParsedArguments help = parseArguments({"delete", "--help"});
        QVERIFY(help.options.help);
        QCOMPARE(help.options.command, Command::Delete);
    }
};

QTEST_GUILESS_MAIN(CliOptionsTest)
#include "test_cli_options.moc"
