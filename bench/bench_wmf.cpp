// Render times of the metafile player: every sample hardcopy of a folder and the largest corpus
// file, each at 800x600, 1920x1080 and 3840x2160. Prints one line per figure (median of repeated
// runs) with the number of pixels its text covers, found by drawing it once more with the text
// records made into no-ops, so that a time for text that went missing cannot pass unnoticed:
//   render_ms file=NAME size=WxH value=MS text_pixels=N no_text_ms=MS
// where no_text_ms is the time of that text-free drawing, the share of everything but the text.
// A picture with text records whose text covers no pixel gets a text_missing line, and the
// program then exits with status 1.
// Then the conversions for reports, on the simulator's tester screens:
//   pdf_page_ms file=NAME value=MS        a screen converted into a one-page PDF file
//   batch_png_ms_per_file files=100 size=800x600 value=MS
//   png_kb_per_file files=100 size=800x600 value=KB
//   batch_txt_ms_per_file files=100 size=800x600 value=MS
//   batch_txt_to_png_time files=100 value=RATIO
// the second the whole time of one qlxrender run converting 100 screens into 800x600 PNG files
// (start-up, drawing, encoding and writing), per file, the third their mean size, the fourth the
// same run into text files and the last its time over the PNG run's (goal: at most 1). Each is
// printed only after its outputs were checked (the PDF's page count and its text read back with
// poppler's pdfinfo and pdftotext; every PNG decoded, of the right size, the first of each screen
// equal to the player's rendering; every text file the screen's text, with each word of its text
// records); otherwise a *_failed line says why and the program exits with status 1.
// Usage: bench_wmf [SAMPLE_FOLDER [CORPUS_FOLDER]]; both default to tests/wmf/corpus.

#include "sim/sample_screens.h"
#include "tests/support/pdftools.h"
#include "wmf/wmfconvert.h"
#include "wmf/wmfformat.h"
#include "wmf/wmfpicture.h"
#include "wmf/wmfrender.h"
#include "wmf/wmftextruns.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QString defaultCorpus()
{
    const QString here = QFileInfo(QStringLiteral(__FILE__)).absolutePath();
    return QDir(here).absoluteFilePath(QStringLiteral("../tests/wmf/corpus"));
}

