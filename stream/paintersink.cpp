#include "stream/paintersink.h"

#include "common/numeric.h"
#include "stream/colourrules.h"
#include "stream/palette.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QRect>
#include <QString>
#include <QTransform>

#include <algorithm>
#include <cmath>

bool pvgBatchSegments = true;

namespace {

// Painter windows beyond this many units are meaningless for a 4096-unit page
// and would only push the painter's arithmetic towards overflow.
constexpr int64_t kWindowLimit = 1 << 24;

int windowValue(int64_t value)
{
    return static_cast<int>(clampInt64(value, -kWindowLimit, kWindowLimit));
}

// The zoom area as a painter window: left/top with right - 1 and bottom - 1 as
// the last units included. A zero height would make the painter divide by
// zero, so it becomes one unit.
QRect zoomWindow(const SpanRect &zoom)
{
    const int64_t width = static_cast<int64_t>(zoom.right) - zoom.left;
    int64_t height = static_cast<int64_t>(zoom.bottom) - zoom.top;
    if (height == 0)
        height = 1;
    int w = windowValue(width);
    int h = windowValue(height);
    if (w == 0)
        w = 1;
    if (h == 0)
        h = 1;
    return QRect(windowValue(zoom.left), windowValue(zoom.top), w, h);
}
} // namespace

QRect pageWindowRect()
{
    return QRect(QPoint(0, 0), QPoint(kPageWidth - 1, kPageHeight - 1));
}

QRect painterWindowFor(const WalkStart &start)
{
    return start.zoomed ? zoomWindow(start.zoomArea) : pageWindowRect();
}

namespace {
// The raster engine takes glyphs from its cache of glyph images by their area
// on the device, and the font engine fails, and then crashes, on images of a
// glyph stretched over a thousand pixels one way and squeezed under one the
// other (a window thousands of pixels wide and a few tall). Beyond this many
// device pixels along either axis a glyph is filled as its outline.
constexpr double kLongestCachedGlyph = 512;

bool stretchesGlyphsTooFar(const QPainter *painter, const QFont &font)
{
    const QPaintEngine *engine = painter->paintEngine();
    if (engine == nullptr || engine->type() != QPaintEngine::Raster)
        return false;
    const QTransform t = painter->combinedTransform();
    const double scale = std::max(std::hypot(t.m11(), t.m12()), std::hypot(t.m21(), t.m22()));
    return font.pointSizeF() * painter->device()->logicalDpiY() / 72.0 * scale > kLongestCachedGlyph;
}
} // namespace

void drawStreamText(QPainter *painter, const StreamText &item)
{
    QFont font(QString::fromLatin1(item.fontFamily));
    // The font engine refuses sizes of 0 and below; those keep the default size.
    if (item.pointSize > 0)
        font.setPointSize(std::min(item.pointSize, kLargestPointSize));
    font.setWeight((item.flags & 1) ? QFont::Bold : QFont::Normal);
    font.setItalic((item.flags & 2) != 0);
    if (item.pointSize > kOutlinedPointSize || stretchesGlyphsTooFar(painter, font)) {
        QPainterPath outline;
        outline.addText(QPointF(item.x, item.y), font, QString::fromLatin1(item.text));
        painter->fillPath(outline, painter->pen().brush());
        return;
    }
    painter->setFont(font);
    painter->drawText(QPointF(item.x, item.y), QString::fromLatin1(item.text));
}


PainterSink::PainterSink(QPainter *painterArg, const PrinterLayout *printerArg)
    : painter(painterArg), printer(printerArg)
{
}

