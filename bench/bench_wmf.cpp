// Render times of the metafile player: every sample hardcopy of a folder and the largest corpus
// file, each at 800x600, 1920x1080 and 3840x2160. Prints one line per figure (median of repeated
// runs) with the number of pixels its text covers, found by drawing it once more with the text
// records made into no-ops, so that a time for text that went missing cannot pass unnoticed:
//   render_ms file=NAME size=WxH value=MS text_pixels=N no_text_ms=MS
// where no_text_ms is the time of that text-free drawing, the share of everything but the text.
// A picture with text records whose text covers no pixel gets a text_missing line, and the
// program then exits with status 1.
// Usage: bench_wmf [SAMPLE_FOLDER [CORPUS_FOLDER]]; both default to tests/wmf/corpus.

#include "wmf/wmfformat.h"
#include "wmf/wmfpicture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
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
    return drawn ? 0 : 1;
}
