#include "tests/support/inprocessviewer.h"

#include "app/appwindow.h"
#include "common/optionstate.h"
#include "app/settingsfiles.h"
#include "common/currentdocument.h"
#include "common/fixedtext.h"
#include "tests/support/modalanswerer.h"
#include "view/drawview.h"

#include <QCoreApplication>
#include <QTest>

#include <optional>

InProcessViewer::InProcessViewer()
{
    resetProcessState(home.path());
}

InProcessViewer::~InProcessViewer()
{
    close();
}

void InProcessViewer::resetProcessState(const QString &homeDirectory)
{
    ViewerSettings = ViewerSettingsRecord{};
    setDefaultWindowGeometry();
    geometryFromCommandLine = 0;
    portraitOrientation = 0;
    pendingCommands = 0;
    quitWhenDone = 0;
    temporaryDocument = 0;
    serverName[0] = '\0';
    cwdOption[0] = '\0';
    releaseDocumentData();
    CurrentDocument.path[0] = '\0';
    CurrentDocument.exportBase[0] = '\0';
    CurrentDocument.refusedExportBase.clear();
    CurrentDocument.refusedPath.clear();
    homeDir = homeDirectory.toLocal8Bit().toStdString();
    copyText(startDir, homeDirectory.toLocal8Bit().constData());
}

QString InProcessViewer::writeDocument(const QString &name, const PvgWriter &writer) const
{
    const QString path = home.filePath(name);
    writer.writeFile(path.toStdString());
    return path;
}

void InProcessViewer::open(const QString &documentPath, bool show)
{
    copyText(CurrentDocument.path, documentPath.toLocal8Bit().constData());
    // Only without a name is the Open dialog asked; other boxes are the test's.
    std::optional<ModalAnswerer> cancelOpen;
    if (documentPath.isEmpty())
        cancelOpen.emplace();
    window = new AppWindow();
    mainWindow = window;
    view = new DrawView(window, window);
    mainView = view;
    window->setCentralWidget(view);
    if (!show)
        return;
    window->show();
    view->show();
    // Offscreen windows may never report exposure; the view still paints.
    (void)QTest::qWaitForWindowExposed(window, 1000);
}

void InProcessViewer::setViewSize(int width, int height)
{
    if (window.isNull() || view.isNull())
        return;
    if (!window->isVisible()) {
        view->resize(width, height);
        return;
    }
    const QSize extra = window->size() - view->size();
    window->resize(width + extra.width(), height + extra.height());
    QTRY_COMPARE(view->size(), QSize(width, height));
}

void InProcessViewer::close()
{
    if (!window.isNull()) {
        window->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        delete window.data(); // an unshown window is not deleted by closing
    }
    mainWindow = nullptr;
    mainView = nullptr;
}

PvgWriter redLineDrawing()
{
    PvgWriter writer;
    writer.colourMapEntry(2, 90, 50, 100).lineColour(2).lineWidth(100);
    writer.moveTo(0, 1560).lineTo(4095, 1560).end();
    return writer;
}
