#include "tests/commands/export_support.h"

#include "app/appwindow.h"
#include "app/optionstate.h"
#include "commands/currentdocument.h"
#include "common/fixedtext.h"
#include "tests/support/pvgwriter.h"
#include "view/drawview.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QTest>

#include <algorithm>

std::string redCrossDrawing()
{
    PvgWriter writer;
    writer.colourMapEntry(2, 90, 50, 100) // hue 90: red
        .lineColour(2)
        .lineWidth(100)
        .moveTo(400, 1560)
        .lineTo(3700, 1560)
        .moveTo(2048, 300)
        .lineTo(2048, 2800)
        .end();
    return writer.bytes();
}

ModalAnswerer::ModalAnswerer(QStringList fileNames) : namesToType(std::move(fileNames))
{
    connect(&timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    timer.start(20);
}

void ModalAnswerer::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal == lastHandled)
        return;
    lastHandled = modal;

    SeenDialog dialog;
    dialog.className = QString::fromLatin1(modal->metaObject()->className());
    dialog.objectName = modal->objectName();
    dialog.title = modal->windowTitle();
    dialog.parent = modal->parentWidget();
    dialog.hasParent = dialog.parent != nullptr;

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
        seen.append(dialog);
        const QList<QAbstractButton *> buttons = box->buttons();
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

void startViewer(const QString &homeDirectory, const QString &documentPath)
{
    copyText(homeDir, homeDirectory.toLocal8Bit().constData());
    copyText(CurrentDocument.path, documentPath.toLocal8Bit().constData());
    ModalAnswerer cancelOpen; // only needed when no document is named
    mainWindow = new AppWindow();
    mainView = new DrawView(mainWindow);
    mainWindow->setCentralWidget(mainView);
    mainWindow->show();
    mainView->show();
    // Offscreen windows may never report exposure; the views still paint.
    (void)QTest::qWaitForWindowExposed(mainWindow, 1000);
}

void dropDocument()
{
    releaseDocumentData();
    CurrentDocument.path[0] = '\0';
}

KelvoRun runKelvo(const QStringList &arguments, const QString &workingDirectory,
                  const QString &homeDirectory, int timeoutMs)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), homeDirectory);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(workingDirectory);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(qEnvironmentVariable("KELVO_BINARY"), arguments);

    KelvoRun run;
    if (!process.waitForStarted(timeoutMs))
        return run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        return run;
    }
    run.finished = process.exitStatus() == QProcess::NormalExit;
    run.exitCode = process.exitCode();
    return run;
}

QByteArray readWholeFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

bool writeWholeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QVector<int> firstQuantisationTable(const QByteArray &jpeg)
{
    const auto byteAt = [&](qsizetype i) { return int(static_cast<unsigned char>(jpeg.at(i))); };
    qsizetype at = 2; // after the start-of-image marker
    while (at + 4 <= jpeg.size() && byteAt(at) == 0xFF) {
        const int marker = byteAt(at + 1);
        const qsizetype length = byteAt(at + 2) * 256 + byteAt(at + 3);
        if (marker == 0xDB && at + 4 + 65 <= jpeg.size() && (byteAt(at + 4) >> 4) == 0) {
            QVector<int> table;
            for (int i = 0; i < 64; ++i)
                table.append(byteAt(at + 5 + i));
            return table;
        }
        if (marker == 0xDA)
            break;
        at += 2 + length;
    }
    return {};
}

QVector<int> expectedLuminanceTable(int quality)
{
    static const int standard[64] = {
        16, 11, 10, 16, 24, 40, 51, 61, 12, 12, 14, 19, 26, 58, 60, 55,
        14, 13, 16, 24, 40, 57, 69, 56, 14, 17, 22, 29, 51, 87, 80, 62,
        18, 22, 37, 56, 68, 109, 103, 77, 24, 35, 55, 64, 81, 104, 113, 92,
        49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
    static const int zigZagToNatural[64] = {
        0, 1, 8, 16, 9, 2, 3, 10, 17, 24, 32, 25, 18, 11, 4, 5,
        12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6, 7, 14, 21, 28,
        35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
        58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
    const int scale = quality < 50 ? 5000 / quality : 200 - quality * 2;
    QVector<int> table;
    for (int i = 0; i < 64; ++i)
        table.append(std::clamp((standard[zigZagToNatural[i]] * scale + 50) / 100, 1, 255));
    return table;
}
