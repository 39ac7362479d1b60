#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// Whether thin lines (up to three pixels across) well inside the band take
// their shortcut (the same pixels; off only to compare the two).
extern bool rasterThinLineShortcut;

// Antialiased lines and rectangles straight into opaque 32-bit pixels, with
// the area coverage the toolkit's antialiased painting gives them: a line is
// cut into one-pixel slices along its major axis and each slice covers, in
// the pixels it crosses, the part of its extent across the line that falls
// into them. Each line is blended on its own, as separate painter calls are.
//
// The target is a band of a larger picture: rows top..bottom-1 of a picture
// width pixels wide, the first of them at bits. Everything is clipped to it.
struct RasterBand {
    uint32_t *bits = nullptr;
    int stride = 0; // pixels from one row to the next
    int width = 0;
    int top = 0;
    int bottom = 0;
};

class LineRaster
{
public:
    explicit LineRaster(const RasterBand &band);

    void setColour(uint32_t argb);
    // Scales every coverage: thin pens are drawn as one-pixel lines this opaque.
    void setOpacity(double opacity);

    // A line from (x0, y0) to (x1, y1) in device pixels, already lengthened by
    // its caps. halfExtent is half its thickness measured along the minor axis
    // (a vertical slice of a mostly horizontal line, and the other way round).
    // The one-pixel pen places its slices as the toolkit's one-pixel lines do
    // (see sampleShift in lineraster.cpp).
    void drawLine(double x0, double y0, double x1, double y1, double halfExtent, bool onePixelPen = false);

    // The rectangle [left, right) x [top, bottom), partly covered pixels blended.
    void fillRect(double left, double top, double right, double bottom);
    // A wide pen's stroke, its caps included: the parallelogram with these
    // corners in order round it, the first and the last across the start of
    // the line. Each pixel is covered as far as its area inside. Latest
    // first, a stroke over opaque pixels only is passed over after a look at
    // the open map.
    void fillQuad(const double (&xs)[4], const double (&ys)[4]);

    // Draws latest first from now on: the band must start transparent, and
    // lines and rectangles come in the reverse of their stream order, each
    // blended under what is there. A pixel that has become opaque is final;
    // a line that can reach none that is not is passed over at the cost of a
    // look at the open map (a bit a pixel), not of drawing it.
    void setLatestFirst();
    bool latestFirst() const { return !openMap.empty(); }
    // Latest first: a premultiplied picture of the band's size (stride in
    // pixels) under what is there.
    void blendUnder(const uint32_t *picture, int stride);
    // Latest first: false when every pixel within margin of the box from
    // (x0, y0) to (x1, y1) is certainly opaque already.
    bool boxMayReachOpen(double x0, double y0, double x1, double y1, double margin) const
    {
        const double left = std::min(x0, x1) - margin, right = std::max(x0, x1) + margin;
        const double top = std::min(y0, y1) - margin, bottom = std::max(y0, y1) + margin;
        // Within the band the box is converted straight away.
        if (!(left >= 0.0 && right < band.width && top >= band.top && bottom < band.bottom))
            return boxReachesOpenTile(x0, y0, x1, y1, margin);
        return anyTileOpen(int(left), int(top), int(right), int(bottom));
    }

