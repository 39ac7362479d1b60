#include "view/drawview.h"

#include "common/currentdocument.h"
#include "common/exportpath.h"
#include "common/numeric.h"
#include "common/safewrite.h"
#include "common/viewersettings.h"
#include "stream/epssink.h"
#include "stream/paintersink.h"
#include "stream/pvgmeta.h"
#include "stream/teesink.h"
#include "stream/viewmapping.h"
#include "view/viewhost.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPrinter>
#include <QRubberBand>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace {
// A paint waits this long for a frame it asked for; a longer render shows the
// previous frame stretched, with progress, until it is done.
constexpr int kPaintWaitMs = 250;
// When only the window's size has changed it waits no longer than this: a
// window being resized shows its previous frame stretched rather than lag
// behind the mouse, and quick frames still show at once.
constexpr int kResizeWaitMs = 40;
// A render shows its progress once it has run this long.
constexpr int kProgressAfterMs = 250;
constexpr int kProgressRepaintMs = 100;
constexpr int kProgressBarHeight = 3;
// One wheel notch (120 eighths of a degree) zooms by this factor.
constexpr double kWheelZoomStep = 1.25;
// The largest frame: the longest side an X window can have, and a gigabyte.
// A view beyond it (a state file or -wp= may ask for millions of pixels) gets
// a frame scaled down to fit, stretched over it, not gigabytes to fill.
constexpr double kLargestFrameSide = 32767;
constexpr double kLargestFramePixels = double(1 << 28);

QSize boundedFrameSize(const QSize &wanted)
{
    const double width = wanted.width(), height = wanted.height();
    const double scale = std::min({1.0, kLargestFrameSide / width, kLargestFrameSide / height,
                                   std::sqrt(kLargestFramePixels / (width * height))});
    if (scale >= 1.0)
        return wanted;
    return QSize(std::max(1, int(width * scale)), std::max(1, int(height * scale)));
}

// The mouse's position in whole pixels, cut toward zero like every other
// conversion to an integer (a fractional screen scale gives fractions).
QPoint mousePixel(const QMouseEvent *event)
{
    const QPointF at = event->position();
    return QPoint(static_cast<int>(at.x()), static_cast<int>(at.y()));
}
} // namespace

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

    renderer = std::make_unique<FrameRenderer>([this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                adoptFinishedFrame();
                update();
            },
            Qt::QueuedConnection);
    });
    progressTimer.setInterval(kProgressRepaintMs);
    connect(&progressTimer, &QTimer::timeout, this, [this] { update(); });
}

DrawView::~DrawView()
{
    // A render still running ends before the view it reports to.
    renderer.reset();
    delete printer;
}

void DrawView::stopRendering()
{
    renderer->stop();
    progressTimer.stop();
}

void DrawView::updateIt()
{
    update();
}

void DrawView::customEvent(QEvent *)
{
}

// The frame for the view's state: its size in device pixels, what part of the
// page it shows, the background setting and the document.
bool DrawView::frameKeyForNow(FrameKey &key) const
{
    if (!documentHeld())
        return false;
    const double ratio = devicePixelRatioF();
    key.pixelSize = (QSizeF(size()) * ratio).toSize();
    if (key.pixelSize.isEmpty())
        return false;
    key.pixelSize = boundedFrameSize(key.pixelSize);
    key.devicePixelRatio = ratio;
    const ViewWalk walk = paintableWalkFor(width(), height(), zoomMode != ZoomIdle, zoomRect);
    key.lineWidthScale = walk.lineWidthScale;
    key.zoomArea = walk.zoomArea;
    key.whiteBackground = ViewerSettings.whiteBackground != 0;
    key.data = CurrentDocument.data;
    key.size = CurrentDocument.size;
    key.generation = CurrentDocument.generation;
    return true;
}

bool DrawView::draggingBand() const
{
    return buttonHeld && (zoomMode == ZoomSizing || zoomMode == ZoomMoving);
}

// The frame the screen shows for the view's state. While a rubber band is
// being dragged it keeps the picture it had, so that moving the band only
// exposes it. A grab does not: it pictures the rectangle of that moment, as
// an EPS export does (frameKeyForNow).
bool DrawView::shownFrameKey(FrameKey &key) const
{
    if (!frameKeyForNow(key))
        return false;
    if (!draggingBand() || !haveKeptFrame)
        return true;
    FrameKey kept = keptFrame.key;
    kept.lineWidthScale = key.lineWidthScale;
    kept.zoomArea = key.zoomArea;
    if (kept == key)
        key = keptFrame.key;
    return true;
}

