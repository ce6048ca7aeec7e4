#include "wmf/wmfdib.h"

#include <QBuffer>
#include <QColor>
#include <QImageReader>
#include <bit>

namespace wmf {
namespace {

enum Compression : uint32_t { Rgb = 0, Rle8 = 1, Rle4 = 2, BitFields = 3, Jpeg = 4, Png = 5 };

struct Mask {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
    explicit Mask(uint32_t m) : mask(m)
    {
        if (m) {
            shift = std::countr_zero(m);
            bits = std::popcount(m >> shift);
        }
    }
    int value(uint32_t pixel) const
    {
        if (!bits)
            return 0;
        const uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8)
            return int(v >> (bits - 8));
        return int(v * 255 / ((1u << bits) - 1));
    }
};

struct DibInfo {
    int width = 0;
    int height = 0; // rows, always positive
    bool topDown = false;
    int bpp = 0;
    uint32_t compression = Rgb;
    qsizetype bitsOffset = 0;
    QList<QRgb> colors;
    uint32_t masks[3] = {0, 0, 0};
};

bool readInfo(const Bytes& dib, bool paletteIndices, const QList<QRgb>& palette, DibInfo& info)
{
    const uint32_t headerSize = dib.u32(0);
    qsizetype tableEntries = 0;
    int entrySize = 4;
    if (headerSize == 12) {
        info.width = dib.u16(4);
        info.height = dib.u16(6);
        info.bpp = dib.u16(10);
        entrySize = 3;
        if (info.bpp <= 8)
            tableEntries = qsizetype(1) << info.bpp;
    } else if (headerSize >= 40 && headerSize <= 124) {
        info.width = dib.s32(4);
        const int32_t h = dib.s32(8);
        if (h == INT32_MIN)
            return false;
        info.topDown = h < 0;
        info.height = h < 0 ? -h : h;
        info.bpp = dib.u16(14);
        info.compression = dib.u32(16);
        const uint32_t used = dib.u32(32);
        tableEntries = used ? qsizetype(used) : (info.bpp <= 8 ? qsizetype(1) << info.bpp : 0);
    } else {
        return false;
    }
    if (!dib.ok() || info.width <= 0 || info.height <= 0 || info.width > 65535 || info.height > 65535
        || qint64(info.width) * info.height > MaxDibPixels)
        return false;
    if (info.bpp != 1 && info.bpp != 4 && info.bpp != 8 && info.bpp != 16 && info.bpp != 24 && info.bpp != 32)
        return info.compression == Jpeg || info.compression == Png;
    if (tableEntries > 65536)
        return false;
    qsizetype at = headerSize;
    if (info.compression == BitFields) {
        if (info.bpp != 16 && info.bpp != 32)
            return false;
        const qsizetype maskAt = headerSize >= 52 ? 40 : headerSize;
        for (int i = 0; i < 3; ++i)
            info.masks[i] = dib.u32(maskAt + 4 * i);
        if (headerSize < 52)
            at += 12;
    } else if (info.bpp == 16) {
        info.masks[0] = 0x7C00, info.masks[1] = 0x03E0, info.masks[2] = 0x001F;
    } else if (info.bpp == 32) {
        info.masks[0] = 0xFF0000, info.masks[1] = 0xFF00, info.masks[2] = 0xFF;
    }
    if (paletteIndices)
        entrySize = 2;
    if (!dib.has(at, tableEntries * entrySize))
        return false;
    if (info.bpp <= 8) {
        const qsizetype used = qMin(tableEntries, qsizetype(1) << info.bpp);
        info.colors.reserve(used);
        for (qsizetype i = 0; i < used; ++i) {
            const qsizetype e = at + i * entrySize;
            if (paletteIndices) {
                const int index = dib.u16(e);
                info.colors.append(index < palette.size() ? palette[index] : qRgb(0, 0, 0));
            } else {
                info.colors.append(qRgb(dib.u8(e + 2), dib.u8(e + 1), dib.u8(e)));
            }
        }
    }
    info.bitsOffset = at + tableEntries * entrySize;
    return dib.ok();
}

QRgb paletteColor(const DibInfo& info, int index)
{
    return index < info.colors.size() ? info.colors[index] : qRgb(0, 0, 0);
}

// Image row for bitmap row `row` (rows are stored bottom-up unless the height was negative).
QRgb* imageRow(QImage& image, const DibInfo& info, int row)
{
    return reinterpret_cast<QRgb*>(image.scanLine(info.topDown ? row : info.height - 1 - row));
}

void decodeRows(const Bytes& bits, const DibInfo& info, QImage& image)
{
    const qsizetype stride = ((qsizetype(info.width) * info.bpp + 31) / 32) * 4;
    const qsizetype rows = qMin<qsizetype>(info.height, bits.size() / stride);
    const Mask r(info.masks[0]), g(info.masks[1]), b(info.masks[2]);
    for (qsizetype row = 0; row < rows; ++row) {
        const uchar* src = bits.data() + row * stride;
        QRgb* dst = imageRow(image, info, int(row));
        for (int x = 0; x < info.width; ++x) {
            switch (info.bpp) {
            case 1:
                dst[x] = paletteColor(info, (src[x >> 3] >> (7 - (x & 7))) & 1);
                break;
            case 4:
                dst[x] = paletteColor(info, (src[x >> 1] >> ((x & 1) ? 0 : 4)) & 15);
                break;
            case 8:
                dst[x] = paletteColor(info, src[x]);
                break;
            case 16: {
                const uint32_t p = src[2 * x] | (src[2 * x + 1] << 8);
                dst[x] = qRgb(r.value(p), g.value(p), b.value(p));
                break;
            }
            case 24:
                dst[x] = qRgb(src[3 * x + 2], src[3 * x + 1], src[3 * x]);
                break;
            default: {
                const uint32_t p = uint32_t(src[4 * x]) | (uint32_t(src[4 * x + 1]) << 8)
                                   | (uint32_t(src[4 * x + 2]) << 16) | (uint32_t(src[4 * x + 3]) << 24);
                dst[x] = qRgb(r.value(p), g.value(p), b.value(p));
            }
            }
        }
    }
}

// Run-length encoded 8- and 4-bit bitmaps. Every step moves forward in the data, so this ends.
void decodeRle(const Bytes& bits, const DibInfo& info, QImage& image)
{
    const bool four = info.compression == Rle4;
    int x = 0, row = 0;
    qsizetype at = 0;
    auto put = [&](int index) {
        if (x < info.width && row < info.height)
            imageRow(image, info, row)[x] = paletteColor(info, index);
        ++x;
    };
    while (bits.has(at, 2) && row < info.height) {
        const int count = bits.u8(at), value = bits.u8(at + 1);
        at += 2;
        if (count > 0) {
            for (int i = 0; i < count && x < info.width; ++i)
                put(four ? ((i & 1) ? value & 15 : value >> 4) : value);
            continue;
        }
        if (value == 0) { // end of line
            x = 0;
            ++row;
        } else if (value == 1) { // end of bitmap
            break;
        } else if (value == 2) { // delta
            x += bits.u8(at);
            row += bits.u8(at + 1);
            at += 2;
        } else { // absolute run of `value` pixels, padded to 16 bits
            const qsizetype bytes = four ? (value + 1) / 2 : value;
            if (!bits.has(at, bytes))
                break;
            for (int i = 0; i < value; ++i)
                put(four ? ((i & 1) ? bits.u8(at + i / 2) & 15 : bits.u8(at + i / 2) >> 4) : bits.u8(at + i));
            at += (bytes + 1) & ~qsizetype(1);
        }
    }
}

} // namespace