QImage render(const wmf::Picture& picture, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    picture.draw(painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return image;
}

double medianRenderMs(const wmf::Picture& picture, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    std::vector<double> times;
    QElapsedTimer total;
    total.start();
    for (int i = 0; i < 3 || (times.size() < 200 && total.elapsed() < 1500); ++i) {
        image.fill(Qt::white);
        QElapsedTimer t;
        t.start();
        QPainter painter(&image);
        picture.draw(painter, QRectF(QPointF(0, 0), QSizeF(size)));
        painter.end();
        times.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// The metafile with its text records turned into escapes, which draw nothing; null when it has none.
wmf::Picture withoutText(const QByteArray& bytes)
{
    QByteArray stripped = bytes;
    const wmf::Bytes file(reinterpret_cast<const uchar*>(bytes.constData()), bytes.size());
    bool any = false;
    for (const wmf::Record& r : wmf::splitRecords(file, wmf::parseHeader(file))) {
        if (r.function == wmf::fn::TextOut || r.function == wmf::fn::ExtTextOut) {
            stripped[r.offset + 4] = char(wmf::fn::Escape & 0xFF);
            stripped[r.offset + 5] = char(wmf::fn::Escape >> 8);
            any = true;
        }
    }
    return any ? wmf::Picture::fromData(stripped) : wmf::Picture();
}

int differingPixels(const QImage& a, const QImage& b)
{
    int count = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* p = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* q = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            count += p[x] != q[x];
    }
    return count;
}

// Returns false when the picture has text and none of it was drawn at some size.
bool report(const QFileInfo& file, const QString& label)
{
    QFile in(file.absoluteFilePath());
    const QByteArray bytes = in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    const wmf::Picture picture = wmf::Picture::fromData(bytes);
    if (picture.isNull()) {
        std::printf("skipped file=%s reason=unreadable\n", qPrintable(label));
        return true;
    }
    const wmf::Picture plain = withoutText(bytes);
    bool drawn = true;
    for (QSize size : {QSize(800, 600), QSize(1920, 1080), QSize(3840, 2160)}) {
        const int text = plain.isNull() ? 0 : differingPixels(render(picture, size), render(plain, size));
        const double ms = medianRenderMs(picture, size);
        const double plainMs = plain.isNull() ? ms : medianRenderMs(plain, size);
        std::printf("render_ms file=%s size=%dx%d value=%.3f text_pixels=%d no_text_ms=%.3f\n", qPrintable(label),
                    size.width(), size.height(), ms, text, plainMs);
        if (!plain.isNull() && text == 0) {
            std::printf("text_missing file=%s size=%dx%d\n", qPrintable(label), size.width(), size.height());
            drawn = false;
        }
        std::fflush(stdout);
    }
    return drawn;
}

// The simulator's sample screens that are metafiles.
QList<std::pair<QString, QByteArray>> testerScreens()
{
    QList<std::pair<QString, QByteArray>> screens;
    for (const qlxsim::SampleFile& s : qlxsim::sampleFiles()) {
        const QByteArray bytes = QByteArray::fromStdString(s.bytes);
        if (!wmf::Picture::fromData(bytes).isNull())
            screens.append({QString::fromStdString(s.name), bytes});
    }
    return screens;
}

bool failed(const char* figure, const QString& why)
{
    std::printf("%s_failed reason=%s\n", figure, qPrintable(why));
    return false;
}

QString writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() ? path : QString();
}

// One tester screen into a one-page PDF file, through the conversion that qlxctl and qlxrender use.
bool reportPdf(const QString& name, const QByteArray& bytes, const QTemporaryDir& dir)
{
    const QString in = writeFile(dir.filePath(name), bytes), out = dir.filePath("page.pdf");
    std::vector<double> times;
    QElapsedTimer total;
    total.start();
    for (int i = 0; i < 5 || (times.size() < 100 && total.elapsed() < 1500); ++i) {
        QElapsedTimer t;
        t.start();
        if (const QString error = wmf::convertFile(in, out, wmf::Format::Pdf); !error.isEmpty())
            return failed("pdf_page_ms", error);
        times.push_back(t.nsecsElapsed() / 1e6);
    }
    if (pdftools::info(out, "Pages") != "1")
        return failed("pdf_page_ms", "not one page (is poppler-utils installed?)");
    const QString text = pdftools::text(out);
    for (const QString& word : pdftools::words(bytes))
        if (!text.contains(word))
            return failed("pdf_page_ms", "text not found: " + word);
    std::sort(times.begin(), times.end());
    std::printf("pdf_page_ms file=%s value=%.3f\n", qPrintable(name), times[times.size() / 2]);
    return true;
}

constexpr int BatchFiles = 100;
const QSize BatchSize(800, 600);

// The times, per file, of three qlxrender runs converting `inputs` into `format` files in `out`,
// sorted; empty when a run failed, with the reason in `error`.
std::vector<double> batchTimes(const QStringList& inputs, const QString& out, const QString& format, QString& error)
{
    const QStringList args = inputs + QStringList{"--to",     out,
                                                  "--format", format,
                                                  "--width",  QString::number(BatchSize.width()),
                                                  "--height", QString::number(BatchSize.height())};
    std::vector<double> times;
    for (int round = 0; round < 3; ++round) {
        QDir(out).removeRecursively();
        QProcess p;
        QElapsedTimer t;
        t.start();
        p.start(QCoreApplication::applicationDirPath() + "/qlxrender", args);
        if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            error = "qlxrender failed: " + QString::fromLocal8Bit(p.readAllStandardError());
            return {};
        }
        times.push_back(t.nsecsElapsed() / 1e6 / inputs.size());
    }
    std::sort(times.begin(), times.end());
    return times;
}

