#include "stream/rastersink.h"

#include "stream/colourrules.h"
#include "stream/paintersink.h"
#include "stream/palette.h"
#include "stream/vectorstate.h"

#include <QColor>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

bool rasterBlockTest = true;

namespace {
RasterBand bandOf(QImage *rows, int top, QSize pictureSize)
{
    RasterBand band;
    // constBits: the rows may be a view of a frame's memory that must not detach.
    band.bits = reinterpret_cast<uint32_t *>(const_cast<uchar *>(rows->constBits()));
    band.stride = static_cast<int>(rows->bytesPerLine() / 4);
    band.width = std::min(rows->width(), pictureSize.width());
    band.top = top;
    band.bottom = top + rows->height();
    return band;
}

// Pens wider than this (in device pixels) are filled as their outline. Below
// it, slices that end square to an axis rather than to the line miss or add
// under half a pixel's area at each end.
constexpr double kWidePenPixels = 2.0;

// The toolkit cuts its one-pixel lines where they leave the device, a pixel
// beyond its edges, before it steps them from their start: where a line
// starts decides which pixels it takes. It cuts at x first, then at y.
// cutAxis cuts along the coordinate a (b being the other) to low..high;
// false when nothing is left.
bool cutAxis(double &a0, double &b0, double &a1, double &b1, double low, double high)
{
    const auto moveTo = [](double &aFrom, double &bFrom, double aTo, double bTo, double a) {
        bFrom += (bTo - bFrom) / (aTo - aFrom) * (a - aFrom);
        aFrom = a;
    };
    if (a0 < low) {
        if (a1 <= low)
            return false;
        moveTo(a0, b0, a1, b1, low);
    } else if (a0 > high) {
        if (a1 >= high)
            return false;
        moveTo(a0, b0, a1, b1, high);
    }
    if (a1 < low)
        moveTo(a1, b1, a0, b0, low);
    else if (a1 > high)
        moveTo(a1, b1, a0, b0, high);
    return true;
}

bool cutLikeThePainter(double &x0, double &y0, double &x1, double &y1, QSize device)
{
    const double left = -1.0, top = -1.0, right = device.width() + 1.0, bottom = device.height() + 1.0;
    if (x0 >= left && x0 <= right && x1 >= left && x1 <= right && y0 >= top && y0 <= bottom && y1 >= top
        && y1 <= bottom)
        return true;
    return cutAxis(x0, y0, x1, y1, left, right) && cutAxis(y0, x0, y1, x1, top, bottom);
}

uint32_t argbOf(int32_t index)
{
    const PaletteColour &colour = palette[index];
    return 0xFF000000u | uint32_t(colour.red) << 16 | uint32_t(colour.green) << 8 | uint32_t(colour.blue);
}
} // namespace

RasterSink::RasterSink(QImage *imageArg)
    : RasterSink(imageArg, 0, imageArg->size())
{
}

RasterSink::RasterSink(QImage *rows, int topArg, QSize pictureSizeArg)
    : image(rows), top(topArg), bottom(topArg + rows->height()), pictureSize(pictureSizeArg),
      raster(bandOf(rows, topArg, pictureSizeArg))
{
}

RasterSink::~RasterSink() = default;

// The painter's window/viewport mapping: the window's units spread over the
// whole picture.
void RasterSink::begin(const WalkStart &startArg)
{
    start = startArg;
    backgroundIndex = start.backgroundIndex;
    const QRect window = painterWindowFor(start);
    scaleX = double(pictureSize.width()) / window.width();
    scaleY = double(pictureSize.height()) / window.height();
    offsetX = -window.left() * scaleX;
    offsetY = -window.top() * scaleY;
    if (!raster.latestFirst())
        fillPage();
}

void RasterSink::fillPage()
{
    const QRect page = pageWindowRect();
    raster.setColour(argbOf(backgroundIndex));
    raster.setOpacity(1.0);
    raster.fillRect(page.left() * scaleX + offsetX, page.top() * scaleY + offsetY,
                    (page.left() + page.width()) * scaleX + offsetX,
                    (page.top() + page.height()) * scaleY + offsetY);
}

void RasterSink::setLatestFirst()
{
    raster.setLatestFirst();
}

