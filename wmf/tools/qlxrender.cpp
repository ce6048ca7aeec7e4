// qlxrender: metafiles converted into PNG images, SVG drawings, PDF documents or the text they
// show, with the engine alone (see kUsage).

#include "platform/optiontable.h"
#include "wmf/wmfconvert.h"
#include "wmf/wmfrender.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>
#include <QThread>
#include <QThreadPool>
#include <cstdio>
#include <vector>

namespace {

const QString kFormats = QStringLiteral("png|svg|pdf|txt|json");
const QString kUsage =
    QStringLiteral("usage: qlxrender IN.WMF... (--to DIR [--format %1] | OUT.png|OUT.svg|OUT.pdf|OUT.txt|OUT.json)\n"
                   "                 [--width W] [--height H]\n"
                   "Draws metafiles with the same player as the window. With --to, each input becomes a file in DIR\n"
                   "(made if missing) of the same base name and the format's extension, png unless --format says\n"
                   "otherwise. With OUT, one input becomes OUT, or several become the pages of one OUT.pdf, in the\n"
                   "order given, each titled with the file's name. A missing --width or --height keeps the aspect\n"
                   "ratio, none gives the natural size; a PDF page has the size at 96 dpi.\n"
                   "txt is the text the picture shows, in UTF-8: its lines from top to bottom, the runs of a line\n"
                   "from left to right joined by a space. json is each run in that order with its place and size in\n"
                   "pixels of the picture at the size given, its colour, font and angle.\n")
        .arg(kFormats);
const QString kExitStatus =
    QStringLiteral("Exit status: 0 all written, 1 a file failed (the others are still written), 2 usage.\n");

// The options, as they are parsed and as --help lists them.
QList<QCommandLineOption> optionTable()
{
    const QString side = QStringLiteral("the %1 in pixels, 1 to %2");
    return {
        QCommandLineOption(QStringLiteral("to"), QStringLiteral("a file per input in this folder"),
                           QStringLiteral("DIR")),
        QCommandLineOption(QStringLiteral("format"), QStringLiteral("the format of the files written with --to"),
                           kFormats),
        QCommandLineOption(QStringLiteral("width"), side.arg(QStringLiteral("width")).arg(wmf::MaxRenderSide),
                           QStringLiteral("W")),
        QCommandLineOption(QStringLiteral("height"), side.arg(QStringLiteral("height")).arg(wmf::MaxRenderSide),
                           QStringLiteral("H")),
        QCommandLineOption(QStringLiteral("help"), QStringLiteral("this help")),
        QCommandLineOption(QStringLiteral("version"), QStringLiteral("the program's version")),
    };
}

QString usage() { return kUsage + qlx::optionsHelp(optionTable()) + kExitStatus; }

struct Options {
    QStringList inputs;
    QString out; // one output file, or
    QString dir; // a folder for a file per input
    wmf::Format format = wmf::Format::Png;
    QSize size; // requested; 0 for a side that follows the other or the picture
    bool help = false;
    bool version = false;
};

bool parseSide(const QString& text, int& value)
{
    bool ok = false;
    value = text.toInt(&ok);
    return ok && value > 0 && value <= wmf::MaxRenderSide;
}

// Reads the arguments into `o`; the fault in them, or empty text.
QString parse(const QStringList& args, Options& o)
{
    QCommandLineParser parser;
    const QString fault = qlx::parseOptions(parser, optionTable(), args);
    o.help = parser.isSet(QStringLiteral("help"));
    o.version = parser.isSet(QStringLiteral("version"));
    if (!fault.isEmpty())
        return fault;
    QStringList files = parser.positionalArguments();
    const QString format = parser.value(QStringLiteral("format"));
    o.dir = parser.value(QStringLiteral("to"));
    int width = 0, height = 0;
    for (const char* name : {"width", "height"}) {
        const QString option = QString::fromLatin1(name);
        if (parser.isSet(option) && !parseSide(parser.value(option), option == u"width" ? width : height))
            return QStringLiteral("--%1 needs a number of pixels from 1 to %2").arg(option).arg(wmf::MaxRenderSide);
    }
    o.size = QSize(width, height);
    if (qint64(width) * height > wmf::MaxRenderPixels)
        return QStringLiteral("%1x%2 is larger than %3 pixels").arg(width).arg(height).arg(wmf::MaxRenderPixels);
    if (parser.isSet(QStringLiteral("to"))) {
        o.inputs = files;
        if (files.isEmpty())
            return QStringLiteral("no input files");
        const auto f = format.isEmpty() ? wmf::Format::Png : wmf::formatFromText(format);
        if (!f)
            return QStringLiteral("unknown format %1: png, svg, pdf, txt or json").arg(format);
        o.format = *f;
        return {};
    }
    if (!format.isEmpty())
        return QStringLiteral("--format goes with --to DIR; otherwise OUT's extension gives the format");
    if (files.size() < 2)
        return QStringLiteral("needs input files and an output file or --to DIR");
    o.out = files.takeLast();
    o.inputs = files;
    const auto f = wmf::formatFromName(o.out);
    if (!f)
        return QStringLiteral("output %1 must end in .png, .svg, .pdf, .txt or .json").arg(o.out);
    o.format = *f;
    if (files.size() > 1 && o.format != wmf::Format::Pdf)
        return QStringLiteral("several inputs go into one .pdf file, or into a file each with --to DIR");
    return {};
}

// Each input into its own file in `dir`, several at once. Two inputs of one base name would write
// the same file: the later one is refused rather than replacing the earlier one's picture.
QStringList convertEach(const Options& o)
{
    if (!QDir().mkpath(o.dir))
        return {QStringLiteral("cannot make the folder %1").arg(o.dir)};
    std::vector<QString> errors(o.inputs.size());
    QHash<QString, QString> taken; // output file, by the input it is for
    // Each file waits for the disk once written (it is synced before it replaces an older one), so
    // more files than cores are converted at once.
    QThreadPool pool;
    pool.setMaxThreadCount(2 * QThread::idealThreadCount());
    for (qsizetype i = 0; i < o.inputs.size(); ++i) {
        const QString in = o.inputs[i];
        const QString out =
            QDir(o.dir).filePath(QFileInfo(in).completeBaseName() + u'.' + wmf::formatExtension(o.format));
        if (taken.contains(out)) {
            errors[i] = QStringLiteral("%1 not written for %2: it holds %3").arg(out, in, taken[out]);
            continue;
        }
        taken.insert(out, in);
        pool.start([&errors, i, in, out, &o] { errors[i] = wmf::convertFile(in, out, o.format, o.size); });
    }
    pool.waitForDone();
    QStringList failed;
    for (const QString& e : errors)
        if (!e.isEmpty())
            failed << e;
    return failed;
}

} // namespace

int main(int argc, char** argv)
{
    // Only this tool's own messages go to stderr, not Qt's notes about the environment.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    Options o;
    const QString fault = parse(app.arguments().mid(1), o);
    if (o.help) {
        std::fputs(qPrintable(usage()), stdout);
        return 0;
    }
    if (o.version) {
        std::printf("qlxrender %d.%d.%d\n", QLX_VERSION_MAJOR, QLX_VERSION_MINOR, QLX_VERSION_REVISION);
        return 0;
    }
    if (!fault.isEmpty()) {
        std::fprintf(stderr, "qlxrender: %s\n%s", qPrintable(fault), qPrintable(usage()));
        return 2;
    }
    QStringList errors;
    if (!o.dir.isEmpty())
        errors = convertEach(o);
    else if (o.inputs.size() > 1)
        errors = wmf::convertToPdf(o.inputs, o.out, o.size);
    else if (const QString e = wmf::convertFile(o.inputs[0], o.out, o.format, o.size); !e.isEmpty())
        errors << e;
    for (const QString& e : errors)
        std::fprintf(stderr, "qlxrender: %s\n", qPrintable(e));
    return errors.isEmpty() ? 0 : 1;
}