void PainterSink::begin(const WalkStart &start)
{
    backgroundIndex = start.backgroundIndex;
    painter->setPen(QPen(Qt::black));
    const QRect window = painterWindowFor(start);
    painter->setWindow(window);
    // The window's corner stays on the device's: the stretch is about it.
    if (stretchX != 1.0 || stretchY != 1.0)
        painter->setWorldTransform(QTransform(stretchX, 0, 0, stretchY, window.left() * (1.0 - stretchX),
                                              window.top() * (1.0 - stretchY)));
    if (printer != nullptr)
        setPrinterViewport();
    const PaletteColour &colour = palette[backgroundIndex];
    painter->setBackground(QBrush(QColor(colour.red, colour.green, colour.blue)));
    painter->fillRect(pageWindowRect(), painter->background());
}

// 9.0 by 6.855 inches keeps the page's 4096:3120 proportion.
void PainterSink::setPrinterViewport()
{
    const int left = truncToInt32(0.8 * printer->dpiX + printer->pageShift[0]);
    const int top = truncToInt32(0.6 * printer->dpiY + printer->pageShift[1]);
    const int width = truncToInt32(9.0 * printer->dpiX * printer->pageSize[0]);
    const int height = truncToInt32(6.855 * printer->dpiY * printer->pageSize[1]);
    painter->setViewport(windowValue(left), windowValue(top), windowValue(width),
                         windowValue(height));
}

void PainterSink::lineWidthChanged(int32_t width)
{
    lineWidth = width;
    applyPen(mapColour(lineIndex));
}

void PainterSink::lineColourChanged(int32_t index)
{
    lineIndex = index;
    applyPen(index);
}

void PainterSink::applyPen(int32_t index)
{
    const PaletteColour &colour = palette[penColourIndex(index, backgroundIndex)];
    pen.setColor(QColor(colour.red, colour.green, colour.blue, 255));
    pen.setStyle(Qt::SolidLine);
    int64_t width;
    if (printer != nullptr) {
        const int32_t minimum = printer->minLineWidth;
        width = 2 * static_cast<int64_t>(lineWidth > minimum ? lineWidth : minimum);
    } else {
        width = screenPenWidth(lineWidth);
    }
    pen.setWidth(static_cast<int>(clampInt64(width, 0, kWidestPen)));
    flushBatch();
    painter->setPen(pen);
    updateBatching();
}

void PainterSink::segments(const StreamSegment *list, int count)
{
    for (int i = 0; i < count; ++i) {
        const StreamSegment &s = list[i];
        if (!batching) {
            const QLine line(s.x0, s.y0, s.x1, s.y1);
            painter->drawLines(&line, 1);
            continue;
        }
        batch[batchCount++] = QLine(s.x0, s.y0, s.x1, s.y1);
        if (batchCount == kBatchCapacity)
            flushBatch();
    }
}

void PainterSink::flushBatch()
{
    if (batchCount == 0)
        return;
    painter->drawLines(batch, batchCount);
    batchCount = 0;
}

// Handing several segments to one line-list call draws the very same pixels
// only where the raster engine strokes each line on its own: cosmetic pens and
// pens no wider than one device pixel under an equal scale in x and y. Wider pens
// are stroked as one path per call, where overlapping antialiased edges would
// blend differently, so they keep one line per call; so does every other engine.
void PainterSink::updateBatching()
{
    batching = false;
    if (!pvgBatchSegments)
        return;
    const QPaintEngine *engine = painter->paintEngine();
    if (engine == nullptr || engine->type() != QPaintEngine::Raster)
        return;
    if (pen.widthF() == 0.0 || pen.isCosmetic()) {
        batching = true;
        return;
    }
    // Only under one scale in x and y are such pens drawn as one-pixel lines;
    // under two different scales they are outlined, one path per call.
    const QTransform transform = painter->combinedTransform();
    if (transform.type() > QTransform::TxScale || std::fabs(transform.m11()) != std::fabs(transform.m22()))
        return;
    batching = pen.widthF() * std::fabs(transform.m11()) <= 1.0 - 1e-9;
}

void PainterSink::text(const StreamText &item)
{
    if (!textIsPlaceable(item))
        return;
    flushBatch();
    drawStreamText(painter, item);
}

void PainterSink::end()
{
    flushBatch();
}
