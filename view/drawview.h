#pragma once

#include "common/spanrect.h"

#include <QPoint>
#include <QWidget>

#include <cstdio>

class QEvent;
class QMouseEvent;
class QPaintEvent;
class QPainter;
class QPrinter;
class QRubberBand;
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
// band, and owns the printer. Every paint interprets the whole document anew.
class DrawView : public QWidget
{
    Q_OBJECT

public:
    // window becomes the parent; host loads the first document and runs the
    // chain's exports (usually both are the main window).
    DrawView(QWidget *window, ViewHost *host);
    ~DrawView() override;

    void drawToPrinter();

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
    // With iCvtopt 3 the walk also writes EPS: to epsFile when given, else
    // to a file it opens under exportPath.
    void drawIt(QPainter *ppainter, bool fPrinting = false, int iCvtopt = 0,
                FILE *epsFile = nullptr);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void placeRubberBand();
};
