#pragma once

// Builds the main window and its draw view in-process the way start-up does,
// with a private home directory, and keeps unexpected modal boxes from hanging
// a test.

#include "app/appwindow.h"
#include "app/optionstate.h"
#include "app/viewersettings.h"
#include "commands/currentdocument.h"
#include "tests/support/pvgwriter.h"
#include "view/drawview.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <string>

// Closes any modal box that appears and remembers its title and text.
class ModalBoxCloser : public QObject
{
public:
    ModalBoxCloser()
    {
        QObject::connect(&timer, &QTimer::timeout, this, [this] {
            QWidget *modal = QApplication::activeModalWidget();
            if (modal == nullptr)
                return;
            QString text = modal->windowTitle();
            if (auto *box = qobject_cast<QMessageBox *>(modal))
                text += ": " + box->text();
            seen << text;
            modal->close();
        });
        timer.start(50);
    }
    QStringList seen;

private:
    QTimer timer;
};

class ViewerFixture
{
public:
    ViewerFixture()
    {
        resetProcessState();
        copyText(homeDir, QDir::toNativeSeparators(home.path()).toLocal8Bit().constData());
        copyText(startDir, home.path().toLocal8Bit().constData());
    }

    ~ViewerFixture() { closeWindow(); }

    static void resetProcessState()
    {
        ViewerSettings = ViewerSettingsRecord{};
        setDefaultWindowGeometry();
        geometryFromCommandLine = 0;
        portraitOrientation = 0;
        pendingCommands = 0;
        quitWhenDone = 0;
        temporaryDocument = 0;
        serverName[0] = '\0';
        releaseDocumentData();
        CurrentDocument.path[0] = '\0';
        CurrentDocument.exportBase[0] = '\0';
    }

    QString writeDocument(const QString &name, const PvgWriter &writer) const
    {
        const QString path = home.filePath(name);
        writer.writeFile(path.toStdString());
        return path;
    }

    // Start-up steps 7 to 10 with the given document named on the command line.
    void open(const QString &documentPath)
    {
        copyText(CurrentDocument.path, documentPath.toLocal8Bit().constData());
        window = new AppWindow();
        mainWindow = window;
        view = new DrawView(window);
        mainView = view;
        window->setCentralWidget(view);
        window->show();
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
    }

    // Resizes the main window so that the view gets exactly this size.
    void setViewSize(int width, int height)
    {
        const QSize extra = window->size() - view->size();
        window->resize(width + extra.width(), height + extra.height());
        QTRY_COMPARE(view->size(), QSize(width, height));
    }

    void closeWindow()
    {
        if (!window.isNull()) {
            window->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QTRY_VERIFY(window.isNull());
        }
        mainWindow = nullptr;
        mainView = nullptr;
    }

    QTemporaryDir home;
    QPointer<AppWindow> window;
    QPointer<DrawView> view;
    ModalBoxCloser modalBoxes;
};

// A red horizontal line across the middle of the page, 100 units wide before
// scaling, on the document's default background.
inline PvgWriter redLineDrawing()
{
    PvgWriter writer;
    writer.colourMapEntry(2, 90, 50, 100).lineColour(2).lineWidth(100);
    writer.moveTo(0, 1560).lineTo(4095, 1560).end();
    return writer;
}
