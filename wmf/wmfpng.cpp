#include "wmf/wmfpng.h"

#include <png.h>
#include <cstdlib>
#include <vector>

namespace wmf {
namespace {

// libpng's and zlib's working memory, kept per thread from one image to the next. Given back to
// the system after each image, it came back as fresh pages, whose faults cost more than the
// compression itself when a batch converts one screen after another.
class Blocks {
public:
    ~Blocks()
    {
        for (const Block& b : free_)
            std::free(b.data);
    }
    void* take(size_t size)
    {
        for (auto it = free_.begin(); it != free_.end(); ++it)
            if (it->size == size) {
                void* data = it->data;
                free_.erase(it);
                return remember(data, size);
            }
        return remember(std::malloc(size), size);
    }
    void give(void* data)
    {
        for (auto it = used_.begin(); it != used_.end(); ++it)
            if (it->data == data) {
                if (free_.size() < MaxKept)
                    free_.push_back(*it);
                else
                    std::free(data);
                used_.erase(it);
                return;
            }
        std::free(data);
    }

private:
    struct Block {
        void* data;
        size_t size;
    };
    static constexpr size_t MaxKept = 32;
    void* remember(void* data, size_t size)
    {
        if (data)
            used_.push_back({data, size});
        return data;
    }
    std::vector<Block> free_, used_;
};

thread_local Blocks blocks;

png_voidp allocate(png_structp, png_alloc_size_t size) { return blocks.take(size); }

void release(png_structp, png_voidp data)
{
    if (data)
        blocks.give(data);
}

void append(png_structp png, png_bytep data, size_t length)
{
    static_cast<QByteArray*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), qsizetype(length));
}

void flush(png_structp) {}

// Writes the image into `out`, a row at a time through `row`. libpng reports an error by jumping
// back to the setjmp here, so this function holds nothing that needs destroying.
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
    png_structp png =
        png_create_write_struct_2(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr, nullptr, allocate, release);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    const bool written = info && write(png, info, image, row.data(), out);
    png_destroy_write_struct(&png, &info);
    return written ? out : QByteArray();
}

} // namespace wmf
