#include "sim/sample_screens.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>

#include "sim/wmf_writer.h"

namespace qlxsim {
namespace {

struct Marker {
    double position; // 0..1 across the grid
    std::string label;
};

struct Screen {
    std::string name;
    int width, height;
    std::string title;
    std::string settings;
    std::vector<std::string> softkeys;
    std::function<double(double)> trace; // 0..1 across -> 0 (bottom) .. 1 (top)
    std::vector<Marker> markers;
};

constexpr Rgb kBlack{0, 0, 0}, kWhite{255, 255, 255}, kGrey{128, 128, 128}, kTitleBlue{0, 0, 128}, kTrace{255, 255, 0},
    kMarker{0, 255, 255}, kKeyFace{192, 192, 192};

// Deterministic noise in [-1, 1]: the same picture on every run.
double noise(double x)
{
    std::uint32_t n = static_cast<std::uint32_t>(x * 100000.0) * 2654435761u;
    n ^= n >> 15;
    n *= 2246822519u;
    n ^= n >> 13;
    return (n % 2001) / 1000.0 - 1.0;
}

std::string draw(const Screen& s)
{
    WmfWriter w(s.width, s.height);
    const int titleH = s.height / 12, keyW = s.width / 6, margin = s.width / 40;
    const int left = s.width / 12, top = titleH + margin;
    const int right = s.width - keyW - margin, bottom = s.height - s.height / 8;
    const int fontH = std::max(12, s.height / 32);

    w.setBkMode(true);
    const int font = w.createFont(fontH, 400, "Arial");
    w.select(font);
    const int noPen = w.createPen(WmfWriter::NullPen, 0, kBlack);

    // Screen background and title line.
    const int black = w.createBrush(WmfWriter::SolidBrush, kBlack);
    w.select(noPen);
    w.select(black);
    w.rectangle(0, 0, s.width, s.height);
    const int blue = w.createBrush(WmfWriter::SolidBrush, kTitleBlue);
    w.select(blue);
    w.rectangle(0, 0, s.width, titleH);
    w.setTextColor(kWhite);
    w.setTextAlign(WmfWriter::AlignLeft | WmfWriter::AlignTop);
    w.extTextOut(margin, (titleH - fontH) / 2, s.title);

    // Grid: frame, then 10 x 8 dotted divisions.
    const int hollow = w.createBrush(WmfWriter::NullBrush, kBlack);
    w.select(hollow);
    const int framePen = w.createPen(WmfWriter::SolidPen, 1, kWhite);
    w.select(framePen);
    w.rectangle(left, top, right, bottom);
    const int gridPen = w.createPen(WmfWriter::DotPen, 1, kGrey);
    w.select(gridPen);
    for (int i = 1; i < 10; ++i) {
        const int x = left + (right - left) * i / 10;
        w.moveTo(x, top);
        w.lineTo(x, bottom);
    }
    for (int i = 1; i < 8; ++i) {
        const int y = top + (bottom - top) * i / 8;
        w.moveTo(left, y);
        w.lineTo(right, y);
    }

    // Trace.
    const auto at = [&](double u) {
        const double v = std::clamp(s.trace(u), 0.0, 1.0);
        return Point{left + static_cast<int>(u * (right - left)), bottom - static_cast<int>(v * (bottom - top))};
    };
    const int tracePen = w.createPen(WmfWriter::SolidPen, 2, kTrace);
    w.select(tracePen);
    std::vector<Point> points;
    const int samples = (right - left) / 2;
    for (int i = 0; i <= samples; ++i)
        points.push_back(at(static_cast<double>(i) / samples));
    w.polyline(points);

    // Markers: a small diamond on the trace and its label above it.
    const int markerPen = w.createPen(WmfWriter::SolidPen, 1, kMarker);
    w.select(markerPen);
    w.setTextColor(kMarker);
    w.setTextAlign(WmfWriter::AlignCenter | WmfWriter::AlignTop);
    const int d = std::max(4, s.width / 100);
    for (const Marker& m : s.markers) {
        const Point p = at(m.position);
        w.polyline({{p.x, p.y - d}, {p.x + d, p.y}, {p.x, p.y + d}, {p.x - d, p.y}, {p.x, p.y - d}});
        w.textOut(p.x, std::max(top, p.y - d - fontH - 2), m.label);
    }

    // Settings line below the grid.
    w.setTextColor(kWhite);
    w.setTextAlign(WmfWriter::AlignLeft | WmfWriter::AlignTop);
    w.textOut(left, bottom + margin / 2, s.settings);

    // Softkeys on the right.
    const int keyBrush = w.createBrush(WmfWriter::SolidBrush, kKeyFace);
    w.select(keyBrush);
    w.select(framePen);
    w.setTextColor(kBlack);
    w.setTextAlign(WmfWriter::AlignCenter | WmfWriter::AlignTop);
    const int keyLeft = s.width - keyW + margin / 2, keyRight = s.width - margin / 2;
    const int keyH = (s.height - top - margin) / static_cast<int>(std::max<std::size_t>(1, s.softkeys.size()));
    for (std::size_t i = 0; i < s.softkeys.size(); ++i) {
        const int y = top + static_cast<int>(i) * keyH;
        w.rectangle(keyLeft, y, keyRight, y + keyH - margin / 2);
        w.extTextOut((keyLeft + keyRight) / 2, y + (keyH - fontH) / 2, s.softkeys[i]);
    }

    for (int object : {font, noPen, black, blue, hollow, framePen, gridPen, tracePen, markerPen, keyBrush}) {
        w.remove(object);
    }
    return w.finish();
}

double peak(double u, double centre, double width)
{
    const double x = (u - centre) / width;
    return std::exp(-x * x);
}

std::vector<Screen> screens()
{
    return {
        {"HC_0001.WMF",
         640,
         480,
         "QLX   Spectrum   RF Analyzer   900.000 MHz",
         "RBW 30 kHz   VBW 100 kHz   SWT 20 ms   Ref -10 dBm",
         {"Center", "Span", "Ref Level", "Marker", "Peak Search", "Hardcopy"},
         [](double u) { return 0.12 + 0.03 * noise(u) + 0.75 * peak(u, 0.5, 0.03); },
         {{0.5, "M1 -12.4 dBm 900.000 MHz"}}},
        {"HC_0002.WMF",
         800,
         600,
         "QLX   Power vs Time   Burst   TCH 62",
         "Avg Burst Power 32.8 dBm   Template: PASSED",
         {"Slot", "Template", "Average", "Single", "Hardcopy"},
         [](double u) {
             const double ramp = std::clamp((u - 0.18) / 0.04, 0.0, 1.0) * std::clamp((0.82 - u) / 0.04, 0.0, 1.0);
             return 0.08 + 0.01 * noise(u) + 0.8 * ramp + 0.01 * noise(u + 1);
         },
         {{0.25, "M1 32.9 dBm"}, {0.75, "M2 32.7 dBm"}}},
        {"HC_0003.WMF",
         1024,
         768,
         "QLX   Modulation   Phase Error",
         "Peak 5.1 deg   RMS 1.8 deg   Freq Error -12 Hz",
         {"Burst", "Peak", "RMS", "Limits", "Statistics", "Single", "Hardcopy"},
         [](double u) { return 0.5 + 0.25 * std::sin(u * 18.0) * std::exp(-u) + 0.05 * noise(u); },
         {{0.09, "M1 5.1 deg"}}},
        {"trace_02.wmf",
         800,
         600,
         "QLX   Spectrum   Adjacent Channels",
         "RBW 30 kHz   Span 1 MHz   ACP -38.5 dB / -39.1 dB",
         {"Channel", "Span", "ACP", "Marker", "Hardcopy"},
         [](double u) {
             return 0.1 + 0.02 * noise(u) + 0.7 * peak(u, 0.5, 0.08) + 0.25 * peak(u, 0.2, 0.05)
                    + 0.24 * peak(u, 0.8, 0.05);
         },
         {{0.5, "M1 -8.0 dBm"}, {0.2, "M2 -46.5 dBm"}, {0.8, "M3 -47.1 dBm"}}},
    };
}

} // namespace

std::vector<SampleFile> sampleFiles()
{
    std::vector<SampleFile> files;
    for (const Screen& screen : screens())
        files.push_back({screen.name, draw(screen)});
    files.push_back({"SETUP.TXT", "QLX hardcopy setup\r\nDevice = WMF\r\nDirectory = \\USERDATA\\PRINT\r\n"
                                  "Colors = screen\r\n"});
    return files;
}

} // namespace qlxsim
