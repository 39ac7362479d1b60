#include "app/appwindow.h"

void AppWindow::load(const char *) {}
void AppWindow::choose() {}
