#pragma once

// Answers the modal boxes and dialogs that a test provokes, so that their
// nested event loops return, and records what they looked like.

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <functional>

struct CaughtBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    QWidget *parent = nullptr;
    Qt::WindowFlags flags;
};

class ModalCatcher : public QObject
{
public:
    // handler is given each newly active modal widget once; by default message
    // boxes are recorded and answered with their first button and anything
    // else is rejected.
    explicit ModalCatcher(std::function<void(QWidget *)> handler = {}) : handler(std::move(handler))
    {
        connect(&timer, &QTimer::timeout, this, [this] { poll(); });
        timer.start(20);
    }

    QList<CaughtBox> boxes;
    int dialogsSeen = 0;

    // Types name into a non-native file dialog and accepts it.
    static void typeIntoFileDialog(QWidget *modal, const QString &name)
    {
        auto *edit = modal->findChild<QLineEdit *>("fileNameEdit");
        if (edit == nullptr)
            return;
        edit->setText(name);
        QTest::keyClick(edit, Qt::Key_Return);
    }

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == lastHandled)
            return;
        lastHandled = modal;
        ++dialogsSeen;
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            CaughtBox caught;
            caught.title = box->windowTitle();
            caught.text = box->text();
            caught.icon = box->icon();
            for (QAbstractButton *button : box->buttons())
                caught.buttons << button->text();
            caught.parent = box->parentWidget();
            caught.flags = box->windowFlags();
            boxes << caught;
        }
        if (handler) {
            handler(modal);
            return;
        }
        if (auto *box = qobject_cast<QMessageBox *>(modal); box && !box->buttons().isEmpty())
            box->buttons().first()->click();
        else if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
    }

    std::function<void(QWidget *)> handler;
    QPointer<QWidget> lastHandled;
    QTimer timer;
};
