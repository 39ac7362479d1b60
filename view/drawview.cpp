#include "view/drawview.h"

#include "app/appwindow.h"
#include "commands/currentdocument.h"
#include "common/numeric.h"
#include "stream/pvgmeta.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QRubberBand>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace {

constexpr int32_t kPageWidth = 4096;
constexpr int32_t kPageHeight = 3120;

// Widget pixel to drawing unit: division first, in double precision.
int32_t toDrawingUnits(int32_t pixel, int viewExtent, int32_t pageExtent)
{
    return truncToInt32((static_cast<double>(pixel) / viewExtent) * pageExtent);
}

} // namespace

DrawView::DrawView(AppWindow *mainWindow) : QWidget(nullptr)
{
    zoomMode = ZoomIdle;
    zoomRect = SpanRect{};
    lastMousePos = QPoint(0, 0);
    rubberBand = new QRubberBand(QRubberBand::Rectangle, this);
    mainWindow->view = this;

    if (CurrentDocument.path[0] != '\0') {
        // load rewrites CurrentDocument.path, so it must not read from it meanwhile.
        TextBuffer name;
        copyText(name, CurrentDocument.path);
        mainWindow->load(name);
    } else {
        mainWindow->choose();
    }

    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    setParent(mainWindow, Qt::WindowFlags());
    move(0, 0);
    printer = new QPrinter(QPrinter::HighResolution);
}

DrawView::~DrawView()
{
    delete printer;
}

void DrawView::updateIt()
{
    update();
}

void DrawView::customEvent(QEvent *)
{
}

void DrawView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    drawIt(&painter, false, 0);
}

// The zoom rectangle is kept as dragged (it may point leftwards or upwards);
// the drawing uses it normalised, so the line-width scale stays positive and
// the window never runs backwards. A rectangle that covers no drawing unit in
// one direction, or a view with no area, draws the whole page unzoomed.
void DrawView::drawIt(QPainter *ppainter, bool fPrinting, int iCvtopt)
{
    if (CurrentDocument.path[0] == '\0' || CurrentDocument.data == nullptr)
        return;

    SpanRect fullPage;
    fullPage.setCorners(0, 0, kPageWidth, kPageHeight);

    const int viewWidth = width();
    const int viewHeight = height();
    double lineWidthScale = viewWidth / kReferenceViewWidth;
    SpanRect zoomArea;

    if (zoomMode != ZoomIdle && viewWidth > 0 && viewHeight > 0) {
        const int32_t leftPixel = std::min(zoomRect.left, zoomRect.right);
        const int32_t rightPixel = std::max(zoomRect.left, zoomRect.right);
        const int32_t topPixel = std::min(zoomRect.top, zoomRect.bottom);
        const int32_t bottomPixel = std::max(zoomRect.top, zoomRect.bottom);

        SpanRect area;
        area.setCorners(toDrawingUnits(leftPixel, viewWidth, kPageWidth),
                        toDrawingUnits(topPixel, viewHeight, kPageHeight),
                        toDrawingUnits(rightPixel, viewWidth, kPageWidth),
                        toDrawingUnits(bottomPixel, viewHeight, kPageHeight));
        if (area.width > 0 && area.height > 0) {
            const double pixelWidth = static_cast<double>(rightPixel) - leftPixel;
            lineWidthScale = (viewWidth / kReferenceViewWidth) * (viewWidth / pixelWidth);
            zoomArea = area;
        }
    }

    CPvgMeta meta(CurrentDocument.path, ppainter, fPrinting ? printer : nullptr, lineWidthScale,
                  iCvtopt);
    meta.render(zoomArea, fullPage);
}

void DrawView::placeRubberBand()
{
    const int bandWidth = zoomRect.width > 0 ? zoomRect.width : 1;
    const int bandHeight = zoomRect.height > 0 ? zoomRect.height : 1;
    rubberBand->setGeometry(zoomRect.left, zoomRect.top, bandWidth, bandHeight);
    rubberBand->show();
}

void DrawView::mousePressEvent(QMouseEvent *event)
{
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        if (zoomMode == ZoomIdle) {
            zoomRect.setCorners(at.x(), at.y(), at.x() + 1, at.y() + 1);
            placeRubberBand();
            zoomMode = ZoomSizing;
        }
    } else if (event->button() == Qt::RightButton) {
        lastMousePos = at;
        zoomMode = ZoomMoving;
    }
}

void DrawView::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint at = event->position().toPoint();
    switch (zoomMode) {
    case ZoomSizing:
        zoomRect.setCorners(zoomRect.left, zoomRect.top, at.x(), at.y());
        placeRubberBand();
        break;
    case ZoomMoving: {
        const int32_t dx = at.x() - lastMousePos.x();
        const int32_t dy = at.y() - lastMousePos.y();
        zoomRect.setCorners(wrappingSum(zoomRect.left, dx), wrappingSum(zoomRect.top, dy),
                            wrappingSum(zoomRect.right, dx), wrappingSum(zoomRect.bottom, dy));
        lastMousePos = at;
        placeRubberBand();
        break;
    }
    case ZoomSet:
        placeRubberBand();
        break;
    default:
        break;
    }
}

// Any button's release ends what the press started; which button it was does
// not matter.
void DrawView::mouseReleaseEvent(QMouseEvent *event)
{
    const QPoint at = event->position().toPoint();
    switch (zoomMode) {
    case ZoomMoving:
        rubberBand->hide();
        zoomMode = ZoomSizing;
        break;
    case ZoomSizing: {
        const int64_t drag = static_cast<int64_t>(at.x()) - zoomRect.left;
        if (std::llabs(drag) < kSmallestZoomDrag) {
            zoomMode = ZoomIdle;
            update();
        } else {
            placeRubberBand();
            zoomMode = ZoomSet;
            update();
        }
        rubberBand->hide();
        break;
    }
    default:
        rubberBand->hide();
        break;
    }
}
