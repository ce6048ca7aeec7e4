// qlxsim as a client sees it: a raw serial device whose path is the first line of its output.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>

#include "tests/sim/listing_check.h"

namespace {

// A running qlxsim and the device it offers.
class SimProcess {
public:
    SimProcess(const QString& folder, QStringList options)
    {
        process_.setProgram(qEnvironmentVariable("QLX_BUILD_DIR") + "/qlxsim");
        process_.setArguments(QStringList{"--dir", folder} + options);
        process_.start();
        if (process_.waitForReadyRead(10000))
            path_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
    }
    ~SimProcess()
    {
        process_.kill();
        process_.waitForFinished();
    }
    QString path() const { return path_; }

private:
    QProcess process_;
    QString path_;
};

class Line {
public:
    explicit Line(const QString& path) : fd_(::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY))
    {
        termios tio{};
        if (fd_ >= 0 && tcgetattr(fd_, &tio) == 0) {
            cfmakeraw(&tio);
            tcsetattr(fd_, TCSANOW, &tio);
        }
    }
    ~Line()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool isOpen() const { return fd_ >= 0; }

    void send(const std::string& bytes) const
    {
        QCOMPARE(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // Reads until `count` bytes arrived or the line stays quiet for `quietMs`.
    std::string receive(std::size_t count, int quietMs = 2000) const
    {
        std::string got;
        char buffer[4096];
        pollfd fd{fd_, POLLIN, 0};
        while (got.size() < count && poll(&fd, 1, quietMs) > 0) {
            const ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - got.size()));
            if (n <= 0)
                break;
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

    std::string query(const std::string& command, std::size_t count) const
    {
        send(command);
        return receive(count);
    }

private:
    int fd_;
};

const std::string kIdn = "Halvard&Brenn,QLX,1234567/890,V3.10";
const std::string kRaw("A\0B\r\nC", 6);

} // namespace

class TestSimPty : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString folder() const { return dir_.path() + "/print"; }
    QString logPath() const { return dir_.path() + "/bus.log"; }

    QByteArray hardcopyBlock() const
    {
        QFile file(folder() + "/HC_0001.WMF");
        if (!file.open(QIODevice::ReadOnly))
            return {};
        const QByteArray data = file.readAll();
        return "#" + QByteArray::number(QByteArray::number(data.size()).size()) + QByteArray::number(data.size())
               + data;
    }

private slots:
    void initTestCase()
    {
        QCOMPARE(QProcess::execute(qEnvironmentVariable("QLX_BUILD_DIR") + "/qlxsamples", {folder()}), 0);
        std::ofstream(folder().toStdString() + "/Z.WMF", std::ios::binary) << kRaw;
    }

    void servesTheCommandsAndLogsThem()
    {
        SimProcess sim(folder(), {"--baud", "0", "--log", logPath()});
        QVERIFY(sim.path().startsWith("/dev/"));
        {
            Line line(sim.path());
            QVERIFY(line.isOpen());
            line.send("*SEC 0\n");
            QCOMPARE(line.query("*IDN?\n", kIdn.size() + 2), kIdn + "\r\n");
            line.send("MMEM:CDIR \"\\USERDATA\\PRINT\"\n");
            QVERIFY(line.receive(1, 300).empty()); // no answer to a directory change
            line.send("MMEM:SCAN?\n");
            const std::string answer = line.receive(100000, 500);
            QVERIFY(answer.ends_with("\r\n"));
            QCOMPARE(hardcopiesInListing(answer, true)->size(), 5);
        }
        // The client closes the device and opens it again: the tester still serves.
        Line again(sim.path());
        QCOMPARE(again.query("MMEM:DATA? \"Z.WMF\"\n", 11), "#16" + kRaw + "\r\n");
        again.send("MMEM:DEL \"Z.WMF\",INT\n*GTL\n");
        QVERIFY(again.query("*IDN?\n", kIdn.size() + 2).starts_with("Halv"));
        QVERIFY(!QFile::exists(folder() + "/Z.WMF"));

        QFile log(logPath());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromLatin1(log.readAll()).split('\n'),
                 QStringList({"*SEC 0\\n", "*IDN?\\n", "MMEM:CDIR \"\\\\USERDATA\\\\PRINT\"\\n", "MMEM:SCAN?\\n",
                              "MMEM:DATA? \"Z.WMF\"\\n", "MMEM:DEL \"Z.WMF\",INT\\n", "*GTL\\n", "*IDN?\\n", ""}));
    }

    void optionsShapeTheAnswers_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray request = "MMEM:DATA? \"HC_0001.WMF\"\n";
        const QByteArray block = hardcopyBlock();
        QTest::newRow("lf") << QStringList{"--terminator", "lf"} << QByteArray("*IDN?\n")
                            << QByteArray::fromStdString(kIdn + "\n");
        QTest::newRow("no-terminator") << QStringList{"--fault", "no-terminator"} << QByteArray("*IDN?\n")
                                       << QByteArray::fromStdString(kIdn);
        QTest::newRow("silent") << QStringList{"--fault", "silent"} << QByteArray("*IDN?\n") << QByteArray();
        QTest::newRow("old") << QStringList{"--old-firmware"} << QByteArray("*IDN?\n")
                             << QByteArray("Halvard&Brenn,QLX,1234567/890,V3.05\r\n");
        QTest::newRow("idn") << QStringList{"--idn", "X,Y"} << QByteArray("*IDN?\n") << QByteArray("X,Y\r\n");
        QTest::newRow("stop-mid-block") << QStringList{"--fault", "stop-mid-block"} << request
                                        << block.left(block.size() / 2);
    }

    void optionsShapeTheAnswers()
    {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, expected);
        SimProcess sim(folder(), options << "--baud"
                                         << "0"
                                         << "--log"
                                         << "");
        Line line(sim.path());
        line.send(command.toStdString());
        QCOMPARE(QByteArray::fromStdString(line.receive(100000, 500)), expected);
    }
};

QTEST_GUILESS_MAIN(TestSimPty)
#include "test_sim_pty.moc"
