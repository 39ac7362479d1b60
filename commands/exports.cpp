#include "app/appwindow.h"
#include "commands/exports.h"

TextBuffer exportPath;

void AppWindow::ExportJpeg() {}
void AppWindow::ExportEPS() {}