    // For the latest-first blend: a pixel by its offset from the band's first.
    std::ptrdiff_t offsetOf(const uint32_t *pixel) const { return pixel - band.bits; }
    bool isOpen(std::ptrdiff_t at) const { return ((openMap[std::size_t(at >> 6)] >> (at & 63)) & 1) != 0; }
    // Whether the pixel at or the next one is open (both in the band).
    bool eitherOpen(std::ptrdiff_t at) const
    {
        const std::size_t word = std::size_t(at >> 6);
        if (((openMap[word] >> (at & 63)) & 3) != 0)
            return true;
        return (at & 63) == 63 && (openMap[word + 1] & 1) != 0;
    }
    void closePixel(std::ptrdiff_t at);

private:
    template <bool MajorIsX, class Blend>
    void drawAlongMajor(double major0, double minor0, double major1, double minor1, double halfExtent,
                        bool onePixelPen, const Blend &blend);
    // Along x or y as the line runs, through blend.
    template <class Blend>
    void drawOriented(double x0, double y0, double x1, double y1, double halfExtent, bool onePixelPen,
                      bool mostlyAcross, const Blend &blend);
    // A line up to kInsideHalfExtent when it lies well inside the band;
    // false, drawing nothing, for any other.
    template <bool MajorIsX, class Blend>
    bool drawInside(double major0, double minor0, double major1, double minor1, double halfExtent,
                    bool onePixelPen, const Blend &blend);
    // Slices first..end-1; the first and the last cover headAlpha and
    // tailAlpha of a pixel along the line, the others the whole of it.
    template <bool MajorIsX, class Blend>
    void drawShortRun(int first, int end, double lowEdge, double slope, int extent256, double insideHigh,
                      const Blend &blend, int headAlpha, int tailAlpha);
    template <bool MajorIsX, class Blend>
    void drawEdgeSlice(int slice, double major0, double minor0, double major1, double slope, double halfExtent,
                       double shift, bool onePixelPen, double lowest, double highest, const Blend &blend);
    template <class Blend>
    void fillQuadWith(const double (&xs)[4], const double (&ys)[4], const Blend &blend);
    template <class Blend>
    void fillRectWith(double left, double top, double right, double bottom, const Blend &blend);
    // The cells first..last at pixel, through the pen's colour.
    template <class Blend>
    void coverCells(uint32_t *pixel, std::ptrdiff_t step, int first, int last, int low256, int high256,
                    int sliceAlpha, const Blend &blend) const;
    int sliceAlpha(int slice, double major0, double major1) const;
    bool reachesOpen(double x0, double y0, double x1, double y1, double ex, double ey) const;
    bool boxReachesOpenTile(double x0, double y0, double x1, double y1, double margin) const;
    // Whether any of bits from..to (from <= to) of words is set.
    static bool anySet(const uint64_t *words, std::ptrdiff_t from, std::ptrdiff_t to)
    {
        const std::ptrdiff_t firstWord = from >> 6, lastWord = to >> 6;
        const uint64_t firstMask = ~uint64_t(0) << (from & 63), lastMask = ~uint64_t(0) >> (63 - (to & 63));
        if (firstWord == lastWord)
            return (words[firstWord] & firstMask & lastMask) != 0;
        if ((words[firstWord] & firstMask) != 0)
            return true;
        for (std::ptrdiff_t word = firstWord + 1; word < lastWord; ++word)
            if (words[word] != 0)
                return true;
        return (words[lastWord] & lastMask) != 0;
    }
    bool anyOpen(std::ptrdiff_t from, std::ptrdiff_t to) const { return anySet(openMap.data(), from, to); }
    // Whether a tile under columns left..right of rows top..bottom (pixels
    // of the band, top <= bottom) is open. The tiles are kept a column at a
    // time, a bit for each of its rows: a tall box, as a steep stretch of a
    // plot makes, is a word or two for each column it spans.
    bool anyTileOpen(int left, int top, int right, int bottom) const
    {
        const int firstRow = (top - band.top) / kTile, lastRow = (bottom - band.top) / kTile;
        for (int tile = left / kTile; tile <= right / kTile; ++tile)
            if (anySet(openTileColumns.data() + std::size_t(tile) * std::size_t(tileWords), firstRow, lastRow))
                return true;
        return false;
    }

    // Thicker lines than this (in halfExtent: three pixels across) are
    // drawn the general way; thinner ones take drawInside where they can.
    static constexpr double kInsideHalfExtent = 1.5;
    static constexpr int kTile = 8;
    static_assert(kTile * kTile <= 255, "a tile's open pixels are counted in a byte");
    RasterBand band;
    std::vector<uint64_t> openMap; // latest first: a set bit for each pixel not yet opaque
    // and a set bit for each tile of kTile x kTile that has one: tileWords
    // words for each column of tiles, a bit for each row of them
    std::vector<uint64_t> openTileColumns;
    int tileWords = 0;
    std::vector<uint8_t> openInTile; // the pixels of each tile not yet opaque, row by row of tiles
    int tilesInRow = 0;
    uint32_t colour = 0xFF000000;
    double opacity = 1.0;
    int fullAlpha = 256; // a whole pixel's coverage at this opacity, in 256ths
    std::vector<double> quadCells; // one row's cells, kept for the next quadrilateral
};
