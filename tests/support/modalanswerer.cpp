#include "tests/support/modalanswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>

ModalAnswerer::ModalAnswerer(QStringList fileNames) : namesToType(std::move(fileNames))
{
    connect(&timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    timer.start(20);
}

QStringList ModalAnswerer::titlesAndTexts() const
{
    QStringList lines;
    for (const SeenDialog &dialog : seen)
        lines << dialog.title + ": " + dialog.text;
    return lines;
}

void ModalAnswerer::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal == lastHandled)
        return;
    lastHandled = modal;

    SeenDialog dialog;
    dialog.objectName = modal->objectName();
    dialog.title = modal->windowTitle();
    dialog.hasParent = modal->parentWidget() != nullptr;
    dialog.flags = modal->windowFlags();

    if (auto *fileDialog = qobject_cast<QFileDialog *>(modal)) {
        dialog.nameFilter = fileDialog->nameFilters().join(QStringLiteral(";;"));
        dialog.nativeDialog = !fileDialog->testOption(QFileDialog::DontUseNativeDialog);
        seen.append(dialog);
        const QString name = namesToType.isEmpty() ? QString() : namesToType.takeFirst();
        auto *edit = fileDialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (name.isEmpty() || edit == nullptr) {
            fileDialog->reject();
            return;
        }
        edit->setText(name);
        QTest::keyClick(edit, Qt::Key_Return);
        return;
    }
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        dialog.text = box->text();
        dialog.textFormat = box->textFormat();
        dialog.icon = box->icon();
        const QList<QAbstractButton *> buttons = box->buttons();
        for (QAbstractButton *button : buttons)
            dialog.buttons << button->text();
        seen.append(dialog);
        if (!buttons.isEmpty())
            buttons.first()->click();
        else
            box->done(0);
        return;
    }
    seen.append(dialog);
    if (auto *other = qobject_cast<QDialog *>(modal))
        other->reject();
}
