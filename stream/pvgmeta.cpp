#include "stream/pvgmeta.h"

#include "app/viewersettings.h"
#include "commands/currentdocument.h"
#include "commands/exports.h"
#include "stream/background.h"
#include "stream/epswriter.h"
#include "common/numeric.h"
#include "stream/palette.h"

#include <QBrush>
#include <QColor>
#include <QPainter>
#include <QPrinter>
#include <QRect>

int32_t segmentCount = 0;
int32_t backgroundIndex = kPaletteWhite;

namespace {
constexpr int kPageWidth = 4096;
constexpr int kPageHeight = 3120;
const QRect kPageWindow(QPoint(0, 0), QPoint(kPageWidth - 1, kPageHeight - 1));

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

CPvgMeta::CPvgMeta(const char *documentPath, QPainter *painterArg, QPrinter *printerArg,
                   double scale, int conversion)
    : lineWidthScale(scale), cvtflag(conversion), painter(painterArg), printer(printerArg)
{
    copyText(docPath, documentPath);
    fontFamily[0] = '\0';
}

CPvgMeta::~CPvgMeta()
{
    // render always closes the file; this only matters if it never ran to the end.
    if (cvtfp != nullptr)
        std::fclose(cvtfp);
}

int CPvgMeta::render(SpanRect zoomArea, SpanRect fullPage)
{
    cur = CurrentDocument.data;
    const int32_t size = CurrentDocument.size > 0 ? CurrentDocument.size : 0;
    dataEnd = cur != nullptr ? cur + size : nullptr;

    backgroundIndex = detectBackground(cur, size, ViewerSettings.whiteBackground != 0);

    if (painter != nullptr) {
        painter->setPen(QPen(Qt::black));
        painter->setWindow(kPageWindow);
    }
    if (zoomArea.width > 0) {
        zoomed = true;
        if (painter != nullptr)
            painter->setWindow(zoomWindow(zoomArea));
    }
    if (printer != nullptr && painter != nullptr)
        setPrinterViewport();
    fillBackground();

    pageRect = zoomArea.width > 0 ? zoomArea : fullPage;
    segmentCount = 0;
    lineWidth = -1;

    if (cvtflag == kConvertToEps) {
        cvtfp = std::fopen(exportPath, "w");
        if (cvtfp != nullptr) {
            fillPaletteFractions();
            EpsHeaderOptions options;
            options.pageRect = pageRect;
            options.zoomed = zoomed;
            options.scale = ViewerSettings.eps_scalefactor;
            options.includeBackground = ViewerSettings.eps_include_background != 0;
            writeEpsHeader(cvtfp, options);
        }
    }

    setLineWidth(0);
    lineIndex = -1;
    setLineIndex(0);

    fontFamily[0] = '\0';
    fontSize = 0;
    textColour = 0;
    textX = 0;
    textY = 0;
    textFlags = 0;

    if (cur != nullptr)
        walk();
    flushSegments();

    if (cvtfp != nullptr) {
        writeEpsTrailer(cvtfp);
        std::fclose(cvtfp);
        cvtfp = nullptr;
    }
    return 1;
}

// 9.0 by 6.855 inches keeps the page's 4096:3120 proportion.
void CPvgMeta::setPrinterViewport()
{
    const double dpiX = printer->logicalDpiX();
    const double dpiY = printer->logicalDpiY();
    const int left = truncToInt32(0.8 * dpiX + ViewerSettings.printer_page_shift[0]);
    const int top = truncToInt32(0.6 * dpiY + ViewerSettings.printer_page_shift[1]);
    const int width = truncToInt32(9.0 * dpiX * ViewerSettings.printer_page_size[0]);
    const int height = truncToInt32(6.855 * dpiY * ViewerSettings.printer_page_size[1]);
    painter->setViewport(windowValue(left), windowValue(top), windowValue(width),
                         windowValue(height));
}

void CPvgMeta::fillBackground()
{
    if (painter == nullptr)
        return;
    const PaletteColour &colour = palette[backgroundIndex];
    painter->setBackground(QBrush(QColor(colour.red, colour.green, colour.blue)));
    painter->fillRect(kPageWindow, painter->background());
}
