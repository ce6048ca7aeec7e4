// Throughput and cost of QueryData: a 100 KiB block from qlxsim over a pseudo-terminal paced at
// 19200 baud, a 10 MiB block through the simulated GPIB library, and a 4 MiB block through the
// simulated "++" adapter paced at 1 MB/s. Prints
//   serial_efficiency    ideal line time / elapsed          (goal >= 0.98)
//   serial_cpu_fraction  process CPU time / elapsed         (goal <= 0.02)
//   gpib_mb_per_s        MiB per second through QueryData
//   gpib_peak_rss_ratio  peak RSS growth / block size       (goal <= 2)
//   gpib_library_rss_ratio  the same for the library's calls alone, read into a buffer that is
//                        already resident: the simulated library's own share of the figure above
//   adapter_efficiency   ideal time at 1 MB/s / elapsed     (goal >= 0.95)
//   vxi11_efficiency     a 4 MiB block through the simulated LAN-GPIB gateway at 1 MB/s, answered
//                        in pieces of 1 KiB: ideal time / elapsed   (goal >= 0.95)
// Usage: bench_transport [serial_bytes [gpib_bytes]]; qlxsim and libqlxsim-gpib.so are taken from
// the folder of this program.
#include "link/transport.h"
#include "link/ni488/vbib32.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>

#include <malloc.h>

using namespace qlx;

