// qlxctl move --watch 1 against the simulated tester behind the simulated GPIB library while a
// thread of this program keeps making hardcopies: 1,000 of 5 to 60 KB (every fourth one the size
// of the one before, with other bytes), each written under a temporary name beside the print
// folder and renamed into it, so the tester never serves half a file. Prints one line per figure:
//   files_moved         hardcopies that arrived in the folder byte for byte and left the tester
//   files_lost          hardcopies made on the tester that the folder does not hold byte for byte
//   rss_kb_at_file_100  qlxctl's resident size when the 100th hardcopy left the tester
//   peak_rss_growth_kb  qlxctl's highest resident size from then to the last one, minus the above;
//                       VmRSS is sampled every 2 ms and VmHWM, started afresh at the 100th,
//                       catches what falls between samples                   (goal < 1024)
//   files_per_s         hardcopies moved per second, from the start to the last one leaving
//   tester_files_per_s  hardcopies made per second (files_per_s is qlxctl's own pace while it
//                       stays below this)
// A figure counts only when every hardcopy is in the folder byte for byte, nothing else is, the
// print folder is empty and qlxctl ended on SIGTERM as it should; otherwise the program says what
// failed and exits with status 1. Then two shorter runs of qlxctl move --all:
//   files_lost_hostile  hardcopies gone from the tester without their bytes in the folder, over
//                       runs against hostile testers and folders (see lostToHostileTesters),
//                       each with its own figure and time (hostile_WHAT); goal 0
//   serial_files_per_s, serial_read_once_files_per_s  8 hardcopies of 2 KB moved over the serial
//                       line paced at 19200 baud, read twice (as move does) and with --read-once;
//                       every one must arrive byte for byte and leave the tester
// Usage: bench_move [interval_ms] (pause after each new hardcopy, default 2); qlxctl, qlxsim and
// libqlxsim-gpib.so are taken from the folder of this program.

#include "tests/support/mountedfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <numeric>
#include <random>
#include <thread>
#include <vector>

namespace {

constexpr int kFiles = 1000;
constexpr int kBaselineFile = 100;
constexpr int kSampleMs = 2;
constexpr int kTimeLimitMs = 300'000;

struct Hardcopy {
    QString name;
    QByteArray bytes;
};

std::vector<Hardcopy> makeHardcopies()
{
    std::mt19937_64 random(20240601);
    std::uniform_int_distribution<qsizetype> size(5 * 1024, 60 * 1024);
    std::vector<Hardcopy> hardcopies;
    for (int i = 0; i < kFiles; ++i) {
        QByteArray bytes(i % 4 == 3 ? hardcopies.back().bytes.size() : size(random), Qt::Uninitialized);
        for (char& byte : bytes)
            byte = char(random());
        hardcopies.push_back({QStringLiteral("HC_%1.WMF").arg(i + 1, 4, 10, QLatin1Char('0')), bytes});
    }
    return hardcopies;
}

// The tester's side: each hardcopy is written whole under a temporary name, then renamed into the
// print folder. Returns an empty string, or what went wrong.
QString produce(const std::vector<Hardcopy>& hardcopies, const QString& staging, const QString& print, int intervalMs)
{
    for (const Hardcopy& hardcopy : hardcopies) {
        const QString temporary = staging + u'/' + hardcopy.name;
        QFile file(temporary);
        if (!file.open(QIODevice::WriteOnly) || file.write(hardcopy.bytes) != hardcopy.bytes.size())
            return temporary + QStringLiteral(": ") + file.errorString();
        file.close();
        const QString target = print + u'/' + hardcopy.name;
        if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(target).constData()) != 0)
            return target + QStringLiteral(": cannot rename into the print folder");
        std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
    }
    return {};
}

// A value in kB from /proc/PID/status ("VmRSS:", "VmHWM:"), or -1.
qint64 statusKb(qint64 pid, const char* key)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

