#pragma once

class QMainWindow;
class QWidget;

// Resolves, reads and shows a document: the one way a document is loaded.
// The window gets the title and status texts; view (may be null) is repainted.
void loadDocument(QMainWindow *window, QWidget *view, const char *name);

// The "Open File" dialog, then loadDocument with the chosen file.
void chooseDocument(QMainWindow *window, QWidget *view);
