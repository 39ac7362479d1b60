#pragma once

// Shared by the Save As and export tests: a drawing to export, a driver that
// answers modal dialogs, the viewer built in-process as the program builds it,
// and a runner for the real binary.

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <string>

class QWidget;

// Bytes of a picture with a thick red cross through the page centre.
std::string redCrossDrawing();

// What a test saw of one modal dialog.
struct SeenDialog {
    QString className;
    QString objectName;
    QString title;
    QString text;       // message boxes
    QString nameFilter; // file dialogs, filters joined by ";;"
    bool nativeDialog = false;
    bool hasParent = false;
    QWidget *parent = nullptr;
};

// Answers modal dialogs in the order they appear: a file dialog gets the next
// queued name typed into its name field followed by Return (an empty name
// cancels it); a message box gets its first button clicked.
class ModalAnswerer : public QObject
{
public:
    explicit ModalAnswerer(QStringList fileNames = {});
    QList<SeenDialog> seen;

private:
    void poll();
    QTimer timer;
    QStringList namesToType;
    QPointer<QWidget> lastHandled;
};

// Builds the main window and the view the way start-up does, with the document
// named in path (or none when path is empty, in which case the Open dialog is
// cancelled), and shows them.
void startViewer(const QString &homeDirectory, const QString &documentPath);

// Drops the held document, as a failed load leaves it.
void dropDocument();

struct KelvoRun {
    bool finished = false; // ended by itself before the time-out
    int exitCode = -1;
};

// Runs the real binary with its own HOME; kills it after the time-out.
KelvoRun runKelvo(const QStringList &arguments, const QString &workingDirectory,
                  const QString &homeDirectory, int timeoutMs = 30000);

QByteArray readWholeFile(const QString &path);
bool writeWholeFile(const QString &path, const QByteArray &bytes);

// The first quantisation table (luminance) of a baseline JPEG, in file
// (zig-zag) order; empty when none is found.
QVector<int> firstQuantisationTable(const QByteArray &jpeg);

// The luminance table libjpeg writes for a quality, in zig-zag order.
QVector<int> expectedLuminanceTable(int quality);
