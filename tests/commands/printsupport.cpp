#include "tests/commands/printsupport.h"

#include <QProcess>
#include <QTemporaryDir>

#include <cmath>

PvgWriter frameDrawing()
{
    PvgWriter writer;
    writer.colourMapEntry(2, 0, 0, 0).lineColour(2).lineWidth(1);
    writer.moveTo(0, 0).lineTo(4095, 0).lineTo(4095, 3119).lineTo(0, 3119).lineTo(0, 0);
    writer.moveTo(0, 3119).lineTo(1024, 3119 - 780); // file y runs upward
    writer.end();
    return writer;
}

QImage renderPdfPage(const QString &pdf, int dpi, const QRect &crop)
{
    QTemporaryDir scratch;
    QStringList arguments{"-gray", "-r", QString::number(dpi), "-f", "1", "-l", "1", "-singlefile"};
    if (!crop.isNull())
        arguments << "-x" << QString::number(crop.x()) << "-y" << QString::number(crop.y()) << "-W"
                  << QString::number(crop.width()) << "-H" << QString::number(crop.height());
    arguments << pdf << scratch.filePath("page");
    QProcess pdftoppm;
    pdftoppm.start("pdftoppm", arguments);
    if (!pdftoppm.waitForFinished(60000) || pdftoppm.exitCode() != 0)
        return {};
    return QImage(scratch.filePath("page.pgm")).convertToFormat(QImage::Format_Grayscale8);
}

namespace {
QString rectText(const QRect &r)
{
    return QString("(%1,%2 %3x%4)").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

bool darkNear(const QImage &image, int x, int y, int radius)
{
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx)
            if (image.rect().contains(x + dx, y + dy) && isDark(image, x + dx, y + dy))
                return true;
    return false;
}
} // namespace

QString frameMismatch(const QImage &page, const QRect &expected, int tolerance)
{
    if (page.isNull())
        return "page not rendered";
    // Bounds of everything drawn, and what lies outside the allowed rectangle.
    const QRect allowed = expected.adjusted(-tolerance, -tolerance, tolerance, tolerance);
    QRect drawn;
    int stray = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            if (isDark(page, x, y)) {
                drawn |= QRect(x, y, 1, 1);
                stray += allowed.contains(x, y) ? 0 : 1;
            }
    // The layout is fixed, so a drawing may run off the paper.
    const QRect visible = expected.intersected(page.rect());
    const auto near = [tolerance](int a, int b) { return std::abs(a - b) <= tolerance; };
    if (drawn.isNull() || !near(drawn.left(), visible.left()) || !near(drawn.top(), visible.top())
        || !near(drawn.right(), visible.right()) || !near(drawn.bottom(), visible.bottom()))
        return QString("drawn %1, expected %2 on a %3x%4 page")
            .arg(rectText(drawn), rectText(expected))
            .arg(page.width())
            .arg(page.height());
    if (stray > 0)
        return QString("%1 dark pixels outside %2").arg(stray).arg(rectText(expected));

    const int dx = expected.width() / 8, dy = expected.height() / 8;
    if (!darkNear(page, expected.left() + dx, expected.top() + dy, tolerance))
        return "orientation diagonal missing at the top-left";
    if (darkNear(page, expected.right() - dx, expected.top() + dy, tolerance)
        || darkNear(page, expected.left() + dx, expected.bottom() - dy, tolerance)
        || darkNear(page, expected.right() - dx, expected.bottom() - dy, tolerance))
        return "orientation diagonal away from the top-left: page turned or mirrored";
    return {};
}

QRect inchesToPixels(const QRectF &inches, int dpi)
{
    const auto pixels = [dpi](double value) { return int(std::lround(value * dpi)); };
    return QRect(QPoint(pixels(inches.left()), pixels(inches.top())),
                 QPoint(pixels(inches.right()) - 1, pixels(inches.bottom()) - 1));
}
