#pragma once
// Putting a metafile picture on the clipboard in the forms other programs paste.

#include "wmf/wmfpicture.h"

class QMimeData;

namespace wmf {

// MIME types that carry the original metafile bytes: the freedesktop type and LibreOffice's own.
inline constexpr char WmfMimeType[] = "image/x-wmf";
inline constexpr char OfficeWmfMimeType[] = "application/x-openoffice-wmf;windows_formatname=\"Image WMF\"";

// The picture as image data (which the platform offers as PNG and the like), as SVG
// (image/svg+xml) and as the WMF bytes; the image and the SVG are drawn when first asked for.
// The caller owns the result.
QMimeData* wmfMimeData(const Picture& picture);

// Clears the clipboard, then puts the picture on it. On Windows the picture goes there as a real
// metafile (CF_METAFILEPICT and CF_ENHMETAFILE).
void putPictureOnClipboard(const Picture& picture);

} // namespace wmf
