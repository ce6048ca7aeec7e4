#include "wmf/wmfformat.h"

namespace wmf {

uint8_t Bytes::u8(qsizetype at) const
{
    if (!has(at, 1)) {
        ok_ = false;
        return 0;
    }
    return p_[at];
}

uint16_t Bytes::u16(qsizetype at) const
{
    if (!has(at, 2)) {
        ok_ = false;
        return 0;
    }
    return uint16_t(p_[at] | (p_[at + 1] << 8));
}

uint32_t Bytes::u32(qsizetype at) const
{
    if (!has(at, 4)) {
        ok_ = false;
        return 0;
    }
    return uint32_t(p_[at]) | (uint32_t(p_[at + 1]) << 8) | (uint32_t(p_[at + 2]) << 16) | (uint32_t(p_[at + 3]) << 24);
}

Bytes Bytes::mid(qsizetype offset, qsizetype count) const
{
    if (offset < 0 || offset > n_)
        return {};
    const qsizetype rest = n_ - offset;
    if (count < 0 || count > rest)
        count = rest;
    return Bytes(p_ + offset, count);
}

Header parseHeader(const Bytes& file)
{
    Header h;
    qsizetype at = 0;
    if (file.u32(0) == PlaceableKey) {
        if (!file.has(0, 22))
            return h;
        h.placeable = true;
        const int left = file.s16(6), top = file.s16(8), right = file.s16(10), bottom = file.s16(12);
        h.bbox = QRect(QPoint(left, top), QPoint(right, bottom)).normalized();
        // QRect's right/bottom are inclusive; keep the frame's exact width and height.
        h.bbox.setSize(QSize(qAbs(right - left), qAbs(bottom - top)));
        h.unitsPerInch = file.u16(14);
        at = 22;
    }
    const uint16_t type = file.u16(at);
    const uint16_t headerWords = file.u16(at + 2);
    if (!file.has(at, 18) || (type != 1 && type != 2) || headerWords != 9)
        return h;
    h.objectCount = file.u16(at + 10);
    h.firstRecord = at + 18;
    h.valid = true;
    return h;
}

std::vector<Record> splitRecords(const Bytes& file, const Header& header)
{
    std::vector<Record> records;
    if (!header.valid)
        return records;
    qsizetype at = header.firstRecord;
    while (file.has(at, 6)) {
        const quint64 words = file.u32(at);
        const uint16_t function = file.u16(at + 4);
        if (function == fn::Eof)
            break;
        if (words < 3 || words > quint64(file.size() - at) / 2)
            break;
        records.push_back({function, at, qsizetype(words * 2)});
        at += qsizetype(words * 2);
    }
    return records;
}

} // namespace wmf
