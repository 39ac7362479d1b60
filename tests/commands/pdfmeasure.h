#pragma once

// Renders PDF pages through pdftoppm and measures what is drawn on them.

#include <QImage>
#include <QRect>
#include <QRectF>
#include <QString>

#include <vector>

// Page 1 of pdf as an 8-bit grey image at dpi; crop (in pixels at that dpi)
// renders only that part. A null image when pdftoppm fails.
QImage renderPdfPage(const QString &pdf, int dpi, const QRect &crop = QRect());

// Number of pages pdfinfo reports, -1 when it cannot read the file.
int pdfPageCount(const QString &pdf);

// Pixels darker than mid-grey count as drawn.
bool isDark(const QImage &image, int x, int y);

// Smallest rectangle holding every dark pixel; null when there is none.
QRect darkBounds(const QImage &image);

// Dark pixels outside allowed.
int darkPixelsOutside(const QImage &image, const QRect &allowed);

// Whether any pixel within radius of (x, y) is dark.
bool darkNear(const QImage &image, int x, int y, int radius);

// Lengths of the runs of dark pixels down column x, from top to bottom.
std::vector<int> darkRunsDownColumn(const QImage &image, int x);

// Inches on a page rendered at dpi to the pixel grid; the rectangle's edges
// are rounded separately.
QRect inchesToPixels(const QRectF &inches, int dpi);
