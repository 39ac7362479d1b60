#include "view/drawview.h"

#include "app/appwindow.h"

DrawView::DrawView(AppWindow *mainWindow) : QWidget(nullptr) { mainWindow->view = this; }
DrawView::~DrawView() = default;
void DrawView::updateIt() { update(); }
void DrawView::customEvent(QEvent *) {}
void DrawView::drawIt(QPainter *, bool, int) {}
void DrawView::mousePressEvent(QMouseEvent *) {}
void DrawView::mouseReleaseEvent(QMouseEvent *) {}
void DrawView::mouseMoveEvent(QMouseEvent *) {}
void DrawView::paintEvent(QPaintEvent *) {}
void DrawView::placeRubberBand() {}
