#pragma once

#include "common/spanrect.h"

#include "view/framerenderer.h"

#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <memory>

class QEvent;
class QMouseEvent;
class QPaintEvent;
class QPainter;
class QPrinter;
class QRubberBand;
class QWheelEvent;
class ViewHost;

enum ZoomMode : int32_t {
    ZoomIdle = 0,
    ZoomSizing = 1,
    ZoomMoving = 2,
    ZoomSet = 3,
};

// Horizontal drag, in pixels, below which a rubber band cancels instead of zooming.
inline constexpr int kSmallestZoomDrag = 20;
// Shows the current document stretched over the widget, zooms with a rubber
// band, and owns the printer. The picture is rendered off the GUI thread into a
// kept frame; paints show that frame, and the document is walked again only
// when the size, zoom, background or document change.
class DrawView : public QWidget
{
    Q_OBJECT

public:
    // window becomes the parent; host loads the first document and runs the
    // chain's exports (usually both are the main window).
    DrawView(QWidget *window, ViewHost *host);
    ~DrawView() override;

    void drawToPrinter();
    // One walk onto the painter and, with iCvtopt 3 and an epsFile, into
    // that file too.
    void drawIt(QPainter *ppainter, bool fPrinting, int iCvtopt, FILE *epsFile);

    // The view as a picture of the current state, never a half-drawn one:
    // waits for the frame first; null when the frame cannot be made. Hides
    // QWidget::grab for callers that hold a DrawView, which is every caller.
    QPixmap grab(const QRect &rectangle = QRect(QPoint(0, 0), QSize(-1, -1)));
    // Renders the frame the screen shows for the current state now, if it is
    // not there yet.
    void waitForFrame();
    // Ends any render before the process ends with the view still in place.
    void stopRendering();
    // Walks of the document made for frames since the view was built.
    int frameWalks() const { return walksForFrames; }
    // Whether a render is under way.
    bool rendering() const { return renderer->busy(); }
    // The kept frame's size in device pixels (the view's, up to a bound).
    QSize frameSize() const { return haveKeptFrame ? keptFrame.image.size() : QSize(); }

    SpanRect zoomRect;
    int32_t zoomMode = ZoomIdle;
    QPoint lastMousePos;
    QRubberBand *rubberBand = nullptr;
    QPrinter *printer = nullptr;
    ViewHost *host = nullptr;

public Q_SLOTS:
    void updateIt();
    void printIt();
    void cmdPrint();
    void customEvent(QEvent *e) override;
    void PostCmdargDone(int iNotval);
    void drawIt(QPainter *ppainter, bool fPrinting = false, int iCvtopt = 0);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    // The wheel zooms in and out around the cursor, through zoomRect as a
    // rubber band would; Esc (refresh) still shows the whole drawing.
    void wheelEvent(QWheelEvent *event) override;

private:
    void placeRubberBand();
    bool frameKeyForNow(FrameKey &key) const;
    bool draggingBand() const;
    bool shownFrameKey(FrameKey &key) const;
    bool keptFrameIsCurrent() const;
    bool waitForFrameOf(const FrameKey &key);
    bool requestFrame(const FrameKey &key);
    bool onlyResized(const FrameKey &key) const;
    void adoptFinishedFrame(const FrameKey *wanted = nullptr);
    void paintProgress(QPainter &painter);

    std::unique_ptr<FrameRenderer> renderer;
    FinishedFrame keptFrame;
    bool haveKeptFrame = false;
    bool buttonHeld = false;
    int walksForFrames = 0;
    bool printerPaperKept = false; // a print has set the paper: later dialogs start from it
    QTimer progressTimer;
    QElapsedTimer renderClock; // since the running render started
};
