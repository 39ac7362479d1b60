#pragma once

class QWidget;

// The modal File Properties dialog of the current document.
void showFileProperties(QWidget *window);
// The About box (plain text), parented by window.
void showAboutBox(QWidget *window);
