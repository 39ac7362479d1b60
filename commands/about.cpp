#include "app/appwindow.h"

void AppWindow::fileProperties() {}
void AppWindow::about() {}