bool resetPeak(qint64 pid)
{
    QFile clear(QStringLiteral("/proc/%1/clear_refs").arg(pid));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

// Counts the hardcopies deleted in the print folder, as inotify reports them.
class Departures {
public:
    Departures(const QString& folder, const std::vector<Hardcopy>& hardcopies)
        : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        if (m_fd >= 0 && inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), IN_DELETE) < 0) {
            ::close(m_fd);
            m_fd = -1;
        }
        for (const Hardcopy& hardcopy : hardcopies)
            m_names.insert(hardcopy.name.toLatin1(), false);
    }
    ~Departures()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool isValid() const { return m_fd >= 0; }
    bool overflowed() const { return m_overflow; }
    int count() const { return m_count; }

    // Waits up to `ms` for deletions and counts those of hardcopies not seen leaving before.
    void wait(int ms)
    {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0)
            return;
        alignas(inotify_event) char buffer[16 * 1024];
        ssize_t length;
        while ((length = ::read(m_fd, buffer, sizeof buffer)) > 0) {
            for (ssize_t at = 0; at < length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                m_overflow = m_overflow || (event->mask & IN_Q_OVERFLOW);
                const auto name = m_names.find(QByteArray(event->len ? event->name : ""));
                if (name != m_names.end() && !name.value()) {
                    name.value() = true;
                    ++m_count;
                }
                at += ssize_t(sizeof(inotify_event)) + event->len;
            }
        }
    }

private:
    int m_fd;
    QHash<QByteArray, bool> m_names; // true once deleted
    int m_count = 0;
    bool m_overflow = false;
};

struct Watch {
    int moved = 0;
    qint64 baselineKb = -1;
    qint64 peakKb = -1;
    double seconds = 0;
    QString failure;
};

// Samples qlxctl's resident size until every hardcopy has left the print folder.
Watch follow(QProcess& qlxctl, Departures& departures)
{
    Watch watch;
    QElapsedTimer clock;
    clock.start();
    const qint64 pid = qlxctl.processId();
    bool peakReset = false;
    while (departures.count() < kFiles) {
        departures.wait(kSampleMs);
        const qint64 rss = statusKb(pid, "VmRSS:");
        if (watch.baselineKb < 0 && departures.count() >= kBaselineFile) {
            watch.baselineKb = watch.peakKb = rss;
            peakReset = resetPeak(pid);
        }
        watch.peakKb = qMax(watch.peakKb, rss);
        if (departures.overflowed())
            watch.failure = QStringLiteral("inotify dropped events");
        else if (qlxctl.waitForFinished(0))
            watch.failure = QStringLiteral("qlxctl ended by itself (status %1)").arg(qlxctl.exitCode());
        else if (clock.elapsed() > kTimeLimitMs)
            watch.failure = QStringLiteral("only %1 of %2 hardcopies moved after %3 s")
                                .arg(departures.count())
                                .arg(kFiles)
                                .arg(kTimeLimitMs / 1000);
        if (!watch.failure.isEmpty())
            return watch;
    }
    watch.seconds = clock.nsecsElapsed() / 1e9;
    if (peakReset)
        watch.peakKb = qMax(watch.peakKb, statusKb(pid, "VmHWM:"));
    watch.moved = departures.count();
    return watch;
}

// What the folders hold afterwards: the failures, and the hardcopies in the PC folder byte for byte.
QStringList check(const std::vector<Hardcopy>& hardcopies, const QString& print, const QString& pc, int& identical)
{
    QStringList failures;
    QStringList lost;
    QSet<QString> names;
    identical = 0;
    for (const Hardcopy& hardcopy : hardcopies) {
        names.insert(hardcopy.name);
        QFile file(pc + u'/' + hardcopy.name);
        if (file.open(QIODevice::ReadOnly) && file.readAll() == hardcopy.bytes)
            ++identical;
        else
            lost << hardcopy.name;
    }
    if (!lost.isEmpty())
        failures << QStringLiteral("%1 hardcopies missing or different in the folder: %2")
                        .arg(lost.size())
                        .arg(lost.mid(0, 10).join(u' '));
    QStringList extra = QDir(pc).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    extra.removeIf([&](const QString& name) { return names.contains(name); });
    if (!extra.isEmpty())
        failures
            << QStringLiteral("the folder holds %1 other files: %2").arg(extra.size()).arg(extra.mid(0, 10).join(u' '));
    const QStringList left = QDir(print).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    if (!left.isEmpty())
        failures
            << QStringLiteral("the print folder still holds %1: %2").arg(left.size()).arg(left.mid(0, 10).join(u' '));
    return failures;
}

// The simulated tester's environment: the library, the folder, nothing else of the caller's.
QProcessEnvironment testerEnvironment(const QString& print)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QLXCOPY_GPIB_LIBRARY"),
                       QCoreApplication::applicationDirPath() + "/libqlxsim-gpib.so");
    for (const QString& key : environment.keys())
        if (key.startsWith(QStringLiteral("QLXSIM_")))
            environment.remove(key); // the tester as it comes, without a log or a fault
    environment.insert(QStringLiteral("QLXSIM_DIR"), print);
    return environment;
}

