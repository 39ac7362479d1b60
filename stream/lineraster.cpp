#include "stream/lineraster.h"

#include "stream/pixelblend.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

bool rasterThinLineShortcut = true;

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

// Where in its pixel a slice takes the line's position: the middle, except
// for the toolkit's one-pixel lines, which step from the whole pixel nearest
// to their start: the slice's near edge or, when the start lies in the far
// half of its pixel, its far edge.
double sampleShift(double start, bool onePixelPen)
{
    if (!onePixelPen)
        return 0.5;
    return start - floorToInt(start) >= 0.5 ? 1.0 : 0.0;
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

void LineRaster::setLatestFirst()
{
    const int rows = std::max(band.bottom - band.top, 0);
    const std::size_t pixels = std::size_t(band.stride) * std::size_t(rows);
    openMap.assign((pixels + 63) / 64, ~uint64_t(0));
    const int tilesAcross = (band.width + kTile - 1) / kTile, tilesDown = (rows + kTile - 1) / kTile;
    tileWords = (tilesDown + 63) / 64;
    // Bits past the last tile row are never asked for.
    openTileColumns.assign(std::size_t(tilesAcross) * std::size_t(tileWords), ~uint64_t(0));
    // Tiles at the right and bottom edges hold fewer pixels.
    tilesInRow = tilesAcross;
    openInTile.assign(std::size_t(tilesAcross) * std::size_t(tilesDown), 0);
    for (int tileRow = 0; tileRow < tilesDown; ++tileRow)
        for (int tileColumn = 0; tileColumn < tilesAcross; ++tileColumn)
            openInTile[std::size_t(tileRow) * std::size_t(tilesAcross) + std::size_t(tileColumn)] =
                uint8_t(std::min(kTile, rows - tileRow * kTile) * std::min(kTile, band.width - tileColumn * kTile));
}

// Each channel of the picture, its alpha too, is taken as far as the pixel
// is still uncovered.
void LineRaster::blendUnder(const uint32_t *picture, int stride)
{
    for (int row = 0; row < band.bottom - band.top; ++row) {
        const uint32_t *from = picture + std::ptrdiff_t(row) * stride;
        uint32_t *to = band.bits + std::ptrdiff_t(row) * band.stride;
        for (int column = 0; column < band.width; ++column) {
            const uint32_t s = from[column], d = to[column];
            const uint32_t room = 255 - (d >> 24);
            if (s == 0 || room == 0)
                continue;
            to[column] = addScaled(d, s, room);
            if ((to[column] >> 24) == 255)
                closePixel(offsetOf(to + column));
        }
    }
}

// A pixel has become opaque: so may its tile, once the last of its pixels is.
void LineRaster::closePixel(std::ptrdiff_t at)
{
    uint64_t &word = openMap[std::size_t(at >> 6)];
    const uint64_t bit = uint64_t(1) << (at & 63);
    if ((word & bit) == 0)
        return;
    word &= ~bit;
    // Offsets within a band fit 32 bits, whose division is the quicker.
    const uint32_t offset = uint32_t(at), stride = uint32_t(band.stride);
    const int tileRow = int(offset / stride) / kTile, tileColumn = int(offset % stride) / kTile;
    if (--openInTile[std::size_t(tileRow) * std::size_t(tilesInRow) + std::size_t(tileColumn)] != 0)
        return;
    openTileColumns[std::size_t(tileColumn) * std::size_t(tileWords) + std::size_t(tileRow >> 6)] &=
        ~(uint64_t(1) << (tileRow & 63));
}

template <class Blend>
inline void LineRaster::coverCells(uint32_t *pixel, std::ptrdiff_t step, int first, int last, int low256,
                                   int high256, int sliceAlpha, const Blend &blend) const
{
    coverCellRun(pixel, step, first, last, low256, high256, uint32_t(std::clamp(sliceAlpha, 0, 256)),
                 splitOf(colour), blend);
}

// How much of a pixel along the line the slice covers, in 256ths at the
// pen's opacity.
inline int LineRaster::sliceAlpha(int slice, double major0, double major1) const
{
    const double near = std::max(major0, double(slice)), far = std::min(major1, slice + 1.0);
    if (near == slice && far == slice + 1.0)
        return fullAlpha;
    return std::clamp(static_cast<int>((far - near) * opacity * kSubpixels + 0.5), 0, 256);
}

void LineRaster::drawLine(double x0, double y0, double x1, double y1, double halfExtent, bool onePixelPen)
{
    if (!(halfExtent > 0.0)) // no thickness covers nothing
        return;
    const bool mostlyAcross = std::fabs(x1 - x0) >= std::fabs(y1 - y0);
    if (!latestFirst()) {
        drawOriented(x0, y0, x1, y1, halfExtent, onePixelPen, mostlyAcross, OverBlend{});
        return;
    }
    // Lines this thin (wider pens are filled as outlines) are drawn straight
    // away: a look at the open map would cost about what their slices cost
    // over closed pixels.
    drawOriented(x0, y0, x1, y1, halfExtent, onePixelPen, mostlyAcross, UnderBlend{this});
}

template <class Blend>
void LineRaster::drawOriented(double x0, double y0, double x1, double y1, double halfExtent, bool onePixelPen,
                              bool mostlyAcross, const Blend &blend)
{
    if (halfExtent <= kInsideHalfExtent && rasterThinLineShortcut
        && (mostlyAcross ? drawInside<true>(x0, y0, x1, y1, halfExtent, onePixelPen, blend)
                         : drawInside<false>(y0, x0, y1, x1, halfExtent, onePixelPen, blend)))
        return;
    if (mostlyAcross)
        drawAlongMajor<true>(x0, y0, x1, y1, halfExtent, onePixelPen, blend);
    else
        drawAlongMajor<false>(y0, x0, y1, x1, halfExtent, onePixelPen, blend);
}

namespace {

// The pixels a line may touch, as a stretch of columns for a stretch of rows:
// those within ex of its points within ey of the rows. Runs top to bottom.
struct LineReach {
    double x0, y0, x1, y1, ex, ey, dxdy;

    LineReach(double ax, double ay, double bx, double by, double exArg, double eyArg)
        : x0(ay <= by ? ax : bx), y0(std::min(ay, by)), x1(ay <= by ? bx : ax), y1(std::max(ay, by)), ex(exArg),
          ey(eyArg), dxdy(y1 > y0 ? (x1 - x0) / (y1 - y0) : 0.0)
    {
    }

    // Columns first..last of rows [top, top + height), within 0..width-1;
    // false when there are none.
    [[gnu::always_inline]] bool columns(double top, double height, int width, int &first, int &last) const
    {
        const double ya = std::clamp(top - ey, y0, y1), yb = std::clamp(top + height + ey, y0, y1);
        const double xa = y1 > y0 ? x0 + (ya - y0) * dxdy : x0, xb = y1 > y0 ? x0 + (yb - y0) * dxdy : x1;
        const double high = width + 1.0;
        first = std::max(0, floorToInt(std::clamp(std::min(xa, xb) - ex, -1.0, high)));
        last = std::min(width - 1, floorToInt(std::clamp(std::max(xa, xb) + ex, -1.0, high)));
        return first <= last;
    }
};

} // namespace

// The box test for boxes reaching beyond the band (or not numbers at all):
// clamped before they are converted.
bool LineRaster::boxReachesOpenTile(double x0, double y0, double x1, double y1, double margin) const
{
    const double columnsHigh = band.width + 1.0, rowsLow = band.top - 1.0, rowsHigh = band.bottom + 1.0;
    const int left = std::max(0, floorToInt(std::clamp(std::min(x0, x1) - margin, -1.0, columnsHigh)));
    const int right = std::min(band.width - 1, floorToInt(std::clamp(std::max(x0, x1) + margin, -1.0, columnsHigh)));
    const int top = std::max(band.top, floorToInt(std::clamp(std::min(y0, y1) - margin, rowsLow, rowsHigh)));
    const int bottom = std::min(band.bottom - 1, floorToInt(std::clamp(std::max(y0, y1) + margin, rowsLow, rowsHigh)));
    return left <= right && top <= bottom && anyTileOpen(left, top, right, bottom);
}

// Tile row by tile row: the pixel rows of those where the line reaches an
// open tile, until one reaches an open pixel. Tiles rule out most lines of a
// well covered picture at a fraction of the cost of the pixels.
bool LineRaster::reachesOpen(double x0, double y0, double x1, double y1, double ex, double ey) const
{
    const LineReach reach(x0, y0, x1, y1, ex, ey);
    const double rowsLow = band.top - 1.0, rowsHigh = band.bottom + 1.0;
    const int firstRow = std::max(band.top, floorToInt(std::clamp(reach.y0 - ey, rowsLow, rowsHigh)));
    const int lastRow = std::min(band.bottom - 1, floorToInt(std::clamp(reach.y1 + ey, rowsLow, rowsHigh)));
    int first, last;
    for (int tileRow = (firstRow - band.top) / kTile; firstRow <= lastRow && tileRow <= (lastRow - band.top) / kTile;
         ++tileRow) {
        const int tileTop = band.top + tileRow * kTile;
        if (!reach.columns(tileTop, kTile, band.width, first, last) || !anyTileOpen(first, tileTop, last, tileTop))
            continue;
        for (int row = std::max(firstRow, tileTop); row <= std::min(lastRow, tileTop + kTile - 1); ++row) {
            const std::ptrdiff_t base = std::ptrdiff_t(row - band.top) * band.stride;
            if (reach.columns(row, 1, band.width, first, last) && anyOpen(base + first, base + last))
                return true;
        }
    }
    return false;
}

namespace {

// The end of the run of slices from first on that take the short way, below
// limit. Which slices do is decided by their low edge, a monotone function of
// the slice: the run is one interval. Mostly it reaches the limit; else it is
// found from the edge's equation and then made exact with the test itself.
template <typename Test, typename Estimate>
int shortWayRunEnd(int first, int limit, const Estimate &estimate, const Test &takesShortWay)
{
    if (takesShortWay(limit - 1))
        return limit;
    int end = static_cast<int>(std::clamp(estimate(), double(first + 1), double(limit - 1)));
    while (end > first + 1 && !takesShortWay(end - 1))
        --end;
    while (end < limit - 1 && takesShortWay(end))
        ++end;
    return end;
}

} // namespace

// One routine for both directions: the major axis is x for a mostly
// horizontal line (slices are columns) and y for a mostly vertical one
// (slices are rows); only the limits and the pixel steps differ.
template <bool MajorIsX, class Blend>
void LineRaster::drawAlongMajor(double major0, double minor0, double major1, double minor1, double halfExtent,
                                bool onePixelPen, const Blend &blend)
{
    if (major0 > major1) {
        std::swap(major0, major1);
        std::swap(minor0, minor1);
    }
    const double length = major1 - major0;
    if (length <= 0.0) {
        if (MajorIsX)
            fillRectWith(major0 - halfExtent, minor0 - halfExtent, major0 + halfExtent, minor0 + halfExtent, blend);
        return;
    }
    const int majorLow = MajorIsX ? 0 : band.top, majorHigh = MajorIsX ? band.width : band.bottom;
    const int minorLow = MajorIsX ? band.top : 0, minorHigh = MajorIsX ? band.bottom : band.width;

    const double slope = (minor1 - minor0) / length;
    // Most lines lie wholly across the band and need no clipping.
    const double clipLow = minorLow - halfExtent - 1.0, clipHigh = minorHigh + halfExtent + 1.0;
    double from = major0, to = major1;
    const bool across = minor0 >= clipLow && minor0 <= clipHigh && minor1 >= clipLow && minor1 <= clipHigh;
    if (!across && !clipToBand(major0, major1, minor0, slope, clipLow, clipHigh, from, to))
        return;
    from = std::max(from, double(majorLow));
    to = std::min(to, double(majorHigh));
    if (from >= to)
        return;

    // Every slice's extent is clamped to a pixel beyond the band, which keeps
    // the 256ths in range and covers nothing outside it.
    const double lowest = minorLow - 1.0, highest = minorHigh + 1.0;
    const double shift = sampleShift(major0, onePixelPen);
    // Slices wholly inside the line, whose extent lies inside the band, take
    // the short way: the extent's 256ths from its low edge, and for a line at
    // most a pixel thick just the two cells it can touch. The one-pixel pen's
    // end slices take the line where its whole ones do and join them, only
    // covering less along it.
    const int wholeFrom = floorToInt(major0) + (onePixelPen ? 0 : 1);
    const int wholeTo = onePixelPen ? -floorToInt(-major1) : floorToInt(major1);
    // The short way writes at least two cells, so a thinner extent must also
    // start a whole cell inside; a wider one than the band never takes it.
    const double extent = std::min(2.0 * halfExtent, minorHigh - minorLow + 2.0);
    const int extent256 = static_cast<int>(extent * kSubpixels + 0.5);
    const double insideLow = minorLow, insideHigh = minorHigh - std::max(extent, 1.0) - 1.0 / kSubpixels;
    // The low edge of a slice's extent; the short way starts its run from it.
    auto lowEdgeAt = [&](int slice) { return minor0 + (slice + shift - major0) * slope - halfExtent; };
    auto takesShortWay = [&](int slice) {
        if (slice < wholeFrom || slice >= wholeTo)
            return false;
        const double low = lowEdgeAt(slice);
        return low >= insideLow && low < insideHigh;
    };
    // Where the low edge leaves the inside range: past insideHigh going up,
    // below insideLow going down.
    auto leavesInside = [&] {
        if (slope == 0.0)
            return 1e18;
        const double bound = slope > 0.0 ? insideHigh : insideLow;
        return (bound - minor0 + halfExtent) / slope + major0 - shift + 1.0;
    };

    auto drawShortWay = [&](int first, int end) {
        drawShortRun<MajorIsX>(first, end, lowEdgeAt(first), slope, extent256, insideHigh, blend,
                               sliceAlpha(first, major0, major1), sliceAlpha(end - 1, major0, major1));
    };

    const int firstSlice = floorToInt(from);
    for (int slice = firstSlice; slice < to;) {
        if (takesShortWay(slice)) {
            const int limit = std::min(wholeTo, -floorToInt(-to)); // slices before it start before to
            const int end = shortWayRunEnd(slice, limit, leavesInside, takesShortWay);
            drawShortWay(slice, end);
            slice = end;
            continue;
        }
        drawEdgeSlice<MajorIsX>(slice, major0, minor0, major1, slope, halfExtent, shift, onePixelPen, lowest,
                                highest, blend);
        ++slice;
    }
}

// Most lines of a plot are thin (the one-pixel pen, pens of a pixel or two)
// and lie well inside the band: no clipping, and every slice but the two at
// the ends takes the short way (their centres lie on the line, within a
// margin that keeps every extent inside). The same pixels as drawAlongMajor,
// without its search for where the short way starts and ends.
template <bool MajorIsX, class Blend>
bool LineRaster::drawInside(double major0, double minor0, double major1, double minor1, double halfExtent,
                            bool onePixelPen, const Blend &blend)
{
    if (major0 > major1) {
        std::swap(major0, major1);
        std::swap(minor0, minor1);
    }
    const int majorLow = MajorIsX ? 0 : band.top, majorHigh = MajorIsX ? band.width : band.bottom;
    const int minorLow = MajorIsX ? band.top : 0, minorHigh = MajorIsX ? band.bottom : band.width;
    // The end slices sample the line up to a pixel beyond its ends, and the
    // short way's cells must end a pixel inside: for a line at most a pixel
    // thick, two pixels spare below and three above. Written so that a
    // coordinate that is not a number fails.
    const double extent = 2.0 * halfExtent, cells = std::max(extent, 1.0);
    if (!(major0 >= majorLow && major1 <= majorHigh && major1 > major0
          && std::min(minor0, minor1) >= minorLow + 1.5 + halfExtent
          && std::max(minor0, minor1) <= minorHigh - 2.0 - cells))
        return false;
    const double slope = (minor1 - minor0) / (major1 - major0);
    const double shift = sampleShift(major0, onePixelPen);
    const double lowest = minorLow - 1.0, highest = minorHigh + 1.0;
    const int firstSlice = floorToInt(major0), lastSlice = floorToInt(major1);
    const double insideHigh = minorHigh - cells - 1.0 / kSubpixels;
    if (onePixelPen) {
        const int end = -floorToInt(-major1);
        drawShortRun<MajorIsX>(firstSlice, end, minor0 + (firstSlice + shift - major0) * slope - 0.5, slope, 256,
                               insideHigh, blend, sliceAlpha(firstSlice, major0, major1),
                               sliceAlpha(end - 1, major0, major1));
        return true;
    }
    drawEdgeSlice<MajorIsX>(firstSlice, major0, minor0, major1, slope, halfExtent, shift, onePixelPen, lowest,
                            highest, blend);
    if (lastSlice == firstSlice)
        return true;
    const int extent256 = static_cast<int>(extent * kSubpixels + 0.5);
    const double lowEdge = minor0 + (firstSlice + 1 + shift - major0) * slope - halfExtent;
    drawShortRun<MajorIsX>(firstSlice + 1, lastSlice, lowEdge, slope, extent256, insideHigh, blend, fullAlpha,
                           fullAlpha);
    if (lastSlice < major1)
        drawEdgeSlice<MajorIsX>(lastSlice, major0, minor0, major1, slope, halfExtent, shift, onePixelPen, lowest,
                                highest, blend);
    return true;
}

// The short way steps the low edge in fixed point (256ths of a pixel with
// 32 bits below them), kept within the range its test allows (from the
// band's first row or column to below insideHigh), so that a rounding step
// can never leave the band. It works on copies: the pixel writes could alias
// anything reached through a reference, which would then be read again for
// every pixel.
template <bool MajorIsX, class Blend>
void LineRaster::drawShortRun(int first, int end, double lowEdge, double slope, int extent256, double insideHigh,
                              const Blend &blend, int headAlpha, int tailAlpha)
{
    const int lowLimit = (MajorIsX ? band.top : 0) * 256;
    const int highLimit = -floorToInt(-insideHigh * kSubpixels) - 1;
    uint32_t *const bits = band.bits;
    const std::ptrdiff_t stride = band.stride, step = MajorIsX ? band.stride : 1;
    const int top = band.top;
    const uint32_t whole = uint32_t(fullAlpha), head = uint32_t(headAlpha), tail = uint32_t(tailAlpha);
    const int finalSlice = end - 1;
    const SplitColour split = splitOf(colour);
    const OverBlendPair pair(colour);
    const Blend blendCopy = blend;
    constexpr double kFraction = 4294967296.0;
    int64_t position = static_cast<int64_t>(lowEdge * kSubpixels * kFraction);
    const int64_t advance = static_cast<int64_t>(slope * kSubpixels * kFraction);
    for (int slice = first; slice < end; ++slice, position += advance) {
        const uint32_t alpha = slice == first ? head : slice == finalSlice ? tail : whole;
        const int low256 = std::clamp(static_cast<int>(position >> 32), lowLimit, highLimit);
        const int cell = low256 >> 8;
        const int row = MajorIsX ? cell : slice, column = MajorIsX ? slice : cell;
        uint32_t *pixel = bits + std::ptrdiff_t(row - top) * stride + column;
        if (extent256 <= 256) {
            const int first256 = std::min(extent256, 256 - (low256 & 255));
            const uint32_t a0 = (uint32_t(first256) * alpha + 128) >> 8;
            const uint32_t a1 = (uint32_t(extent256 - first256) * alpha + 128) >> 8;
            if constexpr (!MajorIsX && std::is_same_v<Blend, OverBlend>) {
                pair(pixel, a0, a1);
            } else if constexpr (!MajorIsX) {
                blendCopy.pair(pixel, split, a0, a1);
            } else {
                blendCopy(pixel, split, a0);
                blendCopy(pixel + step, split, a1);
            }
            continue;
        }
        const int high256 = low256 + extent256;
        const int last = (high256 - 1) >> 8;
        // Latest first, a row of a steep line is mostly closed already: one
        // look at the map passes over all its cells.
        if constexpr (!MajorIsX && !std::is_same_v<Blend, OverBlend>) {
            const std::ptrdiff_t at = offsetOf(pixel);
            if (!anyOpen(at, at + (last - cell)))
                continue;
        }
        if constexpr (!MajorIsX) {
            // Two or three cells of a row: the third is the second again,
            // with nothing to add, when there are two (a branch on it would
            // be mispredicted as often as not).
            if (extent256 <= 512) {
                const int c0 = 256 - (low256 & 255), c1 = std::min(extent256 - c0, 256), c2 = extent256 - c0 - c1;
                const uint32_t a0 = (uint32_t(c0) * alpha + 128) >> 8, a1 = (uint32_t(c1) * alpha + 128) >> 8;
                if constexpr (std::is_same_v<Blend, OverBlend>) {
                    pair(pixel, a0, a1);
                } else {
                    blendCopy(pixel, split, a0);
                    blendCopy(pixel + 1, split, a1);
                }
                blendCopy(pixel + 1 + (c2 != 0), split, (uint32_t(c2) * alpha + 128) >> 8);
                continue;
            }
        }
        coverCellRun(pixel, step, cell, last, low256, high256, alpha, split, blendCopy);
    }
}

// A slice the short way does not take: at an end of the line, or with an
// extent reaching beyond the band.
template <bool MajorIsX, class Blend>
void LineRaster::drawEdgeSlice(int slice, double major0, double minor0, double major1, double slope,
                               double halfExtent, double shift, bool onePixelPen, double lowest, double highest,
                               const Blend &blend)
{
    const int minorLow = MajorIsX ? band.top : 0, minorHigh = MajorIsX ? band.bottom : band.width;
    const std::ptrdiff_t minorStep = MajorIsX ? band.stride : 1;
    const double near = std::max(major0, double(slice));
    const double far = std::min(major1, slice + 1.0);
    if (far <= near)
        return;
    const bool whole = near == slice && far == slice + 1.0;
    const double at = onePixelPen || whole ? slice + shift : (near + far) * 0.5;
    const double centre = minor0 + (at - major0) * slope;
    const double low = std::clamp(centre - halfExtent, lowest, highest);
    const double high = std::clamp(centre + halfExtent, lowest, highest);
    const int low256 = floorToInt(low * kSubpixels), high256 = floorToInt(high * kSubpixels);
    if (high256 <= low256)
        return;
    const int first = std::max(minorLow, low256 >> 8);
    const int last = std::min(minorHigh - 1, (high256 - 1) >> 8);
    if (first > last)
        return;
    const int alpha = sliceAlpha(slice, major0, major1);
    const int row = MajorIsX ? first : slice, column = MajorIsX ? slice : first;
    uint32_t *pixel = band.bits + std::ptrdiff_t(row - band.top) * band.stride + column;
    if constexpr (!MajorIsX && !std::is_same_v<Blend, OverBlend>) {
        const std::ptrdiff_t at = offsetOf(pixel);
        if (!anyOpen(at, at + (last - first)))
            return;
    }
    coverCells(pixel, minorStep, first, last, low256, high256, alpha, blend);
}

void LineRaster::fillRect(double left, double top, double right, double bottom)
{
    if (latestFirst())
        fillRectWith(left, top, right, bottom, UnderBlend{this});
    else
        fillRectWith(left, top, right, bottom, OverBlend{});
}

template <class Blend>
void LineRaster::fillRectWith(double left, double top, double right, double bottom, const Blend &blend)
{
    // Corners may come in either order (a mirrored window turns them).
    if (left > right)
        std::swap(left, right);
    if (top > bottom)
        std::swap(top, bottom);
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
        const int rowAlpha = (rowCovered * fullAlpha + 128) >> 8;
        // Inside a row wholly covered by an opaque fill (the page, mostly)
        // every pixel becomes the colour itself.
        if constexpr (std::is_same_v<Blend, OverBlend>) {
            const int inner = lastColumn - firstColumn - 1;
            if (rowAlpha == 256 && inner > 0) {
                coverCells(pixel, 1, firstColumn, firstColumn, left256, right256, rowAlpha, blend);
                fillPixels(pixel + 1, inner, colour);
                coverCells(pixel + inner + 1, 1, lastColumn, lastColumn, left256, right256, rowAlpha, blend);
                continue;
            }
        }
        coverCells(pixel, 1, firstColumn, lastColumn, left256, right256, rowAlpha, blend);
    }
}
