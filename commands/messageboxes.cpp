#include "commands/messageboxes.h"

#include <QMessageBox>
#include <QPushButton>
#include <QString>

void showCriticalBox(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::NoButton, parent);
    QPushButton *ok = box.addButton(QStringLiteral("Ok"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
}