// Starts the render of key unless it is running already; true when it
// started one. The render holds the document's bytes, so loading another
// file meanwhile is safe.
bool DrawView::requestFrame(const FrameKey &key)
{
    const FrameKey *running = renderer->runningKey();
    if (running != nullptr && *running == key && (renderer->busy() || renderer->failed()))
        return false;
    FrameRequest request;
    request.key = key;
    if (CurrentDocument.owner != nullptr && CurrentDocument.owner.get() == CurrentDocument.data) {
        request.bytes = CurrentDocument.owner;
    } else {
        // Bytes the view does not own (placed by a caller): a private copy.
        const std::size_t size = key.size > 0 ? std::size_t(key.size) : 0;
        std::shared_ptr<unsigned char[]> copy(new unsigned char[size + kZeroBytesAfterData]());
        std::memcpy(copy.get(), CurrentDocument.data, size);
        request.bytes = copy;
    }
    if (haveKeptFrame && keptFrame.key.data == key.data && keptFrame.key.generation == key.generation)
        request.expectedSegments = keptFrame.segments;
    request.outside = palette().color(QPalette::Base).rgba();
    renderer->start(std::move(request));
    renderClock.start();
    ++walksForFrames;
    progressTimer.start();
    return true;
}

// Whether key differs from the kept frame's only as the window's size does
// (the line widths follow the width).
bool DrawView::onlyResized(const FrameKey &key) const
{
    if (!haveKeptFrame)
        return false;
    FrameKey resized = keptFrame.key;
    resized.pixelSize = key.pixelSize;
    resized.devicePixelRatio = key.devicePixelRatio;
    resized.lineWidthScale = key.lineWidthScale;
    return resized == key;
}

// Whether the kept frame is the one the screen would show now.
bool DrawView::keptFrameIsCurrent() const
{
    FrameKey key;
    return haveKeptFrame && shownFrameKey(key) && keptFrame.key == key;
}

// A frame finished for a state the view has left again (a zoom undone by Esc
// before its frame was done, Ctrl+B pressed twice) never replaces the kept
// frame of the state it is back in, unless it is the frame a caller waits
// for (wanted: a grab pictures the rectangle of the moment during a drag).
void DrawView::adoptFinishedFrame(const FrameKey *wanted)
{
    std::optional<FinishedFrame> finished = renderer->takeFinished();
    if (finished && ((wanted != nullptr && finished->key == *wanted) || !keptFrameIsCurrent())) {
        keptFrame = std::move(*finished);
        haveKeptFrame = true;
        segmentCount = keptFrame.segments;
        backgroundIndex = keptFrame.background;
    }
    if (!renderer->busy())
        progressTimer.stop();
}

void DrawView::waitForFrame()
{
    FrameKey key;
    if (shownFrameKey(key))
        waitForFrameOf(key);
}

// False when the frame could not be made (no memory or threads for it).
bool DrawView::waitForFrameOf(const FrameKey &key)
{
    if (haveKeptFrame && keptFrame.key == key)
        return true;
    requestFrame(key);
    renderer->wait(-1);
    adoptFinishedFrame(&key);
    return haveKeptFrame && keptFrame.key == key;
}

QPixmap DrawView::grab(const QRect &rectangle)
{
    FrameKey key;
    if (frameKeyForNow(key) && !waitForFrameOf(key))
        return QPixmap(); // not the empty view: the picture is missing, not empty
    return QWidget::grab(rectangle);
}

void DrawView::paintProgress(QPainter &painter)
{
    const int done = static_cast<int>(width() * renderer->progress());
    painter.fillRect(QRect(0, 0, width(), kProgressBarHeight), palette().color(QPalette::Mid));
    painter.fillRect(QRect(0, 0, done, kProgressBarHeight), palette().color(QPalette::Highlight));
}

void DrawView::paintEvent(QPaintEvent *)
{
    FrameKey key;
    if (!shownFrameKey(key))
        return;
    bool current = haveKeptFrame && keptFrame.key == key;
    const FrameKey *running = renderer->runningKey();
    if (current && running != nullptr && !(*running == key) && !draggingBand()) {
        // Back at the kept frame's state: the render for the one left is of no use.
        renderer->cancel();
        progressTimer.stop();
    }
    if (!current) {
        // A render may have finished since its report was queued.
        adoptFinishedFrame();
        current = haveKeptFrame && keptFrame.key == key;
    }
    // Only the paint that starts a render from rest waits for it, so that a
    // quick one shows at once; the paints of a long one, and those of a
    // window being resized (each cancelling the render before), show the
    // previous frame and leave the window free.
    const bool fromRest = !renderer->busy();
    if (!current && requestFrame(key) && fromRest
        && renderer->wait(onlyResized(key) ? kResizeWaitMs : kPaintWaitMs)) {
        adoptFinishedFrame();
        current = haveKeptFrame && keptFrame.key == key;
    }
    QPainter painter(this);
    if (haveKeptFrame)
        painter.drawImage(QRectF(rect()), keptFrame.image); // stretched while a new one renders
    if (!current && renderClock.elapsed() >= kProgressAfterMs && !renderer->failed())
        paintProgress(painter);
}

