#pragma once

class QMainWindow;

// "Save File As": the document's bytes as loaded, under a name from the dialog.
void saveDocumentAs(QMainWindow *window);
