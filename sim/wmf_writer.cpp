#include "sim/wmf_writer.h"

#include <algorithm>

namespace qlxsim {
namespace {

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::uint16_t kMetaEof = 0x0000, kSetBkMode = 0x0102, kSetMapMode = 0x0103, kSetTextAlign = 0x012E,
                        kSelectObject = 0x012D, kDeleteObject = 0x01F0, kSetTextColor = 0x0209, kSetWindowOrg = 0x020B,
                        kSetWindowExt = 0x020C, kLineTo = 0x0213, kMoveTo = 0x0214, kCreatePen = 0x02FA,
                        kCreateFont = 0x02FB, kCreateBrush = 0x02FC, kPolyline = 0x0325, kRectangle = 0x041B,
                        kTextOut = 0x0521, kExtTextOut = 0x0A32;
constexpr std::uint16_t kAnisotropic = 8;

std::uint16_t word(int value) { return static_cast<std::uint16_t>(value); }
std::uint16_t low(std::uint32_t value) { return static_cast<std::uint16_t>(value & 0xFFFF); }
std::uint16_t high(std::uint32_t value) { return static_cast<std::uint16_t>(value >> 16); }
std::uint32_t colorRef(Rgb c) { return c.r | (c.g << 8) | (std::uint32_t(c.b) << 16); }

void put16(std::string& out, std::uint16_t value)
{
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8);
}
void put32(std::string& out, std::uint32_t value)
{
    put16(out, low(value));
    put16(out, high(value));
}

} // namespace

std::uint16_t placeableChecksum(std::string_view header)
{
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < 10 && 2 * i + 1 < header.size(); ++i) {
        sum ^= static_cast<std::uint16_t>(static_cast<unsigned char>(header[2 * i])
                                          | (static_cast<unsigned char>(header[2 * i + 1]) << 8));
    }
    return sum;
}

WmfWriter::WmfWriter(int width, int height, int unitsPerInch)
    : width_(width), height_(height), unitsPerInch_(unitsPerInch)
{
    record(kSetMapMode, {kAnisotropic});
    record(kSetWindowOrg, {0, 0});
    record(kSetWindowExt, {word(height), word(width)});
}

void WmfWriter::record(std::uint16_t function, const std::vector<std::uint16_t>& params)
{
    const auto size = static_cast<std::uint32_t>(3 + params.size());
    records_.push_back(low(size));
    records_.push_back(high(size));
    records_.push_back(function);
    records_.insert(records_.end(), params.begin(), params.end());
    maxRecord_ = std::max(maxRecord_, size);
}

int WmfWriter::takeSlot()
{
    const auto free = std::find(slots_.begin(), slots_.end(), false);
    const auto slot = static_cast<int>(free - slots_.begin());
    if (free == slots_.end())
        slots_.push_back(true);
    else
        *free = true;
    maxObjects_ = std::max(maxObjects_, slots_.size());
    return slot;
}

int WmfWriter::createPen(int style, int width, Rgb color)
{
    const std::uint32_t c = colorRef(color);
    record(kCreatePen, {word(style), word(width), 0, low(c), high(c)});
    return takeSlot();
}

int WmfWriter::createBrush(int style, Rgb color)
{
    const std::uint32_t c = colorRef(color);
    record(kCreateBrush, {word(style), low(c), high(c), 0});
    return takeSlot();
}

int WmfWriter::createFont(int height, int weight, std::string_view face)
{
    // LOGFONT: height, width, escapement, orientation, weight, then eight single bytes
    // (italic, underline, strike-out, charset, out precision, clip precision, quality,
    // pitch and family), then a 32-byte face name ending in a zero byte.
    std::vector<std::uint16_t> params{word(-height), 0, 0, 0, word(weight), 0, 0, 0, 0x2200};
    std::string name(face.substr(0, 31));
    name.resize(32, '\0');
    for (std::size_t i = 0; i < name.size(); i += 2) {
        params.push_back(static_cast<std::uint16_t>(static_cast<unsigned char>(name[i])
                                                    | (static_cast<unsigned char>(name[i + 1]) << 8)));
    }
    record(kCreateFont, params);
    return takeSlot();
}

void WmfWriter::select(int slot) { record(kSelectObject, {word(slot)}); }

void WmfWriter::remove(int slot)
{
    record(kDeleteObject, {word(slot)});
    if (slot >= 0 && static_cast<std::size_t>(slot) < slots_.size())
        slots_[slot] = false;
}

void WmfWriter::setBkMode(bool transparent) { record(kSetBkMode, {word(transparent ? 1 : 2)}); }

void WmfWriter::setTextColor(Rgb color)
{
    const std::uint32_t c = colorRef(color);
    record(kSetTextColor, {low(c), high(c)});
}

void WmfWriter::setTextAlign(int align) { record(kSetTextAlign, {word(align)}); }

void WmfWriter::rectangle(int left, int top, int right, int bottom)
{
    record(kRectangle, {word(bottom), word(right), word(top), word(left)});
}

void WmfWriter::polyline(const std::vector<Point>& points)
{
    std::vector<std::uint16_t> params{word(static_cast<int>(points.size()))};
    for (const Point& p : points) {
        params.push_back(word(p.x));
        params.push_back(word(p.y));
    }
    record(kPolyline, params);
}

void WmfWriter::moveTo(int x, int y) { record(kMoveTo, {word(y), word(x)}); }
void WmfWriter::lineTo(int x, int y) { record(kLineTo, {word(y), word(x)}); }

std::vector<std::uint16_t> WmfWriter::textWords(std::string_view text)
{
    std::string padded(text);
    if (padded.size() % 2)
        padded += '\0';
    std::vector<std::uint16_t> words;
    for (std::size_t i = 0; i < padded.size(); i += 2) {
        words.push_back(static_cast<std::uint16_t>(static_cast<unsigned char>(padded[i])
                                                   | (static_cast<unsigned char>(padded[i + 1]) << 8)));
    }
    return words;
}

void WmfWriter::textOut(int x, int y, std::string_view text)
{
    std::vector<std::uint16_t> params{word(static_cast<int>(text.size()))};
    const auto chars = textWords(text);
    params.insert(params.end(), chars.begin(), chars.end());
    params.push_back(word(y));
    params.push_back(word(x));
    record(kTextOut, params);
}

void WmfWriter::extTextOut(int x, int y, std::string_view text)
{
    std::vector<std::uint16_t> params{word(y), word(x), word(static_cast<int>(text.size())), 0};
    const auto chars = textWords(text);
    params.insert(params.end(), chars.begin(), chars.end());
    record(kExtTextOut, params);
}

std::string WmfWriter::finish() const
{
    std::string out;
    put32(out, kPlaceableKey);
    put16(out, 0); // handle
    put16(out, 0);
    put16(out, 0);
    put16(out, word(width_));
    put16(out, word(height_));
    put16(out, word(unitsPerInch_));
    put32(out, 0); // reserved
    put16(out, placeableChecksum(out));

    const auto totalWords = static_cast<std::uint32_t>(9 + records_.size() + 3);
    put16(out, 1);      // in memory
    put16(out, 9);      // header size in words
    put16(out, 0x0300); // version
    put32(out, totalWords);
    put16(out, static_cast<std::uint16_t>(maxObjects_));
    put32(out, maxRecord_);
    put16(out, 0);
    for (std::uint16_t w : records_)
        put16(out, w);
    put32(out, 3);
    put16(out, kMetaEof);
    return out;
}

} // namespace qlxsim
