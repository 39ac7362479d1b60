#pragma once

class DrawView;
class QWidget;

// "JPEG Compressed Bitmap" and "Encapsulated Postscript": the name comes from
// the command line's export base while the command is pending, else from the
// save dialog; the picture from the view. window parents the dialogs and boxes.
void exportJpeg(QWidget *window, DrawView *view);
void exportEps(QWidget *window, DrawView *view);
