#pragma once
// A tiny metafile writer for tests: records are given as 16-bit parameter words.

#include <QByteArray>
#include <QColor>
#include <QList>
#include <QRect>
#include <initializer_list>

class WmfBuilder {
public:
    explicit WmfBuilder(QRect bbox = QRect(0, 0, 1000, 1000), int unitsPerInch = 1000, bool placeable = true)
        : bbox_(bbox), inch_(unitsPerInch), placeable_(placeable)
    {
    }

    static QByteArray words(std::initializer_list<int> values)
    {
        QByteArray out;
        for (int v : values)
            out.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF));
        return out;
    }
    static QByteArray dword(uint32_t v) { return words({int(v & 0xFFFF), int(v >> 16)}); }
    static QByteArray color(QColor c) { return words({c.red() | (c.green() << 8), c.blue()}); }

    WmfBuilder& raw(uint16_t function, QByteArray params)
    {
        if (params.size() % 2)
            params.append('\0');
        records_ += dword(uint32_t(3 + params.size() / 2)) + words({function}) + params;
        return *this;
    }
    WmfBuilder& rec(uint16_t function, std::initializer_list<int> params) { return raw(function, words(params)); }

    // Common records; coordinates are logical.
    WmfBuilder& window(int x, int y, int w, int h) { return rec(0x020B, {y, x}).rec(0x020C, {h, w}); }
    WmfBuilder& pen(int style, int width, QColor c)
    {
        ++objects_;
        return raw(0x02FA, words({style, width, 0}) + color(c));
    }
    WmfBuilder& brush(int style, QColor c, int hatch = 0)
    {
        ++objects_;
        return raw(0x02FC, words({style}) + color(c) + words({hatch}));
    }
    WmfBuilder& font(int height, const QByteArray& face, int weight = 400, int escapement = 0, int charset = 0)
    {
        ++objects_;
        QByteArray f = words({height, 0, escapement, escapement, weight, 0, charset << 8}) + QByteArray(4, '\0') + face;
        f.resize(18 + 32, '\0');
        return raw(0x02FB, f);
    }
    WmfBuilder& select(int index) { return rec(0x012D, {index}); }
    WmfBuilder& remove(int index) { return rec(0x01F0, {index}); }
    WmfBuilder& rect(int l, int t, int r, int b) { return rec(0x041B, {b, r, t, l}); }
    WmfBuilder& textColor(QColor c) { return raw(0x0209, color(c)); }
    WmfBuilder& bkMode(int mode) { return rec(0x0102, {mode}); }
    WmfBuilder& textOut(int x, int y, const QByteArray& text)
    {
        QByteArray p = words({int(text.size())}) + text;
        if (p.size() % 2)
            p.append('\0');
        return raw(0x0521, p + words({y, x}));
    }
    // ExtTextOut, clipped to `clip` unless it is null; `dx` gives the advance of each character
    // when not empty.
    WmfBuilder& extTextOut(int x, int y, const QByteArray& text, const QList<int>& dx = {}, QRect clip = {})
    {
        QByteArray p = words({y, x, int(text.size()), clip.isNull() ? 0 : 4});
        if (!clip.isNull())
            p += words({clip.left(), clip.top(), clip.left() + clip.width(), clip.top() + clip.height()});
        p += text;
        if (p.size() % 2)
            p.append('\0');
        for (int d : dx)
            p += words({d});
        return raw(0x0A32, p);
    }
    // StretchDIB of a whole DIB onto a destination rectangle.
    WmfBuilder& stretchDib(const QByteArray& dib, int w, int h, QRect dest, uint32_t rop = 0xCC0020)
    {
        return raw(0x0F43, dword(rop) + words({0, h, w, 0, 0, dest.height(), dest.width(), dest.y(), dest.x()}) + dib);
    }

    // A BITMAPINFOHEADER DIB; `bits` rows bottom-up, each padded to 32 bits by the caller.
    static QByteArray dib(int w, int h, int bpp, const QList<QRgb>& table, const QByteArray& bits, int compression = 0)
    {
        QByteArray d = dword(40) + dword(uint32_t(w)) + dword(uint32_t(h)) + words({1, bpp}) + dword(compression)
                       + dword(uint32_t(bits.size())) + dword(0) + dword(0) + dword(uint32_t(table.size())) + dword(0);
        for (QRgb c : table)
            d.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c))).append('\0');
        return d + bits;
    }

    QByteArray bytes() const
    {
        const QByteArray body = records_ + dword(3) + words({0});
        QByteArray out;
        if (placeable_) {
            QByteArray head = dword(0x9AC6CDD7)
                              + words({0, bbox_.left(), bbox_.top(), bbox_.left() + bbox_.width(),
                                       bbox_.top() + bbox_.height(), inch_})
                              + dword(0);
            int sum = 0;
            for (int i = 0; i < 20; i += 2)
                sum ^= uchar(head[i]) | (uchar(head[i + 1]) << 8);
            out = head + words({sum});
        }
        return out + words({1, 9, 0x300}) + dword(uint32_t(9 + body.size() / 2)) + words({objects_ + 4}) + dword(0)
               + words({0}) + body;
    }

private:
    QRect bbox_;
    int inch_;
    bool placeable_;
    int objects_ = 0;
    QByteArray records_;
};

// White text on black in the ways that are hard to place: turned, slanted, aligned to the centre
// and to the right, with extra character spacing, clipped, and with wide widths of its own.
inline QByteArray awkwardText()
{
    WmfBuilder b;
    b.brush(0, Qt::black)
        .select(0)
        .rect(0, 0, 1000, 1000)
        .textColor(Qt::white)
        .bkMode(1)
        .font(-60, "Arial", 400, 900)
        .select(1)
        .textOut(60, 950, "Upwards")
        .font(-60, "Times New Roman", 700, 450)
        .select(2)
        .textOut(150, 700, "Slanted")
        .font(-50, "Courier New")
        .select(3)
        .rec(0x012E, {6})
        .textOut(500, 100, "Centred")
        .rec(0x012E, {2 | 24})
        .textOut(950, 250, "Right")
        .rec(0x012E, {0})
        .rec(0x0108, {30})
        .textOut(400, 400, "Spaced")
        .rec(0x0108, {0})
        .extTextOut(400, 550, "Clipped", {}, QRect(400, 550, 130, 25))
        .extTextOut(400, 700, "Wide", {120, 120, 120, 120});
    return b.bytes();
}