QImage decodeDib(const Bytes& dib, bool paletteIndices, const QList<QRgb>& palette)
{
    DibInfo info;
    if (!readInfo(dib, paletteIndices, palette, info))
        return {};
    const Bytes bits = dib.mid(info.bitsOffset);
    if (info.compression == Jpeg || info.compression == Png) {
        QByteArray encoded(reinterpret_cast<const char*>(bits.data()), bits.size());
        QBuffer buffer(&encoded);
        QImageReader reader(&buffer);
        reader.setAllocationLimit(int(MaxDibPixels * 4 / (1024 * 1024)));
        const QSize size = reader.size();
        if (!size.isValid() || qint64(size.width()) * size.height() > MaxDibPixels)
            return {};
        return reader.read().convertToFormat(QImage::Format_RGB32);
    }
    const bool rle = (info.compression == Rle8 && info.bpp == 8) || (info.compression == Rle4 && info.bpp == 4);
    if (!rle && info.compression != Rgb && info.compression != BitFields)
        return {};
    // Allocate only what the data can fill: every row for plain bitmaps, and for run-length
    // encoded ones no more than their longest runs make.
    const qsizetype stride = ((qsizetype(info.width) * info.bpp + 31) / 32) * 4;
    if (!rle && bits.size() / stride < info.height)
        return {};
    if (rle && qint64(info.width) * info.height > qint64(bits.size()) * 256 + 65536)
        return {};
    QImage image(info.width, info.height, QImage::Format_RGB32);
    if (image.isNull())
        return {};
    image.fill(rle ? paletteColor(info, 0) : qRgb(255, 255, 255));
    if (rle)
        decodeRle(bits, info, image);
    else
        decodeRows(bits, info, image);
    return image;
}

QImage decodeMonoBitmap16(const Bytes& header, const Bytes& bits)
{
    const int width = header.s16(2), height = header.s16(4), widthBytes = header.s16(6);
    const int planes = header.u8(8), bitsPixel = header.u8(9);
    if (!header.ok() || width <= 0 || height <= 0 || planes != 1 || bitsPixel != 1 || widthBytes * 8 < width
        || qint64(widthBytes) * height > bits.size())
        return {};
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        QRgb* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
        const uchar* src = bits.data() + qsizetype(y) * widthBytes;
        for (int x = 0; x < width; ++x)
            dst[x] = ((src[x >> 3] >> (7 - (x & 7))) & 1) ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
    }
    return image;
}

} // namespace wmf
