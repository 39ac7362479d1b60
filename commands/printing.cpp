#include "app/appwindow.h"
#include "view/drawview.h"

void AppWindow::print() {}
void DrawView::printIt() {}
void DrawView::cmdPrint() {}
void DrawView::drawToPrinter() {}
