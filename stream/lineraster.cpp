#include "stream/lineraster.h"

#include <algorithm>
#include <cmath>

namespace {

// Coverage below this blends to nothing in 8-bit channels.
constexpr double kLeastCoverage = 0.5 / 255.0;

double overlap(double low, double high, double cellLow)
{
    return std::min(high, cellLow + 1.0) - std::max(low, cellLow);
}

// The part [from, to] of the range a slice along the major axis must cover so
// that the line's extent across it reaches the band [low, high): solves the
// line's equation for both limits. False when none of it does.
bool clipToBand(double start, double end, double startMinor, double slope, double low, double high,
                double &from, double &to)
{
    from = start;
    to = end;
    if (slope == 0.0)
        return startMinor >= low && startMinor <= high;
    double a = start + (low - startMinor) / slope;
    double b = start + (high - startMinor) / slope;
    if (a > b)
        std::swap(a, b);
    from = std::max(from, a);
    to = std::min(to, b);
    return from < to;
}

// The toolkit's one-pixel lines step from the whole pixel nearest to their
// start: each slice takes the line's position there, at the slice's near edge
// or, when the start lies in the far half of its pixel, at its far edge.
double onePixelSampleShift(double start)
{
    return start - std::floor(start) >= 0.5 ? 1.0 : 0.0;
}

} // namespace

LineRaster::LineRaster(const RasterBand &bandArg)
    : band(bandArg)
{
}

void LineRaster::setColour(uint32_t argb)
{
    colour = argb | 0xFF000000u;
}

void LineRaster::blend(uint32_t *pixel, double coverage) const
{
    coverage *= opacity;
    if (coverage < kLeastCoverage)
        return;
    if (coverage >= 1.0) {
        *pixel = colour;
        return;
    }
    const uint32_t a = static_cast<uint32_t>(coverage * 256.0 + 0.5);
    const uint32_t d = *pixel;
    // Red and blue, then green, each as d + (s - d) * a / 256 in one word.
    const uint32_t rbD = d & 0x00FF00FFu, rbS = colour & 0x00FF00FFu;
    const uint32_t gD = d & 0x0000FF00u, gS = colour & 0x0000FF00u;
    const uint32_t rb = (rbD * (256 - a) + rbS * a) >> 8;
    const uint32_t g = (gD * (256 - a) + gS * a) >> 8;
    *pixel = 0xFF000000u | (rb & 0x00FF00FFu) | (g & 0x0000FF00u);
}

void LineRaster::drawLine(double x0, double y0, double x1, double y1, double halfExtent, bool onePixelPen)
{
    if (std::fabs(x1 - x0) >= std::fabs(y1 - y0))
        drawMostlyHorizontal(x0, y0, x1, y1, halfExtent, onePixelPen);
    else
        drawMostlyVertical(x0, y0, x1, y1, halfExtent, onePixelPen);
}

// One column's slice: coverage across [low, high] in the rows it reaches.
void LineRaster::coverHorizontalSlice(int column, double coverage, double low, double high)
{
    const int first = std::max(band.top, static_cast<int>(std::floor(std::max(low, -1e9))));
    const int last = std::min(band.bottom - 1, static_cast<int>(std::floor(std::min(high, 1e9))));
    uint32_t *pixel = band.bits + std::ptrdiff_t(first - band.top) * band.stride + column;
    for (int row = first; row <= last; ++row, pixel += band.stride)
        blend(pixel, coverage * overlap(low, high, row));
}

void LineRaster::coverVerticalSlice(int row, double coverage, double low, double high)
{
    const int first = std::max(0, static_cast<int>(std::floor(std::max(low, -1e9))));
    const int last = std::min(band.width - 1, static_cast<int>(std::floor(std::min(high, 1e9))));
    uint32_t *pixel = band.bits + std::ptrdiff_t(row - band.top) * band.stride;
    for (int column = first; column <= last; ++column)
        blend(pixel + column, coverage * overlap(low, high, column));
}

void LineRaster::drawMostlyHorizontal(double x0, double y0, double x1, double y1, double halfExtent,
                                      bool onePixelPen)
{
    if (x0 > x1) {
        std::swap(x0, x1);
        std::swap(y0, y1);
    }
    const double length = x1 - x0;
    if (length <= 0.0) {
        fillRect(x0 - halfExtent, y0 - halfExtent, x0 + halfExtent, y0 + halfExtent);
        return;
    }
    const double slope = (y1 - y0) / length;
    double from, to;
    if (!clipToBand(x0, x1, y0, slope, band.top - halfExtent - 1.0, band.bottom + halfExtent + 1.0, from, to))
        return;
    from = std::max(from, 0.0);
    to = std::min(to, double(band.width));
    if (from >= to)
        return;
    for (int column = static_cast<int>(std::floor(from)); column < to; ++column) {
        const double left = std::max(x0, double(column));
        const double right = std::min(x1, column + 1.0);
        if (right <= left)
            continue;
        const double at = onePixelPen ? column + onePixelSampleShift(x0) : (left + right) * 0.5;
        const double centre = y0 + (at - x0) * slope;
        coverHorizontalSlice(column, right - left, centre - halfExtent, centre + halfExtent);
    }
}

void LineRaster::drawMostlyVertical(double x0, double y0, double x1, double y1, double halfExtent,
                                    bool onePixelPen)
{
    if (y0 > y1) {
        std::swap(x0, x1);
        std::swap(y0, y1);
    }
    const double slope = (x1 - x0) / (y1 - y0);
    const double from = std::max(y0, double(band.top));
    const double to = std::min(y1, double(band.bottom));
    double left, right;
    if (!clipToBand(y0, y1, x0, slope, -halfExtent - 1.0, band.width + halfExtent + 1.0, left, right))
        return;
    const double start = std::max(from, left);
    const double end = std::min(to, right);
    if (start >= end)
        return;
    for (int row = static_cast<int>(std::floor(start)); row < end; ++row) {
        const double upper = std::max(y0, double(row));
        const double lower = std::min(y1, row + 1.0);
        if (lower <= upper)
            continue;
        const double at = onePixelPen ? row + onePixelSampleShift(y0) : (upper + lower) * 0.5;
        const double centre = x0 + (at - y0) * slope;
        coverVerticalSlice(row, lower - upper, centre - halfExtent, centre + halfExtent);
    }
}

void LineRaster::fillRect(double left, double top, double right, double bottom)
{
    if (!(left < right && top < bottom))
        return;
    const int firstRow = std::max(band.top, static_cast<int>(std::floor(std::max(top, -1.0))));
    const int lastRow = std::min(band.bottom - 1, static_cast<int>(std::floor(std::min(bottom, 1e9))));
    const int firstColumn = std::max(0, static_cast<int>(std::floor(std::max(left, -1.0))));
    const int lastColumn = std::min(band.width - 1, static_cast<int>(std::floor(std::min(right, 1e9))));
    for (int row = firstRow; row <= lastRow; ++row) {
        const double rowCoverage = overlap(top, bottom, row);
        if (rowCoverage <= 0.0)
            continue;
        uint32_t *pixel = band.bits + std::ptrdiff_t(row - band.top) * band.stride;
        for (int column = firstColumn; column <= lastColumn; ++column)
            blend(pixel + column, rowCoverage * overlap(left, right, column));
    }
}
