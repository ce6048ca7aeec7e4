#include "wmf/wmfclipboard.h"

#include "wmf/wmfrender.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>

#ifdef Q_OS_WIN
#include <QWindow>
#include <windows.h>
#endif

namespace wmf {
namespace {

constexpr char kImageType[] = "application/x-qt-image";
constexpr char kSvgType[] = "image/svg+xml";

// The metafile bytes are there at once; the image and the SVG document are drawn the first time
// a program asks for them, so that showing a picture does not wait for forms nobody pastes.
class WmfMimeData : public QMimeData {
public:
    explicit WmfMimeData(const Picture& picture) : m_picture(picture) {}

    QStringList formats() const override
    {
        if (m_picture.isNull())
            return {};
        return {QString::fromLatin1(kImageType), QString::fromLatin1(kSvgType), QString::fromLatin1(WmfMimeType),
                QString::fromLatin1(OfficeWmfMimeType)};
    }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override
    {
        Q_UNUSED(type)
        if (m_picture.isNull())
            return {};
        if (mimeType == QLatin1String(kImageType)) {
            if (m_image.isNull())
                m_image = renderImage(m_picture, renderSize(m_picture));
            return m_image;
        }
        if (mimeType == QLatin1String(kSvgType)) {
            if (m_svg.isEmpty())
                m_svg = renderSvg(m_picture, renderSize(m_picture));
            return m_svg;
        }
        if (mimeType == QLatin1String(WmfMimeType) || mimeType == QLatin1String(OfficeWmfMimeType))
            return m_picture.data();
        return {};
    }

private:
    Picture m_picture;
    mutable QImage m_image;
    mutable QByteArray m_svg;
};

} // namespace

QMimeData* wmfMimeData(const Picture& picture) { return new WmfMimeData(picture); }

#ifdef Q_OS_WIN
namespace {

// The metafile without its placeable header, as Windows' metafile functions take it.
QByteArray standardMetafile(const QByteArray& bytes)
{
    const bool placeable = bytes.size() >= 22 && uchar(bytes[0]) == 0xD7 && uchar(bytes[1]) == 0xCD
                           && uchar(bytes[2]) == 0xC6 && uchar(bytes[3]) == 0x9A;
    return placeable ? bytes.mid(22) : bytes;
}

void putMetafile(const Picture& picture)
{
    const QByteArray bits = standardMetafile(picture.data());
    HMETAFILE metafile = SetMetaFileBitsEx(UINT(bits.size()), reinterpret_cast<const BYTE*>(bits.constData()));
    if (!metafile)
        return;
    const QSizeF size = picture.naturalSize();
    METAFILEPICT mfp{MM_ANISOTROPIC, LONG(size.width() * 2540 / 96), LONG(size.height() * 2540 / 96), metafile};
    HENHMETAFILE enhanced =
        SetWinMetaFileBits(UINT(bits.size()), reinterpret_cast<const BYTE*>(bits.constData()), nullptr, &mfp);
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

} // namespace
#endif

void putPictureOnClipboard(const Picture& picture)
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

} // namespace wmf
