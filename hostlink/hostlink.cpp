#include "app/appwindow.h"

void AppWindow::connectToHost() {}
void AppWindow::sendToHost(QString) {}
void AppWindow::readData() {}
void AppWindow::deleteSocket() {}
