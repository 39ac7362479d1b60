#pragma once

#include <QString>

class QWidget;

// Modal non-native save dialog: no start directory, symbolic links resolved and
// no overwrite question (the commands behind it decide what may be written).
// Returns the chosen name, or an empty text when cancelled.
QString askSaveFileName(QWidget *parent, const char *objectName, const QString &caption,
                        const QString &filter);
