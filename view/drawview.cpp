#include "view/drawview.h"

#include "common/currentdocument.h"
#include "common/exportpath.h"
#include "common/numeric.h"
#include "common/viewersettings.h"
#include "stream/epssink.h"
#include "stream/paintersink.h"
#include "stream/pvgmeta.h"
#include "stream/teesink.h"
#include "stream/viewmapping.h"
#include "view/viewhost.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QRubberBand>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

DrawView::DrawView(QWidget *window, ViewHost *viewHost) : QWidget(nullptr), host(viewHost)
{
    zoomMode = ZoomIdle;
    zoomRect = SpanRect{};
    lastMousePos = QPoint(0, 0);
    rubberBand = new QRubberBand(QRubberBand::Rectangle, this);
    host->attachView(this);

    if (CurrentDocument.path[0] != '\0') {
        // load rewrites CurrentDocument.path, so it must not read from it meanwhile.
        TextBuffer name;
        copyText(name, CurrentDocument.path);
        host->load(name);
    } else {
        host->choose();
    }

    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    setParent(window, Qt::WindowFlags());
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

// One walk of the current document onto the painter (screen or printer)
// and, with iCvtopt 3, into the EPS file.
void DrawView::drawIt(QPainter *ppainter, bool fPrinting, int iCvtopt, FILE *epsFile)
{
    if (CurrentDocument.path[0] == '\0' || CurrentDocument.data == nullptr)
        return;

    const ViewWalk view = viewWalkFor(width(), height(), zoomMode != ZoomIdle, zoomRect);

    PrinterLayout layout;
    if (fPrinting) {
        layout.dpiX = printer->logicalDpiX();
        layout.dpiY = printer->logicalDpiY();
        layout.minLineWidth = ViewerSettings.printer_min_linewidth;
        for (int i = 0; i < 2; ++i) {
            layout.pageSize[i] = ViewerSettings.printer_page_size[i];
            layout.pageShift[i] = ViewerSettings.printer_page_shift[i];
        }
    }
    std::optional<PainterSink> painterSink;
    if (ppainter != nullptr)
        painterSink.emplace(ppainter, fPrinting ? &layout : nullptr);

    // A file that cannot be created gets nothing; the walk still runs.
    FILE *openedHere = nullptr;
    if (iCvtopt == kConvertToEps && epsFile == nullptr)
        epsFile = openedHere = std::fopen(exportPath, "w");
    std::optional<EpsSink> epsSink;
    if (iCvtopt == kConvertToEps && epsFile != nullptr) {
        EpsSettings eps;
        eps.scale = ViewerSettings.eps_scalefactor;
        eps.includeBackground = ViewerSettings.eps_include_background != 0;
        eps.linesToBlack = ViewerSettings.eps_cvt_lines_to_black != 0;
        epsSink.emplace(epsFile, eps);
    }

    TeeSink both(painterSink ? &*painterSink : nullptr, epsSink ? &*epsSink : nullptr);
    WalkInput input;
    input.data = CurrentDocument.data;
    input.size = CurrentDocument.size;
    input.whiteBackground = ViewerSettings.whiteBackground != 0;
    CPvgMeta meta(input, both.sink(), view.lineWidthScale);
    meta.render(view.zoomArea, fullPageRect());
    segmentCount = meta.walkedSegments();
    backgroundIndex = meta.walkedBackground();

    if (openedHere != nullptr)
        std::fclose(openedHere);
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
