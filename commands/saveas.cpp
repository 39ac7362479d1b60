#include "app/appwindow.h"

void AppWindow::saveAs() {}
