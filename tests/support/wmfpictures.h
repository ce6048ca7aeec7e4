#pragma once
// The pictures the metafile tests draw: the simulator's sample screens and the corpus from real
// writers, and a measure of how far two renderings of one picture differ.

#include "sim/sample_screens.h"
#include "tests/support/testpaths.h"
#include "wmf/wmfpicture.h"

#include <QDir>
#include <QFile>
#include <QImage>

struct NamedPicture {
    QString name;
    QByteArray bytes;
};

// The corpus files, by name.
inline QStringList corpusFiles()
{
    QStringList files;
    const QString dir = sourceDir() + "/tests/wmf/corpus";
    for (const QFileInfo& fi : QDir(dir).entryInfoList({"*.wmf"}, QDir::Files, QDir::Name))
        files << fi.absoluteFilePath();
    return files;
}

// The sample screens that are metafiles, then the corpus.
inline QList<NamedPicture> samplesAndCorpus()
{
    QList<NamedPicture> all;
    for (const qlxsim::SampleFile& s : qlxsim::sampleFiles()) {
        const QByteArray bytes = QByteArray::fromStdString(s.bytes);
        if (!wmf::Picture::fromData(bytes).isNull())
            all.append({QString::fromStdString(s.name), bytes});
    }
    for (const QString& path : corpusFiles()) {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly))
            all.append({QFileInfo(path).fileName(), f.readAll()});
    }
    return all;
}

// Mean absolute difference per colour channel (0..255) of two pictures, compared at a third of
// their size so that anti-aliasing and glyph shapes weigh little, and at the best of the shifts by
// up to three pixels (renderers place a picture on the pixel grid a little differently).
inline double difference(const QImage& a, const QImage& b)
{
    const QSize small = a.size() / 3;
    const QImage sa =
        a.scaled(small, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_RGB32);
    const QImage sb =
        b.scaled(small, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_RGB32);
    double best = 255;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            double sum = 0;
            int count = 0;
            for (int y = 1; y < small.height() - 1; ++y)
                for (int x = 1; x < small.width() - 1; ++x) {
                    const QRgb p = sa.pixel(x, y), q = sb.pixel(x + dx, y + dy);
                    sum += qAbs(qRed(p) - qRed(q)) + qAbs(qGreen(p) - qGreen(q)) + qAbs(qBlue(p) - qBlue(q));
                    ++count;
                }
            best = qMin(best, sum / (3.0 * qMax(count, 1)));
        }
    return best;
}
