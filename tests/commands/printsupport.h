#pragma once

// Drawings and checks shared by the printing and File Properties tests, and
// the viewer built in-process the way start-up builds it.

#include "tests/support/pvgwriter.h"

#include <QImage>
#include <QPointer>
#include <QRect>
#include <QString>

class AppWindow;
class DrawView;

// A black frame round the whole page and a diagonal from the page's top-left
// corner to a quarter of the way across, which tells the orientation. Drawn
// with stream width 1; five segments.
PvgWriter frameDrawing();
inline constexpr int kFrameDrawingSegments = 5;

// Two long horizontal black lines: stream width 1 at file height 2000 and
// stream width 3 at file height 1000.
PvgWriter penWidthDrawing();

// Empty when the image shows frameDrawing() on expected (pixels), each edge
// within tolerance pixels, with nothing dark outside it and the orientation
// diagonal at the top-left; otherwise what differs. Where expected runs off
// the page, the page's edge takes the place of the frame's.
QString frameMismatch(const QImage &page, const QRect &expected, int tolerance);

// Process state as a fresh start leaves it, with homeDirectory as HOME and the
// start directory.
void resetViewerState(const QString &homeDirectory);

// Builds the main window and its view as start-up does, with documentPath named
// on the command line. The view is resized to viewSize and not shown.
struct InProcessViewer {
    QPointer<AppWindow> window;
    QPointer<DrawView> view;
};
InProcessViewer startInProcessViewer(const QString &documentPath, QSize viewSize);
void closeInProcessViewer(InProcessViewer &viewer);
