// Render times of the metafile player: every sample hardcopy of a folder and the largest corpus
// file, each at 800x600 and at 3840x2160. Prints one line per figure (median of repeated runs):
//   render_ms file=NAME size=WxH value=MS
// Usage: bench_wmf [SAMPLE_FOLDER [CORPUS_FOLDER]]; both default to tests/wmf/corpus.

#include "platform/wmf/wmfpicture.h"

#include <QDir>
#include <QElapsedTimer>
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

double medianRenderMs(const WmfPicture& picture, QSize size)
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

void report(const QFileInfo& file, const QString& label)
{
    const WmfPicture picture = WmfPicture::load(file.absoluteFilePath());
    if (picture.isNull()) {
        std::printf("skipped file=%s reason=unreadable\n", qPrintable(label));
        return;
    }
    for (QSize size : {QSize(800, 600), QSize(3840, 2160)})
        std::printf("render_ms file=%s size=%dx%d value=%.3f\n", qPrintable(label), size.width(), size.height(),
                    medianRenderMs(picture, size));
    std::fflush(stdout);
}

QFileInfoList metafiles(const QString& folder)
{
    return QDir(folder).entryInfoList({"*.wmf", "*.WMF"}, QDir::Files, QDir::Name);
}

}  // namespace

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
    for (const QFileInfo& file : files)
        report(file, file.fileName());

    const QFileInfoList all = metafiles(corpus);
    const auto largest = std::max_element(all.begin(), all.end(),
                                          [](const QFileInfo& a, const QFileInfo& b) { return a.size() < b.size(); });
    if (largest != all.end())
        report(*largest, "largest:" + largest->fileName());
    return 0;
}
