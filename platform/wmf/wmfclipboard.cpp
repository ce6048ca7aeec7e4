#include "platform/wmf/wmfclipboard.h"

#include "platform/wmf/wmfrender.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#ifdef Q_OS_WIN
#include <QWindow>
#include <windows.h>
#endif

QMimeData* wmfMimeData(const WmfPicture& picture)
{
    auto* mime = new QMimeData;
    if (picture.isNull())
        return mime;
    const QSize size = renderSize(picture);
    mime->setImageData(renderImage(picture, size));
    mime->setData(QStringLiteral("image/svg+xml"), renderSvg(picture, size));
    mime->setData(QString::fromLatin1(WmfMimeType), picture.data());
    mime->setData(QString::fromLatin1(OfficeWmfMimeType), picture.data());
    return mime;
}

#ifdef Q_OS_WIN
namespace {

// The metafile without its placeable header, as Windows' metafile functions take it.
QByteArray standardMetafile(const QByteArray& bytes)
{
    const bool placeable = bytes.size() >= 22 && uchar(bytes[0]) == 0xD7 && uchar(bytes[1]) == 0xCD
        && uchar(bytes[2]) == 0xC6 && uchar(bytes[3]) == 0x9A;
    return placeable ? bytes.mid(22) : bytes;
}

void putMetafile(const WmfPicture& picture)
{
    const QByteArray bits = standardMetafile(picture.data());
    HMETAFILE metafile = SetMetaFileBitsEx(UINT(bits.size()), reinterpret_cast<const BYTE*>(bits.constData()));
    if (!metafile)
        return;
    const QSizeF size = picture.naturalSize();
    METAFILEPICT mfp{MM_ANISOTROPIC, LONG(size.width() * 2540 / 96), LONG(size.height() * 2540 / 96), metafile};
    HENHMETAFILE enhanced = SetWinMetaFileBits(UINT(bits.size()), reinterpret_cast<const BYTE*>(bits.constData()),
                                               nullptr, &mfp);
    HGLOBAL global = GlobalAlloc(GMEM_MOVEABLE, sizeof(METAFILEPICT));
    if (global) {
        *static_cast<METAFILEPICT*>(GlobalLock(global)) = mfp;
        GlobalUnlock(global);
    }
    // The clipboard must be opened for a window: with none, EmptyClipboard leaves it without an
    // owner and SetClipboardData fails.
    const QWindowList windows = QGuiApplication::topLevelWindows();
    HWND owner = windows.isEmpty() ? GetActiveWindow() : reinterpret_cast<HWND>(windows.first()->winId());
    if (!OpenClipboard(owner)) {
        DeleteMetaFile(metafile);
        if (enhanced)
            DeleteEnhMetaFile(enhanced);
        if (global)
            GlobalFree(global);
        return;
    }
    EmptyClipboard();
    if (global && !SetClipboardData(CF_METAFILEPICT, global)) {
        GlobalFree(global);
        DeleteMetaFile(metafile);
    }
    if (enhanced && !SetClipboardData(CF_ENHMETAFILE, enhanced))
        DeleteEnhMetaFile(enhanced);
    CloseClipboard();
}

}  // namespace
#endif

void putPictureOnClipboard(const WmfPicture& picture)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
#ifdef Q_OS_WIN
    if (!picture.isNull())
        putMetafile(picture);
#else
    if (!picture.isNull())
        clipboard->setMimeData(wmfMimeData(picture));
#endif
}
