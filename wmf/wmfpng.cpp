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

// Writes the image into `out`, a row at a time through `row`: a copy of the whole image in the
// file's pixel format would be fresh pages for each screen, whose faults cost about as much as
// compressing it. libpng reports an error by jumping back to the setjmp here, so this function
// holds nothing that needs destroying.
bool write(png_structp png, png_infop info, const QImage& image, png_bytep row, QByteArray& out)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_write_fn(png, &out, append, flush);
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_set_IHDR(png, info, png_uint_32(image.width()), png_uint_32(image.height()), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_write_info(png, info);
    const int width = image.width();
    for (int y = 0; y < image.height(); ++y) {
        const auto* pixels = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            row[3 * x] = png_byte(qRed(pixels[x]));
            row[3 * x + 1] = png_byte(qGreen(pixels[x]));
            row[3 * x + 2] = png_byte(qBlue(pixels[x]));
        }
        png_write_row(png, row);
    }
    png_write_end(png, info);
    return true;
}

} // namespace

QByteArray encodePng(const QImage& source)
{
    if (source.isNull())
        return {};
    const QImage image = source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32
                             ? source
                             : source.convertToFormat(QImage::Format_RGB32);
    std::vector<png_byte> row(size_t(image.width()) * 3);
    QByteArray out;
    out.reserve(64 << 10);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    const bool written = info && write(png, info, image, row.data(), out);
    png_destroy_write_struct(&png, &info);
    return written ? out : QByteArray();
}

} // namespace wmf
