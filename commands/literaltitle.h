#pragma once

class QString;
class QWidget;

// Sets a window's title so that the window system shows it as it stands.
// The toolkit takes "[*]" in a title for the place of its "modified" mark
// and leaves it out of the title it shows; a file name may hold those
// characters. windowTitle() gives the title as set either way.
void setLiteralTitle(QWidget *window, const QString &title);
