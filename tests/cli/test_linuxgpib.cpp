// qlxctl through the real linux-gpib library (libgpib.so.0, built at test time from its upstream
// source) over an emulation of its kernel driver (tests/support/linuxgpib_driver.cpp), with the
// simulated tester on the bus. Skips where the source (QLXCOPY_LINUX_GPIB_SOURCE, else
// ../shared/linux-gpib-user.tar.gz beside the sources) or the tools to build it are missing.
#include "tests/support/filecontents.h"
#include "tests/support/simulated_tester.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

namespace {

struct Run {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// Runs a shell command line in `folder`; its output when it fails.
std::optional<QByteArray> shellFails(const QString& commands, const QString& folder)
{
    QProcess shell;
    shell.setWorkingDirectory(folder);
    shell.setProcessChannelMode(QProcess::MergedChannels);
    shell.start(QStringLiteral("sh"), {QStringLiteral("-c"), commands});
    if (shell.waitForFinished(600000) && shell.exitStatus() == QProcess::NormalExit && shell.exitCode() == 0)
        return std::nullopt;
    return shell.readAll();
}

QString quoted(const QString& text) { return u'\'' + text + u'\''; }

} // namespace

class LinuxGpibTest : public QObject {
    Q_OBJECT
    QTemporaryDir work;
    std::unique_ptr<SimulatedTester> tester;

    Run qlxctl(const QStringList& arguments, const QStringList& extraEnvironment = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("LD_PRELOAD", work.filePath("driver.so"));
        environment.insert("QLXCOPY_GPIB_LIBRARY", work.filePath("src/lib/.libs/libgpib.so.0"));
        environment.insert("IB_CONFIG", work.filePath("gpib.conf"));
        environment.insert("QLXSIM_DIR", tester->printDir);
        environment.insert("QLXSIM_LOG", tester->log);
        environment.insert("QLXSIM_TIMEOUT_MS", "200");
        for (const QString& entry : extraEnvironment)
            environment.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(SimulatedTester::buildPath("qlxctl"),
                      QStringList{"--bus", "ieee", "--address", "20"} + arguments);
        process.waitForFinished(120000);
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
                process.readAllStandardError()};
    }

