#include "tests/commands/pdfmeasure.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cmath>

QImage renderPdfPage(const QString &pdf, int dpi, const QRect &crop)
{
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return {};
    QStringList arguments{"-gray", "-r", QString::number(dpi), "-f", "1", "-l", "1", "-singlefile"};
    if (!crop.isNull())
        arguments << "-x" << QString::number(crop.x()) << "-y" << QString::number(crop.y()) << "-W"
                  << QString::number(crop.width()) << "-H" << QString::number(crop.height());
    const QString prefix = scratch.filePath("page");
    arguments << pdf << prefix;
    QProcess pdftoppm;
    pdftoppm.start("pdftoppm", arguments);
    if (!pdftoppm.waitForFinished(60000) || pdftoppm.exitCode() != 0)
        return {};
    QImage image(prefix + ".pgm");
    return image.convertToFormat(QImage::Format_Grayscale8);
}

int pdfPageCount(const QString &pdf)
{
    QProcess pdfinfo;
    pdfinfo.start("pdfinfo", {pdf});
    if (!pdfinfo.waitForFinished(30000) || pdfinfo.exitCode() != 0)
        return -1;
    const auto match =
        QRegularExpression("^Pages:\\s+(\\d+)", QRegularExpression::MultilineOption)
            .match(QString::fromLatin1(pdfinfo.readAllStandardOutput()));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

bool isDark(const QImage &image, int x, int y)
{
    return image.constScanLine(y)[x] < 128;
}

QRect darkBounds(const QImage &image)
{
    int left = image.width(), top = image.height(), right = -1, bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        const uchar *line = image.constScanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            if (line[x] >= 128)
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    if (right < 0)
        return {};
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

int darkPixelsOutside(const QImage &image, const QRect &allowed)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (!allowed.contains(x, y) && isDark(image, x, y))
                ++count;
    return count;
}

bool darkNear(const QImage &image, int x, int y, int radius)
{
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx)
            if (image.rect().contains(x + dx, y + dy) && isDark(image, x + dx, y + dy))
                return true;
    return false;
}

std::vector<int> darkRunsDownColumn(const QImage &image, int x)
{
    std::vector<int> runs;
    int run = 0;
    for (int y = 0; y < image.height(); ++y) {
        if (isDark(image, x, y)) {
            ++run;
        } else if (run > 0) {
            runs.push_back(run);
            run = 0;
        }
    }
    if (run > 0)
        runs.push_back(run);
    return runs;
}

QRect inchesToPixels(const QRectF &inches, int dpi)
{
    const int left = static_cast<int>(std::lround(inches.left() * dpi));
    const int top = static_cast<int>(std::lround(inches.top() * dpi));
    const int right = static_cast<int>(std::lround(inches.right() * dpi));
    const int bottom = static_cast<int>(std::lround(inches.bottom() * dpi));
    return QRect(left, top, right - left, bottom - top);
}