// Most segments of a well covered picture lie where everything is opaque:
// they are passed over before any of the line's set-up, and a plot's
// segments follow each other closely enough that a few at a time are passed
// over with one look at the box around them all. That look never keeps a
// segment its own would let through: the mapping keeps the order of
// coordinates, so the box around the mapped segments holds each one's box.
void RasterSink::segmentsLatestFirst(const StreamSegment *list, int count)
{
    constexpr int kBlock = 16;
    for (int end = count; end > 0;) {
        const int begin = std::max(0, end - kBlock);
        if (!rasterBlockTest || blockMayReachOpen(list + begin, end - begin))
            for (int i = end - 1; i >= begin; --i) {
                const StreamSegment &s = list[i];
                double y0, y1;
                if (reachesBand(s, y0, y1)
                    && raster.boxMayReachOpen(s.x0 * scaleX + offsetX, y0, s.x1 * scaleX + offsetX, y1, boxMargin))
                    drawSegment(s);
            }
        end = begin;
    }
}

namespace {
// The box around a few segments, as left, top, right, bottom.
struct SegmentBox {
    int32_t left, top, right, bottom;
};

#if defined(__SSE2__)
// The walker's coordinates fit 16 bits, which lets one instruction take the
// least and the most of four pairs at a time. A coordinate that does not fit
// is held at the limit by the packing, and a box reaching a limit is made
// the whole range, which no test can pass over.
SegmentBox boxOf(const StreamSegment *list, int count)
{
    static_assert(sizeof(StreamSegment) == 16);
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i *>(list));
    __m128i low = _mm_packs_epi32(first, first), high = low;
    for (int i = 1; i < count; i += 2) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(list + i));
        const __m128i b = i + 1 < count ? _mm_loadu_si128(reinterpret_cast<const __m128i *>(list + i + 1)) : a;
        const __m128i both = _mm_packs_epi32(a, b);
        low = _mm_min_epi16(low, both);
        high = _mm_max_epi16(high, both);
    }
    // Lanes x, y, x, y, ...: fold them to the first two.
    low = _mm_min_epi16(low, _mm_shuffle_epi32(low, _MM_SHUFFLE(1, 0, 3, 2)));
    low = _mm_min_epi16(low, _mm_shuffle_epi32(low, _MM_SHUFFLE(2, 3, 0, 1)));
    high = _mm_max_epi16(high, _mm_shuffle_epi32(high, _MM_SHUFFLE(1, 0, 3, 2)));
    high = _mm_max_epi16(high, _mm_shuffle_epi32(high, _MM_SHUFFLE(2, 3, 0, 1)));
    SegmentBox box{int16_t(_mm_extract_epi16(low, 0)), int16_t(_mm_extract_epi16(low, 1)),
                   int16_t(_mm_extract_epi16(high, 0)), int16_t(_mm_extract_epi16(high, 1))};
    if (box.left == INT16_MIN || box.top == INT16_MIN || box.right == INT16_MAX || box.bottom == INT16_MAX)
        box = SegmentBox{INT32_MIN / 2, INT32_MIN / 2, INT32_MAX / 2, INT32_MAX / 2};
    return box;
}
#else
SegmentBox boxOf(const StreamSegment *list, int count)
{
    SegmentBox box{list[0].x0, list[0].y0, list[0].x0, list[0].y0};
    for (int i = 0; i < count; ++i) {
        const StreamSegment &s = list[i];
        box.left = std::min({box.left, s.x0, s.x1});
        box.right = std::max({box.right, s.x0, s.x1});
        box.top = std::min({box.top, s.y0, s.y1});
        box.bottom = std::max({box.bottom, s.y0, s.y1});
    }
    return box;
}
#endif
} // namespace

bool RasterSink::blockMayReachOpen(const StreamSegment *list, int count) const
{
    const SegmentBox box = boxOf(list, count);
    const double y0 = box.top * scaleY + offsetY, y1 = box.bottom * scaleY + offsetY;
    // A pixel beyond what the box test itself takes, against rounding.
    if (missesRows(y0, y1, boxMargin + 1.0))
        return false;
    return raster.boxMayReachOpen(box.left * scaleX + offsetX, y0, box.right * scaleX + offsetX, y1, boxMargin);
}

