#include "app/appwindow.h"

AppWindow::AppWindow() : QMainWindow(nullptr) {}
AppWindow::~AppWindow() = default;
void AppWindow::deleteTemporaryDocument() {}
void AppWindow::backclr() {}
void AppWindow::savesettings() {}
void AppWindow::refresh() {}
void AppWindow::resetaspect() {}
void AppWindow::moveEvent(QMoveEvent *) {}
void AppWindow::resizeEvent(QResizeEvent *) {}
void AppWindow::closeEvent(QCloseEvent *) {}
void AppWindow::buildMenus() {}
void AppWindow::takeWindowPosition() {}
