// A small Windows Metafile writer: a placeable header and the handful of records that a tester
// hardcopy uses. Coordinates are logical units; the window spans (0,0) to (width,height).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qlxsim {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
};

struct Point {
    int x = 0, y = 0;
};

// XOR of the first ten 16-bit little-endian words of a placeable header.
std::uint16_t placeableChecksum(std::string_view header);

class WmfWriter {
public:
    enum PenStyle { SolidPen = 0, DotPen = 2, NullPen = 5 };
    enum BrushStyle { SolidBrush = 0, NullBrush = 1 };
    enum TextAlign { AlignLeft = 0, AlignCenter = 6, AlignTop = 0 };

    WmfWriter(int width, int height, int unitsPerInch = 96);

    // Objects get the lowest free slot of the object table; the returned slot is what
    // select() and remove() take.
    int createPen(int style, int width, Rgb color);
    int createBrush(int style, Rgb color);
    int createFont(int height, int weight, std::string_view face);
    void select(int slot);
    void remove(int slot);

    void setBkMode(bool transparent);
    void setTextColor(Rgb color);
    void setTextAlign(int align);
    void rectangle(int left, int top, int right, int bottom);
    void polyline(const std::vector<Point>& points);
    void moveTo(int x, int y);
    void lineTo(int x, int y);
    void textOut(int x, int y, std::string_view text);
    void extTextOut(int x, int y, std::string_view text);

    // The whole file: placeable header, standard header, the records, the end-of-file record.
    std::string finish() const;

private:
    void record(std::uint16_t function, const std::vector<std::uint16_t>& params);
    int takeSlot();
    static std::vector<std::uint16_t> textWords(std::string_view text);

    int width_, height_, unitsPerInch_;
    std::vector<std::uint16_t> records_;
    std::vector<bool> slots_;
    std::size_t maxObjects_ = 0;
    std::uint32_t maxRecord_ = 3;
};

} // namespace qlxsim
