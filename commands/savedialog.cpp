#include "commands/savedialog.h"

#include <QFileDialog>
#include <QStringList>

QString askSaveFileName(QWidget *parent, const char *objectName, const QString &caption,
                        const QString &filter)
{
    QFileDialog dialog(parent, caption, QString(), filter);
    dialog.setObjectName(QString::fromLatin1(objectName));
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.first();
}