// 100 tester screens into 800x600 PNG files by one qlxrender run, and into text files; the median
// of three runs each.
bool reportBatch(const QList<std::pair<QString, QByteArray>>& screens, const QTemporaryDir& dir)
{
    QStringList inputs;
    for (int i = 0; i < BatchFiles; ++i)
        inputs << writeFile(dir.filePath(QStringLiteral("S%1.WMF").arg(i, 3, 10, QLatin1Char('0'))),
                            screens[i % screens.size()].second);
    const auto output = [&](const QString& folder, int i, const char* extension) {
        return QStringLiteral("%1/S%2.%3").arg(folder).arg(i, 3, 10, QLatin1Char('0')).arg(extension);
    };

    QString error;
    const QString png = dir.filePath("png");
    const std::vector<double> pngTimes = batchTimes(inputs, png, "png", error);
    if (pngTimes.empty())
        return failed("batch_png_ms_per_file", error);
    qint64 bytes = 0;
    for (int i = 0; i < BatchFiles; ++i) {
        bytes += QFileInfo(output(png, i, "png")).size();
        const QImage image(output(png, i, "png"));
        if (image.size() != BatchSize)
            return failed("batch_png_ms_per_file", QStringLiteral("S%1.png missing or of the wrong size").arg(i));
        if (i < screens.size()
            && image.convertToFormat(QImage::Format_RGB32)
                   != wmf::renderImage(wmf::Picture::fromData(screens[i].second), BatchSize))
            return failed("batch_png_ms_per_file", QStringLiteral("S%1.png differs from the picture").arg(i));
    }
    const double pngMs = pngTimes[pngTimes.size() / 2];
    std::printf("batch_png_ms_per_file files=%d size=%dx%d value=%.3f\n", BatchFiles, BatchSize.width(),
                BatchSize.height(), pngMs);
    std::printf("png_kb_per_file files=%d size=%dx%d value=%.1f\n", BatchFiles, BatchSize.width(), BatchSize.height(),
                bytes / 1024.0 / BatchFiles);

    // The text files: each what the library reads from its screen, every word of the text records in it.
    const QString txt = dir.filePath("txt");
    const std::vector<double> txtTimes = batchTimes(inputs, txt, "txt", error);
    if (txtTimes.empty())
        return failed("batch_txt_ms_per_file", error);
    for (int i = 0; i < BatchFiles; ++i) {
        QFile file(output(txt, i, "txt"));
        const QString text = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
        const QByteArray& screen = screens[i % screens.size()].second;
        if (text != wmf::readingText(wmf::readingLines(wmf::Picture::fromData(screen), BatchSize)))
            return failed("batch_txt_ms_per_file", QStringLiteral("S%1.txt is not the screen's text").arg(i));
        for (const QString& word : pdftools::words(screen))
            if (!text.contains(word))
                return failed("batch_txt_ms_per_file", QStringLiteral("S%1.txt lacks %2").arg(i).arg(word));
    }
    const double txtMs = txtTimes[txtTimes.size() / 2];
    std::printf("batch_txt_ms_per_file files=%d size=%dx%d value=%.3f\n", BatchFiles, BatchSize.width(),
                BatchSize.height(), txtMs);
    std::printf("batch_txt_to_png_time files=%d value=%.2f\n", BatchFiles, txtMs / pngMs);
    return true;
}

QFileInfoList metafiles(const QString& folder)
{
    return QDir(folder).entryInfoList({"*.wmf", "*.WMF"}, QDir::Files, QDir::Name);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString samples = args.size() > 1 ? args[1] : defaultCorpus();
    const QString corpus = args.size() > 2 ? args[2] : defaultCorpus();

    const QFileInfoList files = metafiles(samples);
    if (files.isEmpty())
        std::printf("skipped folder=%s reason=no-metafiles\n", qPrintable(samples));
    bool drawn = true;
    for (const QFileInfo& file : files)
        drawn = report(file, file.fileName()) && drawn;

    const QFileInfoList all = metafiles(corpus);
    const auto largest = std::max_element(all.begin(), all.end(),
                                          [](const QFileInfo& a, const QFileInfo& b) { return a.size() < b.size(); });
    if (largest != all.end())
        drawn = report(*largest, "largest:" + largest->fileName()) && drawn;

    const auto screens = testerScreens();
    QTemporaryDir dir;
    bool converted = !screens.isEmpty() && dir.isValid();
    if (converted)
        converted = reportPdf(screens[0].first, screens[0].second, dir) && reportBatch(screens, dir);
    else
        failed("conversions", "no tester screens");
    return drawn && converted ? 0 : 1;
}
