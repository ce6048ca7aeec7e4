// qlxrender IN.WMF OUT.png|OUT.svg [--width W] [--height H]: renders a metafile to a picture file.

#include "wmf/wmfrender.h"

#include <QFile>
#include <QGuiApplication>
#include <cstdio>

namespace {

int fail(const QString& message)
{
    std::fprintf(stderr, "qlxrender: %s\n", qPrintable(message));
    return 1;
}

bool parseSide(const QString& text, int& value)
{
    bool ok = false;
    value = text.toInt(&ok);
    return ok && value > 0 && value <= wmf::MaxRenderSide;
}

} // namespace

int main(int argc, char** argv)
{
    // Only this tool's own one-line messages go to stderr, not Qt's notes about the environment.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QStringList files;
    int width = 0, height = 0;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == "--width" || a == "--height") {
            if (i + 1 >= args.size() || !parseSide(args[i + 1], a == "--width" ? width : height))
                return fail(QStringLiteral("%1 needs a number of pixels from 1 to %2").arg(a).arg(wmf::MaxRenderSide));
            ++i;
        } else if (a.startsWith("--")) {
            return fail(QStringLiteral("unknown option %1").arg(a));
        } else {
            files << a;
        }
    }
    if (files.size() != 2)
        return fail("usage: qlxrender IN.WMF OUT.png|OUT.svg [--width W] [--height H]");
    const QString out = files[1];
    const bool svg = out.endsWith(".svg", Qt::CaseInsensitive);
    if (!svg && !out.endsWith(".png", Qt::CaseInsensitive))
        return fail(QStringLiteral("output %1 must end in .png or .svg").arg(out));
    if (qint64(width) * height > wmf::MaxRenderPixels)
        return fail(QStringLiteral("%1x%2 is larger than %3 pixels").arg(width).arg(height).arg(wmf::MaxRenderPixels));
    const wmf::Picture picture = wmf::Picture::load(files[0]);
    if (picture.isNull())
        return fail(QStringLiteral("cannot read a metafile from %1").arg(files[0]));
    const QSize size = wmf::renderSize(picture, width, height);
    if (svg) {
        QFile file(out);
        if (!file.open(QIODevice::WriteOnly) || file.write(wmf::renderSvg(picture, size)) < 0)
            return fail(QStringLiteral("cannot write %1").arg(out));
    } else if (!wmf::renderImage(picture, size).save(out, "PNG")) {
        return fail(QStringLiteral("cannot write %1").arg(out));
    }
    return 0;
}
