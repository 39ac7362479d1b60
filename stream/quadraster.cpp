#include "stream/lineraster.h"

#include "stream/pixelblend.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

// A wide pen's stroke is a rectangle turned with its line, square caps and
// all, which the toolkit fills with each pixel covered as far as the area
// inside it. Slices along the major axis would end it square to the axis
// instead, which shows once the pen is a few pixels wide. So the outline is
// filled as a polygon: each edge adds, to the cells of a row it crosses, how
// much of the row's height it spans (signed by its direction) split by where
// in the cell it runs; the running sum along the row is then the area
// covered in each pixel. Between the cells an edge touched the sum stays as
// it is, and those runs are filled whole.
namespace {

// One row's cells, from the quadrilateral's first column: an edge left of
// them covers the whole row from there, one right of them nothing shown.
// The storage is all zeros between rows: the sweep clears what it reads.
class RowCells
{
public:
    RowCells(std::vector<double> &storage, int columnsArg) : cells(storage), columns(columnsArg)
    {
        if (cells.size() < std::size_t(columns) + 2)
            cells.resize(std::size_t(columns) + 2, 0.0);
    }

    // The part of an edge from (xa, ya) to (xb, yb) inside one row.
    void add(double xa, double ya, double xb, double yb)
    {
        // Walked left to right; the heights keep the edge's own direction.
        double direction = 1.0;
        if (xa > xb) {
            std::swap(xa, xb);
            std::swap(ya, yb);
            direction = -1.0;
        }
        const int first = xa <= 0.0 ? 0 : xa >= columns ? columns : static_cast<int>(xa);
        // Most pieces of a steep edge lie in one cell.
        if (xa >= 0.0 && xb < columns && static_cast<int>(xb) == first) {
            addAt(first, direction * (yb - ya), (xa + xb) * 0.5 - first);
            touched(first, first + 1);
            return;
        }
        const double slope = xb > xa ? (yb - ya) / (xb - xa) : 0.0;
        if (xb <= 0.0) {
            addAt(0, direction * (yb - ya), 0.0);
            touched(0, 1);
            return;
        }
        if (xa < 0.0) {
            const double y = ya - xa * slope;
            addAt(0, direction * (y - ya), 0.0);
            xa = 0.0;
            ya = y;
        }
        if (xa >= columns) // beyond what is shown
            return;
        if (xb > columns) {
            yb = ya + (columns - xa) * slope;
            xb = columns;
        }
        int cell = std::min(columns - 1, static_cast<int>(xa));
        // What a cell's piece leaves for the next cell is carried to it.
        double carried = 0.0;
        for (double x = xa, y = ya;;) {
            const double next = std::min(xb, cell + 1.0);
            const double yNext = next >= xb ? yb : ya + (next - xa) * slope;
            const double height = direction * (yNext - y), across = (x + next) * 0.5 - cell;
            cells[std::size_t(cell)] += height * (1.0 - across) + carried;
            carried = height * across;
            if (next >= xb)
                break;
            x = next;
            y = yNext;
            ++cell;
        }
        cells[std::size_t(cell) + 1] += carried;
        touched(first, cell + 1);
    }

    // Calls run(first, last, area) for runs of cells an edge did not touch
    // (area the same for all) and cell(index, area) for each one it did, left
    // to right over the columns shown; clears the row for the next.
    template <class Run, class Cell>
    void sweep(const Run &run, const Cell &cell)
    {
        for (int r = 1; r < rangeCount; ++r) // by first cell; four at most
            for (int q = r; q > 0 && ranges[q].first < ranges[q - 1].first; --q)
                std::swap(ranges[q], ranges[q - 1]);
        double covered = 0.0;
        int at = 0;
        for (int r = 0; r < rangeCount; ++r) {
            const int first = std::max(at, ranges[r].first), last = ranges[r].last;
            if (first > last)
                continue;
            if (first > at)
                run(at, std::min(first, columns) - 1, covered);
            for (int c = first; c <= last; ++c) {
                covered += cells[std::size_t(c)];
                cells[std::size_t(c)] = 0.0;
                if (c < columns)
                    cell(c, covered);
            }
            at = last + 1;
        }
        if (at < columns)
            run(at, columns - 1, covered);
        rangeCount = 0;
    }

    // The cells touched so far in this row; false when none.
    bool span(int &first, int &last) const
    {
        if (rangeCount == 0)
            return false;
        first = ranges[0].first, last = ranges[0].last;
        for (int r = 1; r < rangeCount; ++r)
            first = std::min(first, ranges[r].first), last = std::max(last, ranges[r].last);
        return true;
    }

private:
    struct Range {
        int first, last;
    };

    // Height spanned, and where across the cell (0..1) the edge runs.
    void addAt(int cell, double height, double across)
    {
        cells[std::size_t(cell)] += height * (1.0 - across);
        cells[std::size_t(cell) + 1] += height * across;
    }
    void touched(int first, int last)
    {
        // Four edges, each once a row.
        if (rangeCount < kRanges)
            ranges[rangeCount++] = Range{first, last};
    }