namespace {

constexpr double kBaud = 19200.0;

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

// Resident and peak resident size in bytes, from /proc/self/status.
qint64 statusBytes(const char* key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').value(0).toLongLong() * 1024;
    return 0;
}

bool writeBlockFile(const QString& path, qint64 size)
{
    QByteArray data(size, '\0');
    for (qint64 i = 0; i < size; ++i)
        data[i] = char((i * 131) ^ (i >> 8));
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == size;
}

int headerLength(qint64 size) { return 2 + int(QByteArray::number(size).size()); }

// Starts qlxsim with `arguments`; the device path or address it prints, or empty.
QString startSim(QProcess& sim, const QStringList& arguments)
{
    sim.setProgram(QCoreApplication::applicationDirPath() + "/qlxsim");
    sim.setArguments(arguments);
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start();
    if (!sim.waitForStarted() || !sim.waitForReadyRead(5000)) {
        std::fprintf(stderr, "bench_transport: qlxsim did not start\n");
        return {};
    }
    return QString::fromLocal8Bit(sim.readLine()).trimmed();
}

bool benchSerial(const QString& folder, qint64 size)
{
    if (!writeBlockFile(folder + "/SERIAL.WMF", size))
        return false;
    QProcess sim;
    const QString port = startSim(sim, {"--dir", folder, "--baud", "19200", "--log", ""});
    if (port.isEmpty())
        return false;
    Transport link;
    if (!link.openSerial(port)) {
        std::fprintf(stderr, "bench_transport: cannot open %s\n", qPrintable(port));
        return false;
    }
    QElapsedTimer clock;
    const double cpuBefore = cpuSeconds();
    clock.start();
    const DataAnswer answer = link.queryData(Bus::Serial, "MMEM:DATA? \"SERIAL.WMF\"");
    const double elapsed = clock.nsecsElapsed() / 1e9;
    const double cpu = cpuSeconds() - cpuBefore;
    link.closeSerial();
    sim.kill();
    sim.waitForFinished();
    if (answer.outcome != Outcome::Ok || answer.data.size() != size) {
        std::fprintf(stderr, "bench_transport: serial transfer failed (%lld bytes)\n", qint64(answer.data.size()));
        return false;
    }
    const double lineBytes = headerLength(size) + size + 2;
    std::printf("serial_bytes %lld\nserial_elapsed_s %.3f\n", size, elapsed);
    std::printf("serial_efficiency %.4f\n", lineBytes * 10.0 / kBaud / elapsed);
    std::printf("serial_cpu_fraction %.4f\n", cpu / elapsed);
    return true;
}

// A block through the simulated "++" adapter on a pseudo-terminal, paced at 1 MB/s.
bool benchAdapter(const QString& folder, qint64 size)
{
    constexpr double kRate = 1e6;
    if (!writeBlockFile(folder + "/ADAPTER.WMF", size))
        return false;
    QFile file(folder + "/ADAPTER.WMF");
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray expected = file.readAll();
    QProcess sim;
    const QString device = startSim(
        sim, {"--dir", folder, "--adapter", "prologix", "--rate", QString::number(qint64(kRate)), "--log", ""});
    const std::optional<GpibAddress> address = parseGpibAddress("20@" + device);
    Transport link;
    QString error;
    if (device.isEmpty() || !address || !link.openGpib(*address, nullptr, &error)) {
        std::fprintf(stderr, "bench_transport: the adapter did not open: %s\n", qPrintable(error));
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    const DataAnswer answer = link.queryData(Bus::Gpib, "MMEM:DATA? \"ADAPTER.WMF\"");
    const double elapsed = clock.nsecsElapsed() / 1e9;
    sim.kill();
    sim.waitForFinished();
    if (answer.outcome != Outcome::Ok || answer.data != expected) {
        std::fprintf(stderr, "bench_transport: adapter transfer failed (%lld bytes)\n", qint64(answer.data.size()));
        return false;
    }
    const double lineBytes = headerLength(size) + size + 2;
    std::printf("adapter_bytes %lld\nadapter_elapsed_s %.3f\n", size, elapsed);
    std::printf("adapter_efficiency %.4f\n", lineBytes / kRate / elapsed);
    return true;
}

// A block through the simulated gateway over VXI-11, its bus paced at 1 MB/s, each device_read
// answered with at most 1 KiB.
bool benchVxi11(const QString& folder, qint64 size)
{
    constexpr double kRate = 1e6;
    if (!writeBlockFile(folder + "/GATEWAY.WMF", size))
        return false;
    QFile file(folder + "/GATEWAY.WMF");
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray expected = file.readAll();
    QProcess sim;
    const QString portmapper = startSim(
        sim, {"--dir", folder, "--gateway", "--piece", "1024", "--rate", QString::number(qint64(kRate)), "--log", ""});
    qputenv("QLXCOPY_PORTMAPPER_PORT", portmapper.section(u':', 1).toLatin1());
    qputenv("QLXCOPY_VISA_LIBRARY", "/nonexistent/libvisa.so"); // the native road
    const std::optional<GpibAddress> address = parseGpibAddress("TCPIP0::127.0.0.1::gpib0,20::INSTR");
    Transport link;
    QString error;
    if (portmapper.isEmpty() || !link.openGpib(*address, nullptr, &error)) {
        std::fprintf(stderr, "bench_transport: the gateway did not open: %s\n", qPrintable(error));
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    const DataAnswer answer = link.queryData(Bus::Gpib, "MMEM:DATA? \"GATEWAY.WMF\"");
    const double elapsed = clock.nsecsElapsed() / 1e9;
    sim.kill();
    sim.waitForFinished();
    if (answer.outcome != Outcome::Ok || answer.data != expected) {
        std::fprintf(stderr, "bench_transport: gateway transfer failed (%lld bytes)\n", qint64(answer.data.size()));
        return false;
    }
    const double lineBytes = headerLength(size) + size + 2;
    std::printf("vxi11_bytes %lld\nvxi11_elapsed_s %.3f\n", size, elapsed);
    std::printf("vxi11_efficiency %.4f\n", lineBytes / kRate / elapsed);
    return true;
}

// Starts the peak resident size afresh and returns the resident size now.
qint64 resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
    clear.close();
    return statusBytes("VmRSS:");
}

// The library calls of a data query alone, into a resident buffer: peak RSS growth / size.
double libraryShare(qint64 size)
{
    QByteArray scratch(size, '\1');
    const qint16 ud = vbib32::ibdev(0, 20, 96, 13, 1, 0);
    const qint64 rssBefore = resetPeak();
    vbib32::ibwrt(ud, "MMEM:DATA? \"GPIB.WMF\"");
    const QByteArray mark = vbib32::ibrdText(ud, 2);
    vbib32::ibrdText(ud, mark.at(1) - '0');
    vbib32::ibrdBytes(ud, scratch.data(), size);
    return double(statusBytes("VmHWM:") - rssBefore) / double(size);
}

bool benchGpib(const QString& folder, qint64 size)
{
    if (!writeBlockFile(folder + "/GPIB.WMF", size))
        return false;
    qputenv("QLXCOPY_GPIB_LIBRARY", (QCoreApplication::applicationDirPath() + "/libqlxsim-gpib.so").toLocal8Bit());
    qputenv("QLXSIM_DIR", folder.toLocal8Bit());
    Transport link;
    if (!link.openGpib(20))
        return false;
    const qint64 rssBefore = resetPeak();
    QElapsedTimer clock;
    clock.start();
    const DataAnswer answer = link.queryData(Bus::Gpib, "MMEM:DATA? \"GPIB.WMF\"");
    const double elapsed = clock.nsecsElapsed() / 1e9;
    const qint64 peak = statusBytes("VmHWM:");
    if (answer.outcome != Outcome::Ok || answer.data.size() != size) {
        std::fprintf(stderr, "bench_transport: GPIB transfer failed\n");
        return false;
    }
    std::printf("gpib_bytes %lld\ngpib_elapsed_s %.3f\n", size, elapsed);
    std::printf("gpib_mb_per_s %.1f\n", size / 1048576.0 / elapsed);
    std::printf("gpib_peak_rss_ratio %.2f\n", double(peak - rssBefore) / double(size));
    std::printf("gpib_library_rss_ratio %.2f\n", libraryShare(size));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 128 * 1024); // large blocks always mapped afresh: no carry-over between runs
#endif
    const QStringList args = app.arguments();
    const qint64 serialBytes = args.size() > 1 ? args[1].toLongLong() : 100 * 1024;
    const qint64 gpibBytes = args.size() > 2 ? args[2].toLongLong() : 10 * 1024 * 1024;
    QTemporaryDir folder;
    if (!folder.isValid() || serialBytes <= 0 || gpibBytes <= 0)
        return 2;
    const bool ok = benchGpib(folder.path(), gpibBytes) && benchSerial(folder.path(), serialBytes)
                    && benchAdapter(folder.path(), 4 * 1024 * 1024) && benchVxi11(folder.path(), 4 * 1024 * 1024);
    return ok ? 0 : 1;
}
