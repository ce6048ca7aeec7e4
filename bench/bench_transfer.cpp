// The whole road through the window: a click on a name in the tester's list until the picture
// pane has painted that hardcopy, with the real MainForm and the simulated tester behind it.
// Prints one line per figure:
//   transfer_ms          1 MiB hardcopy over the simulated GPIB library: click -> picture shown
//   display_ms           the same transfer: last byte received -> picture shown
//   serial_efficiency    100 KiB hardcopy from qlxsim paced at 19200 baud: ideal line time of the
//                        answer / (click -> picture shown)                      (goal >= 0.98)
//   serial_cpu_fraction  process CPU time / elapsed over the same interval      (goal <= 0.02)
// A figure counts only when the PC folder holds exactly the tester's bytes afterwards, the pane
// shows that picture, the clipboard offers it (its image and SVG forms are drawn when asked for,
// which happens after the figure is taken) and no message box came up; otherwise a "failed"
// line and exit status 1.
// Usage: bench_transfer [gpib_bytes [serial_bytes]] (even sizes; 0 leaves that part out); qlxsim, libqlxsim-gpib.so and
// libbench-gpib-probe.so are taken from the folder of this program.

#include "app/iniio.h"
#include "app/mainform.h"
#include "platform/dialogs.h"
#include "wmf/wmfclipboard.h"
#include "platform/pictureview.h"
#include "sim/wmf_writer.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>

#include <dlfcn.h>

using namespace qlx;

namespace {

constexpr double kBaud = 19200.0;
constexpr int kWaitLimitMs = 120'000;

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

double steadySeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Notes the end of the first paint of the picture pane that shows the expected bytes.
class BenchApplication : public QApplication {
public:
    using QApplication::QApplication;

    void watch(PictureView* pane, const QByteArray& expected, QEventLoop* loop)
    {
        pane_ = pane;
        expected_ = expected;
        loop_ = loop;
        shownAt_.reset();
    }
    std::optional<double> shownAt() const { return shownAt_; }
    double cpuAtShown() const { return cpuAtShown_; }