void RasterSink::finishLatestFirst(uint32_t outside)
{
    fillPage();
    raster.setColour(outside);
    raster.fillRect(0, top, pictureSize.width(), bottom);
}

void RasterSink::lineWidthChanged(int32_t width)
{
    lineWidth = width;
    applyPen(mapColour(lineIndex));
}

void RasterSink::lineColourChanged(int32_t index)
{
    lineIndex = index;
    applyPen(index);
}

void RasterSink::applyPen(int32_t index)
{
    penColour = argbOf(penColourIndex(index, backgroundIndex));
    penWidth = screenPenWidth(lineWidth);
    raster.setColour(penColour);
    // Under an equal scale in x and y the toolkit draws a pen no wider than a
    // device pixel as the one-pixel line, made as transparent as the pen is
    // thin (in 256ths); under any other scale it strokes the pen's outline.
    const double deviceWidth = penWidth * std::fabs(scaleX);
    thinPen = penWidth == 0 || (scaleX == scaleY && deviceWidth <= 1.0);
    raster.setOpacity(penWidth == 0 || !thinPen ? 1.0 : std::floor(256 * deviceWidth) / 256);
    // How far from its ends a segment's ink may reach, caps included: a
    // corner of a square cap lies half the pen's width along the line and
    // across it from the end.
    const double largestScale = std::max(std::fabs(scaleX), std::fabs(scaleY));
    reach = (penWidth * 0.5 * std::sqrt(2.0) + 1.0) * largestScale + 2.0;
    widePen = !thinPen && penWidth * largestScale > kWidePenPixels;
    // Beyond the segment: the cap along it and the thickness across (up to
    // the square root of two times half the pen where it is measured along
    // an axis), then the pixel LineRaster allows for slices and cells.
    boxMargin = thinPen ? 1.5 : penWidth * 0.5 * largestScale * (1.0 + std::sqrt(2.0)) + 1.5;
}

// A band of a tall picture sees every segment: those wholly above or below it
// are passed over before any of the line's set-up.
void RasterSink::segments(const StreamSegment *list, int count)
{
    for (int i = 0; i < count; ++i) {
        double y0, y1;
        if (reachesBand(list[i], y0, y1))
            drawSegment(list[i]);
    }
}

// Whether the segment's ink may reach the band's rows; its device ys on the way.
inline bool RasterSink::reachesBand(const StreamSegment &s, double &y0, double &y1) const
{
    y0 = s.y0 * scaleY + offsetY;
    y1 = s.y1 * scaleY + offsetY;
    return !missesRows(y0, y1, reach);
}

// Whether device rows y0..y1 (either order), widened by margin, lie wholly
// above or below the band.
inline bool RasterSink::missesRows(double y0, double y1, double margin) const
{
    const double above = top - margin, below = bottom + margin;
    return (y0 < above && y1 < above) || (y0 > below && y1 > below);
}

