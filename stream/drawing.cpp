// Pens, segments and text on the painter, and the width and colour changes
// that the EPS output records.
#include "stream/pvgmeta.h"

#include "app/viewersettings.h"
#include "stream/colourrules.h"
#include "stream/epswriter.h"
#include "common/numeric.h"
#include "stream/palette.h"

#include <QColor>
#include <QFont>
#include <QPaintEngine>
#include <QPainter>
#include <QString>
#include <QTransform>

#include <cmath>
#include <cstring>

bool pvgBatchSegments = true;

namespace {
// Qt rejects pen widths from 2^15 on. Any width above twice the page diagonal
// already covers the whole page, so clamping changes no pixel on it.
constexpr int64_t kWidestPen = (1 << 15) - 1;
// Largest text point size handed to the font engine; larger sizes only cost time.
constexpr int32_t kLargestPointSize = 32767;
// Text placed this far off the page is never visible; it is not drawn at all.
constexpr int32_t kTextPositionLimit = 1 << 24;
} // namespace

void CPvgMeta::setLineWidth(int32_t width)
{
    if (width == lineWidth)
        return;
    lineWidth = width;
    applyPen(mapColour(lineIndex));
    if (cvtfp != nullptr)
        writeEpsWidth(cvtfp, width);
    lastX = -1;
}

void CPvgMeta::setLineIndex(int32_t index)
{
    if (index == lineIndex)
        return;
    lineIndex = mapColour(index);
    applyPen(lineIndex);
    if (cvtflag == kConvertToEps) {
        if (cvtfp != nullptr)
            writeEpsColour(cvtfp, lineIndex, backgroundIndex,
                           ViewerSettings.eps_cvt_lines_to_black != 0);
        lastX = -1;
    }
}

void CPvgMeta::applyPen(int32_t index)
{
    if (index < 0 || index >= kPaletteSize)
        index = kPaletteBlack;
    // White lines on a white background would vanish: draw them black.
    if (backgroundIndex == kPaletteWhite && index == kPaletteWhite)
        index = kPaletteBlack;
    const PaletteColour &colour = palette[index];
    pen.setColor(QColor(colour.red, colour.green, colour.blue, 255));
    pen.setStyle(Qt::SolidLine);
    int64_t width;
    if (printer != nullptr) {
        const int32_t minimum = ViewerSettings.printer_min_linewidth;
        width = 2 * static_cast<int64_t>(lineWidth > minimum ? lineWidth : minimum);
    } else {
        width = lineWidth / 2;
    }
    // A negative width has no meaning to the painter; it draws the thinnest line.
    pen.setWidth(static_cast<int>(clampInt64(width, 0, kWidestPen)));
    if (painter != nullptr) {
        flushSegments();
        painter->setPen(pen);
        updateBatching();
    }
}

void CPvgMeta::paintSegment(int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    if (!batching) {
        const QLine line(x0, y0, x1, y1);
        painter->drawLines(&line, 1);
        return;
    }
    batch[batchCount++] = QLine(x0, y0, x1, y1);
    if (batchCount == kBatchCapacity)
        flushSegments();
}

void CPvgMeta::flushSegments()
{
    if (batchCount == 0)
        return;
    painter->drawLines(batch, batchCount);
    batchCount = 0;
}

// Handing several segments to one line-list call draws the very same pixels
// only where the raster engine strokes each line on its own: cosmetic pens and
// pens no wider than one device pixel under a scale-only transform. Wider pens
// are stroked as one path per call, where overlapping antialiased edges would
// blend differently, so they keep one line per call; so does every other engine.
void CPvgMeta::updateBatching()
{
    batching = false;
    if (!pvgBatchSegments || painter == nullptr)
        return;
    const QPaintEngine *engine = painter->paintEngine();
    if (engine == nullptr || engine->type() != QPaintEngine::Raster)
        return;
    if (pen.widthF() == 0.0 || pen.isCosmetic()) {
        batching = true;
        return;
    }
    const QTransform transform = painter->combinedTransform();
    if (transform.type() > QTransform::TxScale)
        return;
    const double scale = std::max(std::fabs(transform.m11()), std::fabs(transform.m22()));
    batching = pen.widthF() * scale <= 1.0 - 1e-9;
}

void CPvgMeta::drawTextItem(char *text)
{
    const std::size_t length = std::strlen(text);
    if (length > 0 && text[length - 1] == '\n')
        text[length - 1] = '\0';

    QFont font(QString::fromLatin1(fontFamily));
    // The font engine refuses sizes of 0 and below; those keep the default size.
    if (fontSize > 0)
        font.setPointSize(fontSize < kLargestPointSize ? fontSize : kLargestPointSize);
    font.setWeight((textFlags & 1) ? QFont::Bold : QFont::Normal);
    font.setItalic((textFlags & 2) != 0);

    if (painter == nullptr)
        return;
    if (textX < -kTextPositionLimit || textX > kTextPositionLimit
        || textY < -kTextPositionLimit || textY > kTextPositionLimit)
        return;
    flushSegments();
    painter->setFont(font);
    painter->drawText(QPointF(textX, textY), QString::fromLatin1(text));
}
