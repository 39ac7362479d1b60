#include "commands/messageboxes.h"

#include <QMessageBox>

void showCriticalBox(QWidget *, const QString &, const QString &) {}
