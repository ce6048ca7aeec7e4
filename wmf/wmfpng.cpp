#include "wmf/wmfpng.h"

#include <png.h>
#include <vector>

namespace wmf {
namespace {

void append(png_structp png, png_bytep data, size_t length)
{
    static_cast<QByteArray*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), qsizetype(length));
}

void flush(png_structp) {}

// Writes the rows into `out`. libpng reports an error by jumping back to the setjmp here, so
// this function holds nothing that needs destroying.
bool write(png_structp png, png_infop info, QSize size, png_bytepp rows, QByteArray& out)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_write_fn(png, &out, append, flush);
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_set_IHDR(png, info, png_uint_32(size.width()), png_uint_32(size.height()), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_set_rows(png, info, rows);
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    return true;
}

} // namespace

QByteArray encodePng(const QImage& image)
{
    if (image.isNull())
        return {};
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    std::vector<png_bytep> rows(size_t(rgb.height()));
    for (int y = 0; y < rgb.height(); ++y)
        rows[size_t(y)] = const_cast<png_bytep>(rgb.constScanLine(y));
    QByteArray out;
    out.reserve(64 << 10);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    const bool written = info && write(png, info, rgb.size(), rows.data(), out);
    png_destroy_write_struct(&png, &info);
    return written ? out : QByteArray();
}

} // namespace wmf
