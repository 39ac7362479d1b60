#include "stream/lineraster.h"

#include <algorithm>
#include <cmath>

// Coverage is counted in 256ths of a pixel, as the blend uses it; positions
// across a line in 256ths of a pixel too. Positions are clamped to a little
// beyond the band before they are converted, so every count fits an int.
namespace {

constexpr double kSubpixels = 256.0;

// floor() for values well inside the int range, without a library call on
// processors the build does not assume to round in one instruction.
inline int floorToInt(double value)
{
    const int truncated = static_cast<int>(value);
    return truncated - (value < truncated);
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

void LineRaster::setOpacity(double opacityArg)
{
    opacity = opacityArg;
    fullAlpha = static_cast<int>(opacity * kSubpixels + 0.5);
}

// Without branches: alpha is as often 0 or 256 as anything between, and a
// mispredicted branch costs more than the arithmetic.
inline void LineRaster::blend(uint32_t *pixel, int alpha) const
{
    const uint32_t a = static_cast<uint32_t>(std::clamp(alpha, 0, 256));
    const uint32_t d = *pixel;
    // Red and blue, then green, each as (d * (256 - a) + s * a) / 256 in one word.
    const uint32_t rbD = d & 0x00FF00FFu, rbS = colour & 0x00FF00FFu;
    const uint32_t gD = d & 0x0000FF00u, gS = colour & 0x0000FF00u;
    const uint32_t rb = (rbD * (256 - a) + rbS * a) >> 8;
    const uint32_t g = (gD * (256 - a) + gS * a) >> 8;
    *pixel = 0xFF000000u | (rb & 0x00FF00FFu) | (g & 0x0000FF00u);
}

// Covers, in the pixels first..last of one slice, the part of [low256,
// high256) that falls into each, scaled by the slice's own coverage.
inline void LineRaster::coverCells(uint32_t *pixel, std::ptrdiff_t step, int first, int last, int low256,
                                   int high256, int sliceAlpha) const
{
    for (int cell = first; cell <= last; ++cell, pixel += step) {
        const int covered = std::min(high256, (cell + 1) * 256) - std::max(low256, cell * 256);
        blend(pixel, (covered * sliceAlpha + 128) >> 8);
    }
}

void LineRaster::drawLine(double x0, double y0, double x1, double y1, double halfExtent, bool onePixelPen)
{
    if (std::fabs(x1 - x0) >= std::fabs(y1 - y0))
        drawAlongMajor<true>(x0, y0, x1, y1, halfExtent, onePixelPen);
    else
        drawAlongMajor<false>(y0, x0, y1, x1, halfExtent, onePixelPen);
}

// One routine for both directions: the major axis is x for a mostly
// horizontal line (slices are columns) and y for a mostly vertical one
// (slices are rows); only the limits and the pixel steps differ.
template <bool MajorIsX>
void LineRaster::drawAlongMajor(double major0, double minor0, double major1, double minor1, double halfExtent,
                                bool onePixelPen)
{
    if (major0 > major1) {
        std::swap(major0, major1);
        std::swap(minor0, minor1);
    }
    const double length = major1 - major0;
    if (length <= 0.0) {
        if (MajorIsX)
            fillRect(major0 - halfExtent, minor0 - halfExtent, major0 + halfExtent, minor0 + halfExtent);
        return;
    }
    const int majorLow = MajorIsX ? 0 : band.top, majorHigh = MajorIsX ? band.width : band.bottom;
    const int minorLow = MajorIsX ? band.top : 0, minorHigh = MajorIsX ? band.bottom : band.width;
    const std::ptrdiff_t minorStep = MajorIsX ? band.stride : 1;

    const double slope = (minor1 - minor0) / length;
    double from, to;
    if (!clipToBand(major0, major1, minor0, slope, minorLow - halfExtent - 1.0, minorHigh + halfExtent + 1.0,
                    from, to))
        return;
    from = std::max(from, double(majorLow));
    to = std::min(to, double(majorHigh));
    if (from >= to)
        return;

    // Every slice's extent is clamped to a pixel beyond the band, which keeps
    // the 256ths in range and covers nothing outside it.
    const double lowest = minorLow - 1.0, highest = minorHigh + 1.0;
    const double shift = onePixelPen ? onePixelSampleShift(major0) : 0.5;
    // Slices wholly inside the line, whose extent lies inside the band, take
    // the short way: the extent's 256ths from its low edge, and for a line at
    // most a pixel thick just the two cells it can touch.
    const int wholeFrom = floorToInt(major0) + 1, wholeTo = floorToInt(major1);
    // The short way writes at least two cells, so a thinner extent must also
    // start a whole cell inside; a wider one than the band never takes it.
    const double extent = std::min(2.0 * halfExtent, minorHigh - minorLow + 2.0);
    const int extent256 = static_cast<int>(extent * kSubpixels + 0.5);
    const double insideLow = minorLow, insideHigh = minorHigh - std::max(extent, 1.0) - 1.0 / kSubpixels;
    const int firstSlice = floorToInt(from);
    for (int slice = firstSlice; slice < to; ++slice) {
        if (slice >= wholeFrom && slice < wholeTo) {
            const double low = minor0 + (slice + shift - major0) * slope - halfExtent;
            if (low >= insideLow && low < insideHigh) {
                const int low256 = floorToInt(low * kSubpixels);
                const int cell = low256 >> 8;
                const int row = MajorIsX ? cell : slice, column = MajorIsX ? slice : cell;
                uint32_t *pixel = band.bits + std::ptrdiff_t(row - band.top) * band.stride + column;
                if (extent256 <= 256) {
                    const int inFirst = std::min(extent256, 256 - (low256 & 255));
                    blend(pixel, (inFirst * fullAlpha + 128) >> 8);
                    blend(pixel + minorStep, ((extent256 - inFirst) * fullAlpha + 128) >> 8);
                } else {
                    const int high256 = low256 + extent256;
                    coverCells(pixel, minorStep, cell, (high256 - 1) >> 8, low256, high256, fullAlpha);
                }
                continue;
            }
        }
        const double near = std::max(major0, double(slice));
        const double far = std::min(major1, slice + 1.0);
        if (far <= near)
            continue;
        const bool whole = near == slice && far == slice + 1.0;
        const double at = onePixelPen || whole ? slice + shift : (near + far) * 0.5;
        const double centre = minor0 + (at - major0) * slope;
        const double low = std::clamp(centre - halfExtent, lowest, highest);
        const double high = std::clamp(centre + halfExtent, lowest, highest);
        const int low256 = floorToInt(low * kSubpixels), high256 = floorToInt(high * kSubpixels);
        if (high256 <= low256)
            continue;
        const int first = std::max(minorLow, low256 >> 8);
        const int last = std::min(minorHigh - 1, (high256 - 1) >> 8);
        if (first > last)
            continue;
        const int sliceAlpha = whole ? fullAlpha : static_cast<int>((far - near) * opacity * kSubpixels + 0.5);
        const int row = MajorIsX ? first : slice, column = MajorIsX ? slice : first;
        uint32_t *pixel = band.bits + std::ptrdiff_t(row - band.top) * band.stride + column;
        coverCells(pixel, minorStep, first, last, low256, high256, sliceAlpha);
    }
}

void LineRaster::fillRect(double left, double top, double right, double bottom)
{
    if (!(left < right && top < bottom))
        return;
    const double lowestRow = band.top - 1.0, highestRow = band.bottom + 1.0;
    const double lowestColumn = -1.0, highestColumn = band.width + 1.0;
    const int top256 = floorToInt(std::clamp(top, lowestRow, highestRow) * kSubpixels);
    const int bottom256 = floorToInt(std::clamp(bottom, lowestRow, highestRow) * kSubpixels);
    const int left256 = floorToInt(std::clamp(left, lowestColumn, highestColumn) * kSubpixels);
    const int right256 = floorToInt(std::clamp(right, lowestColumn, highestColumn) * kSubpixels);
    if (bottom256 <= top256 || right256 <= left256)
        return;
    const int firstRow = std::max(band.top, top256 >> 8), lastRow = std::min(band.bottom - 1, (bottom256 - 1) >> 8);
    const int firstColumn = std::max(0, left256 >> 8), lastColumn = std::min(band.width - 1, (right256 - 1) >> 8);
    for (int row = firstRow; row <= lastRow; ++row) {
        const int rowCovered = std::min(bottom256, (row + 1) * 256) - std::max(top256, row * 256);
        uint32_t *pixel = band.bits + std::ptrdiff_t(row - band.top) * band.stride + firstColumn;
        coverCells(pixel, 1, firstColumn, lastColumn, left256, right256, (rowCovered * fullAlpha + 128) >> 8);
    }
}
