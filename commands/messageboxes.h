#pragma once

class QString;
class QWidget;

// A modal critical box with one "Ok" button, through which the document
// commands report their failures to a user.
void showCriticalBox(QWidget *parent, const QString &title, const QString &text);
