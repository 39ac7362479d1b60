#pragma once

#include "common/spanrect.h"

#include <QPoint>
#include <QWidget>

class AppWindow;
class QEvent;
class QMouseEvent;
class QPaintEvent;
class QPainter;
class QPrinter;
class QRubberBand;

enum ZoomMode : int32_t {
    ZoomIdle = 0,
    ZoomSizing = 1,
    ZoomMoving = 2,
    ZoomSet = 3,
};

// Horizontal drag, in pixels, below which a rubber band cancels instead of zooming.
inline constexpr int kSmallestZoomDrag = 20;
// Widget width at which a stream line width is drawn at its nominal size.
inline constexpr double kReferenceViewWidth = 640.0;

// Shows the current document stretched over the widget, zooms with a rubber
// band, and owns the printer. Every paint interprets the whole document anew.
class DrawView : public QWidget
{
    Q_OBJECT

public:
    explicit DrawView(AppWindow *mainWindow);
    ~DrawView() override;

    void drawToPrinter();

    SpanRect zoomRect;
    int32_t zoomMode = ZoomIdle;
    QPoint lastMousePos;
    QRubberBand *rubberBand = nullptr;
    QPrinter *printer = nullptr;

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

private:
    void placeRubberBand();
};
