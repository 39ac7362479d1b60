#include "tests/commands/printsupport.h"

#include "tests/commands/pdfmeasure.h"

#include "app/appwindow.h"
#include "app/optionstate.h"
#include "app/viewersettings.h"
#include "commands/currentdocument.h"
#include "view/drawview.h"

#include <QCoreApplication>
#include <QEvent>

PvgWriter frameDrawing()
{
    PvgWriter writer;
    writer.colourMapEntry(2, 0, 0, 0).lineColour(2).lineWidth(1);
    writer.moveTo(0, 0).lineTo(4095, 0).lineTo(4095, 3119).lineTo(0, 3119).lineTo(0, 0);
    // From the top-left corner (file y runs upward) a quarter of the way in.
    writer.moveTo(0, 3119).lineTo(1024, 3119 - 780);
    writer.end();
    return writer;
}

PvgWriter penWidthDrawing()
{
    PvgWriter writer;
    writer.colourMapEntry(2, 0, 0, 0).lineColour(2);
    writer.lineWidth(1).moveTo(500, 2000).lineTo(3500, 2000);
    writer.lineWidth(3).moveTo(500, 1000).lineTo(3500, 1000);
    writer.end();
    return writer;
}

namespace {
QString rectText(const QRect &r)
{
    return QString("(%1,%2 %3x%4)").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}
} // namespace

QString frameMismatch(const QImage &page, const QRect &expected, int tolerance)
{
    if (page.isNull())
        return "page not rendered";
    const QRect bounds = darkBounds(page);
    if (bounds.isNull())
        return "nothing drawn on the page";
    // The layout is fixed, so a drawing may run off the paper: only the part
    // on the paper can be seen.
    const QRect visible = expected.intersected(page.rect());
    const QRect drawn(bounds.left(), bounds.top(), bounds.width(), bounds.height());
    const bool edgesFit = std::abs(drawn.left() - visible.left()) <= tolerance
                          && std::abs(drawn.top() - visible.top()) <= tolerance
                          && std::abs(drawn.x() + drawn.width() - visible.x() - visible.width()) <= tolerance
                          && std::abs(drawn.y() + drawn.height() - visible.y() - visible.height())
                                 <= tolerance;
    if (!edgesFit)
        return QString("drawn %1, expected %2 on a %3x%4 page")
            .arg(rectText(drawn), rectText(expected))
            .arg(page.width())
            .arg(page.height());
    const QRect allowed = expected.adjusted(-tolerance, -tolerance, tolerance, tolerance);
    if (const int stray = darkPixelsOutside(page, allowed); stray > 0)
        return QString("%1 dark pixels outside %2").arg(stray).arg(rectText(expected));

    const int dx = expected.width() / 8, dy = expected.height() / 8;
    const int right = expected.x() + expected.width(), bottom = expected.y() + expected.height();
    if (!darkNear(page, expected.x() + dx, expected.y() + dy, tolerance))
        return "orientation diagonal missing at the top-left";
    if (darkNear(page, right - dx, expected.y() + dy, tolerance)
        || darkNear(page, expected.x() + dx, bottom - dy, tolerance)
        || darkNear(page, right - dx, bottom - dy, tolerance))
        return "orientation diagonal found away from the top-left: page turned or mirrored";
    return {};
}

void resetViewerState(const QString &homeDirectory)
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
    copyText(homeDir, homeDirectory.toLocal8Bit().constData());
    copyText(startDir, homeDirectory.toLocal8Bit().constData());
}

InProcessViewer startInProcessViewer(const QString &documentPath, QSize viewSize)
{
    InProcessViewer viewer;
    copyText(CurrentDocument.path, documentPath.toLocal8Bit().constData());
    viewer.window = new AppWindow();
    mainWindow = viewer.window;
    viewer.view = new DrawView(viewer.window);
    mainView = viewer.view;
    viewer.window->setCentralWidget(viewer.view);
    viewer.view->resize(viewSize);
    return viewer;
}

void closeInProcessViewer(InProcessViewer &viewer)
{
    if (!viewer.window.isNull()) {
        viewer.window->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        delete viewer.window; // not shown: closing may not have deleted it
    }
    mainWindow = nullptr;
    mainView = nullptr;
}
