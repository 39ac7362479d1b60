#pragma once

// Shared by the printing tests: the drawing they print, and pdftoppm renderings
// of the pages measured against where the drawing must lie.

#include "tests/support/pvgwriter.h"

#include <QImage>
#include <QRect>

// A black frame round the whole page and a diagonal from the page's top-left
// corner a quarter of the way in, which tells the orientation. Stream width 1.
PvgWriter frameDrawing();

// Page 1 of pdf as an 8-bit grey image at dpi; crop (pixels at that dpi)
// renders only that part. Null when pdftoppm fails.
QImage renderPdfPage(const QString &pdf, int dpi, const QRect &crop = QRect());

// Pixels darker than mid-grey count as drawn.
inline bool isDark(const QImage &image, int x, int y)
{
    return image.constScanLine(y)[x] < 128;
}

// Empty when page shows frameDrawing() on expected (pixels), each edge within
// tolerance, nothing dark outside it and the diagonal at the top-left;
// otherwise what differs. Where expected runs off the page, the page's edge
// takes the frame's place.
QString frameMismatch(const QImage &page, const QRect &expected, int tolerance);

// Inches on a page rendered at dpi to pixels, each edge rounded.
QRect inchesToPixels(const QRectF &inches, int dpi);
