#include "commands/messageboxes.h"

#include "common/batchreport.h"

#include <QMessageBox>
#include <QPushButton>
#include <QString>

void showCriticalBox(QWidget *parent, const QString &title, const QString &text)
{
    // Nobody can answer a box in a headless batch run, nor in an unattended
    // one on a caller's offscreen platform: the box's words go to standard
    // error and the run goes on as if "Ok" had been pressed.
    if (reportUnansweredBox(title + QStringLiteral(": ") + text))
        return;
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::NoButton, parent);
    box.setTextFormat(Qt::PlainText); // texts may name files, never markup
    QPushButton *ok = box.addButton(QStringLiteral("Ok"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
}
