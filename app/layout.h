#pragma once
// Window layout arithmetic, all in twips. Pure functions, so the window only applies the results.

#include <optional>

namespace qlx {

inline constexpr double kTwipsPerInch = 1440.0;
inline constexpr double kMinOuterWidth = 9435;
inline constexpr double kMinOuterHeight = 6075;

// Twips to device pixels and back at the given dots per inch.
int twipsToPixels(double twips, double dpi);
double pixelsToTwips(int pixels, double dpi);

struct ResizeInput {
    double outerWidth, outerHeight;   // with border and caption bar
    double clientWidth, clientHeight; // the inner area
    double paneLeft = 1860, paneTop = 0;
    double listTop = 2160;
    double fileFrameHeight = 1935;
};

struct ResizeResult {
    std::optional<double> outerWidth, outerHeight; // raised to the minimum
    std::optional<double> paneWidth, paneHeight;   // Bild and TextDisp
    double fileFrameTop = 0;
    std::optional<double> listHeight; // QLXFiles and PCFileList
};

// The layout after a size change of the (not minimised) window.
ResizeResult computeResize(const ResizeInput& in);

} // namespace qlx