// One walk of the current document onto the painter (screen or printer)
// and, with iCvtopt 3, into the EPS file.
// With iCvtopt 3 the file named in exportPath is written; it replaces an
// earlier file only once complete. One that cannot be created gets nothing
// and the walk still runs.
void DrawView::drawIt(QPainter *ppainter, bool fPrinting, int iCvtopt)
{
    if (iCvtopt != kConvertToEps || !documentHeld()) {
        drawIt(ppainter, fPrinting, iCvtopt, nullptr);
        return;
    }
    SafeFileWrite file;
    const bool opened = file.open(exportPath) == WriteOutcome::Written;
    drawIt(ppainter, fPrinting, iCvtopt, opened ? file.stream() : nullptr);
    if (opened)
        file.commit();
}

void DrawView::drawIt(QPainter *ppainter, bool fPrinting, int iCvtopt, FILE *epsFile)
{
    if (!documentHeld())
        return;

    const auto walkFor = ppainter != nullptr ? paintableWalkFor : viewWalkFor;
    const ViewWalk view = walkFor(width(), height(), zoomMode != ZoomIdle, zoomRect);

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

    std::optional<EpsSink> epsSink;
    if (iCvtopt == kConvertToEps && epsFile != nullptr)
        epsSink.emplace(epsFile, epsSettingsOf(ViewerSettings));

    TeeSink both(painterSink ? &*painterSink : nullptr, epsSink ? &*epsSink : nullptr);
    WalkInput input;
    input.data = CurrentDocument.data;
    input.size = CurrentDocument.size;
    input.whiteBackground = ViewerSettings.whiteBackground != 0;
    CPvgMeta meta(input, both.sink(), view.lineWidthScale);
    meta.render(view.zoomArea, fullPageRect());
    segmentCount = meta.walkedSegments();
    backgroundIndex = meta.walkedBackground();
}

// A rectangle dragged leftwards or upwards shows as the part it will zoom
// into, not as a line one pixel wide at its start.
void DrawView::placeRubberBand()
{
    const int64_t left = std::min(zoomRect.left, zoomRect.right), top = std::min(zoomRect.top, zoomRect.bottom);
    const int64_t width = int64_t(std::max(zoomRect.left, zoomRect.right)) - left;
    const int64_t height = int64_t(std::max(zoomRect.top, zoomRect.bottom)) - top;
    const auto extent = [](int64_t value) { return int(std::clamp<int64_t>(value, 1, INT32_MAX)); };
    rubberBand->setGeometry(int(left), int(top), extent(width), extent(height));
    rubberBand->show();
}

void DrawView::mousePressEvent(QMouseEvent *event)
{
    buttonHeld = true;
    const QPoint at = mousePixel(event);
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
    const QPoint at = mousePixel(event);
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
    buttonHeld = event->buttons() != Qt::NoButton;
    const QPoint at = mousePixel(event);
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

void DrawView::wheelEvent(QWheelEvent *event)
{
    // Not while a rubber band is being drawn or moved (a released right
    // button leaves the rectangle sizing, with nothing held: the wheel works).
    const bool dragging = (zoomMode == ZoomSizing || zoomMode == ZoomMoving) && event->buttons() != Qt::NoButton;
    if (dragging || width() <= 0 || height() <= 0) {
        event->ignore();
        return;
    }
    const int steps = event->angleDelta().y() != 0 ? event->angleDelta().y()
                                                   : event->pixelDelta().y();
    if (steps == 0) {
        event->ignore();
        return;
    }
    event->accept();
    const double factor = std::pow(kWheelZoomStep, steps / 120.0);

    // The part of the unzoomed view shown now, in its pixels.
    double left = 0, top = 0, right = width(), bottom = height();
    if (zoomMode != ZoomIdle && paintableWalkFor(width(), height(), true, zoomRect).zoomArea.width > 0) {
        left = std::min(zoomRect.left, zoomRect.right);
        right = std::max(zoomRect.left, zoomRect.right);
        top = std::min(zoomRect.top, zoomRect.bottom);
        bottom = std::max(zoomRect.top, zoomRect.bottom);
    }
    // The point under the cursor stays under it.
    const QPointF at = event->position();
    const double fx = std::clamp(at.x() / width(), 0.0, 1.0);
    const double fy = std::clamp(at.y() / height(), 0.0, 1.0);
    const double pivotX = left + fx * (right - left);
    const double pivotY = top + fy * (bottom - top);
    const double newWidth = std::max((right - left) / factor, 1.0);
    const double newHeight = std::max((bottom - top) / factor, 1.0);
    if (newWidth >= width() && newHeight >= height()) {
        zoomMode = ZoomIdle;
        update();
        return;
    }
    const double newLeft = pivotX - fx * newWidth;
    const double newTop = pivotY - fy * newHeight;
    zoomRect.setCorners(static_cast<int32_t>(std::lround(newLeft)),
                        static_cast<int32_t>(std::lround(newTop)),
                        static_cast<int32_t>(std::lround(newLeft + newWidth)),
                        static_cast<int32_t>(std::lround(newTop + newHeight)));
    if (zoomRect.width < 1 || zoomRect.height < 1)
        zoomRect.setCorners(zoomRect.left, zoomRect.top, zoomRect.left + 1, zoomRect.top + 1);
    zoomMode = ZoomSet;
    update();
}