    // Every descriptor the library opened was given back.
    bool descriptorsGivenBack() const
    {
        const QStringList log = tester->busLog();
        return log.filter(QRegularExpression("^open-dev ")).size() == log.filter("close-dev").size();
    }

private slots:
    void initTestCase()
    {
        const QString tarball = qEnvironmentVariable("QLXCOPY_LINUX_GPIB_SOURCE",
                                                     sourceDir() + QStringLiteral("/../shared/linux-gpib-user.tar.gz"));
        if (!QFileInfo::exists(tarball))
            QSKIP(qPrintable(QStringLiteral("no linux-gpib source at %1 (QLXCOPY_LINUX_GPIB_SOURCE names "
                                            "its .tar.gz)")
                                 .arg(tarball)));
        QStringList missing;
        for (const char* tool : {"tar", "autoconf", "automake", "libtoolize", "flex", "bison", "pkg-config", "make"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                missing << QString::fromLatin1(tool);
        if (!missing.isEmpty())
            QSKIP(qPrintable(QStringLiteral("the tools to build linux-gpib are missing: %1 (scripts/setup installs "
                                            "them)")
                                 .arg(missing.join(u' '))));
        QVERIFY(work.isValid());
        const QString build =
            QStringLiteral("tar -xzf %1 && cd src && ./bootstrap && ./configure --disable-documentation "
                           "--disable-guile-binding --disable-perl-binding --disable-php-binding "
                           "--disable-python-binding --disable-tcl-binding --without-tcl --sysconfdir=%2 && "
                           "make -C include && make -j2 -C lib")
                .arg(quoted(tarball), quoted(work.filePath("etc")));
        if (const auto output = shellFails(build, work.path()))
            QFAIL(output->right(4000).constData());
        const QString driver =
            QStringLiteral("%1 %2 -std=c++20 -shared -fPIC -O1 -I%3 -I%4 %5 %6 -ldl -pthread -o %7")
                .arg(QStringLiteral(QLX_CXX_COMPILER), QStringLiteral(QLX_CXX_FLAGS),
                     quoted(work.filePath("src/include")), quoted(sourceDir()),
                     quoted(sourceDir() + "/tests/support/linuxgpib_driver.cpp"),
                     quoted(QStringLiteral(QLX_SIM_MODEL_LIBRARY)), quoted(work.filePath("driver.so")));
        if (const auto output = shellFails(driver, work.path()))
            QFAIL(output->right(4000).constData());
        QFile config(work.filePath("gpib.conf"));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write("interface {\n minor = 0\n board_type = \"ni_pci\"\n pad = 0\n master = yes\n}\n");
    }
    void init() { tester = std::make_unique<SimulatedTester>(); }

    // What worked before stays working: identify, list, a 1 MiB block in one read, discover,
    // and move --all; each descriptor goes back to the library.
    void theRoadWorks()
    {
        const QByteArray big = QByteArray("\x01WMF\r\n\0", 7).repeated(150000).left(1024 * 1024);
        tester->addFile("BIG.WMF", big);
        tester->addFile("B.WMF", "bee");
        QCOMPARE(qlxctl({"identify"}).out, QByteArray("Halvard&Brenn\nQLX\n1234567/890\nV3.10\n"));
        QCOMPARE(qlxctl({"list"}).out, QByteArray("B.WMF\nBIG.WMF\n"));
        QTemporaryDir pc;
        QCOMPARE(qlxctl({"get", "BIG.WMF", "--to", pc.path()}).status, 0);
        QCOMPARE(contents(pc.filePath("BIG.WMF")), big);
        const Run discover = qlxctl({"discover", "--no-broadcast"});
        QCOMPARE(discover.out, QByteArray("20\tHalvard&Brenn,QLX,1234567/890,V3.10\n"));
        QCOMPARE(tester->busLog().filter("read-timeout"), QStringList()); // nobody listens at the other 29
        QCOMPARE(qlxctl({"move", "--all", "--to", pc.path()}).status, 0);
        QCOMPARE(QDir(tester->printDir).entryList(QDir::Files), QStringList());
        QVERIFY(descriptorsGivenBack());
    }

    // A board the PC cannot use is named as the cause, with no advice about the tester; discover
    // stops at it (with EIO on reads, at the first address where a read is made: the tester's);
    // an errno after a failed read is no answer.
    void boardFailures_data()
    {
        QTest::addColumn<QString>("board");
        QTest::newRow("no /dev/gpib0") << "missing";
        QTest::newRow("gpib_config never ran") << "unconfigured";
        QTest::newRow("EIO on read") << "eio";
    }
    void boardFailures()
    {
        QFETCH(QString, board);
        const Run identify = qlxctl({"identify"}, {"QLXSIM_BOARD=" + board});
        QCOMPARE(identify.status, 3);
        QVERIFY2(identify.err.contains("qlxctl: GPIB board 0 is not available (EDVR): is the linux-gpib module loaded "
                                       "and `sudo gpib_config` run? See README\n"),
                 identify.err.constData());
        QVERIFY(!identify.err.contains("Port must be set"));
        QVERIFY(!identify.err.contains("is not a QLX tester"));
        tester->clearLog();
        const Run discover = qlxctl({"discover", "--no-broadcast"}, {"QLXSIM_BOARD=" + board});
        QCOMPARE(discover.status, 3);
        QCOMPARE(QString(discover.err).count("GPIB board 0 is not available"), 1);
        QVERIFY(!tester->busLog().contains("open-dev 21")); // the tester's address is the last asked
    }

    // A switched-off tester: the write fails with ENOL and no read waits out the time-out; a
    // block refused as the last answer is cleared before the descriptor goes back.
    void testerSideFailures()
    {
        const Run off = qlxctl({"identify"}, {"QLXSIM_OFF=1"});
        QCOMPARE(off.status, 3);
        QVERIFY(off.err.startsWith("qlxctl: no tester answers at 20 (ENOL: nobody listens at that address)\n"));
        QVERIFY(off.err.contains("Port must be set to GPIB"));
        QCOMPARE(tester->busLog().filter("read-timeout"), QStringList());

        tester->addFile("A.WMF", "data");
        QTemporaryDir pc;
        QCOMPARE(qlxctl({"get", "A.WMF", "--to", pc.path()}, {"QLXSIM_FAULT=extra-bytes"}).status, 1);
        const QStringList log = tester->busLog();
        QCOMPARE(log.mid(log.size() - 4), QStringList({"go-to-local", "device-clear", "go-to-local", "close-dev"}));
        QVERIFY(descriptorsGivenBack());
    }
};

QTEST_GUILESS_MAIN(LinuxGpibTest)
#include "test_linuxgpib.moc"