    static constexpr int kRanges = 4;
    std::vector<double> &cells;
    int columns;
    Range ranges[kRanges];
    int rangeCount = 0;
};

// A pixel's coverage, as the blend takes it.
inline uint32_t alphaOf(double covered, int fullAlpha)
{
    const int area256 = static_cast<int>(std::min(std::fabs(covered), 1.0) * 256.0 + 0.5);
    return uint32_t((area256 * fullAlpha + 128) >> 8);
}

// A long stroke in a large picture goes to a new row's cache lines on every
// row, and waiting for them took about half its time. The pixels a few rows on
// are asked for early, where the row's touched cells, moved on as they moved
// from the last row, will be.
void prefetchRows(const RowCells &cells, const uint32_t *pixels, std::ptrdiff_t stride, int rowsLeft, int lastCell,
                  int &previousFirst)
{
    constexpr int kRowsAhead = 4, kPixelsPerLine = 16;
    int first = 0, last = 0;
    if (!cells.span(first, last))
        return;
    const int shift = previousFirst < 0 ? 0 : first - previousFirst;
    previousFirst = first;
    if (rowsLeft <= kRowsAhead)
        return;
    const uint32_t *ahead = pixels + kRowsAhead * stride;
    const int from = std::clamp(first + kRowsAhead * shift, 0, lastCell);
    const int to = std::clamp(last + kRowsAhead * shift, 0, lastCell);
    for (int c = from; c < to; c += kPixelsPerLine)
        __builtin_prefetch(ahead + c, 1);
    __builtin_prefetch(ahead + to, 1);
}

} // namespace

void LineRaster::fillQuad(const double (&xs)[4], const double (&ys)[4])
{
    for (int i = 0; i < 4; ++i)
        if (!(std::isfinite(xs[i]) && std::isfinite(ys[i])))
            return;
    if (!latestFirst()) {
        fillQuadWith(xs, ys, OverBlend{});
        return;
    }
    // The stroke is its middle line, from cap to cap, widened by half the
    // first cap edge across and along the rows; a pixel more against rounding.
    const double startX = (xs[0] + xs[3]) * 0.5, startY = (ys[0] + ys[3]) * 0.5;
    const double endX = (xs[1] + xs[2]) * 0.5, endY = (ys[1] + ys[2]) * 0.5;
    const double acrossX = std::fabs(xs[0] - xs[3]) * 0.5 + 1.0, acrossY = std::fabs(ys[0] - ys[3]) * 0.5 + 1.0;
    if (reachesOpen(startX, startY, endX, endY, acrossX, acrossY))
        fillQuadWith(xs, ys, UnderBlend{this});
}

template <class Blend>
void LineRaster::fillQuadWith(const double (&xs)[4], const double (&ys)[4], const Blend &blend)
{
    double left = xs[0], right = xs[0], top = ys[0], bottom = ys[0];
    for (int i = 1; i < 4; ++i) {
        left = std::min(left, xs[i]);
        right = std::max(right, xs[i]);
        top = std::min(top, ys[i]);
        bottom = std::max(bottom, ys[i]);
    }
    // Clamped to a little beyond the band before they are converted.
    const auto rowOf = [this](double y) { return std::clamp(y, band.top - 1.0, band.bottom + 1.0); };
    const auto columnOf = [this](double x) { return std::clamp(x, -1.0, band.width + 1.0); };
    const int firstRow = std::max(band.top, static_cast<int>(std::floor(rowOf(top))));
    const int endRow = std::min(band.bottom, static_cast<int>(std::ceil(rowOf(bottom))));
    const int firstColumn = std::max(0, static_cast<int>(std::floor(columnOf(left))));
    const int lastColumn = std::min(band.width - 1, static_cast<int>(std::floor(columnOf(right))));
    if (firstRow >= endRow || firstColumn > lastColumn)
        return;

    struct Edge {
        double x0, y0, y1, dxdy;
    };
    Edge edges[4];
    for (int i = 0; i < 4; ++i) {
        const int j = (i + 1) % 4;
        edges[i] = {xs[i] - firstColumn, ys[i], ys[j], ys[j] != ys[i] ? (xs[j] - xs[i]) / (ys[j] - ys[i]) : 0.0};
    }
    RowCells cells(quadCells, lastColumn - firstColumn + 1);
    const SplitColour pen = splitOf(colour);
    int previousFirst = -1;
    for (int row = firstRow; row < endRow; ++row) {
        for (const Edge &e : edges) {
            // The edge within the row, in its own direction.
            const double ya = std::clamp(e.y0, double(row), row + 1.0), yb = std::clamp(e.y1, double(row), row + 1.0);
            if (ya != yb)
                cells.add(e.x0 + (ya - e.y0) * e.dxdy, ya, e.x0 + (yb - e.y0) * e.dxdy, yb);
        }
        uint32_t *pixels = band.bits + std::ptrdiff_t(row - band.top) * band.stride + firstColumn;
        prefetchRows(cells, pixels, band.stride, endRow - row, lastColumn - firstColumn, previousFirst);
        cells.sweep(
            [&](int first, int last, double covered) {
                const uint32_t alpha = alphaOf(covered, fullAlpha);
                if (alpha == 0)
                    return;
                if constexpr (std::is_same_v<Blend, OverBlend>)
                    if (alpha == 256) {
                        fillPixels(pixels + first, last - first + 1, colour);
                        return;
                    }
                for (int c = first; c <= last; ++c)
                    blend(pixels + c, pen, alpha);
            },
            [&](int c, double covered) {
                const uint32_t alpha = alphaOf(covered, fullAlpha);
                if (alpha != 0)
                    blend(pixels + c, pen, alpha);
            });
    }
}
