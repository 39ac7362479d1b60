#pragma once

class QString;
class QWidget;

// A modal critical box with one "Ok" button. The document commands report all
// their failures through it.
void showCriticalBox(QWidget *parent, const QString &title, const QString &text);
