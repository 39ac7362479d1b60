#pragma once

// ModalAnswerer: answers the modal boxes and dialogs a test provokes, so that
// their nested event loops return, and records what each looked like.
//
//   ModalAnswerer answerer({"/tmp/out"});  // names for file dialogs, in order
//   ...provoke the dialogs...
//   answerer.seen   // one SeenDialog per modal widget, in order of appearance
//   answerer.titlesAndTexts()  // "title: text" each, for failure messages
//
// A QFileDialog gets the next queued name typed into its "fileNameEdit"
// followed by Return (no name left, or an empty one, cancels it); a
// QMessageBox gets its first button clicked; any other dialog is rejected.
// It polls every 20 ms from construction until destruction.

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

class QWidget;

// What a test saw of one modal widget.
struct SeenDialog {
    QString objectName;
    QString title;
    QString text;       // message boxes
    Qt::TextFormat textFormat = Qt::AutoText; // message boxes
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons; // message boxes: button texts
    QString nameFilter; // file dialogs, filters joined by ";;"
    bool nativeDialog = false;
    bool hasParent = false;
    Qt::WindowFlags flags;
};

class ModalAnswerer : public QObject
{
public:
    explicit ModalAnswerer(QStringList fileNames = {});
    QList<SeenDialog> seen;
    QStringList titlesAndTexts() const;

private:
    void poll();
    QTimer timer;
    QStringList namesToType;
    QPointer<QWidget> lastHandled;
};