// One "qlxctl ARGUMENTS" to its end; the exit status, or -1 when it did not end by itself.
int runQlxctl(const QProcessEnvironment& environment, const QStringList& arguments)
{
    QProcess qlxctl;
    qlxctl.setProcessEnvironment(environment);
    qlxctl.setStandardOutputFile(QProcess::nullDevice());
    qlxctl.setStandardErrorFile(QProcess::nullDevice());
    qlxctl.start(QCoreApplication::applicationDirPath() + "/qlxctl", arguments);
    if (!qlxctl.waitForFinished(120'000) || qlxctl.exitStatus() != QProcess::NormalExit)
        return -1;
    return qlxctl.exitCode();
}

// Fresh folders with `count` of the hardcopies on the tester.
struct Bench {
    QTemporaryDir root;
    QString print = root.filePath(QStringLiteral("print"));
    QString pc = root.filePath(QStringLiteral("pc"));

    explicit Bench(const std::vector<Hardcopy>& hardcopies)
    {
        QDir().mkpath(print);
        QDir().mkpath(pc);
        for (const Hardcopy& hardcopy : hardcopies) {
            QFile file(print + u'/' + hardcopy.name);
            if (!file.open(QIODevice::WriteOnly) || file.write(hardcopy.bytes) != hardcopy.bytes.size())
                std::fprintf(stderr, "bench_move: cannot write %s\n", qPrintable(file.fileName()));
        }
    }
    // Hardcopies no longer on the tester whose bytes the folder does not hold.
    int lost(const std::vector<Hardcopy>& hardcopies) const
    {
        int count = 0;
        for (const Hardcopy& hardcopy : hardcopies) {
            QFile copy(pc + u'/' + hardcopy.name);
            count += !QFile::exists(print + u'/' + hardcopy.name)
                     && !(copy.open(QIODevice::ReadOnly) && copy.readAll() == hardcopy.bytes);
        }
        return count;
    }
    int left() const { return QDir(print).entryList(QDir::Files).size(); }
};

// The serial tester on `print` as qlxsim serves it, with `options`; its device, or empty.
QString startSerialTester(QProcess& sim, const QString& print, const QStringList& options)
{
    sim.start(QCoreApplication::applicationDirPath() + "/qlxsim", QStringList{"--dir", print, "--log", ""} + options);
    if (!sim.waitForReadyRead(5000))
        return {};
    return QString::fromLocal8Bit(sim.readLine()).trimmed();
}

// One run of move --all against a hostile tester or folder: the hardcopies lost, or -1 when qlxctl
// did not end with `status`. Its figure and its time are printed.
int hostileRun(const char* what, int status, const std::function<int(int&)>& run)
{
    QElapsedTimer clock;
    clock.start();
    int lost = 0;
    const int ended = run(lost);
    std::printf("hostile_%s lost %d in %.2f s\n", what, lost, clock.nsecsElapsed() / 1e9);
    if (ended != status) {
        std::fprintf(stderr, "bench_move: failed: the %s run ended with status %d\n", what, ended);
        return -1;
    }
    return lost;
}

// Two testers with the same names and other bytes, moved into `folder` at once with `policy`:
// the larger of the two exit statuses (-1 when a run did not end), the hardcopies lost to `count`.
int twoWriters(const std::vector<Hardcopy>& hardcopies, const QString& folder, const QStringList& policy, int& count)
{
    std::vector<Hardcopy> theirs = hardcopies;
    for (Hardcopy& hardcopy : theirs)
        hardcopy.bytes.prepend("theirs");
    Bench mine(hardcopies), other(theirs);
    for (Bench* bench : {&mine, &other}) {
        QDir().rmdir(bench->pc);
        QFile::link(folder, bench->pc); // one folder for both
    }
    QProcess first, second;
    for (auto [process, bench] : {std::pair{&first, &mine}, std::pair{&second, &other}}) {
        QProcessEnvironment environment = testerEnvironment(bench->print);
        environment.insert(QStringLiteral("QLXSIM_BLOCK_MS"), QStringLiteral("20")); // both runs under way at once
        process->setProcessEnvironment(environment);
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardErrorFile(QProcess::nullDevice());
        process->start(QCoreApplication::applicationDirPath() + "/qlxctl",
                       QStringList{"--bus", "ieee", "--address", "20", "move", "--all", "--to", folder} + policy);
    }
    const bool ended = first.waitForFinished(120'000) && second.waitForFinished(120'000);
    count = mine.lost(hardcopies) + other.lost(theirs);
    // Each name is in the folder once: at least one of the two runs kept hardcopies.
    return ended ? std::max(first.exitCode(), second.exitCode()) : -1;
}

// Runs against hostile testers and folders; the hardcopies lost, or -1 when a run did not end as
// it should. Every data answer wrong (random text, a changed length digit, bytes after the block,
// a listing one byte off): nothing may be deleted. A tester that writes each hardcopy anew under
// its name and size while the pass goes on, one whose first answer comes late on the serial line,
// one that lists a name with a wildcard, and two testers with the same names moved into one
// folder at once, with --overwrite, and onto a USB stick's exFAT (where it can be mounted).
int lostToHostileTesters(const std::vector<Hardcopy>& hardcopies)
{
    const QStringList moveAll{"--bus", "ieee", "--address", "20", "move", "--all"};
    std::vector<int> lost;
    for (const char* fault : {"garbage:MMEM:DATA?", "wrong-length", "extra-bytes", "listing-size"}) {
        const QByteArray label = QByteArray(fault).split(':').first();
        lost.push_back(hostileRun(label.constData(), 1, [&](int& count) {
            Bench bench(hardcopies);
            QProcessEnvironment environment = testerEnvironment(bench.print);
            environment.insert(QStringLiteral("QLXSIM_FAULT"), QString::fromLatin1(fault));
            const int status = runQlxctl(environment, moveAll + QStringList{"--to", bench.pc});
            count = bench.lost(hardcopies);
            return bench.left() == int(hardcopies.size()) ? status : -1;
        }));
    }
    lost.push_back(hostileRun("rewritten", 0, [&](int& count) {
        Bench bench(hardcopies);
        QProcessEnvironment environment = testerEnvironment(bench.print);
        const QString log = bench.root.filePath(QStringLiteral("bus.log"));
        environment.insert(QStringLiteral("QLXSIM_FAULT"), QStringLiteral("rewrite"));
        environment.insert(QStringLiteral("QLXSIM_LOG"), log);
        const int status = runQlxctl(environment, moveAll + QStringList{"--to", bench.pc});
        QFile file(log);
        file.open(QIODevice::ReadOnly);
        for (const QByteArray& line : file.readAll().split('\n'))
            count += line.startsWith("rewrote ") && !QFile::exists(bench.print + u'/' + line.mid(8));
        count += bench.lost(hardcopies);
        return status;
    }));
    lost.push_back(hostileRun("late", 1, [&](int& count) {
        Bench bench(hardcopies);
        QProcess sim;
        const QString device = startSerialTester(sim, bench.print, {"--baud", "0", "--fault", "late"});
        const int status = runQlxctl(QProcessEnvironment::systemEnvironment(),
                                     {"--bus", "com", "--address", device, "move", "--all", "--to", bench.pc});
        count = bench.lost(hardcopies);
        return status;
    }));
    lost.push_back(hostileRun("wildcard", 1, [&](int& count) {
        std::vector<Hardcopy> withWildcard = hardcopies;
        withWildcard.push_back({QStringLiteral("*.WMF"), QByteArray(100, 'w')});
        Bench bench(withWildcard);
        const int status = runQlxctl(testerEnvironment(bench.print), moveAll + QStringList{"--to", bench.pc});
        count = bench.lost(withWildcard);
        return status;
    }));
    lost.push_back(hostileRun("two_overwrite_writers", 1, [&](int& count) {
        QTemporaryDir folder;
        return twoWriters(hardcopies, folder.path(), {"--overwrite"}, count);
    }));
    MountedFolder stick(MountedFolder::ExFat);
    if (stick.skipReason().isEmpty())
        lost.push_back(hostileRun("two_writers_on_exfat", 1,
                                  [&](int& count) { return twoWriters(hardcopies, stick.path(), {}, count); }));
    else
        std::printf("hostile_two_writers_on_exfat skipped: %s\n", qPrintable(stick.skipReason()));
    return std::any_of(lost.begin(), lost.end(), [](int n) { return n < 0; })
               ? -1
               : std::accumulate(lost.begin(), lost.end(), 0);
}

// Hardcopies moved per second over the paced serial line, or -1 when any did not arrive whole
// or stayed on the tester.
double serialFilesPerSecond(const std::vector<Hardcopy>& hardcopies, bool readOnce)
{
    Bench bench(hardcopies);
    QProcess sim;
    const QString device = startSerialTester(sim, bench.print, {"--baud", "19200"});
    if (device.isEmpty())
        return -1;
    QStringList arguments{"--bus", "com", "--address", device, "move", "--all", "--to", bench.pc};
    if (readOnce)
        arguments << "--read-once";
    QElapsedTimer clock;
    clock.start();
    const int status = runQlxctl(QProcessEnvironment::systemEnvironment(), arguments);
    const double seconds = clock.nsecsElapsed() / 1e9;
    sim.kill();
    sim.waitForFinished();
    int identical = 0;
    if (status != 0 || !check(hardcopies, bench.print, bench.pc, identical).isEmpty())
        return -1;
    return identical / seconds;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int intervalMs = args.size() > 1 ? args[1].toInt() : 2;
    QTemporaryDir root;
    if (!root.isValid() || intervalMs < 0)
        return 2;
    const QString print = root.filePath(QStringLiteral("print"));
    const QString staging = root.filePath(QStringLiteral("staging"));
    const QString pc = root.filePath(QStringLiteral("pc"));
    for (const QString& folder : {print, staging, pc})
        QDir().mkpath(folder);
    const std::vector<Hardcopy> hardcopies = makeHardcopies();

    Departures departures(print, hardcopies);
    if (!departures.isValid()) {
        std::fprintf(stderr, "bench_move: cannot watch the print folder\n");
        return 1;
    }
    QProcess qlxctl;
    qlxctl.setProcessEnvironment(testerEnvironment(print));
    qlxctl.setProcessChannelMode(QProcess::MergedChannels);
    qlxctl.setStandardOutputFile(root.filePath(QStringLiteral("qlxctl.log")));
    qlxctl.start(app.applicationDirPath() + "/qlxctl",
                 {"--bus", "ieee", "--address", "20", "move", "--watch", "1", "--to", pc});
    if (!qlxctl.waitForStarted()) {
        std::fprintf(stderr, "bench_move: qlxctl did not start\n");
        return 1;
    }
    QString produced;
    double producerSeconds = 0;
    std::thread producer([&] {
        QElapsedTimer clock;
        clock.start();
        produced = produce(hardcopies, staging, print, intervalMs);
        producerSeconds = clock.nsecsElapsed() / 1e9;
    });

    const Watch watch = follow(qlxctl, departures);
    ::kill(pid_t(qlxctl.processId()), SIGTERM);
    const bool ended = qlxctl.waitForFinished(30'000);
    producer.join();

    int identical = 0;
    QStringList failures = check(hardcopies, print, pc, identical);
    if (!watch.failure.isEmpty())
        failures.prepend(watch.failure);
    if (!produced.isEmpty())
        failures.prepend(produced);
    if (!ended || qlxctl.exitStatus() != QProcess::NormalExit || qlxctl.exitCode() != 128 + SIGTERM)
        failures << QStringLiteral("qlxctl did not end on SIGTERM as it should");
    if (!failures.isEmpty()) {
        for (const QString& failure : failures)
            std::fprintf(stderr, "bench_move: failed: %s\n", qPrintable(failure));
        QFile log(root.filePath(QStringLiteral("qlxctl.log")));
        if (log.open(QIODevice::ReadOnly))
            std::fprintf(stderr, "last words of qlxctl:\n%s\n", log.readAll().right(2000).constData());
        return 1;
    }
    std::printf("files_moved %d\n", identical);
    std::printf("files_lost %d\n", kFiles - identical);
    std::printf("rss_kb_at_file_%d %lld\n", kBaselineFile, watch.baselineKb);
    std::printf("peak_rss_growth_kb %lld\n", watch.peakKb - watch.baselineKb);
    std::printf("files_per_s %.1f\n", watch.moved / watch.seconds);
    std::printf("tester_files_per_s %.1f\n", kFiles / producerSeconds);

    const std::vector<Hardcopy> few(hardcopies.begin(), hardcopies.begin() + 20);
    const int lostHostile = lostToHostileTesters(few);
    std::vector<Hardcopy> small;
    for (int i = 0; i < 8; ++i)
        small.push_back({few[i].name, few[i].bytes.left(2048)});
    const double twice = serialFilesPerSecond(small, false);
    const double once = serialFilesPerSecond(small, true);
    if (lostHostile < 0 || twice < 0 || once < 0) {
        std::fprintf(stderr, "bench_move: failed: %s\n", lostHostile < 0 ? "hostile runs" : "serial runs");
        return 1;
    }
    std::printf("files_lost_hostile %d\n", lostHostile);
    std::printf("serial_files_per_s %.2f\n", twice);
    std::printf("serial_read_once_files_per_s %.2f\n", once);
    return lostHostile == 0 ? 0 : 1;
}