    bool notify(QObject* receiver, QEvent* event) override
    {
        const bool watched = pane_ && receiver == pane_ && event->type() == QEvent::Paint && !shownAt_;
        const bool result = QApplication::notify(receiver, event);
        if (watched) {
            const double at = steadySeconds();
            const double cpu = cpuSeconds();
            const wmf::Picture picture = pane_->picture();
            if (!picture.isNull() && picture.data() == expected_) {
                shownAt_ = at;
                cpuAtShown_ = cpu;
                if (loop_)
                    loop_->quit();
            }
        }
        return result;
    }

private:
    PictureView* pane_ = nullptr;
    QByteArray expected_;
    QEventLoop* loop_ = nullptr;
    std::optional<double> shownAt_;
    double cpuAtShown_ = 0;
};

// Answers every message box (No to questions) and remembers the first one: any message means the
// road was not the plain one.
class QuietDialogs : public Dialogs {
public:
    QuietDialogs() { setDialogs(this); }
    ~QuietDialogs() override { setDialogs(nullptr); }
    int messageBox(QWidget*, const QString& text, int style, const QString& title) override
    {
        if (first.isEmpty())
            first = title + QStringLiteral(": ") + QString(text).replace(QStringLiteral("\r\n"), QStringLiteral(" / "));
        return style == MbQuestionYesNo || style == MbExclamationYesNo ? AnswerNo : AnswerOk;
    }
    QString browseForFolder(QWidget*, const QString&, const QString&) override { return {}; }
    QString first;
};

// The clipboard holds the metafile bytes and gives its image and SVG forms when asked.
bool clipboardOffers(const QByteArray& bytes)
{
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    return mime && mime->data(QString::fromLatin1(wmf::WmfMimeType)) == bytes
           && !qvariant_cast<QImage>(mime->imageData()).isNull()
           && !mime->data(QStringLiteral("image/svg+xml")).isEmpty();
}

int failed(const char* part, const QString& reason)
{
    std::printf("failed part=%s reason=%s\n", part, qPrintable(QString(reason).replace(u' ', u'_')));
    std::fflush(stdout);
    return 1;
}

// A persistence screen of exactly `bytes` bytes (even): title, frame and grid of a spectrum
// screen, then sweep after sweep of the trace drawn over one another; the last sweep is cut short
// (and one MoveTo added when needed) so that the size comes out exact.
std::string sweepScreen(int sweeps, int lastPoints, bool extraMove)
{
    using qlxsim::WmfWriter;
    constexpr int kWidth = 800, kHeight = 600, kLeft = 60, kTop = 70, kRight = 660, kBottom = 530;
    WmfWriter w(kWidth, kHeight);
    w.setBkMode(true);
    const int font = w.createFont(18, 400, "Arial");
    w.select(font);
    const int noPen = w.createPen(WmfWriter::NullPen, 0, {});
    w.select(noPen);
    const int black = w.createBrush(WmfWriter::SolidBrush, {0, 0, 0});
    w.select(black);
    w.rectangle(0, 0, kWidth, kHeight);
    const int blue = w.createBrush(WmfWriter::SolidBrush, {0, 0, 128});
    w.select(blue);
    w.rectangle(0, 0, kWidth, 50);
    w.setTextColor({255, 255, 255});
    w.extTextOut(20, 16, "QLX   Spectrum   Max Hold   900.000 MHz");
    const int hollow = w.createBrush(WmfWriter::NullBrush, {});
    w.select(hollow);
    const int framePen = w.createPen(WmfWriter::SolidPen, 1, {255, 255, 255});
    w.select(framePen);
    w.rectangle(kLeft, kTop, kRight, kBottom);
    const int gridPen = w.createPen(WmfWriter::DotPen, 1, {128, 128, 128});
    w.select(gridPen);
    for (int i = 1; i < 10; ++i) {
        w.moveTo(kLeft + (kRight - kLeft) * i / 10, kTop);
        w.lineTo(kLeft + (kRight - kLeft) * i / 10, kBottom);
    }
    const int tracePen = w.createPen(WmfWriter::SolidPen, 1, {255, 255, 0});
    w.select(tracePen);
    const auto sweep = [&](int index, int points) {
        std::vector<qlxsim::Point> line;
        line.reserve(points);
        for (int i = 0; i < points; ++i) {
            const double u = double(i) / 399.0;
            const double x = (u - 0.5) / 0.04;
            const double wobble = std::sin(i * 12.9898 + index * 78.233) * 0.5 + 0.5;
            const double v = 0.1 + 0.04 * wobble + 0.7 * std::exp(-x * x);
            line.push_back({kLeft + int(u * (kRight - kLeft)), kBottom - int(v * (kBottom - kTop))});
        }
        w.polyline(line);
    };
    for (int s = 0; s < sweeps; ++s)
        sweep(s, 400);
    if (lastPoints > 0)
        sweep(sweeps, lastPoints);
    if (extraMove)
        w.moveTo(0, 0);
    for (int object : {font, noPen, black, blue, hollow, framePen, gridPen, tracePen})
        w.remove(object);
    return w.finish();
}

QByteArray hardcopyOfSize(qint64 bytes)
{
    constexpr qint64 kSweepBytes = 8 + 4 * 400; // a Polyline record of 400 points
    constexpr qint64 kMoveBytes = 10;
    const qint64 base = qint64(sweepScreen(0, 0, false).size());
    qint64 rest = bytes - base;
    if (rest < 0 || bytes % 2 != 0)
        return {};
    qint64 sweeps = rest / kSweepBytes;
    rest -= sweeps * kSweepBytes;
    const bool extraMove = rest % 4 == 2;
    if (extraMove && rest < kMoveBytes + 12 && sweeps > 0) {
        --sweeps;
        rest += kSweepBytes;
    }
    if (extraMove)
        rest -= kMoveBytes;
    if (rest > 0 && rest < 12 && sweeps > 0) {
        --sweeps;
        rest += kSweepBytes;
    }
    const int lastPoints = rest > 0 ? int((rest - 8) / 4) : 0;
    const std::string file = sweepScreen(int(sweeps), lastPoints, extraMove);
    if (qint64(file.size()) != bytes)
        return {};
    return QByteArray(file.data(), qsizetype(file.size()));
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// More than one colour in the pane's own rendering: it is not blank.
bool paneShowsSomething(PictureView* pane)
{
    const QImage image = pane->grab().toImage();
    QSet<QRgb> colours;
    for (int y = 0; y < image.height() && colours.size() < 3; y += 4)
        for (int x = 0; x < image.width() && colours.size() < 3; x += 4)
            colours.insert(image.pixel(x, y));
    return colours.size() >= 3;
}

struct Road {
    QString error;      // empty when the hardcopy arrived and was shown
    double clickAt = 0; // steady seconds
    double cpuAtClick = 0;
    double shownAt = 0;
    double cpuAtShown = 0;
};

// One folder for the window's settings and one for its PC folder; the window starts on `bus`
// with `address` in the address box, connects and lists the tester's directory.
class Window {
public:
    Window(const QString& root, bool gpib, const QString& address)
    {
        const QString program = root + QStringLiteral("/program");
        pcFolder = root + QStringLiteral("/pc");
        QDir().mkpath(program);
        QDir().mkpath(pcFolder);
        const QString ini = settingsFilePath(program);
        IniWrite(ini, QStringLiteral("Path"), QStringLiteral("FilePath"), pcFolder);
        IniWrite(ini, QStringLiteral("Remote"), QStringLiteral("Route"), gpib);
        IniWrite(ini, QStringLiteral("Remote"), QStringLiteral("Path"), address);
        form = std::make_unique<MainForm>(StartupInfo{program, QCoreApplication::applicationFilePath(), {}});
        form->Form_Load();
        QCoreApplication::processEvents();
    }

    QString connect()
    {
        QTest::mouseClick(form->TestQLX, Qt::LeftButton);
        QCoreApplication::processEvents();
        if (!dialogs.first.isEmpty())
            return QStringLiteral("message while connecting: ") + dialogs.first;
        if (!form->Connected || form->QLXFiles->count() == 0)
            return QStringLiteral("not connected or empty directory");
        return {};
    }

    Road clickAndWait(BenchApplication& app, const QString& name, const QByteArray& bytes)
    {
        Road road;
        const QList<QListWidgetItem*> items = form->QLXFiles->findItems(name, Qt::MatchExactly);
        if (items.isEmpty()) {
            road.error = name + QStringLiteral(" is not in the tester's list");
            return road;
        }
        form->QLXFiles->scrollToItem(items.first());
        const QPoint at = form->QLXFiles->visualItemRect(items.first()).center();
        QEventLoop loop;
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        app.watch(form->Bild, bytes, &loop);

        road.cpuAtClick = cpuSeconds();
        road.clickAt = steadySeconds();
        QTest::mouseClick(form->QLXFiles->viewport(), Qt::LeftButton, {}, at);
        if (!app.shownAt()) {
            limit.start(kWaitLimitMs);
            loop.exec();
        }
        const std::optional<double> shownAt = app.shownAt();
        road.cpuAtShown = app.cpuAtShown();
        app.watch(nullptr, {}, nullptr);
        if (!shownAt) {
            road.error = QStringLiteral("the picture was not shown");
            return road;
        }
        road.shownAt = *shownAt;

        if (!dialogs.first.isEmpty())
            road.error = QStringLiteral("message: ") + dialogs.first;
        else if (readFile(pcFolder + u'/' + name) != bytes)
            road.error = QStringLiteral("the PC file differs from the tester's");
        else if (!form->Bild->isVisible() || form->Bild->picture().data() != bytes)
            road.error = QStringLiteral("the pane does not hold the hardcopy");
        else if (!paneShowsSomething(form->Bild))
            road.error = QStringLiteral("the pane is blank");
        else if (!clipboardOffers(bytes))
            road.error = QStringLiteral("the clipboard does not offer the hardcopy");
        return road;
    }

    QuietDialogs dialogs;
    QString pcFolder;
    std::unique_ptr<MainForm> form;
};

int benchGpib(BenchApplication& app, const QString& root, qint64 size)
{
    const QString here = QCoreApplication::applicationDirPath();
    const QString tester = root + QStringLiteral("/tester");
    const QString name = QStringLiteral("HC_9001.WMF");
    const QByteArray bytes = hardcopyOfSize(size);
    if (bytes.isEmpty() || !QDir().mkpath(tester) || !writeFile(tester + u'/' + name, bytes))
        return failed("gpib", QStringLiteral("cannot write the hardcopy"));
    const QString probe = here + QStringLiteral("/libbench-gpib-probe.so");
    qputenv("QLXCOPY_GPIB_LIBRARY", probe.toLocal8Bit());
    qputenv("QLXBENCH_GPIB_FORWARD", (here + QStringLiteral("/libqlxsim-gpib.so")).toLocal8Bit());
    qputenv("QLXSIM_DIR", tester.toLocal8Bit());

    Window window(root + QStringLiteral("/gpib"), true, QStringLiteral("20"));
    if (const QString error = window.connect(); !error.isEmpty())
        return failed("gpib", error);
    // The program has loaded the probe by now; ask it when the last read returned.
    void* handle = dlopen(probe.toLocal8Bit().constData(), RTLD_NOW | RTLD_NOLOAD);
    const auto lastReadEnd =
        handle ? reinterpret_cast<long long (*)()>(dlsym(handle, "qlxbench_lastReadEndNs")) : nullptr;
    if (!lastReadEnd)
        return failed("gpib", QStringLiteral("the program did not load the GPIB probe"));

    const Road road = window.clickAndWait(app, name, bytes);
    if (!road.error.isEmpty())
        return failed("gpib", road.error);
    const double lastByte = lastReadEnd() / 1e9;
    if (lastByte < road.clickAt || lastByte > road.shownAt)
        return failed("gpib", QStringLiteral("no read between the click and the picture"));
    std::printf("transfer_ms bus=gpib bytes=%lld value=%.1f\n", size, (road.shownAt - road.clickAt) * 1e3);
    std::printf("display_ms bus=gpib bytes=%lld value=%.1f\n", size, (road.shownAt - lastByte) * 1e3);
    std::fflush(stdout);
    return 0;
}

int benchSerial(BenchApplication& app, const QString& root, qint64 size)
{
    const QString tester = root + QStringLiteral("/tester");
    const QString name = QStringLiteral("HC_9002.WMF");
    const QByteArray bytes = hardcopyOfSize(size);
    if (bytes.isEmpty() || !QDir().mkpath(tester) || !writeFile(tester + u'/' + name, bytes))
        return failed("serial", QStringLiteral("cannot write the hardcopy"));
    QProcess sim;
    sim.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/qlxsim"));
    sim.setArguments({"--dir", tester, "--baud", "19200", "--log", ""});
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start();
    if (!sim.waitForStarted() || !sim.waitForReadyRead(5000))
        return failed("serial", QStringLiteral("qlxsim did not start"));
    const QString port = QString::fromLocal8Bit(sim.readLine()).trimmed();

    int status = 0;
    {
        Window window(root + QStringLiteral("/serial"), false, port);
        if (const QString error = window.connect(); !error.isEmpty()) {
            status = failed("serial", error);
        } else {
            const Road road = window.clickAndWait(app, name, bytes);
            if (!road.error.isEmpty()) {
                status = failed("serial", road.error);
            } else {
                const double elapsed = road.shownAt - road.clickAt;
                const double lineBytes = 2 + QByteArray::number(size).size() + size + 2; // #n, digits, data, CR LF
                std::printf("serial_efficiency bytes=%lld elapsed_s=%.3f value=%.4f\n", size, elapsed,
                            lineBytes * 10.0 / kBaud / elapsed);
                std::printf("serial_cpu_fraction bytes=%lld value=%.4f\n", size,
                            (road.cpuAtShown - road.cpuAtClick) / elapsed);
                std::fflush(stdout);
            }
        }
    }
    sim.kill();
    sim.waitForFinished();
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    BenchApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qint64 gpibBytes = args.size() > 1 ? args[1].toLongLong() : 1024 * 1024;
    const qint64 serialBytes = args.size() > 2 ? args[2].toLongLong() : 100 * 1024;
    QTemporaryDir root;
    if (!root.isValid() || gpibBytes < 0 || serialBytes < 0 || gpibBytes % 2 != 0 || serialBytes % 2 != 0)
        return 2;
    if (gpibBytes > 0 && benchGpib(app, root.path(), gpibBytes) != 0)
        return 1;
    if (serialBytes > 0 && benchSerial(app, root.path(), serialBytes) != 0)
        return 1;
    return 0;
}