// The pen's square caps lengthen a line by half its width at each end. A
// cosmetic pen is one device pixel across the major axis; a wider one is
// stroked in logical units and then mapped, so its device thickness follows
// the direction under a scale that differs in x and y; a wide one is filled
// as that mapped outline.
void RasterSink::drawSegment(const StreamSegment &s)
{
    const double x0 = s.x0 * scaleX + offsetX, y0 = s.y0 * scaleY + offsetY;
    const double x1 = s.x1 * scaleX + offsetX, y1 = s.y1 * scaleY + offsetY;
    const double dx = x1 - x0, dy = y1 - y0;
    if (thinPen) {
        if (dx == 0.0 && dy == 0.0) {
            drawPoint(x0, y0);
            return;
        }
        double cx0 = x0, cy0 = y0, cx1 = x1, cy1 = y1;
        if (!cutLikeThePainter(cx0, cy0, cx1, cy1, pictureSize))
            return;
        const double cdx = cx1 - cx0, cdy = cy1 - cy0;
        const double major = std::max(std::fabs(cdx), std::fabs(cdy));
        if (major == 0.0)
            return;
        const double k = 0.5 / major;
        raster.drawLine(cx0 - k * cdx, cy0 - k * cdy, cx1 + k * cdx, cy1 + k * cdy, 0.5, true);
        return;
    }
    const double ldx = double(s.x1) - s.x0, ldy = double(s.y1) - s.y0;
    const double logicalLength = std::sqrt(ldx * ldx + ldy * ldy);
    const double half = penWidth * 0.5;
    const double major = std::max(std::fabs(dx), std::fabs(dy));
    if (logicalLength == 0.0 || major == 0.0) {
        drawPoint(x0, y0);
        return;
    }
    if (widePen) {
        // The stroke's corners in logical units, then mapped.
        const double alongX = ldx / logicalLength * half, alongY = ldy / logicalLength * half;
        const double cornerX[4] = {s.x0 - alongX - alongY, s.x1 + alongX - alongY, s.x1 + alongX + alongY,
                                   s.x0 - alongX + alongY};
        const double cornerY[4] = {s.y0 - alongY + alongX, s.y1 + alongY + alongX, s.y1 + alongY - alongX,
                                   s.y0 - alongY - alongX};
        double xs[4], ys[4];
        for (int i = 0; i < 4; ++i) {
            xs[i] = cornerX[i] * scaleX + offsetX;
            ys[i] = cornerY[i] * scaleY + offsetY;
        }
        raster.fillQuad(xs, ys);
        return;
    }
    const double k = half / logicalLength;
    // A mirrored window (a zoom area given bottom up) turns a scale's sign,
    // never the pen's thickness.
    const double halfExtent = half * std::fabs(scaleX * scaleY) * logicalLength / major;
    raster.drawLine(x0 - k * dx, y0 - k * dy, x1 + k * dx, y1 + k * dy, halfExtent);
}

// A segment of no length, at device (x, y). The toolkit sets the pixel
// nearest to it for the one-pixel pen (as transparent as a thin pen is
// thin). A wider pen strokes nothing unless x and y are scaled alike; then
// it fills a rectangle about the point as tall as the pen is wide, and
// narrower by the scale once more.
void RasterSink::drawPoint(double x, double y)
{
    if (thinPen) {
        const double column = std::floor(x + 0.5), row = std::floor(y + 0.5);
        raster.fillRect(column, row, column + 1.0, row + 1.0);
        return;
    }
    const double scale = std::fabs(scaleX);
    if (scale != std::fabs(scaleY))
        return;
    const double halfHeight = penWidth * 0.5 * scale, halfWidth = halfHeight * scale;
    raster.fillRect(x - halfWidth, y - halfHeight, x + halfWidth, y + halfHeight);
}

// The painter's mapping over this band.
void RasterSink::setUpTextPainter(QPainter &painter) const
{
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setWindow(painterWindowFor(start));
    painter.setViewport(0, -top, pictureSize.width(), pictureSize.height());
}

// A text is drawn with the line pen.
void RasterSink::drawTextWithPen(QPainter &painter, const StreamText &item) const
{
    QPen pen(QColor::fromRgb(penColour));
    pen.setWidth(penWidth);
    painter.setPen(pen);
    drawStreamText(&painter, item);
}

void RasterSink::text(const StreamText &item)
{
    if (!textIsPlaceable(item))
        return;
    if (!textPainter) {
        textPainter = std::make_unique<QPainter>(image);
        setUpTextPainter(*textPainter);
    }
    drawTextWithPen(*textPainter, item);
    clearUpperVectorState();
}

// The painter draws the text alone onto a transparent layer, which then goes
// under what is there: the same as drawing it over what lies below.
void RasterSink::textLatestFirst(const StreamText &item)
{
    if (!textIsPlaceable(item))
        return;
    if (textLayer.isNull())
        textLayer = QImage(image->width(), image->height(), QImage::Format_ARGB32_Premultiplied);
    textLayer.fill(Qt::transparent);
    {
        QPainter painter(&textLayer);
        setUpTextPainter(painter);
        drawTextWithPen(painter, item);
    }
    clearUpperVectorState();
    raster.blendUnder(reinterpret_cast<const uint32_t *>(textLayer.constBits()),
                      static_cast<int>(textLayer.bytesPerLine() / 4));
}

void RasterSink::end()
{
    textPainter.reset();
}
