#pragma once
// Windows Metafile container: the placeable and the standard header, the record list.
// Everything here works on untrusted bytes: every field is checked against the data it lies in.

#include <QByteArray>
#include <QRect>
#include <cstdint>
#include <vector>

namespace wmf {

// Little-endian view of a byte range. Reads outside the range return 0 and clear ok().
class Bytes {
public:
    Bytes() = default;
    Bytes(const uchar* data, qsizetype size) : p_(data), n_(size < 0 ? 0 : size) {}

    qsizetype size() const { return n_; }
    const uchar* data() const { return p_; }
    bool ok() const { return ok_; }
    bool has(qsizetype offset, qsizetype count) const
    {
        return offset >= 0 && count >= 0 && offset <= n_ && count <= n_ - offset;
    }
    uint8_t u8(qsizetype at) const;
    uint16_t u16(qsizetype at) const;
    int16_t s16(qsizetype at) const { return int16_t(u16(at)); }
    uint32_t u32(qsizetype at) const;
    int32_t s32(qsizetype at) const { return int32_t(u32(at)); }
    // The sub-range [offset, offset+count), clamped to this range.
    Bytes mid(qsizetype offset, qsizetype count = -1) const;

private:
    const uchar* p_ = nullptr;
    qsizetype n_ = 0;
    mutable bool ok_ = true;
};

constexpr uint32_t PlaceableKey = 0x9AC6CDD7;

struct Header {
    bool valid = false;
    bool placeable = false;
    QRect bbox;                // placeable only: picture frame in logical units
    int unitsPerInch = 0;      // placeable only; 0 when absent or invalid
    int objectCount = 0;       // size of the object table
    qsizetype firstRecord = 0; // byte offset of the first record
};

// A record: function number and its parameter bytes (after the 6-byte record header).
struct Record {
    uint16_t function = 0;
    qsizetype offset = 0; // of the record header within the file
    qsizetype size = 0;   // whole record in bytes
};

Header parseHeader(const Bytes& file);

// Splits the record stream after the header. Stops at the end-of-file record, at the end of the
// data or at the first record whose size is impossible; what was read before stays usable.
std::vector<Record> splitRecords(const Bytes& file, const Header& header);

// Parameter bytes of a record.
inline Bytes params(const Bytes& file, const Record& r) { return file.mid(r.offset + 6, r.size - 6); }

namespace fn {
enum : uint16_t {
    Eof = 0x0000,
    RealizePalette = 0x0035,
    SetPalEntries = 0x0037,
    SetBkMode = 0x0102,
    SetMapMode = 0x0103,
    SetRop2 = 0x0104,
    SetRelAbs = 0x0105,
    SetPolyFillMode = 0x0106,
    SetStretchBltMode = 0x0107,
    SetTextCharExtra = 0x0108,
    RestoreDc = 0x0127,
    ResizePalette = 0x0139,
    DibCreatePatternBrush = 0x0142,
    SetLayout = 0x0149,
    SetBkColor = 0x0201,
    SetTextColor = 0x0209,
    OffsetViewportOrg = 0x0211,
    LineTo = 0x0213,
    MoveTo = 0x0214,
    OffsetClipRgn = 0x0220,
    FillRegion = 0x0228,
    SetMapperFlags = 0x0231,
    SelectPalette = 0x0234,
    Polygon = 0x0324,
    Polyline = 0x0325,
    SetTextJustification = 0x020A,
    SetWindowOrg = 0x020B,
    SetWindowExt = 0x020C,
    SetViewportOrg = 0x020D,
    SetViewportExt = 0x020E,
    OffsetWindowOrg = 0x020F,
    ScaleWindowExt = 0x0410,
    ScaleViewportExt = 0x0412,
    ExcludeClipRect = 0x0415,
    IntersectClipRect = 0x0416,
    Ellipse = 0x0418,
    FloodFill = 0x0419,
    FrameRegion = 0x0429,
    AnimatePalette = 0x0436,
    TextOut = 0x0521,
    PolyPolygon = 0x0538,
    ExtFloodFill = 0x0548,
    Rectangle = 0x041B,
    SetPixel = 0x041F,
    RoundRect = 0x061C,
    PatBlt = 0x061D,
    SaveDc = 0x001E,
    Pie = 0x081A,
    StretchBlt = 0x0B23,
    Escape = 0x0626,
    InvertRegion = 0x012A,
    PaintRegion = 0x012B,
    SelectClipRegion = 0x012C,
    SelectObject = 0x012D,
    SetTextAlign = 0x012E,
    Arc = 0x0817,
    Chord = 0x0830,
    BitBlt = 0x0922,
    ExtTextOut = 0x0A32,
    SetDibToDev = 0x0D33,
    DibBitBlt = 0x0940,
    DibStretchBlt = 0x0B41,
    StretchDib = 0x0F43,
    DeleteObject = 0x01F0,
    CreatePalette = 0x00F7,
    CreatePatternBrush = 0x01F9,
    CreatePenIndirect = 0x02FA,
    CreateFontIndirect = 0x02FB,
    CreateBrushIndirect = 0x02FC,
    CreateRegion = 0x06FF,
};
} // namespace fn

} // namespace wmf
