#include "app/layout.h"

#include <cmath>

namespace qlx {
namespace {
constexpr double kGap = 60;
constexpr double kCaptionAllowance = 360;

// Properties hold single-precision values.
double asSingle(double value) { return double(float(value)); }
} // namespace

int twipsToPixels(double twips, double dpi) { return int(std::lround(twips * dpi / kTwipsPerInch)); }

double pixelsToTwips(int pixels, double dpi) { return pixels * kTwipsPerInch / dpi; }

ResizeResult computeResize(const ResizeInput& in)
{
    ResizeResult out;
    double outerHeight = in.outerHeight;
    if (outerHeight <= kMinOuterHeight) {
        outerHeight = kMinOuterHeight;
        if (in.outerHeight != kMinOuterHeight)
            out.outerHeight = kMinOuterHeight;
    }
    if (in.outerWidth < kMinOuterWidth)
        out.outerWidth = kMinOuterWidth;

    const double w = in.clientWidth - in.paneLeft;
    if (w > 0)
        out.paneWidth = asSingle(w);
    const double h = in.clientHeight - in.paneTop;
    if (h > 0)
        out.paneHeight = asSingle(h);

    out.fileFrameTop = asSingle(outerHeight - in.fileFrameHeight - kGap - kCaptionAllowance);
    const double n = std::nearbyint(out.fileFrameTop - in.listTop - kGap); // halves to the even neighbour
    if (n > 0)
        out.listHeight = asSingle(n);
    return out;
}

} // namespace qlx
