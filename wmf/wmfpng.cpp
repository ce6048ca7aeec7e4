#include "wmf/wmfpng.h"

#include <array>
#include <cstring>
#include <vector>

namespace wmf {
namespace {

constexpr int Pixel = 3; // bytes per pixel in the file: red, green, blue
constexpr int MaxMatch = 258;
constexpr uint32_t AdlerBase = 65521;

struct Code {
    uint16_t bits = 0; // reversed, as the stream takes them least significant bit first
    uint8_t length = 0;
};

uint16_t reversed(uint32_t code, int length)
{
    uint16_t out = 0;
    for (int i = 0; i < length; ++i)
        out |= uint16_t(((code >> i) & 1) << (length - 1 - i));
    return out;
}

// The fixed Huffman codes of deflate: literals and end of block, and match lengths 3..258 with
// their extra bits folded in.
struct FixedCodes {
    std::array<Code, 257> literal;
    std::array<uint32_t, MaxMatch + 1> lengthBits;
    std::array<uint8_t, MaxMatch + 1> lengthSize;

    FixedCodes()
    {
        auto symbol = [](int s) {
            if (s < 144)
                return Code{reversed(0x30 + s, 8), 8};
            if (s < 256)
                return Code{reversed(0x190 + s - 144, 9), 9};
            if (s < 280)
                return Code{reversed(s - 256, 7), 7};
            return Code{reversed(0xC0 + s - 280, 8), 8};
        };
        for (int s = 0; s <= 256; ++s)
            literal[s] = symbol(s);
        static constexpr uint16_t base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                              31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
        static constexpr uint8_t extra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                              2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
        for (int length = 3; length <= MaxMatch; ++length) {
            int i = 28;
            while (base[i] > length)
                --i;
            const Code code = symbol(257 + i);
            lengthBits[length] = code.bits | uint32_t(length - base[i]) << code.length;
            lengthSize[length] = uint8_t(code.length + extra[i]);
        }
    }
};

// CRC-32 of PNG chunks, four bytes a step.
uint32_t crc32(const char* data, qsizetype size)
{
    static const auto tables = [] {
        std::array<std::array<uint32_t, 256>, 4> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[0][n] = c;
        }
        for (uint32_t n = 0; n < 256; ++n)
            for (int k = 1; k < 4; ++k)
                t[k][n] = t[0][t[k - 1][n] & 0xFF] ^ (t[k - 1][n] >> 8);
        return t;
    }();
    const auto* p = reinterpret_cast<const uchar*>(data);
    uint32_t c = 0xFFFFFFFFu;
    for (; size >= 4; size -= 4, p += 4) {
        c ^= uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
        c = tables[3][c & 0xFF] ^ tables[2][(c >> 8) & 0xFF] ^ tables[1][(c >> 16) & 0xFF] ^ tables[0][c >> 24];
    }
    for (; size > 0; --size, ++p)
        c = tables[0][(c ^ *p) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

// The first pixel from `x` on that differs from the one above, two compared at a time. Rows of an
// RGB32 image have the same, opaque alpha throughout.
int sameUntil(const QRgb* row, const QRgb* up, int x, int width)
{
    for (; x + 2 <= width; x += 2) {
        uint64_t a, b;
        std::memcpy(&a, row + x, sizeof a);
        std::memcpy(&b, up + x, sizeof b);
        if (a != b)
            break;
    }
    while (x < width && ((row[x] ^ up[x]) & 0xFFFFFF) == 0)
        ++x;
    return x;
}

void appendBigEndian(QByteArray& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(char(value >> shift));
}

void appendChunk(QByteArray& png, const char* type, const QByteArray& data)
{
    appendBigEndian(png, uint32_t(data.size()));
    const qsizetype start = png.size();
    png.append(type, 4).append(data);
    appendBigEndian(png, crc32(png.constData() + start, png.size() - start));
}

// A zlib stream of one deflate block with the fixed codes, using matches at a distance of one
// pixel only, and the Adler-32 checksum of what it holds.
class Deflater {
public:
    Deflater() { out_.append("\x78\x01", 2).reserve(1 << 16); }

    void literal(uchar byte)
    {
        put(codes().literal[byte]);
        a_ += byte;
        b_ += a_;
    }
    // A pixel, its bytes packed red first.
    void pixel(uint32_t packed)
    {
        for (int k = 0; k < Pixel; ++k)
            literal(uchar(packed >> 8 * k));
    }
    // `count` more copies of the pixel just written.
    void repeat(qsizetype count, uint32_t packed)
    {
        for (qsizetype length = count * Pixel; length > 0;) {
            const int step = int(qMin<qsizetype>(length, MaxMatch));
            put(codes().lengthBits[step], codes().lengthSize[step]);
            put(reversed(Pixel - 1, 5), 5); // distance code 2: a distance of 3 bytes
            length -= step;
        }
        if (packed == 0) {
            b_ += a_ * uint64_t(count * Pixel);
        } else {
            for (qsizetype i = 0; i < count * Pixel; ++i) {
                a_ += uchar(packed >> 8 * (i % Pixel));
                b_ += a_;
            }
        }
        settle();
    }
    void settle()
    {
        a_ %= AdlerBase;
        b_ %= AdlerBase;
    }
    QByteArray finish()
    {
        put(codes().literal[256]);
        for (; filled_ > 0; filled_ -= 8, bits_ >>= 8)
            out_.append(char(bits_));
        settle();
        appendBigEndian(out_, uint32_t(b_ << 16 | a_));
        return out_;
    }

private:
    static const FixedCodes& codes()
    {
        static const FixedCodes fixed;
        return fixed;
    }
    void put(Code code) { put(code.bits, code.length); }
    void put(uint32_t bits, int length)
    {
        bits_ |= uint64_t(bits) << filled_;
        filled_ += length;
        if (filled_ >= 32) {
            const char word[4] = {char(bits_), char(bits_ >> 8), char(bits_ >> 16), char(bits_ >> 24)};
            out_.append(word, 4);
            bits_ >>= 32;
            filled_ -= 32;
        }
    }

    QByteArray out_;
    uint64_t bits_ = 1 | 1 << 1; // the block header: last block, fixed codes
    int filled_ = 3;
    uint64_t a_ = 1, b_ = 0;
};

} // namespace

QByteArray encodePng(const QImage& source)
{
    if (source.isNull())
        return {};
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    const int width = image.width();
    Deflater z;
    const std::vector<QRgb> blank(width, 0);
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        const QRgb* up = y ? reinterpret_cast<const QRgb*>(image.constScanLine(y - 1)) : blank.data();
        // Each pixel as its difference to the one above, which is zero for most of a screen.
        auto difference = [&](int x) {
            return uint32_t(uchar(qRed(row[x]) - qRed(up[x]))) | uint32_t(uchar(qGreen(row[x]) - qGreen(up[x]))) << 8
                   | uint32_t(uchar(qBlue(row[x]) - qBlue(up[x]))) << 16;
        };
        z.literal(2); // the row's filter: the difference to the one above
        for (int x = 0; x < width;) {
            const uint32_t pixel = difference(x);
            z.pixel(pixel);
            int end = x + 1;
            if (pixel == 0) {
                end = sameUntil(row, up, end, width);
            } else {
                while (end < width && difference(end) == pixel)
                    ++end;
            }
            if (end > x + 1)
                z.repeat(end - x - 1, pixel);
            x = end;
        }
        z.settle();
    }
    QByteArray header;
    appendBigEndian(header, uint32_t(width));
    appendBigEndian(header, uint32_t(image.height()));
    header.append("\x08\x02\x00\x00\x00", 5); // 8 bits, RGB, deflate, adaptive filters, no interlace
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", z.finish());
    appendChunk(png, "IEND", {});
    return png;
}

} // namespace wmf
