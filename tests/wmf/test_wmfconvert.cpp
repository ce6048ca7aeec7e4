// Conversions for reports: every format from the sample screens and the corpus, the text of PDF
// and SVG kept as text where the raster picture has it, the text formats, documents of many pages,
// outputs written whole or not at all, and qlxrender's command line.

#include "wmf/wmfconvert.h"
#include "wmf/wmfpng.h"
#include "wmf/wmfrender.h"
#include "wmf/wmftextruns.h"
#include "tests/support/pdftools.h"
#include "tests/support/wmfbuilder.h"
#include "tests/support/wmfpictures.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QSvgRenderer>
#include <QtTest>

#include <sys/resource.h>

#include <csignal>

namespace {

QString tool() { return buildDir() + "/qlxrender"; }

struct Run {
    int exitCode;
    QByteArray out, err;
};

Run render(const QStringList& args)
{
    QProcess p;
    p.start(tool(), args);
    if (!p.waitForFinished(120000))
        return {-1, {}, {}};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

QString write(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return path;
}

QByteArray read(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QImage svgImage(const QString& path, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QSvgRenderer(path).render(&painter);
    return image;
}

// The words of `words` that `text` lacks.
QStringList missing(const QStringList& words, const QString& text)
{
    const QStringList found = text.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
    QStringList lacking;
    for (const QString& w : words)
        if (!found.contains(w))
            lacking << w;
    return lacking;
}

// The text of an SVG document's text elements.
QString svgText(const QByteArray& svg)
{
    static const QRegularExpression element("<text[^>]*>([^<]*)</text>");
    QString all;
    for (const QRegularExpressionMatch& m : element.globalMatch(QString::fromUtf8(svg)))
        all += m.captured(1) + u' ';
    return all.replace("&amp;", "&").replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", "\"");
}

} // namespace

class TestWmfConvert : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    // A disk that fills up while a small picture is written leaves no file, not a short one.
    void fullDiskWritesNothing()
    {
        std::signal(SIGXFSZ, SIG_IGN);
        QTemporaryDir out;
        const wmf::Picture picture = wmf::Picture::fromData(awkwardText());
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit small = saved;
        small.rlim_cur = 100;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const QString error = wmf::savePicture(picture, out.filePath("p.png"), wmf::Format::Png, QSize(40, 40));
        setrlimit(RLIMIT_FSIZE, &saved);
        QVERIFY(!error.isEmpty());
        QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    void initTestCase()
    {
        for (const char* t : {"pdfinfo", "pdftotext", "pdffonts", "pdftoppm"})
            QVERIFY2(!QStandardPaths::findExecutable(t).isEmpty(), "poppler-utils is not installed");
    }

    // Each picture in each format: the PNG holds exactly the raster picture, the SVG and the PDF
    // page look like it, and both keep every word of the text records as text.
    void eachFormat_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("screen"); // a tester's screen, or one from the corpus
        const QStringList corpus = corpusFiles();
        for (const NamedPicture& p : samplesAndCorpus())
            QTest::newRow(qPrintable(p.name))
                << p.bytes << !corpus.contains(QDir(corpus.value(0) + "/..").absoluteFilePath(p.name));
    }
    void eachFormat()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, screen);
        const QString name = QTest::currentDataTag();
        const QString in = write(dir.filePath(name), bytes), base = dir.filePath(QFileInfo(name).completeBaseName());
        const wmf::Picture picture = wmf::Picture::fromData(bytes);
        const QSize size = wmf::renderSize(picture);
        const QImage raster = wmf::renderImage(picture, size);
        const QStringList words = pdftools::words(bytes);

        QCOMPARE(wmf::convertFile(in, base + ".png", wmf::Format::Png), QString());
        QCOMPARE(QImage(base + ".png").convertToFormat(QImage::Format_RGB32), raster);

        QCOMPARE(wmf::convertFile(in, base + ".svg", wmf::Format::Svg), QString());
        const double svgDiff = difference(svgImage(base + ".svg", size), raster);
        QVERIFY2(svgDiff < 6, qPrintable(QString("SVG differs by %1").arg(svgDiff)));
        QCOMPARE(missing(words, svgText(read(base + ".svg"))), QStringList());

        const QString pdf = base + ".pdf";
        QCOMPARE(wmf::convertFile(in, pdf, wmf::Format::Pdf), QString());
        QCOMPARE(pdftools::info(pdf, "Pages"), QString("1"));
        QCOMPARE(pdftools::info(pdf, "Title"), name);
        QCOMPARE(pdftools::info(pdf, "Page size"),
                 QString("%1 x %2 pts").arg(qRound(size.width() * 0.75)).arg(qRound(size.height() * 0.75)));
        // pdftotext does not join the letters of turned text, which the corpus has.
        const QStringList lacking = missing(words, pdftools::text(pdf));
        QVERIFY2(screen ? lacking.isEmpty() : lacking.size() * 5 <= words.size(), qPrintable(lacking.join(' ')));
        QVERIFY(words.isEmpty() || pdftools::fontsEmbedded(pdf));
        const double pdfDiff = difference(pdftools::rasterise(pdf, size), raster);
        QVERIFY2(pdfDiff < 6, qPrintable(QString("PDF page differs by %1").arg(pdfDiff)));
    }

    // Each input that once crashed or stalled a conversion (tests/wmf/data/, also fuzz seeds,
    // whose fuzz runs fail on one that takes 10 s) converts into every format at the fuzz
    // target's sizes. svg-slow-clipped-text.wmf, a font turned and stretched and an ExtTextOut
    // clipped to a rectangle far larger than the picture, took 30 s as SVG at 90x55.
    void regressInputsConvert_data()
    {
        QTest::addColumn<QString>("file");
        const QString data = qEnvironmentVariable("QLX_SOURCE_DIR", ".") + "/tests/wmf/data";
        for (const QFileInfo& fi : QDir(data).entryInfoList({"*.wmf"}, QDir::Files, QDir::Name))
            QTest::newRow(qPrintable(fi.fileName())) << fi.absoluteFilePath();
    }
    void regressInputsConvert()
    {
        QFETCH(QString, file);
        for (const wmf::Format format : {wmf::Format::Png, wmf::Format::Svg, wmf::Format::Pdf})
            for (const QSize size : {QSize(90, 55), QSize(800, 600)})
                QCOMPARE(wmf::convertFile(file, dir.filePath("regress." + wmf::formatExtension(format)), format, size),
                         QString());
    }

    // Turned, aligned, spaced, clipped and widely spaced text lands where the raster picture has
    // it, and a picture without that text is far off, so the measure does see the text.
    void vectorTextStaysInPlace()
    {
        const wmf::Picture picture = wmf::Picture::fromData(awkwardText());
        const QSize size(800, 800);
        const QImage raster = wmf::renderImage(picture, size);
        QImage blank(size, QImage::Format_RGB32);
        blank.fill(Qt::black);
        const double textWeight = difference(blank, raster);
        for (wmf::Format format : {wmf::Format::Pdf, wmf::Format::Svg}) {
            const QString out = dir.filePath("layout." + wmf::formatExtension(format));
            QCOMPARE(wmf::savePicture(picture, out, format, size), QString());
            const QImage vector = format == wmf::Format::Pdf ? pdftools::rasterise(out, size) : svgImage(out, size);
            const double d = difference(vector, raster);
            QVERIFY2(d < textWeight / 4, qPrintable(QString("%1: %2 of %3").arg(out).arg(d).arg(textWeight)));
        }
        QCOMPARE(missing({"Upwards", "Centred", "Right"}, pdftools::text(dir.filePath("layout.pdf"))), QStringList());
    }

    // Several hardcopies as one document, a damaged one among them: the others become pages in
    // the order given, each titled with its file's name, and the damaged one is reported.
    void documentOfManyPages()
    {
        const QList<NamedPicture> screens = samplesAndCorpus().mid(0, 3);
        QStringList inputs, names;
        for (const NamedPicture& s : screens) {
            inputs << write(dir.filePath(s.name), s.bytes);
            names << s.name;
        }
        inputs.insert(1, write(dir.filePath("DAMAGED.WMF"), "no metafile"));
        const QString pdf = dir.filePath("run42.pdf");
        const Run r = render(inputs + QStringList{pdf, "--width", "1000"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains("DAMAGED.WMF"));
        QCOMPARE(pdftools::info(pdf, "Pages"), QString::number(screens.size()));
        for (qsizetype i = 0; i < screens.size(); ++i) {
            const QString page = pdftools::text(pdf, int(i + 1));
            QVERIFY2(page.contains(names[i]), qPrintable(page));
            QCOMPARE(missing(pdftools::words(screens[i].bytes), page), QStringList());
        }
        // The title band takes room from the picture, not from the page's aspect ratio.
        const QSize size = wmf::renderSize(wmf::Picture::fromData(screens[0].bytes), 1000);
        QCOMPARE(pdftools::info(pdf, "Page size"),
                 QString("%1 x %2 pts").arg(qRound(size.width() * 0.75)).arg(qRound(size.height() * 0.75)));
    }

    // A file per input into a folder, in each format; a damaged input and a second input of the
    // same name are reported, and everything else is still written.
    void folderOfFiles_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("default") << QString();
        for (const char* f : {"png", "svg", "PDF", "txt", "json"})
            QTest::newRow(f) << QString(f);
    }
    void folderOfFiles()
    {
        QFETCH(QString, format);
        QTemporaryDir in;
        QStringList inputs;
        for (const NamedPicture& s : samplesAndCorpus())
            inputs << write(in.filePath(s.name), s.bytes);
        inputs << write(in.filePath("BROKEN.WMF"), QByteArray(300, '\x01'));
        QVERIFY(QDir(in.path()).mkdir("again"));
        inputs << write(in.filePath("again/" + QFileInfo(inputs[0]).fileName()), read(inputs[0]));
        const QString out = dir.filePath("folder-" + QString(QTest::currentDataTag()) + "/sub");
        const Run r = render(inputs + (format.isEmpty() ? QStringList{} : QStringList{"--format", format})
                             + QStringList{"--to", out, "--height", "300"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains("BROKEN.WMF") && r.err.contains("again/"));
        const QString ext = format.isEmpty() ? "png" : format.toLower();
        QStringList written = QDir(out).entryList(QDir::Files);
        QCOMPARE(written.size(), inputs.size() - 2);
        for (const QString& file : written) {
            QVERIFY(file.endsWith("." + ext));
            const QString path = QDir(out).filePath(file);
            // The text of the input of that base name, at the size of its picture.
            const auto text = [&](wmf::Format f) {
                for (const QString& input : inputs)
                    if (QFileInfo(input).completeBaseName() == QFileInfo(file).completeBaseName()) {
                        const wmf::Picture picture = wmf::Picture::load(input);
                        const QSize size = wmf::renderSize(picture, 0, 300);
                        const wmf::TextLines lines = wmf::readingLines(picture, size);
                        return f == wmf::Format::Txt ? wmf::readingText(lines).toUtf8()
                                                     : wmf::readingJson(lines, QFileInfo(input).fileName(), size);
                    }
                return QByteArray("no input");
            };
            if (ext == "png")
                QCOMPARE(QImage(path).height(), 300);
            else if (ext == "svg")
                QCOMPARE(QSvgRenderer(path).defaultSize().height(), 300);
            else if (ext == "pdf")
                QCOMPARE(pdftools::info(path, "Pages"), QString("1"));
            else
                QCOMPARE(read(path), text(*wmf::formatFromText(ext)));
        }
    }

    // An output appears whole or not at all, an existing one stays as it was when the conversion
    // fails, and the input is never written.
    void outputsAreWholeOrAbsent()
    {
        const NamedPicture screen = samplesAndCorpus().first();
        const QString in = write(dir.filePath("whole.wmf"), screen.bytes);
        const QString kept = write(dir.filePath("kept.png"), "an older picture");
        QVERIFY(!wmf::convertFile(dir.filePath("none.wmf"), kept, wmf::Format::Png).isEmpty());
        QVERIFY(!wmf::convertFile(write(dir.filePath("bad.wmf"), "junk"), kept, wmf::Format::Png).isEmpty());
        QCOMPARE(read(kept), QByteArray("an older picture"));
        QVERIFY(wmf::convertFile(in, dir.filePath("no/such/folder/x.pdf"), wmf::Format::Pdf).contains("x.pdf"));
        QVERIFY(!QFile::exists(dir.filePath("no")));
        // The input named as the output, also through a link, and among the pages of a document.
        QVERIFY(QFile::link(in, dir.filePath("link.wmf")));
        QVERIFY(!wmf::convertFile(in, in, wmf::Format::Png).isEmpty());
        QVERIFY(!wmf::convertFile(in, dir.filePath("link.wmf"), wmf::Format::Svg).isEmpty());
        QVERIFY(!wmf::convertToPdf({in, in}, dir.filePath("link.wmf")).isEmpty());
        QCOMPARE(read(in), screen.bytes);
        QCOMPARE(QDir(dir.path()).entryList({"*.wmf.*", ".*wmf*"}, QDir::Files | QDir::Hidden), QStringList());

        QCOMPARE(wmf::formatFromName("a/RUN42.PDF"), wmf::Format::Pdf);
        QCOMPARE(wmf::formatFromName("shot.svg"), wmf::Format::Svg);
        QCOMPARE(wmf::formatFromName("HC_0001.Json"), wmf::Format::Json);
        QCOMPARE(wmf::formatFromName("png"), std::nullopt);
        QCOMPARE(wmf::formatFromName("shot.bmp"), std::nullopt);
    }

    // The PNG writer on what screens do not show: noise, single pixels, odd widths, runs longer
    // than a match and rows that repeat a colour other than the one above.
    void pngHoldsEveryPixel()
    {
        QRandomGenerator rng(42);
        for (QSize size : {QSize(1, 1), QSize(3, 7), QSize(257, 5), QSize(1000, 3)}) {
            QImage noise(size, QImage::Format_RGB32), stripes(size, QImage::Format_ARGB32);
            for (int y = 0; y < size.height(); ++y)
                for (int x = 0; x < size.width(); ++x) {
                    noise.setPixel(x, y, rng.generate() | 0xFF000000);
                    stripes.setPixel(x, y, y % 2 ? qRgba(255, 0, 0, 128) : qRgb(x / 300, 255, 7));
                }
            for (const QImage& image : {noise, stripes}) {
                const QImage back = QImage::fromData(wmf::encodePng(image), "PNG");
                QCOMPARE(back.convertToFormat(QImage::Format_RGB32), image.convertToFormat(QImage::Format_RGB32));
            }
        }
        QVERIFY(wmf::encodePng(QImage()).isEmpty());
    }

    void commandLine()
    {
        const QString in = write(dir.filePath("cli.wmf"), samplesAndCorpus().first().bytes);
        Run r = render({"--help"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.startsWith("usage: qlxrender") && r.err.isEmpty());
        r = render({"--version"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(QRegularExpression("^qlxrender \\d+\\.\\d+\\.\\d+\n$").match(QString(r.out)).hasMatch());

        // The one-input form: the missing side follows the picture's aspect ratio.
        r = render({in, dir.filePath("one.png"), "--width", "321"});
        QCOMPARE(r.exitCode, 0);
        const QSize natural = wmf::renderSize(wmf::Picture::load(in));
        QCOMPARE(QImage(dir.filePath("one.png")).size(), wmf::renderSize(wmf::Picture::load(in), 321));
        QVERIFY(qAbs(QImage(dir.filePath("one.png")).height() - 321.0 * natural.height() / natural.width()) <= 1);
        QCOMPARE(render({in, dir.filePath("one.svg"), "--width", "200", "--height", "50"}).exitCode, 0);
        QCOMPARE(QSvgRenderer(dir.filePath("one.svg")).defaultSize(), QSize(200, 50));
        // The text forms: the sample screen's title first, its positions at the width asked for.
        QCOMPARE(render({in, dir.filePath("one.txt")}).exitCode, 0);
        QVERIFY(read(dir.filePath("one.txt")).startsWith("QLX   Spectrum   RF Analyzer   900.000 MHz\n"));
        QCOMPARE(render({in, dir.filePath("one.JSON"), "--width", "1280"}).exitCode, 0);
        const QJsonObject json = QJsonDocument::fromJson(read(dir.filePath("one.JSON"))).object();
        QCOMPARE(json.value("file").toString(), QStringLiteral("cli.wmf"));
        QCOMPARE(json.value("width").toInt(), 1280);
        QCOMPARE(json.value("runs").toArray().first().toObject().value("x").toDouble(), 32.0);

        const QList<QStringList> usage = {{},
                                          {in},
                                          {in, dir.filePath("b.bmp")},
                                          {in, in, dir.filePath("b.png")},
                                          {in, in, dir.filePath("b.txt")},
                                          {in, dir.filePath("b.png"), "--format", "png"},
                                          {in, "--to", dir.path(), "--format", "gif"},
                                          {"--to", dir.path()},
                                          {in, dir.filePath("b.png"), "--width", "x"},
                                          {in, dir.filePath("b.png"), "--size"},
                                          {in, dir.filePath("b.png"), "--width"},
                                          {in, dir.filePath("b.png"), "--width", "16000", "--height", "16000"}};
        for (const QStringList& args : usage) {
            r = render(args);
            QVERIFY2(r.exitCode == 2, qPrintable(args.join(' ')));
            QVERIFY(r.err.startsWith("qlxrender: ") && r.err.contains("usage: qlxrender") && r.out.isEmpty());
        }
        QVERIFY(!QFile::exists(dir.filePath("b.png")));
        r = render({dir.filePath("none.wmf"), dir.filePath("b.png")});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains("none.wmf") && !r.err.contains("usage"));
    }
};

QTEST_MAIN(TestWmfConvert)
#include "test_wmfconvert.moc"
